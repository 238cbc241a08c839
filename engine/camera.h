// A camera: while the node it is attached to draws, its view and projection
// replace the device's, which end puts back.
#pragma once

#include "node.h"

class cCamera : public cRenderObject {
public:
    cCamera();
    bool release() override;  // keeps the device wrapper: a camera outlives its node's release
    HRESULT begin() override;
    HRESULT end() override;
    virtual void updateMatrices();

    void setEye(float x, float y, float z);
    void setLookAt(float x, float y, float z);

    D3DXVECTOR3 m_lookAt;
    D3DXVECTOR3 m_eye;
    float m_fieldOfView;  // vertical, radians
    D3DXMATRIX m_view;
    D3DXMATRIX m_projection;
    D3DXMATRIX m_savedView;
    D3DXMATRIX m_savedProjection;
};
