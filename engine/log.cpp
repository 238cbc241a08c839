#include "log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "crt.h"

namespace {

const char* thresholdName(LOGLEVEL threshold) {
    switch (threshold) {
        case LOGLEVEL_FATAL: return "Fatal errors<br>";
        case LOGLEVEL_ERROR: return "Errors<br>";
        case LOGLEVEL_LOG: return "Log<br>";
        case LOGLEVEL_DEBUG: return "Debug<br>";
        default: return "";  // warnings and unknown levels have no name in the header
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages

cLogMessage::cLogMessage() : m_text(), m_indentAction(LOGINDENT_NONE), m_level(LOGLEVEL_LOG) {}

cLogMessage::cLogMessage(const std::string& text, LOGLEVEL level, LOGINDENT indentAction)
    : m_text(text), m_indentAction(indentAction), m_level(level) {}

LOGINDENT cLogMessage::getIndentAction() { return m_indentAction; }
LOGLEVEL cLogMessage::getLevel() { return m_level; }
std::string cLogMessage::getText() { return m_text; }

cLogBlockBegin::cLogBlockBegin(const std::string& text, LOGLEVEL level)
    : cLogMessage(text, level, LOGINDENT_BEGIN) {}

cLogBlockEnd::cLogBlockEnd(LOGLEVEL level) : cLogMessage("", level, LOGINDENT_END) {}

cLogDone::cLogDone(LOGLEVEL level, LOGINDENT indentAction)
    : cLogMessage("Done.", level, indentAction) {}

cLogSucceeded::cLogSucceeded(LOGLEVEL level, LOGINDENT indentAction)
    : cLogMessage("Succeeded.", level, indentAction) {}

cLogFileError::cLogFileError(const std::string& fileName, LOGLEVEL level, LOGINDENT indentAction)
    : cLogMessage("Error while loading file: '" + fileName + "'", level, indentAction) {}

cLogDXCall::cLogDXCall(const std::string& callText, HRESULT result, LOGINDENT indentAction) {
    // Only D3D_OK itself counts as success: other success codes are reported as failures
    // with the default reason, at the error level.
    if (result == 0) {
        m_text = "DirectX call '" + callText + "' succeeded.";
        m_level = LOGLEVEL_DEBUG;
    } else {
        m_text = "DirectX call '" + callText + "' failed: " + getD3DErrorText(result);
        m_level = LOGLEVEL_ERROR;
    }
    m_indentAction = indentAction;
}

// ---------------------------------------------------------------------------
// The log

std::string logFileName(const std::string& dateText) {
    std::string name = "Data\\Logs\\" + dateText + ".html";
    for (char& c : name) {
        if (c == ':') c = '.';
        if (static_cast<signed char>(c) < '.') c = ' ';
    }
    return name;
}

cLog::cLog() : m_open(false), m_writeFailed(false), m_indentation(0), m_window(nullptr), m_threshold(0) {}

cLog::cLog(const std::string& applicationName, LOGLEVEL threshold, HWND window) : cLog() {
    open(applicationName, threshold, window);
}

cLog::~cLog() { close(); }

void cLog::open(const std::string& applicationName, LOGLEVEL threshold, HWND window) {
    if (m_open) return;
    m_window = window;

    const std::string dateText = crt::ctime(crt::time(nullptr));
    crt::mkdir("Data\\");
    crt::mkdir("Data\\Logs\\");
    const std::string fileName = logFileName(dateText);

    // Binary mode: line ends are written as a Windows text stream writes them (see put).
    m_file.open(crt::hostPath(fileName), std::ios::out | std::ios::trunc | std::ios::binary);
    if (m_file.is_open()) {
        m_open = true;
    } else {
        const std::string caption = applicationName + ": Error";
        const int answer = MessageBoxA(m_window, "Could not open log file.\nDo you want to continue?",
                                       caption.c_str(), MB_YESNO | MB_ICONWARNING);
        // Only Yes runs on without a log. A box closed without an answer counts
        // as No (Wine lets Escape close a Yes/No box, with Cancel), as for errors.
        if (answer != IDYES) {
            PostQuitMessage(-1);
            return;
        }
    }

    m_fileName = fileName;
    m_writeFailed = false;
    writeHeader(dateText, applicationName, threshold);
    flushToDisk();
    m_indentation = 0;
    m_applicationName = applicationName;
    m_threshold = threshold;
}

void cLog::writeHeader(const std::string& dateText, const std::string& applicationName,
                       LOGLEVEL threshold) {
    put("<html>");
    put("<title>Zorbin Engine Log</title>");
    put("<font face=\"Courier New\" size=\"2\">");
    put("<b>Zorbin Engine Log</b><br>");
    put("Application: '" + applicationName + "'<br>");
    put("Compiler configuration: Release<br>");
    put("Date/Time: " + dateText + "<br>");
    put(std::string("Log level: ") + thresholdName(threshold) + "<br>");
}

void cLog::write(cLogMessage message) {
    const LOGLEVEL level = message.getLevel();
    if (!m_open || level > m_threshold) return;

    const LOGINDENT action = message.getIndentAction();
    if (action == LOGINDENT_END && m_indentation > 0) --m_indentation;

    const std::string text = message.getText();
    switch (level) {
        case LOGLEVEL_FATAL: writeFatal(text); break;
        case LOGLEVEL_ERROR: writeError(text); break;
        case LOGLEVEL_WARNING: writeWarning(text); break;
        default:
            writeIndent();
            put(text + "<br>");
            break;
    }

    if (action == LOGINDENT_BEGIN) ++m_indentation;
    flushToDisk();
}

void cLog::writeFatal(const std::string& text) {
    const std::string caption = m_applicationName + ": Fatal error";
    MessageBoxA(m_window, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
    writeIndent();
    put("<u>Fatal error:</u> " + text + "<br>");
    writeIndent();
    put("Posted quit message.<br>");
    PostQuitMessage(-1);
}

void cLog::writeError(const std::string& text) {
    const std::string caption = m_applicationName + ": Error";
    const std::string question = text + "\nDo you want to continue running the application?";
    const int answer =
        MessageBoxA(m_window, question.c_str(), caption.c_str(), MB_YESNOCANCEL | MB_ICONERROR);
    writeIndent();
    put("<u>Error:</u> " + text + "<br>");
    writeIndent();
    if (answer == IDYES) {
        put("Continued running application.<br>");
    } else {
        put("Posted quit message.<br>");
        PostQuitMessage(-1);
    }
}

void cLog::writeWarning(const std::string& text) {
    const std::string caption = m_applicationName + ": Warning";
    MessageBoxA(m_window, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    writeIndent();
    put("<u>Warning:</u> " + text + "<br>");
}

// Each message goes to the disk as it is written: a program that is killed, or
// whose disk fills up, leaves a log complete up to its last message. The first
// write that fails is said once on stderr; the stream then drops the rest, and
// the program goes on without its log.
void cLog::flushToDisk() {
    if (!m_file.is_open() || m_writeFailed) return;
    m_file.flush();
    if (!m_file.bad()) return;
    const int error = errno;
    m_writeFailed = true;
    std::fprintf(stderr, "Log: writing '%s' failed (%s); the log ends there and the program goes on without it.\n",
                 crt::hostPath(m_fileName).c_str(), std::strerror(error));
}

void cLog::writeIndent() {
    for (unsigned i = 0; i < m_indentation; ++i) put("&nbsp;&nbsp;");
}

void cLog::put(const std::string& text) {
    if (!m_file.is_open()) return;
    size_t start = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
        m_file.write(text.data() + start, static_cast<std::streamsize>(lf - start));
        m_file.write("\r\n", 2);
        start = lf + 1;
    }
    m_file.write(text.data() + start, static_cast<std::streamsize>(text.size() - start));
}

void cLog::close() {
    if (!m_open) return;
    m_indentation = 0;
    put("<br><b>End of log</b>");
    put("</font></html>");
    flushToDisk();
    m_file.close();
    m_open = false;
}
