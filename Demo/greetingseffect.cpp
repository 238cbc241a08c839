#include "greetingseffect.h"

#include <cmath>

bool cGreetingsEffect::s_started = false;


namespace {

const char* const kTextureFiles[5] = {"greetbkgnd.jpg", "zorbinshine.jpg", "juxgrt.jpg",
                                      "qovgrt.jpg", "grtu.jpg"};

// Where each greeting sits (centre x, y) and when it brightens (ms).
struct GreetingPlace {
    float x, y;
    uint32_t rampStart;
};
const GreetingPlace kGreetings[3] = {{0.4f, -0.4f, 1000}, {-0.4f, -0.4f, 2000}, {0.1f, -0.7f, 3000}};

}  // namespace

void cGreetingsEffect::ramp(cQuad& quad, double progress) {
    quad.setColor(static_cast<uint32_t>(std::trunc(progress * 255)) * 0x010101u);
}

HRESULT cGreetingsEffect::init(cD3D* d3d) {
    m_background.init(d3d);
    m_background.setRect(1, 1, 0, 0, 1, true);
    m_background.setTexture(&m_textures[0], 0);

    m_shine.addState(&m_additive);
    m_shine.init(d3d);
    m_shine.setRect(1, 1, 0.7f, -0.7f, 0.2f, true);
    m_shine.setTexture(&m_textures[1], 0);

    for (int i = 0; i < 5; ++i) m_textures[i].load(d3d, std::string("Data\\Textures\\") + kTextureFiles[i]);

    for (int k = 0; k < 3; ++k) {
        m_greetings[k].init(d3d);
        m_greetings[k].setTexture(&m_textures[2 + k], 0);
        m_greetings[k].addState(&m_additive);
        m_greetings[k].setColor(0);  // black: adds nothing yet
    }
    for (int k = 0; k < 3; ++k) {
        m_greetings[k].setRect(1, 1, kGreetings[k].x, kGreetings[k].y, 0.1f, true);
    }

    addChild(&m_background);
    addChild(&m_shine);
    for (cQuad& greeting : m_greetings) addChild(&greeting);
    return cEffect::init(d3d);
}

bool cGreetingsEffect::frame(uint32_t ms) {
    if (!s_started) {
        addTransition(ms, 2000, TRANSITION_FADE_FROM_BLACK);
        s_started = true;
    }
    if (ms > 0 && ms < 5000) ramp(m_shine, ms * 0.0002);
    if (ms > 5000 && ms <= 5050) m_shine.setColor(0x00FFFFFF);
    for (int k = 0; k < 3; ++k) {
        const uint32_t start = kGreetings[k].rampStart;
        if (ms > start && ms < start + 2000) ramp(m_greetings[k], (ms - start) * 0.0005);
        if (ms > start + 2000 && ms <= start + 2050) m_greetings[k].setColor(0x00FFFFFF);
    }
    if (ms > 6950 && ms <= 7000) addTransition(ms, 3000, TRANSITION_FADE_TO_BLACK);
    return cEffect::frame(ms);
}
