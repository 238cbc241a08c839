// The device wrapper: owns the Direct3D object and the one device everything is
// drawn on, reads the display configuration, and carries the log through which
// every render object reports.
#pragma once

#include "config.h"
#include "d3d8.h"
#include "log.h"

class cD3D {
public:
    cD3D();
    ~cD3D();
    cD3D(const cD3D&) = delete;
    cD3D& operator=(const cD3D&) = delete;

    // The display mode the device is created for; the configuration may override
    // width and height.
    void setDisplayMode(int width, int height, int refreshRate);

    // Creates the device for `window`. `log` may be null (messages are then dropped);
    // `config` may be null, and the settings file is then read here.
    HRESULT init(HWND window, cLog* log, cD3DConfig* config);

    // Releases the device and the Direct3D object. True if either existed.
    bool release();

    IDirect3D8* m_d3d;
    IDirect3DDevice8* m_device;
    D3DDISPLAYMODE* m_displayMode;
    cLog* m_log;

private:
    HRESULT createDirect3D();
    HRESULT createDevice(HWND window, bool fullscreen);
    HRESULT setDefaultRenderStates();

    cLog m_fallbackLog;
};

// The checked-call pattern: a negative result is written to the device wrapper's
// log as a failed call with its text; the result is returned unchanged.
HRESULT checkDXCall(cD3D* d3d, HRESULT result, const char* callText,
                    LOGINDENT indentAction = LOGINDENT_NONE);
