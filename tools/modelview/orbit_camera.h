// The viewer's camera: it circles a model at a distance that fits its points in
// the window, looking at the centre of their box, with the near and far planes
// set around them so that depth keeps its precision at any scale.
#pragma once

#include <vector>

#include "camera.h"

namespace modelview {

class cOrbitCamera : public cCamera {
public:
    // The share of the window's height (or width, if that is tighter) the
    // points span when framed.
    static constexpr float kFramedShare = 2.0f / 3.0f;

    cOrbitCamera();

    // Frames `points` (a model's bind pose) for a window of this width ÷ height,
    // from the starting angle: in front of the model, a little to one side and
    // above.
    void frame(std::vector<D3DXVECTOR3> points, float aspect);
    // Back to the framed view.
    void reset();
    // Turns around the centre: yaw about the vertical, pitch up and down (held
    // short of straight above or below).
    void orbit(float yaw, float pitch);
    // Moves towards (steps > 0) or away from the centre, by a fixed factor a step.
    void zoom(float steps);

    void updateMatrices() override;

    // The direction the camera looks in, unit length.
    D3DXVECTOR3 direction() const;

private:
    float distanceToFit() const;

    std::vector<D3DXVECTOR3> m_points;
    D3DXVECTOR3 m_centre{0, 0, 0};  // of the points' box
    float m_radius = 1;             // of the sphere around the box
    float m_aspect = 1;
    float m_yaw = 0;
    float m_pitch = 0;
    float m_distance = 1;
    float m_framedDistance = 1;
};

}  // namespace modelview
