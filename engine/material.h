// A material applied while the node it is attached to draws, restoring the
// device's previous material afterwards.
#pragma once

#include "node.h"

class cMaterial : public cRenderObject {
public:
    cMaterial();
    HRESULT begin() override;  // specular and ambient on, save the device's material, set ours
    HRESULT end() override;    // ambient and specular off, restore the saved material

    void setDiffuse(float r, float g, float b, float a);
    void setAmbient(float r, float g, float b, float a);
    void setSpecular(float r, float g, float b, float a);
    void setEmissive(float r, float g, float b, float a);
    void setPower(float power);

    D3DMATERIAL8 m_material;
    D3DMATERIAL8 m_savedMaterial;
};
