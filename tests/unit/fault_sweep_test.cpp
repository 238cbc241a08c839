// Fault injection over every device call the engine checks: the whole demo runs on
// the recording device, each checked call site found by discovery (fault_sweep.h)
// is made to fail once and from there on, with the user answering Yes and No to
// the error box, and every run must log the failure in the engine's own words, show
// the box, go on or quit as the answer says, shut down in order, close the log and
// leave no device object alive.
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "engine_fixture.h"
#include "fault_sweep.h"
#include "music.h"
#include "sound_hooks.h"

namespace {

using namespace fault_sweep;

const char kInvalidCallReason[] =
    "Direct3D: The method call is invalid. For example, a method's parameter may have an invalid "
    "value.";
const char kQuestion[] = "\nDo you want to continue running the application?";
const char kLogEnd[] = "<br><b>End of log</b></font></html>";

// ---------------------------------------------------------------------------
// What a failing call writes to the log

struct Expected {
    std::string level;
    std::string text;  // exact, or the start of it when `prefixOnly`
    bool prefixOnly = false;
};

std::string dxFailure(const std::string& callText) {
    return "DirectX call '" + callText + "' failed: " + kInvalidCallReason;
}

// The render states the engine checks, by (state, value) as the recorder spells them.
std::optional<std::string> checkedRenderState(const std::string& shape) {
    static const std::map<std::string, std::string> texts = {
        {"SetRenderState(7, 1)", "D3DRS_ZENABLE, true"},
        {"SetRenderState(14, 1)", "D3DRS_ZWRITEENABLE, true"},
        {"SetRenderState(137, 0)", "D3DRS_LIGHTING, false"},
        {"SetRenderState(137, 1)", "D3DRS_LIGHTING, true"},
        {"SetRenderState(22, 3)", "D3DRS_CULLMODE, D3DCULL_CCW"},
        {"SetRenderState(27, 1)", "D3DRS_ALPHABLENDENABLE, true"},
    };
    const auto found = texts.find(shape);
    if (found == texts.end()) return std::nullopt;
    return "IDirect3DDevice8::SetRenderState(" + found->second + ")";
}

// The message the engine writes for a failure of this call, if it has one.
std::optional<Expected> partsMessage(const std::string& method, const std::string& shape) {
    if (method == "Direct3DCreate8") return Expected{"Fatal error", "Failed to create D3D8 Object."};
    if (method == "GetAdapterDisplayMode" || method == "CreateDevice") {
        return Expected{"Error", dxFailure("IDirect3D8::" + method)};
    }
    // A texture that cannot be made is reported with its file, whichever step of
    // D3DX's work on the device failed.
    if (method == "CreateTexture" || method == "IDirect3DTexture8::LockRect" ||
        method == "IDirect3DTexture8::UnlockRect") {
        return Expected{"Error", "Error while loading file: 'Data\\Textures\\", true};
    }
    if (method == "SetRenderState") {
        const std::optional<std::string> text = checkedRenderState(shape);
        if (text) return Expected{"Error", dxFailure(*text)};
        return std::nullopt;
    }
    if (method == "LightEnable") {
        const bool on = shape.size() > 3 && shape.compare(shape.size() - 3, 3, " 1)") == 0;
        return Expected{"Error", dxFailure(std::string("IDirect3DDevice8::LightEnable(s_LightCount, ") +
                                           (on ? "true)" : "false)"))};
    }
    for (const char* plain : {"Clear", "BeginScene", "EndScene", "Present", "CreateVertexBuffer",
                              "CreateIndexBuffer", "GetMaterial", "SetMaterial", "SetLight"}) {
        if (method == plain) return Expected{"Error", dxFailure(std::string("IDirect3DDevice8::") + plain)};
    }
    return std::nullopt;
}

bool matches(const Expected& expected, const LoggedFailure& logged) {
    if (expected.level != logged.level) return false;
    if (!expected.prefixOnly) return expected.text == logged.text;
    return logged.text.compare(0, expected.text.size(), expected.text) == 0;
}

// ---------------------------------------------------------------------------
// The fixture

class FaultSweepTest : public testing_support::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        writeFile("Data/Config/direct3d.cfg", "fullscreen 0");
        std::filesystem::create_directories("Data/Music");
        std::string error;
        ASSERT_TRUE(datagen::writeMusic("Data/Music/onehitw.xm", &error)) << error;
        // Opening and closing an audio device takes a tenth of a second, hundreds
        // of times over; the song still loads and plays, only without a sound.
        sound::setDeviceSuppressed(true);
        pictures = providePictures();
    }
    void TearDown() override {
        sound::setDeviceSuppressed(false);
        EngineTest::TearDown();
    }

    std::vector<std::string> pictures;
};

// The invariants of every run: an orderly end whatever failed.
void expectOrderlyEnd(const RunResult& run) {
    EXPECT_EQ(run.liveObjectsAfterRun, 0) << "device objects left alive after shut-down";
    EXPECT_EQ(run.lightCountAfterRun, 0) << "s_LightCount out of balance";
    EXPECT_EQ(run.matrixStackDepthAfterRun, 0u) << "world matrix stack out of balance";
    ASSERT_GE(run.log.size(), sizeof kLogEnd - 1);
    EXPECT_EQ(run.log.substr(run.log.size() - (sizeof kLogEnd - 1)), kLogEnd) << "log not closed";
    const bool startedUp = run.log.find("Start of render loop.") != std::string::npos;
    EXPECT_EQ(run.exitCode, startedUp ? 0 : -1);
    if (startedUp) {
        EXPECT_NE(run.log.find("End of render loop.<br>"), std::string::npos);
    } else {
        ASSERT_FALSE(run.boxes.empty());
        EXPECT_EQ(run.boxes.back().text, "Something went wrong...");
        EXPECT_EQ(run.boxes.back().caption, "Error:");
    }
}

TEST_F(FaultSweepTest, ACleanRunWithSoundEndsInOrderAndLeavesNothingBehind) {
    sound::setDeviceSuppressed(false);
    EXPECT_EQ(pictures.size(), 22u) << "every picture of the loading screen and the six effects";
    const RunResult run = runDemoOnce({});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.framesDrawn, frameCount());
    EXPECT_TRUE(loggedFailures(run.log).empty());
    expectOrderlyEnd(run);
}

// ---------------------------------------------------------------------------
// The sweep, one test per place so that each reports its own sites

struct Mode {
    bool fromThereOn;
    int answer;
    const char* name;
};
const Mode kModes[] = {
    {false, IDYES, "once, Yes"},
    {false, IDNO, "once, No"},
    {true, IDYES, "from there on, Yes"},
    {true, IDNO, "from there on, No"},
};

void checkFailureRun(const Site& site, const Mode& mode, const RunResult& run) {
    SCOPED_TRACE(mode.name);
    ASSERT_NE(run.failingCall, SIZE_MAX) << "the planned failure never happened";
    // Once: only that call failed; from there on: every later call of the method too.
    for (size_t i = run.failingCall; i < run.calls.size(); ++i) {
        if (run.calls[i].method != site.method) continue;
        const bool failed = FAILED(run.calls[i].result);
        EXPECT_EQ(failed, i == run.failingCall || mode.fromThereOn) << "call " << i << ": " << run.calls[i].text;
        if (failed != (i == run.failingCall || mode.fromThereOn)) break;
    }

    // The failure is logged as discovery saw it, and the answer is honoured.
    const std::vector<LoggedFailure> logged = loggedFailures(run.log);
    ASSERT_FALSE(logged.empty()) << "no failure in the log";
    EXPECT_EQ(logged.front().level, site.failure.level);
    EXPECT_EQ(logged.front().text, site.failure.text);
    ASSERT_FALSE(run.boxes.empty()) << "no box shown";
    const Box& box = run.boxes.front();
    if (site.failure.level == "Error") {
        EXPECT_EQ(box.text, site.failure.text + kQuestion);
        EXPECT_EQ(box.caption, "Demo: Error");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONERROR));
        EXPECT_EQ(logged.front().next, mode.answer == IDYES ? "Continued running application."
                                                            : "Posted quit message.");
    } else if (site.failure.level == "Fatal error") {
        EXPECT_EQ(box.text, site.failure.text);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
        EXPECT_EQ(logged.front().next, "Posted quit message.");
    }

    // A failing device set-up ends the program with -1. A single failure on the
    // loading screen or in a frame never stops start-up; in effect init each owner
    // decides (some go on without the object). Once running, Yes lets the demo go
    // on to its last frame and No ends the loop after the frame in which the box
    // was answered. The intro alone reports a failed Present through its frame's
    // result, which quits whatever the answer.
    if (site.place.phase == Phase::Device) {
        EXPECT_EQ(run.exitCode, -1);
    }
    if (site.place.phase == Phase::Frame || (site.place.phase == Phase::Loading && !mode.fromThereOn)) {
        EXPECT_EQ(run.exitCode, 0);
    }
    const bool introPresentFails =
        site.method == "Present" &&
        (site.place.effect == 0 || (mode.fromThereOn && site.place.phase != Phase::Frame));
    const bool quitAsked =
        mode.answer == IDNO || site.failure.level == "Fatal error" || introPresentFails;
    if (run.exitCode == 0) {
        if (quitAsked) {
            EXPECT_LE(run.framesAfterFailure, 1) << "frames went on after the quit";
        } else {
            EXPECT_EQ(run.framesDrawn, frameCount()) << "the demo did not go on";
        }
    }
    expectOrderlyEnd(run);
}

class FaultSweepAt : public FaultSweepTest, public ::testing::WithParamInterface<CallPlace> {};

TEST_P(FaultSweepAt, EveryCheckedCallIsLoggedAnsweredAndEndsInOrder) {
    const CallPlace place = GetParam();
    const Discovery found = discover(place);
    ASSERT_EQ(found.error, "");
    expectOrderlyEnd(found.baseline);

    // Discovery must at least find the checks the engine makes at every such place: the
    // device wrapper's, every scene's frame calls, resource creation, and the drop
    // effect's light and materials.
    std::set<std::string> methods;
    for (const Site& site : found.checked) methods.insert(site.method);
    std::set<std::string> required;
    if (place.phase == Phase::Device) {
        required = {"Direct3DCreate8", "GetAdapterDisplayMode", "CreateDevice", "SetRenderState"};
    }
    if (place.phase == Phase::Loading || place.phase == Phase::EffectInit) {
        required = {"CreateVertexBuffer", "CreateIndexBuffer", "CreateTexture"};
    }
    if (place.phase == Phase::Loading || place.phase == Phase::Frame) {
        required.insert({"Clear", "BeginScene", "EndScene", "Present"});
    }
    if (place.phase == Phase::Frame && place.effect == 2) {
        required.insert({"SetRenderState", "SetLight", "LightEnable", "GetMaterial", "SetMaterial"});
    }
    for (const std::string& method : required) {
        EXPECT_EQ(methods.count(method), 1u) << "no checked " << method << " found";
    }

    int runs = 0;
    int stoppedStartUp = 0;
    for (const Site& site : found.checked) {
        SCOPED_TRACE(site.describe());
        const std::optional<Expected> expected = partsMessage(site.method, site.shape);
        if (!expected) {
            ADD_FAILURE() << "its failure is logged as '" << site.failure.text
                          << "', but the engine is not known to check this call";
        } else {
            EXPECT_TRUE(matches(*expected, site.failure))
                << "logged " << site.failure.level << " '" << site.failure.text << "', expected "
                << expected->level << " '" << expected->text << "'";
        }
        for (const Mode& mode : kModes) {
            const Failure failure{site.method, site.nth, kFailure, mode.fromThereOn};
            RunOptions options;
            options.failure = &failure;
            options.answer = mode.answer;
            const RunResult run = runDemoOnce(options);
            checkFailureRun(site, mode, run);
            ++runs;
            stoppedStartUp += run.exitCode != 0;
        }
    }
    std::cout << "[ sweep    ] " << place.describe() << ": " << found.checked.size()
              << " checked sites, " << found.unchecked.size() << " unchecked calls probed, " << runs
              << " failure runs, " << stoppedStartUp << " of them stopped start-up\n";
    for (const Site& site : found.checked) {
        std::cout << "[ site     ]   " << site.describe() << " -> " << site.failure.text << "\n";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Places, FaultSweepAt,
    ::testing::Values(CallPlace{Phase::Device, -1}, CallPlace{Phase::Loading, -1},
                      CallPlace{Phase::EffectInit, -1}, CallPlace{Phase::Frame, 0},
                      CallPlace{Phase::Frame, 1}, CallPlace{Phase::Frame, 2}, CallPlace{Phase::Frame, 3},
                      CallPlace{Phase::Frame, 4}, CallPlace{Phase::Frame, 5}),
    [](const ::testing::TestParamInfo<CallPlace>& info) {
        switch (info.param.phase) {
            case Phase::Device: return std::string("DeviceSetUp");
            case Phase::Loading: return std::string("LoadingScreen");
            case Phase::EffectInit: return std::string("EffectInit");
            case Phase::Frame: return "FramesOfEffect" + std::to_string(info.param.effect);
            case Phase::ShutDown: return std::string("ShutDown");
        }
        return std::string("Unknown");
    });

}  // namespace
