// The engine's HTML log: one file per run under Data\Logs\, named after the local
// date and time it was opened. A message's level decides whether it is only
// written or whether the user sees a message box first (and may quit).
#pragma once

#include <fstream>
#include <string>

#include "windows.h"

typedef BYTE LOGLEVEL;
typedef BYTE LOGINDENT;

// Lower is more severe. The log's threshold drops messages above it.
constexpr LOGLEVEL LOGLEVEL_FATAL = 0;    // box (OK), line, quit posted
constexpr LOGLEVEL LOGLEVEL_ERROR = 1;    // box (Yes/No/Cancel), line, quit unless Yes
constexpr LOGLEVEL LOGLEVEL_WARNING = 2;  // box (OK), line
constexpr LOGLEVEL LOGLEVEL_LOG = 3;      // line only
constexpr LOGLEVEL LOGLEVEL_DEBUG = 4;    // line only

constexpr LOGINDENT LOGINDENT_NONE = 0;
constexpr LOGINDENT LOGINDENT_BEGIN = 1;  // indent the lines after this message
constexpr LOGINDENT LOGINDENT_END = 2;    // unindent before this message (never below zero)

// One message for the log. The kinds below only fill it in a fixed way; they are
// passed by value and add no data, so slicing them to this type loses nothing.
class cLogMessage {
public:
    cLogMessage();
    cLogMessage(const std::string& text, LOGLEVEL level, LOGINDENT indentAction);
    virtual LOGINDENT getIndentAction();
    virtual LOGLEVEL getLevel();
    virtual std::string getText();

protected:
    std::string m_text;
    LOGINDENT m_indentAction;
    LOGLEVEL m_level;
};

class cLogBlockBegin : public cLogMessage {
public:
    cLogBlockBegin(const std::string& text, LOGLEVEL level);
};

class cLogBlockEnd : public cLogMessage {
public:
    explicit cLogBlockEnd(LOGLEVEL level);
};

class cLogDone : public cLogMessage {
public:
    cLogDone(LOGLEVEL level, LOGINDENT indentAction);
};

class cLogSucceeded : public cLogMessage {
public:
    cLogSucceeded(LOGLEVEL level, LOGINDENT indentAction);
};

class cLogFileError : public cLogMessage {
public:
    cLogFileError(const std::string& fileName, LOGLEVEL level, LOGINDENT indentAction);
};

// A checked device call: "DirectX call '<call>' succeeded." at debug level for a
// result of exactly 0, otherwise "... failed: <reason>" at error level.
class cLogDXCall : public cLogMessage {
public:
    cLogDXCall(const std::string& callText, HRESULT result, LOGINDENT indentAction);
};

// The reason text of a Direct3D result ("Direct3D: ...").
std::string getD3DErrorText(HRESULT result);

class cLog {
public:
    cLog();
    cLog(const std::string& applicationName, LOGLEVEL threshold, HWND window);
    ~cLog();
    cLog(const cLog&) = delete;
    cLog& operator=(const cLog&) = delete;

    void open(const std::string& applicationName, LOGLEVEL threshold, HWND window);
    void write(cLogMessage message);
    void close();

    bool isOpen() const { return m_open; }
    unsigned getIndentation() const { return m_indentation; }

private:
    void writeHeader(const std::string& dateText, const std::string& applicationName,
                     LOGLEVEL threshold);
    void writeIndent();
    void writeFatal(const std::string& text);
    void writeError(const std::string& text);
    void writeWarning(const std::string& text);
    void flushToDisk();
    // Writes as a Windows text-mode stream does: every "\n" becomes "\r\n".
    void put(const std::string& text);

    bool m_open;
    std::ofstream m_file;
    std::string m_fileName;  // as the program names it, for the one line a failed write gives
    bool m_writeFailed;      // said once; the stream drops everything after it
    unsigned m_indentation;
    HWND m_window;
    std::string m_applicationName;
    LOGLEVEL m_threshold;
};

// The log file name for a date text as ctime makes it: "Data\Logs\<date>.html"
// with ':' turned into '.' and every character below '.' into a space.
std::string logFileName(const std::string& dateText);
