// A texture made from an image file and bound to one texture stage while the
// mesh that holds it draws.
#pragma once

#include <string>

#include "node.h"

class cTexture : public cRenderObject {
public:
    cTexture();
    ~cTexture() override;
    cTexture(const cTexture&) = delete;
    cTexture& operator=(const cTexture&) = delete;

    bool release() override;  // false if there was no texture to release
    HRESULT begin() override;  // set on the stage; stage colour := texture × diffuse (or current)
    HRESULT end() override;    // take it off the stage

    virtual void reserved();  // an unused slot, kept for the layout of the class
    virtual IDirect3DTexture8* getTexture();
    virtual HRESULT load(cD3D* d3d, const std::string& fileName);
    virtual HRESULT loadFile(const std::string& fileName);
    virtual HRESULT loadKeyed(cD3D* d3d, const std::string& fileName, D3DCOLOR colorKey);
    virtual HRESULT loadFileKeyed(const std::string& fileName, D3DCOLOR colorKey);

    unsigned m_stage;
    IDirect3DTexture8* m_texture;  // owned, one reference

private:
    HRESULT create(const std::string& fileName, D3DPOOL pool, DWORD filter, D3DCOLOR colorKey);
    void releaseTexture();
};
