#include "extroeffect.h"

#include <cmath>

bool cExtroEffect::s_started = false;


HRESULT cExtroEffect::init(cD3D* d3d) {
    if (!m_picture.m_vertexBuffer) {
        m_pictureTexture.load(d3d, "Data\\Textures\\extro.jpg");
        m_pinkTexture.load(d3d, "Data\\Textures\\pink.jpg");
        m_pink.setTexture(&m_pinkTexture, 0);
        m_pink.addState(&m_additive);
        m_pink.init(d3d);  // so that setColor reaches its vertices
        m_pink.setColor(0);
        m_picture.setTexture(&m_pictureTexture, 0);
        addChild(&m_picture);
        addChild(&m_pink);
    }
    return cEffect::init(d3d);
}

bool cExtroEffect::frame(uint32_t ms) {
    if (!s_started) {
        addTransition(ms, 2000, TRANSITION_FADE_FROM_BLACK);
        s_started = true;
    }
    if (ms > 7950 && ms <= 8000) addTransition(ms, 1000, TRANSITION_FADE_TO_BLACK);
    if (ms > 2000 && ms < 5000) {
        const uint32_t grey =
            static_cast<uint32_t>(std::trunc((ms - 2000) * 0.00033333333f * 255));
        m_pink.setColor(grey * 0x010101u);
    }
    if (ms > 5000 && ms <= 5050) m_pink.setColor(0x00FFFFFF);
    return cEffect::frame(ms);
}
