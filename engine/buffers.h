// Vertex and index buffers: a CPU array that the engine and the effects fill and
// change, and a device buffer in the default pool that `update` copies it into.
#pragma once

#include <cstdint>
#include <memory>

#include "node.h"

class cIndexBuffer;

// Working arrays for recomputing normals, one float array per coordinate so that
// the arithmetic runs on vectors of floats. They only grow: after the first
// frame, recomputing normals allocates nothing.
class cNormalScratch {
public:
    void reserve(uint32_t triangles, uint32_t vertices);

    float* edge[6] = {};  // per triangle: the two edges' x, y, z; then the face normal in 0..2
    float* sum[3] = {};   // per vertex: the normal sums' x, y, z

private:
    std::unique_ptr<float[]> m_edges[6];
    std::unique_ptr<float[]> m_sums[3];
    uint32_t m_triangleCapacity = 0;
    uint32_t m_vertexCapacity = 0;
};

class cVertexBuffer : public cDeviceObject {
public:
    cVertexBuffer();
    ~cVertexBuffer() override;
    cVertexBuffer(const cVertexBuffer&) = delete;
    cVertexBuffer& operator=(const cVertexBuffer&) = delete;

    // Creates the device buffer, sized from the count, and fills it.
    HRESULT init(cD3D* d3d) override;
    // Frees the CPU array and the device buffer. True only if both existed.
    bool release() override;

    // Copies the CPU array into the device buffer.
    HRESULT update();

    // The CPU copy of vertex `index` (count × stride bytes in all).
    uint8_t* vertexAt(uint32_t index) { return m_vertices + static_cast<size_t>(index) * m_stride; }

    IDirect3DVertexBuffer8* m_buffer;  // owned
    BYTE* m_lockPointer;
    uint32_t m_count;
    DWORD m_format;  // flexible vertex format code
    uint32_t m_stride;
    uint8_t* m_vertices;  // owned, count × stride bytes

protected:
    // Frees any previous arrays and allocates `count` vertices of the layout's
    // stride with the default contents: position, normal and texture coordinates
    // zero, diffuse opaque white.
    void allocateVertices(uint32_t count, uint32_t diffuseOffset);
    virtual void freeArrays();
    // Adds every face normal of the index buffer's triangles to `sums`, then
    // writes the normalised sums into the vertices' normals (at byte 12).
    void accumulateNormals(cIndexBuffer* indexBuffer, D3DXVECTOR3* sums);

private:
    template <bool kSkipBadTriangles>
    void accumulateNormals(const uint16_t* indices, uint32_t triangles, D3DXVECTOR3* sums);

    uint32_t m_deviceBytes;  // size of the device buffer made by init
    cNormalScratch m_normalScratch;
};

// Position, normal, diffuse, one texture coordinate pair (36 bytes, FVF 0x152).
struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse;
    float u, v;
};

// As LitVertex with a second texture coordinate pair (44 bytes, FVF 0x252).
struct LitVertex2 {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse;
    float u, v;
    float u2, v2;
};

// Position, diffuse, one texture coordinate pair (24 bytes, FVF 0x142).
struct ColorVertex {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};

class cLitVertexBuffer : public cVertexBuffer {
public:
    cLitVertexBuffer();
    ~cLitVertexBuffer() override;
    void allocate(uint32_t count);
    // Recomputes the vertex normals from the index buffer's triangles. The sums
    // are zeroed only by allocate, so repeated calls follow changing faces with a
    // lag of one call.
    void computeNormals(cIndexBuffer* indexBuffer);
    LitVertex* getVertices() { return reinterpret_cast<LitVertex*>(m_vertices); }

    D3DXVECTOR3* m_normalSums;  // owned, count entries

protected:
    void freeArrays() override;
};

class cLitVertexBuffer2 : public cVertexBuffer {
public:
    cLitVertexBuffer2();
    ~cLitVertexBuffer2() override;
    void allocate(uint32_t count);
    void computeNormals(cIndexBuffer* indexBuffer);  // as cLitVertexBuffer's
    LitVertex2* getVertices() { return reinterpret_cast<LitVertex2*>(m_vertices); }

    D3DXVECTOR3* m_normalSums;  // owned, count entries

protected:
    void freeArrays() override;
};

class cColorVertexBuffer : public cVertexBuffer {
public:
    cColorVertexBuffer();
    void allocate(uint32_t count);
    ColorVertex* getVertices() { return reinterpret_cast<ColorVertex*>(m_vertices); }
};

// Triangles of three 16-bit vertex indices.
class cIndexBuffer : public cDeviceObject {
public:
    cIndexBuffer();
    ~cIndexBuffer() override;
    cIndexBuffer(const cIndexBuffer&) = delete;
    cIndexBuffer& operator=(const cIndexBuffer&) = delete;

    HRESULT init(cD3D* d3d) override;
    bool release() override;

    void allocate(uint32_t count);  // count triangles, every index 0
    void flipWinding();             // swaps the first and third index of every triangle
    HRESULT update();

    uint16_t* triangle(uint32_t index) { return m_indices + static_cast<size_t>(index) * 3; }

    IDirect3DIndexBuffer8* m_buffer;  // owned
    uint16_t* m_indices;              // owned, count × 3 indices
    BYTE* m_lockPointer;
    uint32_t m_count;  // triangles

private:
    uint32_t m_deviceBytes;
};
