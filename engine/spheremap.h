// Environment mapping: a texture stage takes its coordinates from the camera-space
// vertex normals through a texture matrix mapping x and y from -1..1 to 0..1.
#pragma once

#include "node.h"

class cSphereMapState : public cRenderObject {
public:
    cSphereMapState();
    // The shared instance stays attached: many nodes hold it.
    bool release() override;
    HRESULT begin() override;
    HRESULT end() override;

    unsigned m_stage;
    D3DXMATRIX m_textureMatrix;
};

// The instance models attach to every sphere-mapped sub-mesh.
extern cSphereMapState s_SphereMapState;
