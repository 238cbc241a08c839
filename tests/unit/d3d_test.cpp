#include "d3d.h"

#include "engine_fixture.h"

namespace {

using d3d8::recording::recorder;

class D3DTest : public testing_support::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        log.open("Demo", LOGLEVEL_DEBUG, nullptr);
        mainWindow = window();
        d3d.setDisplayMode(640, 480, 60);
    }
    void TearDown() override {
        d3d.release();
        EngineTest::TearDown();
    }

    // The body of the log after its header, up to (not including) the footer.
    std::string logBody() {
        log.close();
        const std::string file = readLogFile();
        const std::string headerEnd = "Debug<br><br>";
        const size_t start = file.find(headerEnd) + headerEnd.size();
        const size_t end = file.rfind("<br><b>End of log</b>");
        return file.substr(start, end - start);
    }

    HWND mainWindow = nullptr;
    cLog log;  // opened in SetUp, once the working directory is the test's
    cD3D d3d;
};

const char kInitWithoutConfig[] =
    "cD3D::init<br>"
    "&nbsp;&nbsp;Loading Direct3D config file...<br>"
    "&nbsp;&nbsp;<u>Warning:</u> Error while loading file: 'Data\\Config\\direct3d.cfg'<br>"
    "&nbsp;&nbsp;Creating D3D Device...<br>"
    "&nbsp;&nbsp;&nbsp;&nbsp;Resolution: 640x480 (Windowed)<br>"
    "&nbsp;&nbsp;&nbsp;&nbsp;Refreshrate: 60<br>"
    "&nbsp;&nbsp;Succeeded.<br>"
    "<br>";

TEST_F(D3DTest, NoConfigFileWarnsAndCreatesAWindowedDevice) {
    EXPECT_EQ(d3d.init(mainWindow, &log, nullptr), S_OK);
    ASSERT_NE(d3d.m_device, nullptr);
    EXPECT_EQ(logBody(), kInitWithoutConfig);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error while loading file: 'Data\\Config\\direct3d.cfg'");

    const D3DPRESENT_PARAMETERS& params = recorder().lastDeviceCreation()->parameters;
    EXPECT_TRUE(params.Windowed);
    EXPECT_EQ(params.SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(params.BackBufferWidth, 0u);
    EXPECT_EQ(params.BackBufferCount, 0u);
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8) << "the adapter's format";
    EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_TRUE(params.EnableAutoDepthStencil);
    EXPECT_EQ(d3d.m_displayMode->Format, D3DFMT_X8R8G8B8);

    // The default render states, in order, after the device exists.
    const auto states = recorder().callsOf("SetRenderState");
    ASSERT_EQ(states.size(), 4u);
    EXPECT_EQ(states[0].text, "SetRenderState(7, 1)");
    EXPECT_EQ(states[1].text, "SetRenderState(14, 1)");
    EXPECT_EQ(states[2].text, "SetRenderState(137, 0)");
    EXPECT_EQ(states[3].text, "SetRenderState(22, 3)");
}

TEST_F(D3DTest, FullscreenSettingMakesAFullscreenDeviceOfTheDefaultSize) {
    writeFile("Data/Config/direct3d.cfg", "fullscreen 1");
    EXPECT_EQ(d3d.init(mainWindow, &log, nullptr), S_OK);
    const D3DPRESENT_PARAMETERS& params = recorder().lastDeviceCreation()->parameters;
    EXPECT_FALSE(params.Windowed);
    EXPECT_EQ(params.BackBufferWidth, 640u);
    EXPECT_EQ(params.BackBufferHeight, 480u);
    EXPECT_EQ(params.BackBufferCount, 2u);
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(params.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_NE(logBody().find("Resolution: 640x480 (Fullscreen)<br>"), std::string::npos);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(D3DTest, WidthSettingResizesTheWindow) {
    writeFile("Data/Config/direct3d.cfg", "reswidth 800");
    EXPECT_EQ(d3d.init(mainWindow, &log, nullptr), S_OK);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(mainWindow, &rect));
    EXPECT_EQ(rect.right - rect.left, 800);
    EXPECT_EQ(rect.bottom - rect.top, 480);
    EXPECT_TRUE(recorder().lastDeviceCreation()->parameters.Windowed);
    EXPECT_NE(logBody().find("Resolution: 800x480 (Windowed)<br>"), std::string::npos);
}

TEST_F(D3DTest, GivenConfigurationIsUsedAsItIs) {
    cD3DConfig config;  // nothing read: all defaults
    writeFile("Data/Config/direct3d.cfg", "fullscreen 1");
    EXPECT_EQ(d3d.init(mainWindow, &log, &config), S_OK);
    EXPECT_TRUE(recorder().lastDeviceCreation()->parameters.Windowed);
    EXPECT_EQ(logBody().find("Loading Direct3D config file"), std::string::npos);
}

TEST_F(D3DTest, NoDirect3DObjectIsFatal) {
    recorder().failNth("Direct3DCreate8", 1, E_FAIL);
    EXPECT_EQ(d3d.init(mainWindow, &log, nullptr), E_FAIL);
    EXPECT_EQ(drainMessages(), -1);
    const std::string body = logBody();
    EXPECT_NE(body.find("<u>Fatal error:</u> Failed to create D3D8 Object.<br>"), std::string::npos);
    EXPECT_EQ(body.find("Creating D3D Device"), std::string::npos);
}

TEST_F(D3DTest, AdapterModeFailureIsLoggedWithoutClosingTheBlock) {
    recorder().failNth("GetAdapterDisplayMode", 1, D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d.init(mainWindow, &log, nullptr), D3DERR_NOTAVAILABLE);
    const std::string body = logBody();
    EXPECT_NE(body.find("&nbsp;&nbsp;<u>Error:</u> DirectX call 'IDirect3D8::GetAdapterDisplayMode' "
                        "failed: Direct3D: This device does not support the queried technique.<br>"),
              std::string::npos);
    EXPECT_EQ(log.getIndentation(), 0u);  // closed by close(); the block itself was left open
}

TEST_F(D3DTest, DeviceCreationFailureClosesBothBlocks) {
    recorder().failNth("CreateDevice", 1, D3DERR_INVALIDCALL);
    answers = {IDYES};
    EXPECT_EQ(d3d.init(mainWindow, &log, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d.m_device, nullptr);
    const std::string body = logBody();
    const std::string expectedEnd =
        "&nbsp;&nbsp;<u>Error:</u> DirectX call 'IDirect3D8::CreateDevice' failed: Direct3D: The "
        "method call is invalid. For example, a method's parameter may have an invalid value.<br>"
        "&nbsp;&nbsp;Continued running application.<br>"
        "<br>";
    ASSERT_GE(body.size(), expectedEnd.size());
    EXPECT_EQ(body.substr(body.size() - expectedEnd.size()), expectedEnd);
}

TEST_F(D3DTest, EachDefaultRenderStateFailureIsReportedWithItsText) {
    const char* texts[] = {"IDirect3DDevice8::SetRenderState(D3DRS_ZENABLE, true)",
                           "IDirect3DDevice8::SetRenderState(D3DRS_ZWRITEENABLE, true)",
                           "IDirect3DDevice8::SetRenderState(D3DRS_LIGHTING, false)",
                           "IDirect3DDevice8::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW)"};
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        cD3D wrapper;
        wrapper.setDisplayMode(640, 480, 60);
        recorder().clearCalls();
        recorder().failNth("SetRenderState", n, E_FAIL);
        answers = {IDYES};
        EXPECT_EQ(wrapper.init(mainWindow, &log, nullptr), E_FAIL);
        EXPECT_EQ(recorder().count("SetRenderState"), static_cast<size_t>(n))
            << "the states after the failing one are not set";
        wrapper.release();
    }
    const std::string body = logBody();
    for (const char* text : texts) {
        EXPECT_NE(body.find(std::string("DirectX call '") + text + "' failed"), std::string::npos)
            << text;
    }
}

TEST_F(D3DTest, ReleaseAfterFailedInitAndTwice) {
    recorder().failNth("Direct3DCreate8", 1, E_FAIL);
    d3d.init(mainWindow, &log, nullptr);
    drainMessages();
    EXPECT_FALSE(d3d.release());
    EXPECT_FALSE(d3d.release());
    // The failed init left its block open, so both release blocks sit one step in.
    EXPECT_NE(logBody().find("&nbsp;&nbsp;cD3D::release<br>&nbsp;&nbsp;<br>"
                             "&nbsp;&nbsp;cD3D::release<br>&nbsp;&nbsp;<br>"),
              std::string::npos);

    cD3D fresh;
    fresh.setDisplayMode(640, 480, 60);
    ASSERT_EQ(fresh.init(mainWindow, nullptr, nullptr), S_OK);  // no log: the fallback drops all
    EXPECT_TRUE(fresh.release());
    EXPECT_FALSE(fresh.release());
    EXPECT_EQ(d3d8::recording::liveObjects(), 0);
}

}  // namespace
