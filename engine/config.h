// Keyed settings files: a list of typed entries read word by word from a text
// file ("reswidth 800"), keys matched without regard to case, and written back
// one entry per line under a "//" header comment.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

class cConfigEntry {
public:
    explicit cConfigEntry(const std::string& name);
    // Extracts the value that follows the key in `in` and marks the entry read,
    // whether or not the extraction succeeded (a failure keeps the old value).
    virtual void read(std::istream& in) = 0;
    virtual void write(std::ostream& out) = 0;

    const std::string& getName() const { return m_name; }
    bool wasRead() const { return m_read; }

protected:
    std::string m_name;
    bool m_read;
};

class cConfigInt : public cConfigEntry {
public:
    explicit cConfigInt(const std::string& name, int value = 0);
    void read(std::istream& in) override;
    void write(std::ostream& out) override;

    int getValue() const { return m_value; }
    void setValue(int value) { m_value = value; }

private:
    int m_value;
};

class cConfigBool : public cConfigEntry {
public:
    explicit cConfigBool(const std::string& name, bool value = false);
    void read(std::istream& in) override;  // "0" or "1"; anything else fails
    void write(std::ostream& out) override;

    bool getValue() const { return m_value; }
    void setValue(bool value) { m_value = value; }

private:
    bool m_value;
};

class cConfigFile {
public:
    cConfigFile() = default;
    cConfigFile(const cConfigFile&) = delete;
    cConfigFile& operator=(const cConfigFile&) = delete;

    // Reads the settings the file mentions. True if the file could be opened,
    // whatever it held. Reading stops at the first value that cannot be extracted.
    virtual bool load(const std::string& fileName);
    // Writes the header comment and every entry. True if the file could be written.
    virtual bool save(const std::string& fileName);

protected:
    // Entries are members of the derived type, which registers them in order.
    void addEntry(cConfigEntry* entry) { m_entries.push_back(entry); }
    void setHeader(const std::string& header) { m_header = header; }

private:
    cConfigEntry* findEntry(const std::string& key);

    std::string m_header;
    std::vector<cConfigEntry*> m_entries;
};

// The display settings: "Data\Config\direct3d.cfg".
class cD3DConfig : public cConfigFile {
public:
    // The size the settings hold until a value is read: the application's
    // default display mode.
    static constexpr int kDefaultWidth = 640;
    static constexpr int kDefaultHeight = 480;

    cD3DConfig();

    cConfigInt reswidth;
    cConfigInt resheight;
    cConfigBool fullscreen;
};
