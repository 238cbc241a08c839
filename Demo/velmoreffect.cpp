#include "velmoreffect.h"

#include <cmath>

#include "crt.h"
#include "d3d.h"

bool cVelmorEffect::s_musicStarted = false;
bool cVelmorEffect::s_fadedIn = false;


namespace {

constexpr float kPi = 3.14159265358979f;

// Sets the 2 × 2 triangles of one grid cell whose top-left vertex is b.
void setCell(cIndexBuffer& indices, uint32_t triangle, uint16_t a, uint16_t b, uint16_t c) {
    uint16_t* t = indices.triangle(triangle);
    t[0] = a;
    t[1] = b;
    t[2] = c;
}

}  // namespace

// ---------------------------------------------------------------------------
// Ripple sheet

void cRippleSheet::build(cD3D* d3d) {
    const int cells = kSide - 1;
    m_vertices.allocate(kSide * kSide);
    m_indices.allocate(2 * 2 * cells * cells);
    m_light.setDirection(0, std::sin(3 * kPi / 2), std::cos(3 * kPi / 2));
    m_texture.load(d3d, "Data\\Textures\\velmor.jpg");
    setTexture(&m_texture, 0);

    const float step = 0.020408163f;  // 1/49
    LitVertex* v = m_vertices.getVertices();
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            LitVertex& vertex = v[i * kSide + j];
            vertex.x = 2 * (j * step) - 1;
            vertex.y = 2 * (i * step) - 1;
            vertex.z = 0;
            vertex.u = j * step;
            vertex.v = 1 - i * step;
            vertex.diffuse = 0xFFFFFFFF;
        }
    }
    // Each cell twice, the second time wound the other way, so the sheet shows from both sides.
    uint32_t triangle = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int r = 0; r < cells; ++r) {
            for (int c = 0; c < cells; ++c) {
                const uint16_t b = static_cast<uint16_t>(r * kSide + c);
                if (pass == 0) {
                    setCell(m_indices, triangle++, b, b + 1, b + kSide);
                    setCell(m_indices, triangle++, b + 1, b + kSide + 1, b + kSide);
                } else {
                    setCell(m_indices, triangle++, b + kSide, b + 1, b);
                    setCell(m_indices, triangle++, b + kSide, b + kSide + 1, b + 1);
                }
            }
        }
    }
    m_vertices.computeNormals(&m_indices);
    setVertexBuffer(&m_vertices);
    setIndexBuffer(&m_indices);
}

HRESULT cRippleSheet::init(cD3D* d3d) {
    if (!m_vertices.m_buffer) build(d3d);
    return cMesh::init(d3d);
}

HRESULT cRippleSheet::begin() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    return cMesh::begin();
}

HRESULT cRippleSheet::end() {
    const HRESULT result = cMesh::end();
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    return result;
}

// Rewrites z of every vertex: a circular wave around the centre.
void cRippleSheet::ripple(float phase, float amplitude) {
    const float k = 1.0f / std::sqrt(625.0f);
    LitVertex* v = m_vertices.getVertices();
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            const int p = i - 25;
            const int q = j - 25;
            const float r = std::sqrt(static_cast<float>(p * p + q * q));
            v[i * kSide + j].z = std::sin(r * k * kPi + phase) * amplitude;
        }
    }
}

void cRippleSheet::animate(uint32_t ms) {
    resetTransform();
    if (ms == 0 || ms == 10000) return;
    if (ms < 10000) {
        // Grows: the phase runs 5 radians a second, the amplitude reaches 2.5 at 10 s.
        const uint32_t t = 5 * ms;
        ripple(static_cast<float>(t * 0.001), static_cast<float>(t * 0.00005));
        const float angle = std::sin(ms * 0.002f);
        rotateX(angle);
        rotateY(angle);
    } else {
        ripple(static_cast<float>(ms * 0.001), 0.5f);
        rotateX(ms * 0.001f);
    }
    m_vertices.computeNormals(&m_indices);
    m_vertices.update();
}

// ---------------------------------------------------------------------------
// Road

void cRoad::build(cD3D* d3d) {
    const int cells = kSide - 1;
    m_vertices.allocate(kSide * kSide);
    m_indices.allocate(2 * cells * cells);
    setVertexBuffer(&m_vertices);
    setIndexBuffer(&m_indices);
    setTexture(&m_texture, 0);
    m_texture.load(d3d, "Data\\Textures\\road.jpg");

    const float step = 0.01010101f;  // 1/99
    LitVertex* v = m_vertices.getVertices();
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            LitVertex& vertex = v[i * kSide + j];
            vertex.x = 2 * (j * step) - 1;
            vertex.y = -1;
            vertex.z = 200 * (i * step) - 10;  // from z = -10 to 190
            vertex.u = j * step;
            vertex.v = 1 - 100 * (i * step);  // about 100 repeats along the road
            vertex.diffuse = 0xFFFFFFFF;
        }
    }
    uint32_t triangle = 0;
    for (int r = 0; r < cells; ++r) {
        for (int c = 0; c < cells; ++c) {
            const uint16_t b = static_cast<uint16_t>(r * kSide + c);
            setCell(m_indices, triangle++, b, b + 1, b + kSide);
            setCell(m_indices, triangle++, b + 1, b + kSide + 1, b + kSide);
        }
    }
    m_indices.flipWinding();
    m_vertices.computeNormals(&m_indices);
    for (int k = 0; k < kSide; ++k) m_curve[k] = std::sin(k * 0.25132742f);  // four periods
}

HRESULT cRoad::init(cD3D* d3d) {
    if (!m_vertices.m_buffer) build(d3d);
    return cMesh::init(d3d);
}

void cRoad::animate(uint32_t) {
    const float first = m_curve[0];
    for (int k = 0; k < kSide - 1; ++k) m_curve[k] = m_curve[k + 1];
    m_curve[kSide - 1] = first;

    LitVertex* v = m_vertices.getVertices();
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            LitVertex& vertex = v[i * kSide + j];
            vertex.x = 0.02f * j - 1 + m_curve[i];
            vertex.v += 0.5f;  // half a repeat per frame
        }
    }
    m_vertices.computeNormals(&m_indices);
    m_vertices.update();
    // Keeps the sixth row, level with the sheet, centred.
    resetTransform()->translate(-m_curve[5], 0, 0);
}

// ---------------------------------------------------------------------------
// Effect

cVelmorEffect::cVelmorEffect() : m_song(nullptr) {}

HRESULT cVelmorEffect::init(cD3D* d3d) {
    crt::srand(static_cast<unsigned>(crt::time(nullptr)));
    FSOUND_Init(44100, 32, 0);
    m_song = FMUSIC_LoadSong("Data\\Music\\onehitw.xm");
    addChild(&m_sheet);
    addChild(&m_road);
    addState(&m_camera);
    return cEffect::init(d3d);
}

bool cVelmorEffect::release() {
    FMUSIC_FreeSong(m_song);
    m_song = nullptr;
    FSOUND_Close();
    return cNode::release();
}

bool cVelmorEffect::frame(uint32_t ms) {
    // The music starts once per run, whatever plays this effect again later.
    if (!s_musicStarted) {
        FMUSIC_PlaySong(m_song);
        s_musicStarted = true;
    }
    if (!s_fadedIn) {
        addTransition(ms, 2000, TRANSITION_FADE_FROM_BLACK);
        s_fadedIn = true;
    }
    if (crt::rand() % 20 == 5) addTransition(ms, 400, TRANSITION_WHITE_FLASH);
    m_camera.setEye(0, 0, -5);
    if (ms > 0) {
        m_sheet.animate(ms);
        m_road.animate(ms);
    }
    if (ms > 9950 && ms <= 10000) addTransition(ms, 2000, TRANSITION_FADE_TO_BLACK);
    return cEffect::frame(ms);
}
