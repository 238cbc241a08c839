#include "config.h"

#include <fstream>

#include "crt.h"

namespace {

std::string toLowerAscii(std::string word) {
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return word;
}

bool isComment(const std::string& word) { return word.compare(0, 2, "//") == 0; }

}  // namespace

cConfigEntry::cConfigEntry(const std::string& name) : m_name(name), m_read(false) {}

cConfigInt::cConfigInt(const std::string& name, int value) : cConfigEntry(name), m_value(value) {}

void cConfigInt::read(std::istream& in) {
    // Extract into a temporary: on failure the stream would otherwise store 0 or
    // the type's limit, and a failed read must keep the previous value.
    int value = 0;
    if (in >> value) m_value = value;
    m_read = true;
}

void cConfigInt::write(std::ostream& out) { out << m_value; }

cConfigBool::cConfigBool(const std::string& name, bool value) : cConfigEntry(name), m_value(value) {}

void cConfigBool::read(std::istream& in) {
    bool value = false;
    if (in >> std::noboolalpha >> value) m_value = value;
    m_read = true;
}

void cConfigBool::write(std::ostream& out) { out << (m_value ? "1" : "0"); }

cConfigEntry* cConfigFile::findEntry(const std::string& key) {
    for (cConfigEntry* entry : m_entries) {
        if (entry->getName() == key) return entry;
    }
    return nullptr;
}

bool cConfigFile::load(const std::string& fileName) {
    std::ifstream in(crt::hostPath(fileName));
    if (!in.is_open()) return false;
    // A directory opens here as if it were a file, but every read of it fails.
    // Windows refuses to open it at all, so a file that cannot be read counts as
    // one that could not be opened (and the caller warns), not as an empty one.
    in.peek();
    if (in.bad()) return false;

    for (;;) {
        std::string word;
        in >> word;
        word = toLowerAscii(word);
        if (!isComment(word)) {
            if (cConfigEntry* entry = findEntry(word)) entry->read(in);
        }
        if (in.eof() || in.fail()) break;
    }
    return true;
}

bool cConfigFile::save(const std::string& fileName) {
    std::ofstream out(crt::hostPath(fileName), std::ios::out | std::ios::trunc);
    if (!out.is_open()) return false;
    if (!m_header.empty()) out << "//" << m_header << "\n";
    for (cConfigEntry* entry : m_entries) {
        out << entry->getName() << " ";
        entry->write(out);
        out << "\n";
    }
    out.close();
    return true;
}

// The settings start at the application's default mode: a key whose value fails
// to read is still marked read and keeps this value, which must be a usable size
// (a zero would shrink the window to a single pixel).
cD3DConfig::cD3DConfig()
    : reswidth("reswidth", kDefaultWidth), resheight("resheight", kDefaultHeight), fullscreen("fullscreen", false) {
    setHeader("Zorbin Engine: Direct3D Config file");
    addEntry(&reswidth);
    addEntry(&resheight);
    addEntry(&fullscreen);
}
