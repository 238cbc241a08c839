#include "camera.h"

#include <cmath>

#include "d3d.h"

cCamera::cCamera()
    : m_lookAt(0, 0, 0),
      m_eye(0, 0, -2),
      m_fieldOfView(1.04719755f),  // pi/3 to nine digits: the float nearest pi/3
      m_view(identityMatrix()),
      m_projection(identityMatrix()),
      m_savedView(identityMatrix()),
      m_savedProjection(identityMatrix()) {
    updateMatrices();
}

bool cCamera::release() { return true; }

void cCamera::updateMatrices() {
    const D3DXVECTOR3 up(0, 1, 0);
    const D3DXVECTOR3 direction = m_lookAt - m_eye;
    D3DXVECTOR3 side;
    D3DXVec3Cross(&side, &up, &direction);
    // An eye on the look-at point, or a view straight up or down, has no defined
    // orientation: keep the previous view rather than fill it with NaNs.
    if (D3DXVec3Length(&side) > 1e-12f) D3DXMatrixLookAtLH(&m_view, &m_eye, &m_lookAt, &up);
    D3DXMatrixPerspectiveFovLH(&m_projection, m_fieldOfView, 1.0f, 0.001f, 10000.0f);
}

void cCamera::setEye(float x, float y, float z) {
    m_eye = D3DXVECTOR3(x, y, z);
    updateMatrices();
}

void cCamera::setLookAt(float x, float y, float z) {
    m_lookAt = D3DXVECTOR3(x, y, z);
    updateMatrices();
}

HRESULT cCamera::begin() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->GetTransform(D3DTS_VIEW, &m_savedView);
    device->GetTransform(D3DTS_PROJECTION, &m_savedProjection);
    device->SetTransform(D3DTS_VIEW, &m_view);
    return device->SetTransform(D3DTS_PROJECTION, &m_projection);
}

HRESULT cCamera::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetTransform(D3DTS_VIEW, &m_savedView);
    return device->SetTransform(D3DTS_PROJECTION, &m_savedProjection);
}
