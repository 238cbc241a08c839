#include "buffers.h"

#include <algorithm>
#include <cmath>
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

// v / |v| for the vectors (x[i], y[i], z[i]), in place, as D3DXVec3Normalize
// computes it: the length is sqrt((x*x + y*y) + z*z), and a zero vector stays
// zero. The division always runs (by 1 where the length is 0), so that the loop
// has no branch and vectorises.
void normalize(float* __restrict x, float* __restrict y, float* __restrict z, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const float length = std::sqrt(x[i] * x[i] + y[i] * y[i] + z[i] * z[i]);
        const bool zero = length == 0.0f;
        const float divisor = zero ? 1.0f : length;
        x[i] = zero ? 0.0f : x[i] / divisor;
        y[i] = zero ? 0.0f : y[i] / divisor;
        z[i] = zero ? 0.0f : z[i] / divisor;
    }
}

// a x b, as D3DXVec3Cross computes it, normalised as above, into a.
void crossNormalized(float* __restrict ax, float* __restrict ay, float* __restrict az, const float* __restrict bx,
                     const float* __restrict by, const float* __restrict bz, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const float nx = ay[i] * bz[i] - az[i] * by[i];
        const float ny = az[i] * bx[i] - ax[i] * bz[i];
        const float nz = ax[i] * by[i] - ay[i] * bx[i];
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        const bool zero = length == 0.0f;
        const float divisor = zero ? 1.0f : length;
        ax[i] = zero ? 0.0f : nx / divisor;
        ay[i] = zero ? 0.0f : ny / divisor;
        az[i] = zero ? 0.0f : nz / divisor;
    }
}

// The float at position `index` of a vertex.
float floatAt(const uint8_t* vertex, int index) {
    float value;
    std::memcpy(&value, vertex + 4 * index, sizeof value);
    return value;
}

// Whether every index names one of `count` vertices.
bool indicesBelow(const uint16_t* indices, size_t n, uint32_t count) {
    uint16_t highest = 0;
    for (size_t i = 0; i < n; ++i) highest = std::max(highest, indices[i]);
    return n == 0 || highest < count;
}

}  // namespace

// ---------------------------------------------------------------------------
// Normal scratch

void cNormalScratch::reserve(uint32_t triangles, uint32_t vertices) {
    if (triangles > m_triangleCapacity) {
        m_triangleCapacity = triangles;
        for (std::unique_ptr<float[]>& a : m_edges) a.reset(new float[triangles]);
        for (int k = 0; k < 6; ++k) edge[k] = m_edges[k].get();
    }
    if (vertices > m_vertexCapacity) {
        m_vertexCapacity = vertices;
        for (std::unique_ptr<float[]>& a : m_sums) a.reset(new float[vertices]);
        for (int k = 0; k < 3; ++k) sum[k] = m_sums[k].get();
    }
}

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

// Four passes over plain arrays, so that the arithmetic runs on whole vectors of
// floats: the two edges of every triangle gathered, the face normals, the sums in
// triangle order, the sums normalised. Each value is computed with the same
// operations in the same order as D3DXVec3Cross, D3DXVec3Normalize and the
// vector sum would give it: square root and division are exact to the last bit
// whether done one float or four at a time.
void cVertexBuffer::accumulateNormals(cIndexBuffer* indexBuffer, D3DXVECTOR3* sums) {
    if (!indexBuffer || !indexBuffer->m_indices || !m_vertices || !sums) return;
    const uint16_t* indices = indexBuffer->m_indices;
    const uint32_t triangles = indexBuffer->m_count;
    // A triangle naming a vertex past the array is left out; when none does, the
    // loops below need not ask.
    if (indicesBelow(indices, 3 * static_cast<size_t>(triangles), m_count)) {
        accumulateNormals<false>(indices, triangles, sums);
    } else {
        accumulateNormals<true>(indices, triangles, sums);
    }
}

template <bool kSkipBadTriangles>
void cVertexBuffer::accumulateNormals(const uint16_t* indices, uint32_t triangles, D3DXVECTOR3* sums) {
    const auto bad = [this](const uint16_t* tri) {
        return kSkipBadTriangles && (tri[0] >= m_count || tri[1] >= m_count || tri[2] >= m_count);
    };
    m_normalScratch.reserve(triangles, m_count);
    float* const* edge = m_normalScratch.edge;

    // Edges a = p0 - p1 and b = p1 - p2.
    for (uint32_t t = 0; t < triangles; ++t) {
        const uint16_t* tri = indices + 3 * static_cast<size_t>(t);
        if (bad(tri)) {
            for (int k = 0; k < 6; ++k) edge[k][t] = 0;
            continue;
        }
        const uint8_t* p0 = vertexAt(tri[0]);
        const uint8_t* p1 = vertexAt(tri[1]);
        const uint8_t* p2 = vertexAt(tri[2]);
        for (int c = 0; c < 3; ++c) {
            edge[c][t] = floatAt(p0, c) - floatAt(p1, c);
            edge[3 + c][t] = floatAt(p1, c) - floatAt(p2, c);
        }
    }

    // Unit face normals, into the first edge's arrays.
    crossNormalized(edge[0], edge[1], edge[2], edge[3], edge[4], edge[5], triangles);

    for (uint32_t t = 0; t < triangles; ++t) {
        const uint16_t* tri = indices + 3 * static_cast<size_t>(t);
        if (bad(tri)) continue;
        const D3DXVECTOR3 n(edge[0][t], edge[1][t], edge[2][t]);
        for (int k = 0; k < 3; ++k) sums[tri[k]] = sums[tri[k]] + n;
    }

    float* const* sum = m_normalScratch.sum;
    for (uint32_t j = 0; j < m_count; ++j) {
        sum[0][j] = sums[j].x;
        sum[1][j] = sums[j].y;
        sum[2][j] = sums[j].z;
    }
    normalize(sum[0], sum[1], sum[2], m_count);
    for (uint32_t j = 0; j < m_count; ++j) {
        sums[j] = D3DXVECTOR3(sum[0][j], sum[1][j], sum[2][j]);
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
