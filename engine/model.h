// MS3D models: the file reader (version 4), models built from it with one
// skinned sub-mesh per group, and the test model that shows one of them.
//
// A model mirrors the file's right-handed geometry into Direct3D's left-handed
// frame (z negated, triangle corners reversed), animates it with its skeleton on
// the CPU and re-uploads the moved vertices every frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "buffers.h"
#include "camera.h"
#include "effect.h"
#include "light.h"
#include "material.h"
#include "node.h"
#include "skeleton.h"
#include "texture.h"

// ---------------------------------------------------------------------------
// The file's records as the reader keeps them: each record's fields in file
// order with their widths. Name fields are kept as read; a name fills its field
// when no NUL ends it (see ms3dName).

struct sMS3DVertex {
    uint8_t flags;
    float x, y, z;
    int8_t boneId;  // -1: the vertex follows no joint
    uint8_t referenceCount;
};

struct sMS3DTriangle {
    uint16_t flags;
    uint16_t vertexIndices[3];
    float vertexNormals[3][3];  // one normal per corner
    float s[3];                 // texture u per corner
    float t[3];                 // texture v per corner
    uint8_t smoothingGroup;
    uint8_t groupIndex;
};

struct sMS3DGroup {
    uint8_t flags;
    char name[32];
    uint16_t numTriangles;
    std::vector<uint16_t> triangleIndices;  // not used: membership is each triangle's groupIndex
    int8_t materialIndex;                   // negative: no material
};

struct sMS3DMaterial {
    char name[32];
    float ambient[4];  // r, g, b, a
    float diffuse[4];
    float specular[4];
    float emissive[4];
    float shininess;
    float transparency;  // 1.0 = opaque
    int8_t mode;         // bit 0x80: sphere-mapped texture
    char texture[128];
    char alphamap[128];
};

struct sMS3DKeyframe {
    float time;  // seconds
    float parameter[3];
};

struct sMS3DJoint {
    uint8_t flags;
    char name[32];
    char parentName[32];
    float rotation[3];  // bind rotation, Euler angles (radians)
    float position[3];  // bind translation relative to the parent
    uint16_t numRotationKeys;
    uint16_t numTranslationKeys;
    std::vector<sMS3DKeyframe> rotationKeys;
    std::vector<sMS3DKeyframe> translationKeys;
};

// Every section of one file, as `cModel::load` hands them to the build step.
struct sMS3DData {
    std::vector<sMS3DVertex> vertices;
    std::vector<sMS3DTriangle> triangles;
    std::vector<sMS3DGroup> groups;
    std::vector<sMS3DMaterial> materials;
    float animationFps = 0;
    float currentTime = 0;
    int32_t totalFrames = 0;
    std::vector<sMS3DJoint> joints;
};

// The text of a fixed-width name field: up to its first NUL, or the whole field
// when it has none.
std::string ms3dName(const char* field, size_t width);
// True when the stream starts with "MS3D000000" and version 4.
bool readMS3DHeader(std::FILE* file);
// Reads every section after the header, up to the end of the joints; anything
// after them is left unread. False when the file ends before that.
bool readMS3DSections(std::FILE* file, sMS3DData& data);
// The animation's length in ms: totalFrames ÷ animationFps × 1000, truncated.
// A rate or a count that gives no finite, non-negative length yields 0.
uint32_t ms3dAnimationLength(int32_t totalFrames, float animationFps);
// A float truncated toward zero to a signed 32-bit integer. Values no such
// integer holds (NaN, infinities, beyond ±2^31) give INT32_MIN, as the x86
// conversion instruction does, instead of an undefined conversion.
int32_t truncateToInt32(float value);

// ---------------------------------------------------------------------------
// Models

// One group of a model: its bind-pose vertices, the vertices it draws (moved by
// the skeleton every frame) and its triangles. Every triangle corner is a vertex
// of its own.
class cSkinnedMesh : public cMesh {
public:
    cSkinnedMesh();
    HRESULT init(cD3D* d3d) override;
    bool release() override;

    // Moves every vertex that follows a joint by that joint's skinning matrix and
    // uploads the drawn vertices.
    void skin();

    cLitVertexBuffer m_sourceVertices;  // CPU only: the bind pose
    cLitVertexBuffer m_drawnVertices;   // the mesh's vertex buffer
    cIndexBuffer m_triangles;           // the mesh's index buffer
    std::vector<int32_t> m_jointIndices;  // one per vertex; -1: follows no joint
    cSkeleton* m_skeleton;                // the model's; not owned
};

class cModel : public cNode {
public:
    cModel();
    ~cModel() override;
    cModel(const cModel&) = delete;
    cModel& operator=(const cModel&) = delete;

    // Loads the textures (first time only), then initialises the sub-meshes.
    HRESULT init(cD3D* d3d) override;
    // Releases and destroys everything load built; the model ends empty.
    bool release() override;
    // Advances the animation (while m_animate is set), then draws.
    HRESULT begin() override;

    // Reads an MS3D version 4 file and builds the sub-meshes, materials, textures
    // and skeleton. Texture files are looked for as textureDirectory + the name
    // the material gives. False (and nothing built) for a missing file, a file
    // that is not MS3D version 4, or one whose sections end early; a model that
    // holds a loaded file already refuses another.
    bool load(std::string fileName, std::string textureDirectory);
    // Copies every sub-mesh's vertices and triangles into its device buffers.
    HRESULT uploadAll();

    std::vector<std::string> m_textureNames;  // distinct, in order of first use
    std::vector<cTexture*> m_textures;        // owned; one per name
    std::vector<cMaterial*> m_materials;      // owned; one per material record
    std::vector<cSkinnedMesh*> m_meshes;      // owned; one per group, also children
    uint32_t m_startTime;                     // clock ms when the animation (re)started
    bool m_animate;                           // set only after a successful load
    cSkeleton* m_skeleton;                    // owned; null until load succeeds
    std::string m_textureDirectory;
    cAlphaBlendState m_alphaBlend;  // shared by the translucent sub-meshes

private:
    void build(const sMS3DData& data);
    void buildMaterials(const sMS3DData& data);
    void buildMeshes(const sMS3DData& data);
    cTexture* textureNamed(const std::string& name);
};

// ---------------------------------------------------------------------------
// The test model: one animated MS3D model, lit by one directional light, seen
// through one camera, the whole scene swaying about the vertical axis.

class cTestModel : public cEffect {
public:
    cTestModel();
    HRESULT init(cD3D* d3d) override;
    bool frame(uint32_t t) override;

    cModel m_model;
    cCamera m_camera;
    cLight m_light;
    cLight m_secondLight;  // never configured or attached

protected:
    // init with another model file: for tools that show any model in this scene.
    HRESULT initWithModel(cD3D* d3d, const std::string& fileName);
};
