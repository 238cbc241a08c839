// Models: loading an MS3D file into sub-meshes, materials, textures and a
// skeleton, and animating and drawing them.
#include "model.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "crt.h"
#include "d3d.h"
#include "spheremap.h"

namespace {

// The vertex colour of a group: white with alpha 0 without a material,
// otherwise the material's diffuse colour with its transparency as alpha. The
// components are not clamped: one outside 0..255 carries into its neighbour.
D3DCOLOR groupColor(const sMS3DMaterial* material) {
    if (!material) return 0x00FFFFFF;
    const auto byteOf = [](float unit) { return static_cast<uint32_t>(truncateToInt32(unit * 255.0f)); };
    const uint32_t a = byteOf(material->transparency);
    const uint32_t r = byteOf(material->diffuse[0]);
    const uint32_t g = byteOf(material->diffuse[1]);
    const uint32_t b = byteOf(material->diffuse[2]);
    return ((a * 256 + r) * 256 + g) * 256 + b;
}

// The material a group names, or null when its index is negative or names no
// material of the file (such a group is drawn as one without a material).
const sMS3DMaterial* materialOf(const sMS3DData& data, const sMS3DGroup& group) {
    if (group.materialIndex < 0) return nullptr;
    const size_t index = static_cast<size_t>(group.materialIndex);
    return index < data.materials.size() ? &data.materials[index] : nullptr;
}

// A triangle that names a vertex the file does not have cannot be built: such a
// file is rejected as a whole.
bool everyCornerExists(const sMS3DData& data) {
    for (const sMS3DTriangle& triangle : data.triangles) {
        for (uint16_t index : triangle.vertexIndices) {
            if (index >= data.vertices.size()) return false;
        }
    }
    return true;
}

// What one group collects while the triangles are walked.
struct sGroupGeometry {
    std::vector<LitVertex> vertices;
    std::vector<uint16_t> indices;  // three per triangle
    std::vector<int32_t> jointIndices;
    uint16_t counter = 0;  // wraps past 65535 vertices, as the 16-bit indices do
    D3DCOLOR color = 0;
};

void addTriangle(sGroupGeometry& group, const sMS3DData& data, const sMS3DTriangle& triangle) {
    // Corners reversed: mirroring z turns the winding over, and this turns it back.
    const uint16_t c = group.counter;
    group.indices.push_back(static_cast<uint16_t>(c + 2));
    group.indices.push_back(static_cast<uint16_t>(c + 1));
    group.indices.push_back(c);
    group.counter = static_cast<uint16_t>(c + 3);
    for (int k = 0; k < 3; ++k) {
        const sMS3DVertex& p = data.vertices[triangle.vertexIndices[k]];
        const float* n = triangle.vertexNormals[k];
        group.vertices.push_back(
            LitVertex{p.x, p.y, -p.z, n[0], n[1], -n[2], group.color, triangle.s[k], triangle.t[k]});
        group.jointIndices.push_back(p.boneId);
    }
}

std::vector<sGroupGeometry> collectGeometry(const sMS3DData& data) {
    std::vector<sGroupGeometry> groups(data.groups.size());
    for (size_t g = 0; g < groups.size(); ++g) groups[g].color = groupColor(materialOf(data, data.groups[g]));
    for (const sMS3DTriangle& triangle : data.triangles) {
        // A triangle in no group of the file (255 is the usual "none") is not drawn.
        if (triangle.groupIndex >= groups.size()) continue;
        addTriangle(groups[triangle.groupIndex], data, triangle);
    }
    return groups;
}

}  // namespace

// ---------------------------------------------------------------------------
// Skinned mesh

cSkinnedMesh::cSkinnedMesh() : m_skeleton(nullptr) {}

HRESULT cSkinnedMesh::init(cD3D* d3d) {
    if (m_d3d) return S_OK;
    // A group without triangles has nothing to draw: with no buffers attached the
    // mesh draws nothing instead of asking the device to draw from none.
    if (m_sourceVertices.m_count > 0 && m_triangles.m_count > 0) {
        setVertexBuffer(&m_drawnVertices);
        setIndexBuffer(&m_triangles);
    }
    m_drawnVertices.allocate(m_sourceVertices.m_count);
    if (m_sourceVertices.m_vertices) {
        std::memcpy(m_drawnVertices.m_vertices, m_sourceVertices.m_vertices,
                    static_cast<size_t>(m_sourceVertices.m_count) * m_sourceVertices.m_stride);
    }
    return cMesh::init(d3d);
}

bool cSkinnedMesh::release() {
    const bool source = m_sourceVertices.release();
    const bool triangles = m_triangles.release();
    return cMesh::release() && source && triangles;
}

void cSkinnedMesh::skin() {
    const LitVertex* source = m_sourceVertices.getVertices();
    LitVertex* drawn = m_drawnVertices.getVertices();
    if (!source || !drawn || m_drawnVertices.m_count == 0) return;
    const size_t count = std::min<size_t>(
        {m_drawnVertices.m_count, m_sourceVertices.m_count, m_jointIndices.size()});
    const int64_t jointCount = m_skeleton ? m_skeleton->m_jointCount : 0;
    for (size_t j = 0; j < count; ++j) {
        // A joint the skeleton does not have is read as none: the vertex stays put.
        const int32_t joint = m_jointIndices[j];
        if (joint < 0 || joint >= jointCount) continue;
        const D3DXMATRIX& m = m_skeleton->m_joints[joint].m_skinning;
        const D3DXVECTOR3 position(source[j].x, source[j].y, source[j].z);
        const D3DXVECTOR3 normal(source[j].nx, source[j].ny, source[j].nz);
        D3DXVECTOR3 moved, turned;
        D3DXVec3TransformCoord(&moved, &position, &m);
        D3DXVec3TransformNormal(&turned, &normal, &m);
        drawn[j].x = moved.x, drawn[j].y = moved.y, drawn[j].z = moved.z;
        drawn[j].nx = turned.x, drawn[j].ny = turned.y, drawn[j].nz = turned.z;
    }
    m_drawnVertices.update();
}

// ---------------------------------------------------------------------------
// Model

cModel::cModel() : m_startTime(crt::clock()), m_animate(false), m_skeleton(nullptr) {}

cModel::~cModel() { cModel::release(); }

bool cModel::load(std::string fileName, std::string textureDirectory) {
    if (fileName.empty()) return false;
    // Every list is appended to: a second file would mix with the first.
    if (m_skeleton) return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(crt::hostPath(fileName).c_str(), "rb"), &std::fclose);
    if (!file) return false;
    m_textureDirectory = textureDirectory;

    sMS3DData data;
    if (!readMS3DHeader(file.get()) || !readMS3DSections(file.get(), data)) return false;
    file.reset();
    if (!everyCornerExists(data)) return false;
    build(data);
    return true;
}

void cModel::build(const sMS3DData& data) {
    buildMaterials(data);
    buildMeshes(data);
    m_skeleton = new cSkeleton;
    m_skeleton->setup(data.joints.data(), static_cast<uint32_t>(data.joints.size()),
                      ms3dAnimationLength(data.totalFrames, data.animationFps), "default");
    for (cSkinnedMesh* mesh : m_meshes) mesh->m_skeleton = m_skeleton;
}

void cModel::buildMaterials(const sMS3DData& data) {
    for (const sMS3DMaterial& record : data.materials) {
        cMaterial* material = new cMaterial;
        material->setAmbient(record.ambient[0], record.ambient[1], record.ambient[2], record.ambient[3]);
        material->setDiffuse(record.diffuse[0], record.diffuse[1], record.diffuse[2], record.diffuse[3]);
        material->setEmissive(record.emissive[0], record.emissive[1], record.emissive[2],
                              record.emissive[3]);
        material->setSpecular(record.specular[0], record.specular[1], record.specular[2],
                              record.specular[3]);
        material->setPower(record.shininess);
        m_materials.push_back(material);

        // Names are matched byte for byte: "A.jpg" and "a.jpg" are two textures.
        const std::string name = ms3dName(record.texture, sizeof record.texture);
        if (!name.empty() && !textureNamed(name)) {
            m_textureNames.push_back(name);
            m_textures.push_back(new cTexture);
        }
    }
}

void cModel::buildMeshes(const sMS3DData& data) {
    std::vector<sGroupGeometry> geometry = collectGeometry(data);
    for (size_t g = 0; g < geometry.size(); ++g) {
        sGroupGeometry& group = geometry[g];
        cSkinnedMesh* mesh = new cSkinnedMesh;
        addChild(mesh);

        const uint32_t vertexCount = static_cast<uint32_t>(group.vertices.size());
        mesh->m_sourceVertices.allocate(vertexCount);
        mesh->m_triangles.allocate(vertexCount / 3);
        if (vertexCount > 0) {
            std::memcpy(mesh->m_sourceVertices.m_vertices, group.vertices.data(),
                        group.vertices.size() * sizeof(LitVertex));
            std::memcpy(mesh->m_triangles.m_indices, group.indices.data(),
                        group.indices.size() * sizeof(uint16_t));
        }
        mesh->m_jointIndices = std::move(group.jointIndices);

        const sMS3DMaterial* record = materialOf(data, data.groups[g]);
        if (record) {
            mesh->addState(m_materials[static_cast<size_t>(data.groups[g].materialIndex)]);
            if (record->transparency != 1.0f) mesh->addState(&m_alphaBlend);
            if (record->mode & 0x80) mesh->addState(&s_SphereMapState);
            const std::string texture = ms3dName(record->texture, sizeof record->texture);
            if (!texture.empty()) mesh->setTexture(textureNamed(texture), 0);
        }
        m_meshes.push_back(mesh);
    }
}

cTexture* cModel::textureNamed(const std::string& name) {
    for (size_t i = 0; i < m_textureNames.size(); ++i) {
        if (m_textureNames[i] == name) return m_textures[i];
    }
    return nullptr;
}

HRESULT cModel::init(cD3D* d3d) {
    if (!m_d3d) {
        for (size_t i = 0; i < m_textures.size(); ++i) {
            const HRESULT result = m_textures[i]->init(d3d);
            if (FAILED(result)) return result;
            // A picture that cannot be loaded is reported by the texture; the
            // sub-meshes that use it are drawn without it.
            m_textures[i]->loadFile(m_textureDirectory + m_textureNames[i]);
        }
    }
    return cNode::init(d3d);
}

HRESULT cModel::uploadAll() {
    HRESULT result = S_OK;
    for (cSkinnedMesh* mesh : m_meshes) {
        if (!mesh->m_vertexBuffer) continue;  // an empty group has no buffers
        result = mesh->update();
        if (FAILED(result)) return result;
    }
    return result;
}

HRESULT cModel::begin() {
    if (m_animate && m_skeleton) {
        uint32_t elapsed = crt::clock() - m_startTime;
        // Past the end the animation starts over; a frame exactly at the end still
        // shows the last pose.
        if (elapsed > m_skeleton->m_totalLength) {
            m_startTime = crt::clock();
            elapsed = 0;
        }
        m_skeleton->update(elapsed);
        for (cSkinnedMesh* mesh : m_meshes) mesh->skin();
    }
    return cNode::begin();
}

bool cModel::release() {
    const bool released = cNode::release();
    if (m_skeleton) {
        m_skeleton->clear();
        delete m_skeleton;
        m_skeleton = nullptr;
    }
    m_textureNames.clear();
    for (cSkinnedMesh* mesh : m_meshes) {
        mesh->m_jointIndices = std::vector<int32_t>();
        delete mesh;
    }
    m_meshes.clear();
    for (cTexture* texture : m_textures) delete texture;
    m_textures.clear();
    for (cMaterial* material : m_materials) delete material;
    m_materials.clear();
    return released;
}
