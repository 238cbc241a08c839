// The class tree of everything bound to the device: device objects, render
// objects (applied and withdrawn by begin/end), nodes with a transform and two
// lists of attached objects, scenes (a frame's root) and meshes (what draws).
//
// Every operation below is virtual and the declaration order is the slot order:
// each class appends its own operations to its base's. Lists never own what they
// point to; objects live as members of their owners.
#pragma once

#include <memory>
#include <vector>

#include "d3d8.h"
#include "d3dx8.h"

class cD3D;
class cVertexBuffer;
class cIndexBuffer;
class cTexture;

class cDeviceObject {
public:
    cDeviceObject();
    // Owners delete some objects through their own type only, but a virtual
    // destructor keeps that safe whatever pointer they hold.
    virtual ~cDeviceObject() = default;
    virtual HRESULT init(cD3D* d3d);  // store the device wrapper
    virtual bool release();           // forget it

    cD3D* m_d3d;  // not owned; null while detached
};

class cRenderObject : public cDeviceObject {
public:
    cRenderObject();
    virtual HRESULT begin();  // apply (a state) or draw (a node)
    virtual HRESULT end();    // withdraw, or finish drawing

    bool m_active;   // between begin and end
    bool m_enabled;  // a node skips disabled children, states and textures
};

class cNode : public cRenderObject {
public:
    cNode();
    HRESULT init(cD3D* d3d) override;
    bool release() override;
    HRESULT begin() override;
    HRESULT end() override;

    // The transform operations post-multiply: they act in the parent's frame,
    // after what the local transform already does.
    virtual cNode* resetTransform();
    virtual cNode* rotateX(float angle);
    virtual cNode* rotateY(float angle);
    virtual cNode* rotateZ(float angle);
    virtual cNode* scale(float x, float y, float z);
    virtual cNode* translate(float x, float y, float z);
    virtual cNode* saveTransform();
    virtual cNode* restoreTransform();
    virtual cNode* setTransform(const D3DXMATRIX* matrix);
    virtual bool addChild(cRenderObject* child);
    virtual bool removeChild(cRenderObject* child);
    virtual void addState(cRenderObject* state);
    virtual bool removeState(cRenderObject* state);
    virtual cRenderObject* getChild(unsigned index);
    virtual cRenderObject* getState(unsigned index);

    D3DXMATRIX m_savedTransform;
    D3DXMATRIX m_transform;  // local, relative to the parent
    std::vector<cRenderObject*> m_children;
    std::vector<cRenderObject*> m_states;
};

// The root of a frame: clears the target, brackets the Direct3D scene and presents.
class cScene : public cNode {
public:
    cScene();
    HRESULT begin() override;
    HRESULT end() override;

    virtual HRESULT present();
    virtual void setClearColor(D3DCOLOR color);
    virtual HRESULT clear();

    D3DCOLOR m_clearColor;

private:
    size_t m_stackDepthAtBegin;
};

// A node that draws a vertex buffer (and usually an index buffer) with up to two
// textures.
class cMesh : public cNode {
public:
    cMesh();
    HRESULT init(cD3D* d3d) override;
    bool release() override;
    HRESULT begin() override;

    virtual void setTexture(cTexture* texture, unsigned stage);
    virtual bool removeTexture(unsigned stage);
    virtual HRESULT update();

    void setVertexBuffer(cVertexBuffer* vertexBuffer) { m_vertexBuffer = vertexBuffer; }
    void setIndexBuffer(cIndexBuffer* indexBuffer) { m_indexBuffer = indexBuffer; }

    D3DPRIMITIVETYPE m_primitiveType;
    cVertexBuffer* m_vertexBuffer;  // not owned
    cIndexBuffer* m_indexBuffer;    // not owned; may stay null
    cTexture* m_textures[2];        // stages 0 and 1; not owned

protected:
    HRESULT beginTextures();
    HRESULT endTextures();
    HRESULT drawBuffers();
};

// The stack of world matrices shared by all nodes during a frame. Each entry has
// its own block, kept after a pop, so once the stack has been as deep as a frame
// needs, pushing allocates nothing.
class cMatrixStack {
public:
    void push(const D3DXMATRIX& matrix);
    void pop();  // does nothing on an empty stack
    // The top entry; the identity on an empty stack.
    const D3DXMATRIX& top() const;
    size_t depth() const { return m_depth; }
    // Drops entries above `depth` (used to rebalance after a failed frame).
    void truncate(size_t depth);

private:
    std::vector<std::unique_ptr<D3DXMATRIX>> m_blocks;
    size_t m_depth = 0;
};

extern cMatrixStack s_MatrixStack;
extern const D3DXMATRIX s_Identity;

// A fresh identity matrix. Constructors of objects that may themselves be statics
// use this rather than s_Identity, whose initialisation order they cannot rely on.
D3DXMATRIX identityMatrix();
