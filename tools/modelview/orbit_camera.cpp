#include "orbit_camera.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace modelview {
namespace {

// A three-quarter view from a little above: a model that is flat in any of its
// planes still shows as an area, and a figure shows its front and its side.
constexpr float kStartYaw = 0.5f;
constexpr float kStartPitch = 0.35f;
constexpr float kFullTurn = 6.28318531f;
constexpr float kPitchLimit = 1.55f;  // short of a straight look up or down
constexpr float kZoomFactor = 0.9f;   // distance kept per step in
constexpr float kNearestShare = 0.01f;  // of the framed distance
constexpr float kFarthestShare = 100.0f;
// A model with no extent (no vertices, or a single point) gets a box of this size.
constexpr float kSmallestRadius = 1e-3f;

// Unit vectors to the eye (from the centre), to the camera's right and up, for
// an orbit angle. Yaw 0 puts the eye on the +z side, where the test model's
// scene looks from (the models' fronts face that way once mirrored); Direct3D's
// frame is left-handed, so looking down -z, +x is on the left.
void orbitAxes(float yaw, float pitch, D3DXVECTOR3* back, D3DXVECTOR3* right, D3DXVECTOR3* up) {
    *back = D3DXVECTOR3(std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch));
    *right = D3DXVECTOR3(-std::cos(yaw), 0, std::sin(yaw));
    D3DXVec3Cross(up, right, back);
}

}  // namespace

cOrbitCamera::cOrbitCamera() { updateMatrices(); }

void cOrbitCamera::frame(std::vector<D3DXVECTOR3> points, float aspect) {
    m_points = std::move(points);
    D3DXVECTOR3 low(0, 0, 0), high(0, 0, 0);
    if (!m_points.empty()) low = high = m_points.front();
    for (const D3DXVECTOR3& p : m_points) {
        low = D3DXVECTOR3(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
        high = D3DXVECTOR3(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
    }
    m_centre = (low + high) * 0.5f;
    const D3DXVECTOR3 half = (high - low) * 0.5f;
    m_radius = std::max(D3DXVec3Length(&half), kSmallestRadius);
    m_aspect = aspect > 0 ? aspect : 1.0f;
    reset();
}

void cOrbitCamera::reset() {
    m_yaw = kStartYaw;
    m_pitch = kStartPitch;
    m_framedDistance = distanceToFit();
    m_distance = m_framedDistance;
    updateMatrices();
}

// The distance at which every point lies within the framed share of the
// window, seen from the current angle. A point (x, y) across and z along the
// view, d from the eye to the centre, projects to x / ((d + z) t a) of the
// half-width, where t = tan(fov / 2) and a the aspect: each point gives the
// smallest d that keeps it inside, and the largest of them holds all.
float cOrbitCamera::distanceToFit() const {
    D3DXVECTOR3 back, right, up;
    orbitAxes(m_yaw, m_pitch, &back, &right, &up);
    const float reach = kFramedShare * std::tan(m_fieldOfView / 2);
    float distance = 0;
    for (const D3DXVECTOR3& point : m_points) {
        const D3DXVECTOR3 offset = point - m_centre;
        const float across = std::fabs(D3DXVec3Dot(&offset, &right)) / (reach * m_aspect);
        const float upward = std::fabs(D3DXVec3Dot(&offset, &up)) / reach;
        const float along = -D3DXVec3Dot(&offset, &back);  // positive: beyond the centre
        distance = std::max(distance, std::max(across, upward) - along);
    }
    // Never inside the box's sphere: the near plane must have room in front.
    return std::max(distance, m_radius * 1.05f);
}

void cOrbitCamera::orbit(float yaw, float pitch) {
    m_yaw = std::remainder(m_yaw + yaw, kFullTurn);
    m_pitch = std::clamp(m_pitch + pitch, -kPitchLimit, kPitchLimit);
    updateMatrices();
}

void cOrbitCamera::zoom(float steps) {
    const float distance = m_distance * std::pow(kZoomFactor, steps);
    m_distance = std::clamp(distance, m_framedDistance * kNearestShare, m_framedDistance * kFarthestShare);
    updateMatrices();
}

D3DXVECTOR3 cOrbitCamera::direction() const {
    D3DXVECTOR3 back, right, up;
    orbitAxes(m_yaw, m_pitch, &back, &right, &up);
    return back * -1.0f;
}

void cOrbitCamera::updateMatrices() {
    D3DXVECTOR3 back, right, up;
    orbitAxes(m_yaw, m_pitch, &back, &right, &up);
    m_lookAt = m_centre;
    m_eye = m_centre + back * m_distance;
    D3DXMatrixLookAtLH(&m_view, &m_eye, &m_lookAt, &up);
    // The planes hug the model's sphere; from inside it, the near plane stays a
    // small share of the framed distance away.
    const float nearPlane = std::max(m_distance - m_radius, m_framedDistance * kNearestShare);
    const float farPlane = m_distance + m_radius;
    D3DXMatrixPerspectiveFovLH(&m_projection, m_fieldOfView, m_aspect, nearPlane, farPlane);
}

}  // namespace modelview
