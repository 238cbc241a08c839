// The third scene: a large drop whose surface shimmers with noise every frame,
// and a hundred small drops rising through a cube around it, all additive, lit,
// and sphere-mapped, under a camera circling the scene.
#pragma once

#include "buffers.h"
#include "camera.h"
#include "effect.h"
#include "light.h"
#include "material.h"
#include "spheremap.h"
#include "texture.h"

// Two layers of rings × segments vertices in a teardrop profile: layer 2 is the
// visible shell, each vertex scaled by its own random factors every frame.
class cDropMesh : public cMesh {
public:
    cDropMesh();
    HRESULT init(cD3D* d3d) override;
    HRESULT begin() override;  // regenerates the vertices, then draws

    cLitVertexBuffer2 m_vertexArray;
    cIndexBuffer m_indexArray;
    cTexture m_texture0;
    cTexture m_texture1;
    cMaterial m_material;
    cSphereMapState m_sphereMap;
    uint32_t m_segments;
    uint32_t m_rings;

private:
    void fillVertices();
    void fillIndices();
};

class cDropEffect : public cEffect {
public:
    static constexpr int kDropCount = 100;

    HRESULT init(cD3D* d3d) override;
    bool frame(uint32_t ms) override;

    // Run-wide: set on the first frame in the program's life and never cleared.
    static bool s_started;

    cDropMesh m_bigDrop;
    cDropMesh m_templateDrop;  // initialised for its geometry, never drawn itself
    cMesh m_drops[kDropCount];
    float m_heights[kDropCount];
    cCamera m_camera;
    cLight m_light;
};
