#include "dropeffect.h"

#include <cmath>

#include "crt.h"
#include "d3d.h"

bool cDropEffect::s_started = false;


namespace {

const char kDropTexture[] = "Data\\Textures\\droptex.jpg";

// A value in [-1, 1] from the next number of the generator (0..32767).
float nextSigned() { return static_cast<float>(crt::rand()) * 2.0f / 32767.0f - 1.0f; }

}  // namespace

cDropMesh::cDropMesh() : m_segments(20), m_rings(20) {}

// Both layers, ring i outer, segment j inner. Layer 1 stores the profile point
// truncated toward zero, as the drop always did: ring 0 sits at (0, -1, 0) and
// every other ring at the origin, so layer 1 covers no pixels and only the noisy
// shell shows.
void cDropMesh::fillVertices() {
    const uint32_t rings = m_rings;
    const uint32_t segments = m_segments;
    const float lastRing = static_cast<float>(rings - 1);
    const float lastSegment = static_cast<float>(segments - 1);
    LitVertex2* vertices = m_vertexArray.getVertices();
    for (uint32_t i = 0; i < rings; ++i) {
        const float a = static_cast<float>(i) / lastRing;
        const float rad = std::sin(3.14159265f * a) * (lastRing - static_cast<float>(i)) / lastRing;
        const float y = 2.0f * static_cast<float>(i) / static_cast<float>(rings) - 1.0f;
        const float shell = rad - 0.01f;
        for (uint32_t j = 0; j < segments; ++j) {
            const float u = static_cast<float>(j) / lastSegment;
            const float theta = u * 6.2831855f;
            LitVertex2& outer = vertices[rings * segments + i * segments + j];
            const float r1 = static_cast<float>(crt::rand());
            const float r2 = static_cast<float>(crt::rand());
            const float r3 = static_cast<float>(crt::rand());
            outer.x = r1 * shell * std::cos(theta) * 0.0001f;
            outer.y = r2 * y * 0.0001f;
            outer.z = r3 * shell * std::sin(theta) * 0.0001f;
            outer.diffuse = 0x00FFFFFF;
            outer.u = outer.u2 = u;
            outer.v = outer.v2 = a;

            LitVertex2& inner = vertices[i * segments + j];
            inner.x = std::trunc(rad * std::cos(theta));
            inner.y = std::trunc(y);
            inner.z = std::trunc(rad * std::sin(theta));
            inner.diffuse = 0x00FFFFFF;
            inner.u = inner.u2 = u;
            inner.v = inner.v2 = a;
        }
    }
}

void cDropMesh::fillIndices() {
    const uint32_t R = m_rings;
    const uint32_t S = m_segments;
    const uint32_t layerTriangles = 2 * (R - 1) * (S - 1);
    auto set = [&](uint32_t triangle, uint32_t a, uint32_t b, uint32_t c) {
        uint16_t* t = m_indexArray.triangle(triangle);
        t[0] = static_cast<uint16_t>(a);
        t[1] = static_cast<uint16_t>(b);
        t[2] = static_cast<uint16_t>(c);
    };
    uint32_t n = 0;
    for (uint32_t q = 0; q + 1 < S; ++q) {
        for (uint32_t r = 0; r + 1 < R; ++r, ++n) {
            set(2 * n, r * S + q, r * S + q + 1, (r + 1) * S + q + 1);
            set(2 * n + 1, r * S + q, (r + 1) * S + q + 1, (r + 1) * S + q);
            const uint32_t o = R + r;  // the same cell in layer 2, wound the other way
            set(layerTriangles + 2 * n, (o + 1) * S + q + 1, o * S + q + 1, o * S + q);
            set(layerTriangles + 2 * n + 1, (o + 1) * S + q, (o + 1) * S + q + 1, o * S + q);
        }
    }
}

HRESULT cDropMesh::init(cD3D* d3d) {
    if (m_d3d) return S_OK;
    setVertexBuffer(&m_vertexArray);
    setIndexBuffer(&m_indexArray);
    setTexture(&m_texture0, 0);
    setTexture(&m_texture1, 1);
    addState(&m_sphereMap);
    addState(&m_material);
    m_material.setPower(40);
    m_material.setSpecular(1, 1, 1, 1);
    m_material.setAmbient(0.1f, 0.2f, 0.3f, 1);

    HRESULT result = m_texture0.init(d3d);
    if (FAILED(result)) {
        MessageBoxA(nullptr, "Couldn't .init texture.", "Error:", MB_OK);
        return result;
    }
    m_texture0.loadFile(kDropTexture);
    m_texture1.init(d3d);
    m_texture1.loadFile(kDropTexture);

    m_vertexArray.allocate(2 * m_rings * m_segments);
    fillVertices();
    m_indexArray.allocate(4 * (m_rings - 1) * (m_segments - 1));
    fillIndices();
    m_indexArray.flipWinding();
    m_vertexArray.computeNormals(&m_indexArray);

    result = cMesh::init(d3d);
    if (FAILED(result)) {
        MessageBoxA(nullptr, "Failed to init(pD3D) cMesh::", "Error:", MB_OK);
        return result;
    }
    return update();
}

HRESULT cDropMesh::begin() {
    fillVertices();
    m_vertexArray.update();  // the normals are not recomputed
    return cMesh::begin();
}

HRESULT cDropEffect::init(cD3D* d3d) {
    m_camera.setEye(0, 0, -4);
    m_light.setDirection(1, -1, 1);
    addState(&m_light);
    addState(&m_camera);
    addState(&s_AdditiveBlend);

    m_bigDrop.m_segments = 50;
    m_bigDrop.m_rings = 25;
    addChild(&m_bigDrop);
    m_bigDrop.scale(1, 2, 1);

    m_templateDrop.m_segments = 10;
    m_templateDrop.m_rings = 5;
    m_templateDrop.init(d3d);
    m_templateDrop.scale(1, 2, 1);
    m_templateDrop.saveTransform();

    crt::srand(static_cast<unsigned>(crt::time(nullptr)));
    for (int k = 0; k < kDropCount; ++k) {
        // Everything a mesh holds: the small drops share the template's buffers,
        // textures, states and saved transform.
        m_drops[k] = m_templateDrop;
        const float x = nextSigned() * 100;
        const float z = nextSigned() * 100;
        const float y = nextSigned() * 100;
        m_heights[k] = y;
        m_drops[k].translate(x, y, z);
        addChild(&m_drops[k]);
    }
    return cEffect::init(d3d);
}

bool cDropEffect::frame(uint32_t ms) {
    if (!s_started) {
        addTransition(ms, 2000, TRANSITION_FADE_FROM_BLACK);
        s_started = true;
    }
    if (ms > 9950 && ms <= 10000) addTransition(ms, 2000, TRANSITION_FADE_TO_BLACK);
    if (crt::rand() % 100 == 5) addTransition(ms, 400, TRANSITION_WHITE_FLASH);

    const float s = ms * 0.001f;
    m_camera.setEye(2 * std::cos(s), 4 + 2.5f * std::sin(s), 2 * std::sin(s));

    // The drops rise 3 units a frame and start again at the bottom past the top.
    for (int k = 0; k < kDropCount; ++k) {
        m_heights[k] += 3;
        if (m_heights[k] > 100) {
            const float x = nextSigned() * 100;
            const float z = nextSigned() * 100;
            m_drops[k].restoreTransform()->translate(x, -100, z);
            m_heights[k] = -100;
        } else {
            m_drops[k].translate(0, 3, 0);
        }
    }
    resetTransform();
    return cEffect::frame(ms);
}
