#include "log.h"

#include <algorithm>
#include <set>

#include "engine_fixture.h"

namespace {

using testing_support::EngineTest;

const std::string kHeaderStart =
    "<html><title>Zorbin Engine Log</title><font face=\"Courier New\" size=\"2\">"
    "<b>Zorbin Engine Log</b><br>Application: 'Demo'<br>Compiler configuration: Release<br>"
    "Date/Time: Sun Dec  6 23:27:32 2026\r\n<br>Log level: ";
const std::string kFooter = "<br><b>End of log</b></font></html>";

class LogTest : public EngineTest {
protected:
    std::string logBody(LOGLEVEL threshold, const std::function<void(cLog&)>& writeMessages) {
        {
            cLog log("Demo", threshold, nullptr);
            writeMessages(log);
        }
        const std::string file = readLogFile();
        EXPECT_EQ(file.compare(0, kHeaderStart.size(), kHeaderStart), 0) << file;
        EXPECT_EQ(file.compare(file.size() - kFooter.size(), kFooter.size(), kFooter), 0) << file;
        return file.substr(kHeaderStart.size(),
                           file.size() - kHeaderStart.size() - kFooter.size());
    }
};

TEST_F(LogTest, FileIsNamedAfterTheLocalDateWithSpacesKept) {
    EXPECT_EQ(logFileName("Sun Dec  6 23:27:32 2026\n"),
              "Data\\Logs\\Sun Dec  6 23.27.32 2026 .html");
    { cLog log("Demo", LOGLEVEL_DEBUG, nullptr); }
    EXPECT_TRUE(std::filesystem::exists(workDir_ / "Data" / "Logs" / "Sun Dec  6 23.27.32 2026 .html"));
}

TEST_F(LogTest, HeaderNamesTheThresholdAndEndsWithTwoBreaks) {
    EXPECT_EQ(logBody(LOGLEVEL_DEBUG, [](cLog&) {}), "Debug<br><br>");
    std::filesystem::remove_all(workDir_ / "Data");
    EXPECT_EQ(logBody(LOGLEVEL_LOG, [](cLog&) {}), "Log<br><br>");
    std::filesystem::remove_all(workDir_ / "Data");
    EXPECT_EQ(logBody(LOGLEVEL_ERROR, [](cLog&) {}), "Errors<br><br>");
    std::filesystem::remove_all(workDir_ / "Data");
    EXPECT_EQ(logBody(LOGLEVEL_FATAL, [](cLog&) {}), "Fatal errors<br><br>");
    std::filesystem::remove_all(workDir_ / "Data");
    EXPECT_EQ(logBody(LOGLEVEL_WARNING, [](cLog&) {}), "<br>");
}

TEST_F(LogTest, IndentationFollowsBlocksAndNeverGoesBelowZero) {
    const std::string body = logBody(LOGLEVEL_DEBUG, [](cLog& log) {
        log.write(cLogBlockEnd(LOGLEVEL_LOG));  // at zero: stays zero, written unindented
        log.write(cLogBlockBegin("cD3D::init", LOGLEVEL_LOG));
        log.write(cLogMessage("step", LOGLEVEL_LOG, LOGINDENT_NONE));
        log.write(cLogBlockBegin("inner", LOGLEVEL_DEBUG));
        log.write(cLogDone(LOGLEVEL_LOG, LOGINDENT_END));
        log.write(cLogBlockEnd(LOGLEVEL_LOG));
        log.write(cLogMessage("a < b & c", LOGLEVEL_LOG, LOGINDENT_NONE));
    });
    EXPECT_EQ(body,
              "Debug<br><br>"
              "<br>"
              "cD3D::init<br>"
              "&nbsp;&nbsp;step<br>"
              "&nbsp;&nbsp;inner<br>"
              "&nbsp;&nbsp;Done.<br>"
              "<br>"
              "a < b & c<br>");
}

TEST_F(LogTest, MessagesAboveTheThresholdLeaveNoTraceNotEvenIndentation) {
    const std::string body = logBody(LOGLEVEL_LOG, [](cLog& log) {
        log.write(cLogBlockBegin("hidden", LOGLEVEL_DEBUG));
        log.write(cLogMessage("shown", LOGLEVEL_LOG, LOGINDENT_NONE));
        log.write(cLogDXCall("IDirect3DDevice8::Clear", 0, LOGINDENT_NONE));
    });
    EXPECT_EQ(body, "Log<br><br>shown<br>");
}

TEST_F(LogTest, FatalShowsABoxThenPostsQuit) {
    const std::string body = logBody(LOGLEVEL_DEBUG, [](cLog& log) {
        log.write(cLogMessage("Failed to create D3D8 Object.", LOGLEVEL_FATAL, LOGINDENT_NONE));
        log.write(cLogMessage("still logged", LOGLEVEL_LOG, LOGINDENT_NONE));
    });
    EXPECT_EQ(body,
              "Debug<br><br><u>Fatal error:</u> Failed to create D3D8 Object.<br>"
              "Posted quit message.<br>still logged<br>");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to create D3D8 Object.");
    EXPECT_EQ(boxes[0].caption, "Demo: Fatal error");
    EXPECT_EQ(boxes[0].type, 0x10u);
    EXPECT_EQ(drainMessages(), -1);
}

TEST_F(LogTest, ErrorAsksAndQuitsUnlessTheAnswerIsYes) {
    answers = {IDYES, IDNO, IDCANCEL};
    const std::string body = logBody(LOGLEVEL_DEBUG, [&](cLog& log) {
        log.write(cLogFileError("a.jpg", LOGLEVEL_ERROR, LOGINDENT_NONE));
        EXPECT_EQ(drainMessages(), 12345) << "Yes must not quit";
        log.write(cLogFileError("b.jpg", LOGLEVEL_ERROR, LOGINDENT_NONE));
        EXPECT_EQ(drainMessages(), -1);
        log.write(cLogFileError("c.jpg", LOGLEVEL_ERROR, LOGINDENT_NONE));
        EXPECT_EQ(drainMessages(), -1);
    });
    EXPECT_EQ(body,
              "Debug<br><br>"
              "<u>Error:</u> Error while loading file: 'a.jpg'<br>Continued running application.<br>"
              "<u>Error:</u> Error while loading file: 'b.jpg'<br>Posted quit message.<br>"
              "<u>Error:</u> Error while loading file: 'c.jpg'<br>Posted quit message.<br>");
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text,
              "Error while loading file: 'a.jpg'\nDo you want to continue running the application?");
    EXPECT_EQ(boxes[0].caption, "Demo: Error");
    EXPECT_EQ(boxes[0].type, 0x13u);
}

TEST_F(LogTest, WarningShowsABoxAndGoesOn) {
    const std::string body = logBody(LOGLEVEL_DEBUG, [](cLog& log) {
        log.write(cLogBlockBegin("block", LOGLEVEL_LOG));
        log.write(cLogMessage("careful", LOGLEVEL_WARNING, LOGINDENT_NONE));
    });
    EXPECT_EQ(body, "Debug<br><br>block<br>&nbsp;&nbsp;<u>Warning:</u> careful<br>");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Demo: Warning");
    EXPECT_EQ(boxes[0].type, 0x30u);
    EXPECT_EQ(drainMessages(), 12345);
}

TEST_F(LogTest, ClosedLogDropsEverythingSilently) {
    cLog log;
    log.write(cLogMessage("fatal", LOGLEVEL_FATAL, LOGINDENT_NONE));
    log.write(cLogMessage("error", LOGLEVEL_ERROR, LOGINDENT_BEGIN));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(log.getIndentation(), 0u);
    EXPECT_EQ(drainMessages(), 12345);
    EXPECT_FALSE(std::filesystem::exists(workDir_ / "Data"));
}

TEST_F(LogTest, SecondOpenChangesNothing) {
    {
        cLog log("Demo", LOGLEVEL_DEBUG, nullptr);
        log.open("Other", LOGLEVEL_FATAL, reinterpret_cast<HWND>(1));
        log.write(cLogMessage("debug still written", LOGLEVEL_DEBUG, LOGINDENT_NONE));
    }
    EXPECT_NE(readLogFile().find("debug still written<br>"), std::string::npos);
}

TEST_F(LogTest, UnwritableLogDirectoryAsksAndQuitsUnlessTheAnswerIsYes) {
    // A file where the directory should be makes the log file impossible to create.
    writeFile("Data/Logs", "not a directory");
    answers = {IDNO};
    cLog refused("Demo", LOGLEVEL_DEBUG, nullptr);
    EXPECT_FALSE(refused.isOpen());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Could not open log file.\nDo you want to continue?");
    EXPECT_EQ(boxes[0].caption, "Demo: Error");
    EXPECT_EQ(boxes[0].type, 0x34u);
    EXPECT_EQ(drainMessages(), -1);

    answers = {IDCANCEL};  // closed without an answer: no log wanted either
    cLog closed("Demo", LOGLEVEL_DEBUG, nullptr);
    EXPECT_FALSE(closed.isOpen());
    EXPECT_EQ(drainMessages(), -1);

    answers = {IDYES};
    cLog accepted("Demo", LOGLEVEL_DEBUG, nullptr);
    EXPECT_FALSE(accepted.isOpen());
    accepted.write(cLogMessage("dropped", LOGLEVEL_FATAL, LOGINDENT_NONE));
    EXPECT_EQ(boxes.size(), 3u) << "a fatal message to a closed log shows no box";
    EXPECT_EQ(drainMessages(), 12345);
}

// A killed program or a full disk must not take the messages already written.
TEST_F(LogTest, EachMessageIsOnDiskBeforeTheLogCloses) {
    cLog log("Demo", LOGLEVEL_DEBUG, nullptr);
    log.write(cLogMessage("Start of render loop.", LOGLEVEL_LOG, LOGINDENT_NONE));
    EXPECT_NE(readLogFile().find("Start of render loop.<br>"), std::string::npos);
}

TEST_F(LogTest, FullDiskIsSaidOnceAndTheLogGoesOn) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    std::filesystem::create_directories(workDir_ / "Data" / "Logs");
    std::filesystem::create_symlink("/dev/full", workDir_ / "Data" / "Logs" / "Sun Dec  6 23.27.32 2026 .html");
    testing::internal::CaptureStderr();
    {
        cLog log("Demo", LOGLEVEL_DEBUG, nullptr);
        EXPECT_TRUE(log.isOpen());
        for (int i = 0; i < 100; ++i) log.write(cLogMessage("more", LOGLEVEL_LOG, LOGINDENT_BEGIN));
        EXPECT_EQ(log.getIndentation(), 100u);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("No space left on device"), std::string::npos) << said;
    EXPECT_EQ(drainMessages(), 12345) << "a full disk asks nothing and quits nothing";
}

TEST(DXCallMessage, TextsAndLevels) {
    cLogDXCall lost("IDirect3DDevice8::Present", static_cast<HRESULT>(0x88760868), LOGINDENT_NONE);
    EXPECT_EQ(lost.getText(),
              "DirectX call 'IDirect3DDevice8::Present' failed: Direct3D: The device is lost and "
              "cannot be restored at the current time, so rendering is not possible.");
    EXPECT_EQ(lost.getLevel(), LOGLEVEL_ERROR);

    cLogDXCall between("X", static_cast<HRESULT>(0x88760820), LOGINDENT_END);
    EXPECT_EQ(between.getText(), "DirectX call 'X' failed: Direct3D: An unknow error occurred.");
    EXPECT_EQ(between.getIndentAction(), LOGINDENT_END);

    cLogDXCall positive("X", 1, LOGINDENT_NONE);
    EXPECT_EQ(positive.getLevel(), LOGLEVEL_ERROR);
    EXPECT_EQ(positive.getText(), "DirectX call 'X' failed: Direct3D: An unknow error occurred.");

    cLogDXCall ok("X", 0, LOGINDENT_NONE);
    EXPECT_EQ(ok.getText(), "DirectX call 'X' succeeded.");
    EXPECT_EQ(ok.getLevel(), LOGLEVEL_DEBUG);
}

TEST(DXCallMessage, EveryTabledResultHasItsOwnReason) {
    const uint32_t results[] = {0x80004005, 0x8007000E, 0x80070057, 0x8876017C, 0x88760818,
                                0x88760819, 0x8876081A, 0x8876081B, 0x8876081C, 0x8876081D,
                                0x8876081E, 0x8876081F, 0x88760821, 0x88760822, 0x88760826,
                                0x88760827, 0x88760866, 0x88760867, 0x88760868, 0x88760869,
                                0x8876086A, 0x8876086B, 0x8876086C};
    std::set<std::string> texts;
    for (uint32_t result : results) {
        const std::string text = getD3DErrorText(static_cast<HRESULT>(result));
        EXPECT_EQ(text.rfind("Direct3D: ", 0), 0u) << text;
        EXPECT_NE(text, "Direct3D: An unknow error occurred.") << std::hex << result;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(results));
    EXPECT_EQ(getD3DErrorText(0x8876017C),
              "Direct3D: Direct3D does not have enough display memory to perform the operation. ");
    EXPECT_EQ(getD3DErrorText(0), "Direct3D: No error occurred.");
}

}  // namespace
