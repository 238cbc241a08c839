#include "node.h"

#include <algorithm>

#include "buffers.h"
#include "d3d.h"
#include "texture.h"

cMatrixStack s_MatrixStack;
const D3DXMATRIX s_Identity = identityMatrix();

D3DXMATRIX identityMatrix() {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    return identity;
}

// ---------------------------------------------------------------------------
// Matrix stack

void cMatrixStack::push(const D3DXMATRIX& matrix) {
    if (m_depth == m_blocks.size()) m_blocks.push_back(std::make_unique<D3DXMATRIX>());
    *m_blocks[m_depth++] = matrix;
}

void cMatrixStack::pop() {
    if (m_depth > 0) --m_depth;
}

const D3DXMATRIX& cMatrixStack::top() const {
    // A node is only drawn inside a scene, which pushes the identity first; an
    // empty stack answers the identity rather than reading outside it.
    return m_depth > 0 ? *m_blocks[m_depth - 1] : s_Identity;
}

void cMatrixStack::truncate(size_t depth) { m_depth = std::min(m_depth, depth); }

// ---------------------------------------------------------------------------
// Device and render objects

cDeviceObject::cDeviceObject() : m_d3d(nullptr) {}

HRESULT cDeviceObject::init(cD3D* d3d) {
    m_d3d = d3d;
    return S_OK;
}

bool cDeviceObject::release() {
    m_d3d = nullptr;
    return true;
}

cRenderObject::cRenderObject() : m_active(false), m_enabled(true) {}

HRESULT cRenderObject::begin() {
    m_active = true;
    return S_OK;
}

HRESULT cRenderObject::end() {
    m_active = false;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Node

cNode::cNode() : m_savedTransform(identityMatrix()), m_transform(identityMatrix()) {}

HRESULT cNode::init(cD3D* d3d) {
    HRESULT result = cRenderObject::init(d3d);
    for (cRenderObject* state : m_states) {
        result = state->init(d3d);
        if (FAILED(result)) return result;
    }
    for (cRenderObject* child : m_children) {
        result = child->init(d3d);
        if (FAILED(result)) return result;
    }
    return result;
}

bool cNode::release() {
    bool released = true;
    for (cRenderObject* child : m_children) released = child->release() && released;
    m_children.clear();
    for (cRenderObject* state : m_states) released = state->release() && released;
    m_states.clear();
    return cRenderObject::release() && released;
}

HRESULT cNode::begin() {
    m_active = true;
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &m_transform, &s_MatrixStack.top());
    s_MatrixStack.push(world);

    HRESULT result = S_OK;
    for (cRenderObject* state : m_states) {
        if (!state->m_enabled) continue;
        result = state->begin();
        if (FAILED(result)) return result;
    }
    for (cRenderObject* child : m_children) {
        if (!child->m_enabled) continue;
        result = child->begin();
        if (FAILED(result)) return result;
        result = child->end();
        if (FAILED(result)) return result;
    }
    return result;
}

HRESULT cNode::end() {
    HRESULT result = S_OK;
    for (auto it = m_states.rbegin(); it != m_states.rend(); ++it) {
        if (!(*it)->m_enabled) continue;
        result = (*it)->end();
        if (FAILED(result)) return result;
    }
    s_MatrixStack.pop();
    m_active = false;
    return result;
}

cNode* cNode::resetTransform() {
    m_transform = s_Identity;
    return this;
}

cNode* cNode::rotateX(float angle) {
    D3DXMATRIX rotation;
    D3DXMatrixMultiply(&m_transform, &m_transform, D3DXMatrixRotationX(&rotation, angle));
    return this;
}

cNode* cNode::rotateY(float angle) {
    D3DXMATRIX rotation;
    D3DXMatrixMultiply(&m_transform, &m_transform, D3DXMatrixRotationY(&rotation, angle));
    return this;
}

cNode* cNode::rotateZ(float angle) {
    D3DXMATRIX rotation;
    D3DXMatrixMultiply(&m_transform, &m_transform, D3DXMatrixRotationZ(&rotation, angle));
    return this;
}

cNode* cNode::scale(float x, float y, float z) {
    D3DXMATRIX scaling;
    D3DXMatrixMultiply(&m_transform, &m_transform, D3DXMatrixScaling(&scaling, x, y, z));
    return this;
}

cNode* cNode::translate(float x, float y, float z) {
    m_transform._41 += x;
    m_transform._42 += y;
    m_transform._43 += z;
    return this;
}

cNode* cNode::saveTransform() {
    m_savedTransform = m_transform;
    return this;
}

cNode* cNode::restoreTransform() {
    m_transform = m_savedTransform;
    return this;
}

cNode* cNode::setTransform(const D3DXMATRIX* matrix) {
    if (matrix) m_transform = *matrix;
    return this;
}

bool cNode::addChild(cRenderObject* child) {
    if (child == this) return false;
    m_children.push_back(child);
    return true;
}

static bool removeFirst(std::vector<cRenderObject*>& list, cRenderObject* object) {
    const auto it = std::find(list.begin(), list.end(), object);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

bool cNode::removeChild(cRenderObject* child) { return removeFirst(m_children, child); }

void cNode::addState(cRenderObject* state) { m_states.push_back(state); }

bool cNode::removeState(cRenderObject* state) { return removeFirst(m_states, state); }

cRenderObject* cNode::getChild(unsigned index) {
    return index < m_children.size() ? m_children[index] : nullptr;
}

cRenderObject* cNode::getState(unsigned index) {
    return index < m_states.size() ? m_states[index] : nullptr;
}

// ---------------------------------------------------------------------------
// Scene

cScene::cScene() : m_clearColor(0), m_stackDepthAtBegin(0) {}

HRESULT cScene::clear() {
    return m_d3d->m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, m_clearColor,
                                  1.0f, 0);
}

HRESULT cScene::begin() {
    m_stackDepthAtBegin = s_MatrixStack.depth();
    HRESULT result = checkDXCall(m_d3d, clear(), "IDirect3DDevice8::Clear");
    if (FAILED(result)) return result;
    result = checkDXCall(m_d3d, m_d3d->m_device->BeginScene(), "IDirect3DDevice8::BeginScene");
    if (FAILED(result)) return result;
    s_MatrixStack.push(s_Identity);
    return cNode::begin();
}

HRESULT cScene::end() {
    HRESULT result = cNode::end();
    if (SUCCEEDED(result)) {
        s_MatrixStack.pop();
        result = checkDXCall(m_d3d, m_d3d->m_device->EndScene(), "IDirect3DDevice8::EndScene");
    }
    // A failure anywhere in the walk leaves the entries of the objects whose end
    // did not run; dropping them here keeps the stack from growing frame after frame.
    s_MatrixStack.truncate(m_stackDepthAtBegin);
    return result;
}

HRESULT cScene::present() {
    return checkDXCall(m_d3d, m_d3d->m_device->Present(nullptr, nullptr, nullptr, nullptr),
                       "IDirect3DDevice8::Present");
}

void cScene::setClearColor(D3DCOLOR color) { m_clearColor = color; }

// ---------------------------------------------------------------------------
// Mesh

cMesh::cMesh()
    : m_primitiveType(D3DPT_TRIANGLELIST),
      m_vertexBuffer(nullptr),
      m_indexBuffer(nullptr),
      m_textures{nullptr, nullptr} {}

HRESULT cMesh::init(cD3D* d3d) {
    HRESULT result = cNode::init(d3d);
    if (FAILED(result)) return result;
    cDeviceObject* parts[] = {m_vertexBuffer, m_indexBuffer, m_textures[0], m_textures[1]};
    for (cDeviceObject* part : parts) {
        if (!part) continue;
        result = part->init(d3d);
        if (FAILED(result)) return result;
    }
    return result;
}

bool cMesh::release() {
    bool released = true;
    cDeviceObject* parts[] = {m_vertexBuffer, m_indexBuffer, m_textures[0], m_textures[1]};
    for (cDeviceObject* part : parts) {
        if (part) released = part->release() && released;
    }
    return cNode::release() && released;
}

HRESULT cMesh::beginTextures() {
    HRESULT result = S_OK;
    for (cTexture* texture : m_textures) {
        if (!texture || !texture->m_enabled) continue;
        result = texture->begin();
        if (FAILED(result)) return result;
    }
    return result;
}

HRESULT cMesh::endTextures() {
    HRESULT result = S_OK;
    for (cTexture* texture : m_textures) {
        if (!texture || !texture->m_enabled) continue;
        result = texture->end();
        if (FAILED(result)) return result;
    }
    return result;
}

// Primitives a draw of `vertexCount` vertices makes, for the non-indexed draw.
static UINT primitiveCountFor(D3DPRIMITIVETYPE type, UINT vertexCount) {
    switch (type) {
        case D3DPT_LINELIST: return vertexCount / 2;
        case D3DPT_LINESTRIP: return vertexCount > 0 ? vertexCount - 1 : 0;
        case D3DPT_TRIANGLELIST: return vertexCount / 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return vertexCount > 2 ? vertexCount - 2 : 0;
        default: return vertexCount;
    }
}

HRESULT cMesh::drawBuffers() {
    if (!m_vertexBuffer) return S_OK;  // nothing to draw
    IDirect3DDevice8* device = m_d3d->m_device;
    HRESULT result = device->SetStreamSource(0, m_vertexBuffer->m_buffer, m_vertexBuffer->m_stride);
    if (FAILED(result)) return result;
    if (m_indexBuffer) {
        result = device->SetIndices(m_indexBuffer->m_buffer, 0);
        if (FAILED(result)) return result;
        result = device->SetVertexShader(m_vertexBuffer->m_format);
        if (FAILED(result)) return result;
        return device->DrawIndexedPrimitive(m_primitiveType, 0, m_vertexBuffer->m_count, 0,
                                            m_indexBuffer->m_count);
    }
    result = device->SetVertexShader(m_vertexBuffer->m_format);
    if (FAILED(result)) return result;
    // The primitive count follows from the type (a vertex count is only right for points).
    return device->DrawPrimitive(m_primitiveType, 0,
                                 primitiveCountFor(m_primitiveType, m_vertexBuffer->m_count));
}

HRESULT cMesh::begin() {
    HRESULT result = cNode::begin();
    if (FAILED(result)) return result;
    result = beginTextures();
    if (FAILED(result)) return result;
    result = m_d3d->m_device->SetTransform(D3DTS_WORLD, &s_MatrixStack.top());
    if (FAILED(result)) return result;
    result = drawBuffers();
    if (FAILED(result)) return result;
    return endTextures();
}

void cMesh::setTexture(cTexture* texture, unsigned stage) {
    // Only two slots exist: a larger stage is ignored rather than written past them.
    if (stage >= 2) return;
    m_textures[stage] = texture;
    if (texture) texture->m_stage = stage;
}

bool cMesh::removeTexture(unsigned stage) {
    if (stage >= 2 || !m_textures[stage]) return false;
    m_textures[stage] = nullptr;
    return true;
}

HRESULT cMesh::update() {
    if (!m_vertexBuffer) return D3DERR_INVALIDCALL;
    HRESULT result = m_vertexBuffer->update();
    if (FAILED(result) || !m_indexBuffer) return result;
    return m_indexBuffer->update();
}
