// The main loop: which effect runs when, what it logs, how it ends.
#include <functional>

#include "demo.h"
#include "engine_fixture.h"

namespace {

using testing_support::EngineTest;

// An effect that notes every frame it is given and lets the test act on it.
class ScriptedEffect : public cEffect {
public:
    explicit ScriptedEffect(std::function<void(uint32_t)> onFrame) : m_onFrame(std::move(onFrame)) {}
    HRESULT init(cD3D* d3d) override {
        if (m_failInit) return E_FAIL;
        return cEffect::init(d3d);
    }
    bool frame(uint32_t ms) override {
        m_frames.push_back(ms);
        m_onFrame(ms);
        return m_frameResult;
    }
    std::vector<uint32_t> m_frames;
    bool m_failInit = false;
    bool m_frameResult = true;

private:
    std::function<void(uint32_t)> m_onFrame;
};

class TestDemo : public cDemo {
public:
    float compose() override {
        for (size_t i = 0; i < effects.size(); ++i) addEffect(effects[i], starts[i]);
        return length;
    }
    std::vector<cEffect*> effects;
    std::vector<float> starts;
    float length = 1e9f;
};

class DemoLoopTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        writeFile("Data/Config/direct3d.cfg", "fullscreen 0");
        crt::setClockSource([this] {
            ++clockReads;
            return clock.now();
        });
    }
    void TearDown() override {
        crt::setClockSource(nullptr);
        if (IsWindow(demo.getWindow())) DestroyWindow(demo.getWindow());
        UnregisterClassA("DemoWindow", GetModuleHandleA(nullptr));
        EngineTest::TearDown();
    }

    std::string logText() { return readLogFile(); }

    void pressEscape() { PostMessageA(demo.getWindow(), WM_KEYDOWN, VK_ESCAPE, 0); }

    crt::VirtualClock clock;
    int clockReads = 0;
    TestDemo demo;
};

TEST_F(DemoLoopTest, SelectsTheLatestStartedEffectStrictlyAfterItsStart) {
    ScriptedEffect second([&](uint32_t) { pressEscape(); });
    ScriptedEffect first([&](uint32_t) {
        clock.set(clock.now() == 0 ? 12000 : 12001);
    });
    demo.effects = {&first, &second};
    demo.starts = {0.0f, 12000.0f};
    ASSERT_TRUE(demo.run());
    EXPECT_EQ(first.m_frames, (std::vector<uint32_t>{0, 12000}));
    EXPECT_EQ(second.m_frames, (std::vector<uint32_t>{0})) << "local time starts at 0";
    const std::string log = logText();
    EXPECT_NE(log.find("Start of render loop.<br>&nbsp;&nbsp;Started rendering new effect: #0<br>"
                       "&nbsp;&nbsp;Started rendering new effect: #1<br>"
                       "End of render loop.<br>"),
              std::string::npos)
        << log;
}

TEST_F(DemoLoopTest, AStallSwitchesStraightToTheLatestPassedEffect) {
    ScriptedEffect e0([&](uint32_t) { clock.set(40000); });
    ScriptedEffect e1([](uint32_t) {}), e2([](uint32_t) {});
    ScriptedEffect e3([&](uint32_t ms) {
        clock.advance(10);
        if (ms >= 10) pressEscape();
    });
    demo.effects = {&e0, &e1, &e2, &e3};
    demo.starts = {0, 12000, 24000, 36000};
    ASSERT_TRUE(demo.run());
    EXPECT_TRUE(e1.m_frames.empty());
    EXPECT_TRUE(e2.m_frames.empty());
    EXPECT_EQ(e3.m_frames.front(), 0u);
    const std::string log = logText();
    EXPECT_EQ(log.find("new effect: #1"), std::string::npos);
    EXPECT_EQ(log.find("new effect: #2"), std::string::npos);
    EXPECT_NE(log.find("new effect: #3"), std::string::npos);
}

TEST_F(DemoLoopTest, APassThatTakesAMessageDrawsNothingAndEscapeEndsAfterIt) {
    int frames = 0;
    int readsAtEscape = 0;
    ScriptedEffect only([&](uint32_t) {
        clock.advance(16);
        if (++frames == 3) {
            PostMessageA(demo.getWindow(), WM_NULL, 0, 0);
            pressEscape();
            readsAtEscape = clockReads;
        }
    });
    demo.effects = {&only};
    demo.starts = {0};
    ASSERT_TRUE(demo.run());
    EXPECT_EQ(frames, 3) << "no frame after the Escape was posted";
    // At least three passes after it took messages: WM_NULL, WM_KEYDOWN (which posts
    // the quit) and WM_QUIT, and none of them drew.
    EXPECT_GE(clockReads - readsAtEscape, 3);
}

TEST_F(DemoLoopTest, ClosingTheWindowEndsTheLoopInOrder) {
    ScriptedEffect only([&](uint32_t) {
        clock.advance(16);
        PostMessageA(demo.getWindow(), WM_CLOSE, 0, 0);
    });
    demo.effects = {&only};
    demo.starts = {0};
    ASSERT_TRUE(demo.run());
    EXPECT_EQ(only.m_frames.size(), 1u);
    EXPECT_FALSE(IsWindow(demo.getWindow()));
    const std::string log = logText();
    // The last lines: one step out for the end of the loop (its text carries its own
    // "<br>"), then cD3D::release, then the footer.
    const std::string tail =
        "&nbsp;&nbsp;Started rendering new effect: #0<br>End of render loop.<br><br>"
        "cD3D::release<br><br><br><b>End of log</b></font></html>";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(DemoLoopTest, AFrameReturningFalseQuitsAndStillShutsDownInOrder) {
    ScriptedEffect only([&](uint32_t) { clock.advance(16); });
    only.m_frameResult = false;
    demo.effects = {&only};
    demo.starts = {0};
    EXPECT_EQ(runDemo(demo), 0);
    EXPECT_EQ(only.m_frames.size(), 1u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DemoLoopTest, AFailingEffectInitGivesTheBoxAndMinusOne) {
    ScriptedEffect good([](uint32_t) {}), bad([](uint32_t) {}), never([](uint32_t) {});
    bad.m_failInit = true;
    demo.effects = {&good, &bad, &never};
    demo.starts = {0, 1, 2};
    EXPECT_EQ(runDemo(demo), -1);
    EXPECT_TRUE(good.m_frames.empty());
    EXPECT_EQ(never.m_d3d, nullptr) << "start-up stops at the failing effect";
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "Something went wrong...");
    EXPECT_EQ(boxes.back().caption, "Error:");
    EXPECT_EQ(boxes.back().type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(logText().find("Start of render loop."), std::string::npos);
    EXPECT_EQ(d3d8::recording::liveObjects(), 0) << "the failed start-up leaves nothing behind";
}

TEST_F(DemoLoopTest, ZeroLengthOrEmptyScheduleFailsBeforeAnyWindow) {
    ScriptedEffect only([](uint32_t) {});
    demo.effects = {&only};
    demo.starts = {0};
    demo.length = 0.0f;
    EXPECT_FALSE(demo.run());
    EXPECT_EQ(demo.getWindow(), nullptr);

    TestDemo empty;
    EXPECT_FALSE(empty.run());
    EXPECT_EQ(empty.getWindow(), nullptr);
}

TEST_F(DemoLoopTest, PastTheLengthTheScheduleStartsOver) {
    int frames = 0;
    ScriptedEffect e0([&](uint32_t) {
        clock.advance(600);
        if (++frames == 2) pressEscape();
    });
    ScriptedEffect e1([&](uint32_t) { clock.advance(600); });
    demo.effects = {&e0, &e1};
    demo.starts = {0, 500};
    demo.length = 1000;
    ASSERT_TRUE(demo.run());
    // e0 at 0; e1 at 600 (local 0) and 1200 (past the length: restart); e0 again from 0.
    EXPECT_EQ(e1.m_frames, (std::vector<uint32_t>{0, 600}));
    EXPECT_EQ(e0.m_frames, (std::vector<uint32_t>{0, 0}));
    EXPECT_NE(logText().find("new effect: #1<br>&nbsp;&nbsp;Started rendering new effect: #0"),
              std::string::npos);
}

}  // namespace
