// The fixed-function pipeline as GLSL: the key that describes one configuration
// of it, the constants its programs read, and the cache of programs generated
// from keys.
//
// Everything that changes the shape of the computation (lighting on or off, the
// light types, where the material colours come from, the texture stage
// operations and arguments, texture coordinate sources) is in the key, and each
// distinct key gets its own program, compiled the first time it is drawn with.
// Everything numeric (matrices, colours, light parameters) comes in one of two
// ways. What changes seldom (texture matrices, material, global ambient, lights)
// lives in the uniform block "FixedFunction", which every vertex program shares,
// so switching programs uploads none of it. What changes with nearly every draw
// (the transforms) and the fragment programs' two constants are plain uniforms
// of each program, given to a program when it is next drawn with and only when
// they changed since: llvmpipe takes any change of a uniform buffer as a change
// of every stage's constants and copies its whole rasteriser state with the
// next draw (TransformConstants).
#pragma once

#include "gl_api.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "d3d8.h"

namespace d3d8::gl {

constexpr int kStages = 8;
constexpr int kActiveLights = 8;

// Attribute locations of the vertex elements.
enum AttributeLocation : GLuint {
    kAttribPosition = 0,
    kAttribNormal = 1,
    kAttribDiffuse = 2,
    kAttribSpecular = 3,
    kAttribTexCoord0 = 4,  // sets 0..7 at 4..11
};

// Where a lighting material colour comes from, after COLORVERTEX, the
// *MATERIALSOURCE states and the vertex format have been taken into account.
enum class ColorSource : uint8_t { Material = 0, VertexDiffuse = 1, VertexSpecular = 2 };

// The texture coordinate a stage uses: one of the vertex's sets (0..7), or one
// generated in camera space.
enum TexCoordSource : uint8_t {
    kTexCoordMissing = 8,  // the set named is not in the vertex: (0, 0, 0, 1)
    kTexGenCameraNormal = 16,
    kTexGenCameraPosition = 17,
    kTexGenReflection = 18,
};

// Texture operations past D3DTOP_ADDSIGNED, by their documented values.
enum ExtraTextureOp : uint8_t {
    kOpAddSigned2x = 9,
    kOpSubtract = 10,
    kOpAddSmooth = 11,
    kOpBlendDiffuseAlpha = 12,
    kOpBlendTextureAlpha = 13,
    kOpBlendFactorAlpha = 14,
    kOpBlendTextureAlphaPm = 15,
    kOpBlendCurrentAlpha = 16,
};

// One texture stage as the fragment program sees it. Only stages that run are
// filled; the rest stay zero so equal configurations compare equal.
struct StageKey {
    uint8_t colorOp;
    uint8_t colorArg1;
    uint8_t colorArg2;
    uint8_t alphaOp;
    uint8_t alphaArg1;
    uint8_t alphaArg2;
    uint8_t texCoordSource;  // TexCoordSource or a set index
    uint8_t texCoordFloats;  // floats in that vertex set (0 for generated or missing)
    uint8_t transformCount;  // D3DTTFF_COUNT1..4, 0 = no texture matrix
    uint8_t projected;       // D3DTTFF_PROJECTED
    uint8_t hasTexture;
};

// A whole fixed-function configuration. Only bytes, so there is no padding and
// memcmp/hashing over the object is well defined.
struct ShaderKey {
    uint8_t pretransformed;
    uint8_t lighting;
    uint8_t specularEnable;
    uint8_t localViewer;
    uint8_t normalizeNormals;
    uint8_t flatShading;
    uint8_t alphaFunc;   // D3DCMPFUNC; 0 when the alpha test is off or always passes
    uint8_t stageCount;  // stages that run, from stage 0
    uint8_t diffuseSource;
    uint8_t ambientSource;
    uint8_t specularSource;
    uint8_t emissiveSource;
    uint8_t lightCount;
    uint8_t lightTypes[kActiveLights];  // D3DLIGHTTYPE of each active light
    StageKey stages[kStages];

    bool operator==(const ShaderKey& other) const;
    bool operator!=(const ShaderKey& other) const { return !(*this == other); }
};

struct ShaderKeyHash {
    size_t operator()(const ShaderKey& key) const;
};

// One light of the uniform block "FixedFunction" (std140). Matrices, there and
// in the plain uniforms, are Direct3D matrices stored as they are: GLSL reads
// them transposed, so `M * v` in the shader is the row-vector product v·M of
// Direct3D.
struct alignas(16) LightConstants {
    float diffuse[4];
    float specular[4];
    float ambient[4];
    float position[4];     // camera space
    float direction[4];    // camera space, normalised, the way the light travels
    float attenuation[4];  // range, attenuation 0, 1, 2
    float spot[4];         // cos(theta/2), cos(phi/2), falloff
};

// The vertex programs' transforms, which change with nearly every draw: plain
// uniforms of each program, not part of the block below. A driver may take any
// change of a uniform buffer as a change of every stage's constants; llvmpipe
// then copies its whole rasteriser state with the next draw.
struct TransformConstants {
    float worldViewProj[16];
    float worldView[16];
    float normalMatrix[16];  // inverse transpose of world·view's 3x3, padded
    float pixelOffset[4];    // clip-space shift that puts pixel centres where Direct3D has them
    float screenToClip[4];   // pre-transformed vertices: 2/width, -2/height, centre - X, centre - Y
};

// The uniform block "FixedFunction" (std140) of the vertex programs.
struct alignas(16) FixedFunctionConstants {
    // texture matrices
    float textureMatrix[kStages][16];
    // material
    float materialDiffuse[4];
    float materialAmbient[4];
    float materialSpecular[4];
    float materialEmissive[4];
    float materialPower[4];
    // colours
    float globalAmbient[4];
    LightConstants lights[kActiveLights];
};

// The fragment programs' uniforms textureFactor and alphaReference (plain
// uniforms too, for the same reason).
struct FragmentConstants {
    float textureFactor[4];
    float alphaReference[4];  // x: ALPHAREF, 0..255
};

// Byte ranges of the groups of constants that change together.
struct ConstantRange {
    size_t offset;
    size_t size;
};
constexpr ConstantRange kTextureMatrixConstants{
    offsetof(FixedFunctionConstants, textureMatrix),
    offsetof(FixedFunctionConstants, materialDiffuse) -
        offsetof(FixedFunctionConstants, textureMatrix)};
constexpr ConstantRange kMaterialConstants{offsetof(FixedFunctionConstants, materialDiffuse),
                                           offsetof(FixedFunctionConstants, globalAmbient) -
                                               offsetof(FixedFunctionConstants, materialDiffuse)};
constexpr ConstantRange kColorConstants{
    offsetof(FixedFunctionConstants, globalAmbient),
    offsetof(FixedFunctionConstants, lights) - offsetof(FixedFunctionConstants, globalAmbient)};
constexpr ConstantRange kLightConstants{offsetof(FixedFunctionConstants, lights),
                                        sizeof(LightConstants) * kActiveLights};

constexpr GLuint kConstantsBinding = 0;

// Whether a running stage samples its texture: it has one, and an argument or
// operation of its colour or alpha operation reads it.
bool stageSamplesTexture(const StageKey& stage);

// GLSL 3.30 sources of the program for a key.
std::string vertexShaderSource(const ShaderKey& key);
std::string fragmentShaderSource(const ShaderKey& key);

// Programs by key, built on first use.
class ProgramCache {
public:
    ProgramCache() = default;
    ProgramCache(const ProgramCache&) = delete;
    ProgramCache& operator=(const ProgramCache&) = delete;

    // The program for `key`, or 0 when it cannot be built (the reason is written
    // to stderr once). Building one uses glUseProgram; `boundProgram` is bound
    // again afterwards.
    GLuint get(const ShaderKey& key, GLuint boundProgram);
    size_t size() const { return programs_.size(); }
    // Deletes every program; the context must be current.
    void destroy();

private:
    std::unordered_map<ShaderKey, GLuint, ShaderKeyHash> programs_;
};

}  // namespace d3d8::gl
