// The test model: the engine's exercise of the model path.
#include <cmath>

#include "d3d.h"
#include "model.h"

cTestModel::cTestModel() = default;

HRESULT cTestModel::init(cD3D* d3d) { return initWithModel(d3d, "terraT.ms3d"); }

HRESULT cTestModel::initWithModel(cD3D* d3d, const std::string& fileName) {
    d3d->m_log->write(cLogBlockBegin("cTestModel::init", LOGLEVEL_LOG));
    m_camera.setEye(0, 0, 100);
    m_light.setDirection(0, 0, 1);
    addState(&m_light);
    addState(&m_camera);
    addChild(&m_model);

    // The file and its textures are looked for relative to the working directory.
    if (m_model.load(fileName, "")) {
        m_model.init(d3d);
        m_model.uploadAll();
        m_model.m_animate = true;
    } else {
        // A missing or unreadable model is reported, and the effect is still
        // initialised completely around the empty model: its lights, camera and
        // overlays get the device, so drawing it is safe and shows an empty
        // scene. The animation stays off, since there is no skeleton to drive.
        d3d->m_log->write(cLogFileError(fileName, LOGLEVEL_WARNING, LOGINDENT_NONE));
    }

    // Initialises the overlays, the states and the model again (whose second init
    // only repeats the node part).
    const HRESULT result = cEffect::init(d3d);
    d3d->m_log->write(cLogBlockEnd(LOGLEVEL_LOG));
    return result;
}

bool cTestModel::frame(uint32_t t) {
    // The scene swings between -0.5 and +0.5 radians about y, one period every
    // 2π seconds. The effect's transitions are not run.
    resetTransform();
    rotateY(0.5f * std::sin(static_cast<float>(t) * 0.001f));
    drawFrame();
    return true;
}
