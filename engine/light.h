// A directional light applied while the node it is attached to draws. Lights take
// device light slots in the order they are applied (s_LightCount) and give them
// back in reverse, so nested and sibling lights stack like the states they are.
#pragma once

#include "node.h"

class cLight : public cRenderObject {
public:
    cLight();
    HRESULT begin() override;
    HRESULT end() override;

    void setDiffuse(float r, float g, float b, float a);
    void setSpecular(float r, float g, float b, float a);
    void setAmbient(float r, float g, float b, float a);
    void setPosition(float x, float y, float z);
    void setDirection(float x, float y, float z);
    void setRange(float range);
    void setFalloff(float falloff);
    void setAttenuation(float a0, float a1, float a2);
    void setSpotAngles(float theta, float phi);

    D3DLIGHT8 m_light;

private:
    // Whether the last begin took a slot: an end after a failed begin gives none
    // back, so the count never drifts below the lights really applied.
    bool m_holdsSlot;

public:

    // Lights applied now, and so the device slot the next begin takes.
    static int s_LightCount;
};
