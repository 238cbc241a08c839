#include "introeffect.h"

#include <cmath>

#include "crt.h"

namespace {

const char kTextures[] = "Data\\Textures\\";

// White with the given alpha taken off: 0xFFFFFFFF − alpha × 2^24, in unsigned
// 32-bit arithmetic as the colours are computed.
D3DCOLOR whiteMinusAlpha(int64_t alpha) {
    return static_cast<D3DCOLOR>(0xFFFFFFFFu - static_cast<uint32_t>(alpha) * 0x01000000u);
}

}  // namespace

HRESULT cIntroEffect::init(cD3D* d3d) {
    crt::srand(static_cast<unsigned>(crt::time(nullptr)));
    const char* pictureFiles[] = {"zorbinIcon.jpg", "zorbinText.jpg", "poweredText.jpg", "black.bmp"};
    for (int i = 0; i < 4; ++i) m_pictures[i].load(d3d, std::string(kTextures) + pictureFiles[i]);
    const char* grainFiles[] = {"filmgrain1.jpg", "filmgrain2.jpg", "filmgrain3.jpg"};
    for (int i = 0; i < 3; ++i) m_grainTextures[i].load(d3d, std::string(kTextures) + grainFiles[i]);

    m_icon.setTexture(&m_pictures[0], 0);
    m_name.setTexture(&m_pictures[1], 0);
    m_powered.setTexture(&m_pictures[2], 0);
    m_blackout.setTexture(&m_pictures[3], 0);
    m_grain.setTexture(&m_grainTextures[0], 0);
    m_grain.setColor(0xBBFFFFFF);

    for (cQuad* quad : {&m_icon, &m_name, &m_powered, &m_blackout, &m_grain}) quad->addState(&m_blend);
    // The drawing order: the grain lies over the pictures, the blackout over everything.
    for (cQuad* quad : {&m_name, &m_powered, &m_icon, &m_grain, &m_blackout}) addChild(quad);
    m_grain.m_enabled = false;

    cEffect::init(d3d);

    m_powered.setRect(10, 2, -0.09f, -0.4f, 0.32f, true);
    m_name.setRect(5, 2, 0.2f, -0.65f, 0.7f, true);
    m_icon.setRect(4, 5, -0.7f, -0.65f, 0.2f, true);
    setClearColor(0x00FFFFFF);
    return S_OK;
}

// The inherited release reaches only the grain picture shown last (the one in the
// grain quad's slot); the other two were loaded here and are released here, so no
// texture outlives the device.
bool cIntroEffect::release() {
    for (cTexture& texture : m_grainTextures) texture.release();
    return cEffect::release();
}

void cIntroEffect::fadeOut(cQuad& quad, float elapsed, float duration) {
    quad.setColor(whiteMinusAlpha(static_cast<int64_t>(std::trunc(elapsed / duration * 255))));
}

void cIntroEffect::fadeIn(cQuad& quad, float elapsed, float duration) {
    quad.m_enabled = true;
    // 0x00FFFFFF − trunc(−255·e/d)·2^24: white with alpha trunc(255·e/d).
    const int64_t negativeAlpha = static_cast<int64_t>(std::trunc(elapsed / duration * -255));
    quad.setColor(static_cast<D3DCOLOR>(0x00FFFFFFu - static_cast<uint32_t>(negativeAlpha) * 0x01000000u));
}

void cIntroEffect::showGrain() {
    m_grain.m_enabled = true;
    // Only the first two grain pictures are ever shown.
    m_grain.setTexture(&m_grainTextures[crt::rand() % 2], 0);
}

void cIntroEffect::shake() {
    const float offset = static_cast<float>(crt::rand() % 5) * 0.1f;
    for (cQuad* quad : {&m_name, &m_icon, &m_powered}) quad->resetTransform()->translate(0, offset, 0);
}

void cIntroEffect::unshake() {
    for (cQuad* quad : {&m_name, &m_icon, &m_powered}) quad->resetTransform();
}

void cIntroEffect::animate(uint32_t ms) {
    if (ms > 9000) return;
    if (ms > 8500) {
        m_name.m_enabled = false;
    } else if (ms > 8000) {
        fadeOut(m_name, static_cast<float>(ms - 7500), 1000);
        m_blackout.m_enabled = true;
        showGrain();
        shake();
        fadeIn(m_blackout, static_cast<float>(ms - 8000), 500);
    } else if (ms > 7500) {
        m_name.setColor(whiteMinusAlpha(static_cast<int64_t>(std::trunc((ms - 7500) * 0.001 * 255))));
        m_grain.m_enabled = false;
        unshake();
    } else if (ms > 7100) {
        shake();
        showGrain();
        m_powered.m_enabled = false;
    } else if (ms > 6100) {
        fadeOut(m_powered, static_cast<float>(ms - 6100), 1000);
        shake();
        showGrain();
        m_icon.m_enabled = false;
    } else if (ms > 5100) {
        m_icon.setColor(whiteMinusAlpha(static_cast<int64_t>(std::trunc((ms - 5100) * 0.001 * 255))));
    } else if (ms > 3500) {
        m_grain.m_enabled = false;
        unshake();
    } else if (ms > 3000) {
        shake();
        showGrain();
        m_blackout.m_enabled = false;
    } else if (ms > 2000) {
        // Alpha falls from 255 at 2000 ms to 0 at 3000 ms (the colour value is 80 then).
        const double value = 4278190080.0 - (ms - 2000) * 4278190.0;
        m_blackout.setColor(static_cast<D3DCOLOR>(static_cast<int64_t>(value)));
    }
}

bool cIntroEffect::frame(uint32_t ms) {
    animate(ms);
    begin();
    end();
    return SUCCEEDED(present());
}
