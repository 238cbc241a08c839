#include "buffers.h"

#include <algorithm>
#include <cstring>

#include "d3d.h"

namespace {

constexpr uint32_t kLitFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr uint32_t kLitFormat2 = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;
constexpr uint32_t kColorFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr uint32_t kNormalOffset = 12;
constexpr uint64_t kMaxDeviceBytes = 0x7FFFFFFF;

// Copies `bytes` from `source` into a locked device buffer and unlocks it.
template <typename Buffer>
HRESULT copyToDevice(Buffer* buffer, BYTE*& lockPointer, const void* source, size_t bytes) {
    HRESULT result = buffer->Lock(0, 0, &lockPointer, 0);
    if (FAILED(result)) return result;
    if (source && bytes > 0) std::memcpy(lockPointer, source, bytes);
    return buffer->Unlock();
}

// Creates a device buffer of `bytes` with `create`; a failure (or a size no
// device buffer can have) is logged with the call's text and leaves no buffer.
template <typename Buffer, typename Create>
HRESULT createDeviceBuffer(cD3D* d3d, uint64_t bytes, const char* callText, Create create,
                           Buffer*& buffer, uint32_t& deviceBytes) {
    const HRESULT result =
        bytes <= kMaxDeviceBytes ? create(static_cast<UINT>(bytes)) : E_OUTOFMEMORY;
    if (FAILED(checkDXCall(d3d, result, callText))) {
        buffer = nullptr;
        return result;
    }
    deviceBytes = static_cast<uint32_t>(bytes);
    return result;
}

D3DXVECTOR3 positionOf(const uint8_t* vertex) {
    D3DXVECTOR3 p;
    std::memcpy(&p, vertex, sizeof p);
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Vertex buffers

cVertexBuffer::cVertexBuffer()
    : m_buffer(nullptr),
      m_lockPointer(nullptr),
      m_count(0),
      m_format(0),
      m_stride(0),
      m_vertices(nullptr),
      m_deviceBytes(0) {}

cVertexBuffer::~cVertexBuffer() { freeArrays(); }

void cVertexBuffer::freeArrays() {
    delete[] m_vertices;
    m_vertices = nullptr;
}

void cVertexBuffer::allocateVertices(uint32_t count, uint32_t diffuseOffset) {
    freeArrays();
    m_count = count;
    m_vertices = new uint8_t[static_cast<size_t>(count) * m_stride]();
    const D3DCOLOR white = 0xFFFFFFFF;
    for (uint32_t i = 0; i < count; ++i) std::memcpy(vertexAt(i) + diffuseOffset, &white, 4);
}

HRESULT cVertexBuffer::init(cD3D* d3d) {
    cDeviceObject::init(d3d);
    if (m_count == 0 || m_buffer) return S_OK;
    const HRESULT result = createDeviceBuffer(
        d3d, static_cast<uint64_t>(m_count) * m_stride, "IDirect3DDevice8::CreateVertexBuffer",
        [&](UINT bytes) {
            return d3d->m_device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, m_format,
                                                     D3DPOOL_DEFAULT, &m_buffer);
        },
        m_buffer, m_deviceBytes);
    if (SUCCEEDED(result)) update();
    return result;
}

bool cVertexBuffer::release() {
    const bool freedArray = m_vertices != nullptr;
    freeArrays();
    if (!m_buffer) return false;
    m_buffer->Release();
    m_buffer = nullptr;
    m_deviceBytes = 0;
    return freedArray;
}

HRESULT cVertexBuffer::update() {
    if (!m_buffer) return D3DERR_INVALIDCALL;
    // The device buffer's size was fixed by init: never copy past it, even if the
    // CPU array was allocated again with more vertices since.
    const size_t bytes = std::min<size_t>(static_cast<size_t>(m_count) * m_stride, m_deviceBytes);
    return copyToDevice(m_buffer, m_lockPointer, m_vertices, bytes);
}

void cVertexBuffer::accumulateNormals(cIndexBuffer* indexBuffer, D3DXVECTOR3* sums) {
    if (!indexBuffer || !indexBuffer->m_indices || !m_vertices || !sums) return;
    for (uint32_t t = 0; t < indexBuffer->m_count; ++t) {
        const uint16_t* tri = indexBuffer->triangle(t);
        if (tri[0] >= m_count || tri[1] >= m_count || tri[2] >= m_count) continue;
        const D3DXVECTOR3 a = positionOf(vertexAt(tri[0])) - positionOf(vertexAt(tri[1]));
        const D3DXVECTOR3 b = positionOf(vertexAt(tri[1])) - positionOf(vertexAt(tri[2]));
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &a, &b);
        D3DXVec3Normalize(&n, &n);
        for (int k = 0; k < 3; ++k) sums[tri[k]] = sums[tri[k]] + n;
    }
    for (uint32_t j = 0; j < m_count; ++j) {
        D3DXVec3Normalize(&sums[j], &sums[j]);
        std::memcpy(vertexAt(j) + kNormalOffset, &sums[j], sizeof(D3DXVECTOR3));
    }
}

cLitVertexBuffer::cLitVertexBuffer() : m_normalSums(nullptr) {
    m_format = kLitFormat;
    m_stride = sizeof(LitVertex);
}

cLitVertexBuffer::~cLitVertexBuffer() { freeArrays(); }

void cLitVertexBuffer::freeArrays() {
    cVertexBuffer::freeArrays();
    delete[] m_normalSums;
    m_normalSums = nullptr;
}

void cLitVertexBuffer::allocate(uint32_t count) {
    allocateVertices(count, offsetof(LitVertex, diffuse));
    m_normalSums = new D3DXVECTOR3[count]();
}

void cLitVertexBuffer::computeNormals(cIndexBuffer* indexBuffer) {
    accumulateNormals(indexBuffer, m_normalSums);
}

cLitVertexBuffer2::cLitVertexBuffer2() : m_normalSums(nullptr) {
    m_format = kLitFormat2;
    m_stride = sizeof(LitVertex2);
}

cLitVertexBuffer2::~cLitVertexBuffer2() { freeArrays(); }

void cLitVertexBuffer2::freeArrays() {
    cVertexBuffer::freeArrays();
    delete[] m_normalSums;
    m_normalSums = nullptr;
}

void cLitVertexBuffer2::allocate(uint32_t count) {
    allocateVertices(count, offsetof(LitVertex2, diffuse));
    m_normalSums = new D3DXVECTOR3[count]();
}

void cLitVertexBuffer2::computeNormals(cIndexBuffer* indexBuffer) {
    accumulateNormals(indexBuffer, m_normalSums);
}

cColorVertexBuffer::cColorVertexBuffer() {
    m_format = kColorFormat;
    m_stride = sizeof(ColorVertex);
}

void cColorVertexBuffer::allocate(uint32_t count) {
    allocateVertices(count, offsetof(ColorVertex, diffuse));
}

// ---------------------------------------------------------------------------
// Index buffer

cIndexBuffer::cIndexBuffer()
    : m_buffer(nullptr), m_indices(nullptr), m_lockPointer(nullptr), m_count(0), m_deviceBytes(0) {}

cIndexBuffer::~cIndexBuffer() { delete[] m_indices; }

void cIndexBuffer::allocate(uint32_t count) {
    delete[] m_indices;
    m_count = count;
    m_indices = new uint16_t[static_cast<size_t>(count) * 3]();
}

void cIndexBuffer::flipWinding() {
    if (!m_indices) return;
    for (uint32_t t = 0; t < m_count; ++t) std::swap(triangle(t)[0], triangle(t)[2]);
}

HRESULT cIndexBuffer::init(cD3D* d3d) {
    cDeviceObject::init(d3d);
    if (m_count == 0 || m_buffer) return S_OK;
    const HRESULT result = createDeviceBuffer(
        d3d, static_cast<uint64_t>(m_count) * 6, "IDirect3DDevice8::CreateIndexBuffer",
        [&](UINT bytes) {
            return d3d->m_device->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                    D3DPOOL_DEFAULT, &m_buffer);
        },
        m_buffer, m_deviceBytes);
    if (SUCCEEDED(result)) update();
    return result;
}

bool cIndexBuffer::release() {
    const bool freedArray = m_indices != nullptr;
    delete[] m_indices;
    m_indices = nullptr;
    if (!m_buffer) return false;
    m_buffer->Release();
    m_buffer = nullptr;
    m_deviceBytes = 0;
    return freedArray;
}

HRESULT cIndexBuffer::update() {
    if (!m_buffer) return D3DERR_INVALIDCALL;
    const size_t bytes = std::min<size_t>(static_cast<size_t>(m_count) * 6, m_deviceBytes);
    return copyToDevice(m_buffer, m_lockPointer, m_indices, bytes);
}
