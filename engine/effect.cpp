#include "effect.h"

#include <cmath>

#include "d3d.h"

cAdditiveBlendState s_AdditiveBlend;

namespace {

constexpr float kPi = 3.14159265358979f;

// The quad's corners, in vertex order: position x, y and texture u, v.
struct Corner {
    float x, y, u, v;
};
constexpr Corner kCorners[4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {-1, 1, 0, 0}, {1, 1, 1, 0}};
constexpr uint16_t kTriangles[2][3] = {{2, 1, 0}, {2, 3, 1}};

// An overlay level: the value truncated to an integer and cut to its low 8 bits.
// Values outside any integer range (a transition that starts in the future has a
// huge progress) give 0 instead of an undefined conversion.
uint32_t lowByteOf(float value) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18f) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value)) & 0xFF;
}

// Turns blending on; a failure is logged and stops the state from setting more.
HRESULT enableBlending(cD3D* d3d) {
    return checkDXCall(d3d, d3d->m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE),
                       "IDirect3DDevice8::SetRenderState(D3DRS_ALPHABLENDENABLE, true)");
}

}  // namespace

// ---------------------------------------------------------------------------
// Quad

cQuad::cQuad() : m_color(0xFFFFFFFF), m_ownVertexBuffer(nullptr), m_ownIndexBuffer(nullptr) {}

cQuad::~cQuad() {
    delete m_ownVertexBuffer;
    delete m_ownIndexBuffer;
}

void cQuad::buildGeometry() {
    if (!m_ownVertexBuffer) {
        m_ownVertexBuffer = new cColorVertexBuffer;
        m_ownVertexBuffer->allocate(4);
        ColorVertex* vertices = m_ownVertexBuffer->getVertices();
        for (int i = 0; i < 4; ++i) {
            vertices[i] = ColorVertex{kCorners[i].x, kCorners[i].y, 0.0f, m_color,
                                      kCorners[i].u, kCorners[i].v};
        }
    }
    if (!m_ownIndexBuffer) {
        m_ownIndexBuffer = new cIndexBuffer;
        m_ownIndexBuffer->allocate(2);
        for (uint32_t t = 0; t < 2; ++t) {
            for (int k = 0; k < 3; ++k) m_ownIndexBuffer->triangle(t)[k] = kTriangles[t][k];
        }
    }
    setVertexBuffer(m_ownVertexBuffer);
    setIndexBuffer(m_ownIndexBuffer);
}

HRESULT cQuad::init(cD3D* d3d) {
    if (m_d3d) return S_OK;
    buildGeometry();
    return cMesh::init(d3d);
}

bool cQuad::release() {
    cMesh::release();
    delete m_ownVertexBuffer;
    delete m_ownIndexBuffer;
    m_ownVertexBuffer = nullptr;
    m_ownIndexBuffer = nullptr;
    setVertexBuffer(nullptr);
    setIndexBuffer(nullptr);
    return true;
}

void cQuad::setColor(D3DCOLOR color) {
    m_color = color;
    if (!m_ownVertexBuffer) return;
    ColorVertex* vertices = m_ownVertexBuffer->getVertices();
    for (int i = 0; i < 4; ++i) vertices[i].diffuse = color;
    m_ownVertexBuffer->update();
}

void cQuad::setRect(float width, float height, float x, float y, float halfWidth, bool centred) {
    if (!m_d3d || !m_ownVertexBuffer) return;
    const float halfHeight = height / width * halfWidth;
    ColorVertex* v = m_ownVertexBuffer->getVertices();
    if (centred) {
        v[0].x = x - halfWidth, v[0].y = y - halfHeight;
        v[1].x = x + halfWidth, v[1].y = y - halfHeight;
        v[2].x = x - halfWidth, v[2].y = y + halfHeight;
        v[3].x = x + halfWidth, v[3].y = y + halfHeight;
    } else {
        // Vertex 0 at the top: the picture shows upside down and the default culling
        // removes both triangles. The effects use the centred form.
        const float w = 2 * halfWidth;
        const float h = 2 * halfHeight;
        v[0].x = x, v[0].y = y + h;
        v[1].x = x + w, v[1].y = y + h;
        v[2].x = x, v[2].y = y;
        v[3].x = x + w, v[3].y = y;
    }
    for (int i = 0; i < 4; ++i) v[i].z = 0;
    m_ownVertexBuffer->update();
}

// ---------------------------------------------------------------------------
// Render states

HRESULT cAlphaBlendState::begin() {
    m_active = true;
    IDirect3DDevice8* device = m_d3d->m_device;
    const HRESULT result = enableBlending(m_d3d);
    if (FAILED(result)) return result;
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    return S_OK;
}

HRESULT cAlphaBlendState::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    m_active = false;
    return S_OK;
}

bool cAdditiveBlendState::release() {
    if (this == &s_AdditiveBlend) return true;
    return cRenderObject::release();
}

HRESULT cAdditiveBlendState::begin() {
    m_active = true;
    IDirect3DDevice8* device = m_d3d->m_device;
    const HRESULT result = enableBlending(m_d3d);
    if (FAILED(result)) return result;
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    return S_OK;
}

HRESULT cAdditiveBlendState::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    m_active = false;
    return S_OK;
}

cScreenSpaceState::cScreenSpaceState()
    : m_identity(identityMatrix()),
      m_savedView(identityMatrix()),
      m_savedProjection(identityMatrix()) {}

HRESULT cScreenSpaceState::begin() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->GetTransform(D3DTS_VIEW, &m_savedView);
    device->GetTransform(D3DTS_PROJECTION, &m_savedProjection);
    device->SetTransform(D3DTS_VIEW, &m_identity);
    device->SetTransform(D3DTS_PROJECTION, &m_identity);
    m_active = true;
    return S_OK;
}

HRESULT cScreenSpaceState::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetTransform(D3DTS_VIEW, &m_savedView);
    device->SetTransform(D3DTS_PROJECTION, &m_savedProjection);
    m_active = false;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Effect

cEffect::cEffect() : m_keepWhite(false), m_keepBlack(false) { m_transitions.reserve(20); }

void cEffect::addTransition(uint32_t start, uint32_t duration, uint32_t kind) {
    m_transitions.push_back(sTransition{start, duration, kind});
}

HRESULT cEffect::init(cD3D* d3d) {
    const bool firstCall = m_whiteOverlay.m_vertexBuffer == nullptr;
    if (firstCall) {
        addChild(&m_whiteOverlay);
        addChild(&m_blackOverlay);
        m_whiteOverlay.addState(&m_additiveState);
        m_whiteOverlay.addState(&m_screenSpaceState);
        m_whiteOverlay.init(d3d);
        m_whiteOverlay.setColor(0xFFFFFFFF);
        m_blackOverlay.addState(&m_alphaState);
        m_blackOverlay.addState(&m_screenSpaceState);
        m_blackOverlay.init(d3d);
        m_blackOverlay.setColor(0xFF000000);
        m_whiteOverlay.m_enabled = false;
        m_blackOverlay.m_enabled = false;
    }
    return cNode::init(d3d);
}

void cEffect::endTransition() {
    m_blackOverlay.m_enabled = m_keepBlack;
    m_whiteOverlay.m_enabled = m_keepWhite;
    if (m_keepBlack) m_blackOverlay.setColor(0xFF000000);
    if (m_keepWhite) m_whiteOverlay.setColor(0xFFFFFFFF);
}

void cEffect::stepTransition(const sTransition& transition, float progress) {
    const float rising = progress * 255.0f;
    const float hump = std::sin(progress * kPi) * 255.0f;
    switch (transition.kind) {
        case TRANSITION_BUMP:
            resetTransform();
            translate(0, std::sin(progress * kPi), 0);
            break;
        case TRANSITION_FADE_TO_BLACK:
            m_blackOverlay.m_enabled = true;
            m_blackOverlay.setColor(lowByteOf(rising) << 24);
            m_keepBlack = true;
            break;
        case TRANSITION_FADE_TO_WHITE:
            m_whiteOverlay.m_enabled = true;
            m_whiteOverlay.setColor(lowByteOf(rising) * 0x01010101u);
            m_keepWhite = true;
            break;
        case TRANSITION_BLACK_FLASH:
            m_blackOverlay.m_enabled = true;
            m_blackOverlay.setColor(lowByteOf(hump) << 24);
            break;
        case TRANSITION_WHITE_FLASH:
            m_whiteOverlay.m_enabled = true;
            m_whiteOverlay.setColor(lowByteOf(hump) * 0x01010101u);
            break;
        case TRANSITION_FADE_FROM_BLACK:
            m_blackOverlay.m_enabled = true;
            m_blackOverlay.setColor(lowByteOf(255.0f - rising) << 24);
            m_keepBlack = false;
            break;
        default:
            break;
    }
}

void cEffect::runTransitions(uint32_t ms) {
    size_t i = 0;
    while (i < m_transitions.size()) {
        const sTransition transition = m_transitions[i];
        if (transition.start + transition.duration < ms) {
            m_transitions.erase(m_transitions.begin() + static_cast<ptrdiff_t>(i));
            endTransition();
            continue;
        }
        // A zero duration is complete at once rather than 0/0.
        const float progress =
            transition.duration == 0
                ? 1.0f
                : static_cast<float>(ms - transition.start) / static_cast<float>(transition.duration);
        stepTransition(transition, progress);
        ++i;
    }
}

void cEffect::drawFrame() {
    begin();
    end();
    present();
}

bool cEffect::frame(uint32_t ms) {
    runTransitions(ms);
    drawFrame();
    return true;
}
