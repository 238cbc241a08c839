#include "gl_ffp.h"

#include <cstdio>
#include <cstring>

#include "gl_common.h"

namespace d3d8::gl {

// The GLSL block below must match FixedFunctionConstants byte for byte (std140).
static_assert(offsetof(FixedFunctionConstants, textureMatrix) == 0, "std140 layout");
static_assert(offsetof(FixedFunctionConstants, materialDiffuse) == 512, "std140 layout");
static_assert(offsetof(FixedFunctionConstants, globalAmbient) == 592, "std140 layout");
static_assert(offsetof(FixedFunctionConstants, lights) == 608, "std140 layout");
static_assert(sizeof(LightConstants) == 112, "std140 layout");
static_assert(sizeof(FixedFunctionConstants) == 1504, "std140 layout");
static_assert(sizeof(ShaderKey) == 13 + kActiveLights + kStages * sizeof(StageKey),
              "ShaderKey must have no padding");

bool ShaderKey::operator==(const ShaderKey& other) const {
    return std::memcmp(this, &other, sizeof(ShaderKey)) == 0;
}

size_t ShaderKeyHash::operator()(const ShaderKey& key) const {
    // FNV-1a over the key's bytes.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&key);
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof(ShaderKey); ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

namespace {

const char kConstantBlock[] = R"(struct Light {
    vec4 diffuse;
    vec4 specular;
    vec4 ambient;
    vec4 position;
    vec4 direction;
    vec4 attenuation;
    vec4 spot;
};
uniform mat4 worldViewProj;
uniform mat4 worldView;
uniform mat4 normalMatrix;
uniform vec4 pixelOffset;
uniform vec4 screenToClip;
layout(std140) uniform FixedFunction {
    mat4 textureMatrix[8];
    vec4 materialDiffuse;
    vec4 materialAmbient;
    vec4 materialSpecular;
    vec4 materialEmissive;
    vec4 materialPower;
    vec4 globalAmbient;
    Light lights[8];
};
)";

// The fragment programs' constants are plain uniforms too (TransformConstants).
const char kFragmentConstants[] = "uniform vec4 textureFactor;\nuniform vec4 alphaReference;\n";

std::string num(int value) { return std::to_string(value); }

// Whether a texture stage argument (without modifiers) names the stage's texture.
bool readsTexture(uint8_t arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; }

bool usesArg1(uint8_t op) { return op != D3DTOP_SELECTARG2; }
bool usesArg2(uint8_t op) { return op != D3DTOP_SELECTARG1; }

}  // namespace

bool stageSamplesTexture(const StageKey& s) {
    if (!s.hasTexture) return false;
    auto opReads = [](uint8_t op, uint8_t a1, uint8_t a2) {
        return (usesArg1(op) && readsTexture(a1)) || (usesArg2(op) && readsTexture(a2)) ||
               op == kOpBlendTextureAlpha || op == kOpBlendTextureAlphaPm;
    };
    return opReads(s.colorOp, s.colorArg1, s.colorArg2) ||
           (s.alphaOp != D3DTOP_DISABLE && opReads(s.alphaOp, s.alphaArg1, s.alphaArg2));
}

namespace {

std::string interpolation(const ShaderKey& key) { return key.flatShading ? "flat " : ""; }

// ---------------------------------------------------------------------------
// Vertex program

const char* materialColor(uint8_t source, const char* member) {
    switch (static_cast<ColorSource>(source)) {
        case ColorSource::VertexDiffuse: return "inDiffuse";
        case ColorSource::VertexSpecular: return "inSpecular";
        default: return member;
    }
}

void emitLight(std::string& s, const ShaderKey& key, int i) {
    const std::string light = "lights[" + num(i) + "]";
    s += "    {\n        vec3 L;\n        float attenuation = 1.0;\n";
    if (key.lightTypes[i] == D3DLIGHT_DIRECTIONAL) {
        s += "        L = -" + light + ".direction.xyz;\n";
    } else {
        s += "        vec3 toLight = " + light + ".position.xyz - eyePosition;\n"
             "        float dist = length(toLight);\n"
             "        L = dist > 0.0 ? toLight / dist : vec3(0.0);\n"
             "        float falloff = dot(" + light +
             ".attenuation.yzw, vec3(1.0, dist, dist * dist));\n"
             "        attenuation = falloff > 0.0 ? 1.0 / falloff : 1.0;\n"
             "        if (dist > " + light + ".attenuation.x) attenuation = 0.0;\n";
        if (key.lightTypes[i] == D3DLIGHT_SPOT) {
            // Full inside the inner cone (theta), nothing outside the outer one
            // (phi), and a power curve between them.
            s += "        float rho = dot(-L, " + light + ".direction.xyz);\n"
                 "        vec4 spot = " + light + ".spot;\n"
                 "        float edge = clamp((rho - spot.y) / max(spot.x - spot.y, 1e-6),"
                 " 0.0, 1.0);\n"
                 "        attenuation *= rho > spot.x ? 1.0"
                 " : (rho <= spot.y ? 0.0 : pow(edge, spot.z));\n";
        }
    }
    s += "        ambientSum += " + light + ".ambient.rgb * attenuation;\n"
         "        float NdotL = dot(eyeNormal, L);\n"
         "        if (NdotL > 0.0) {\n"
         "            diffuseSum += " + light + ".diffuse.rgb * (NdotL * attenuation);\n";
    if (key.specularEnable) {
        s += "            vec3 H = normalize(L + toViewer);\n"
             "            float NdotH = dot(eyeNormal, H);\n"
             "            if (NdotH > 0.0)\n"
             "                specularSum += " + light +
             ".specular.rgb * (pow(NdotH, materialPower.x) * attenuation);\n";
    }
    s += "        }\n    }\n";
}

void emitLighting(std::string& s, const ShaderKey& key) {
    s += std::string("    vec4 matDiffuse = ") +
         materialColor(key.diffuseSource, "materialDiffuse") + ";\n" +
         "    vec4 matAmbient = " + materialColor(key.ambientSource, "materialAmbient") + ";\n" +
         "    vec4 matSpecular = " + materialColor(key.specularSource, "materialSpecular") + ";\n" +
         "    vec4 matEmissive = " + materialColor(key.emissiveSource, "materialEmissive") + ";\n" +
         "    vec3 ambientSum = vec3(0.0);\n"
         "    vec3 diffuseSum = vec3(0.0);\n"
         "    vec3 specularSum = vec3(0.0);\n";
    if (key.specularEnable) {
        // LOCALVIEWER: the halfway vector uses the direction to the camera;
        // otherwise the camera is taken as infinitely far along +z.
        if (key.localViewer) {
            s += "    float eyeDistance = length(eyePosition);\n"
                 "    vec3 toViewer = eyeDistance > 0.0 ? -eyePosition / eyeDistance"
                 " : vec3(0.0, 0.0, -1.0);\n";
        } else {
            s += "    vec3 toViewer = vec3(0.0, 0.0, -1.0);\n";
        }
    }
    for (int i = 0; i < key.lightCount; ++i) emitLight(s, key, i);
    s += "    vDiffuse = vec4(clamp(matEmissive.rgb"
         " + matAmbient.rgb * (globalAmbient.rgb + ambientSum)"
         " + matDiffuse.rgb * diffuseSum, 0.0, 1.0), clamp(matDiffuse.a, 0.0, 1.0));\n"
         "    vSpecular = vec4(clamp(matSpecular.rgb * specularSum, 0.0, 1.0), 0.0);\n";
}

// The 4-vector a texture matrix multiplies. Direct3D pads a set with fewer than
// four floats by a 1 right after its last float: (u, v) becomes (u, v, 1, 0).
std::string texCoordInput(const StageKey& stage) {
    const int src = stage.texCoordSource;
    if (src == kTexGenCameraNormal) return "vec4(eyeNormal, 1.0)";
    if (src == kTexGenCameraPosition) return "vec4(eyePosition, 1.0)";
    if (src == kTexGenReflection) return "vec4(reflect(eyeDirection, eyeNormal), 1.0)";
    if (src >= kTexCoordMissing) return "vec4(0.0, 0.0, 0.0, 1.0)";
    const std::string set = "inTexCoord" + num(src);
    if (stage.transformCount == 0) return set;
    switch (stage.texCoordFloats) {
        case 1: return "vec4(" + set + ".x, 1.0, 0.0, 0.0)";
        case 2: return "vec4(" + set + ".xy, 1.0, 0.0)";
        case 3: return "vec4(" + set + ".xyz, 1.0)";
        default: return set;
    }
}

void emitTexCoords(std::string& s, const ShaderKey& key) {
    for (int i = 0; i < key.stageCount; ++i) {
        const StageKey& stage = key.stages[i];
        if (!stageSamplesTexture(stage)) continue;
        const std::string out = "vTexCoord" + num(i);
        s += "    " + out + " = " + texCoordInput(stage) + ";\n";
        if (stage.transformCount != 0) {
            s += "    " + out + " = textureMatrix[" + num(i) + "] * " + out + ";\n";
            // Components past the count are not produced.
            static const char* const kZeroed[] = {"", ".yzw = vec3(0.0)", ".zw = vec2(0.0)",
                                                  ".w = 0.0"};
            if (stage.transformCount < 4) s += "    " + out + kZeroed[stage.transformCount] + ";\n";
        }
    }
}

// ---------------------------------------------------------------------------
// Fragment program

std::string argument(uint8_t arg, int stage) {
    std::string value;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: value = "diffuse"; break;
        case D3DTA_CURRENT: value = "previous"; break;
        case D3DTA_TEXTURE: value = "tex" + num(stage); break;
        case D3DTA_TFACTOR: value = "textureFactor"; break;
        case D3DTA_SPECULAR: value = "specular"; break;
        default:
            warnOnce("temp-arg", "texture stage argument D3DTA_TEMP (or unknown) reads as 0");
            value = "vec4(0.0)";
            break;
    }
    if (arg & D3DTA_COMPLEMENT) value = "(vec4(1.0) - " + value + ")";
    if (arg & D3DTA_ALPHAREPLICATE) value = value + ".aaaa";
    return value;
}

// The operation `op` on arguments a and b (expressions of the same GLSL type),
// or an empty string when it is not supported.
std::string operation(uint8_t op, const std::string& a, const std::string& b, int stage) {
    const std::string tex = "tex" + num(stage);
    switch (op) {
        case D3DTOP_SELECTARG1: return a;
        case D3DTOP_SELECTARG2: return b;
        case D3DTOP_MODULATE: return a + " * " + b;
        case D3DTOP_MODULATE2X: return "clamp(" + a + " * " + b + " * 2.0, 0.0, 1.0)";
        case D3DTOP_MODULATE4X: return "clamp(" + a + " * " + b + " * 4.0, 0.0, 1.0)";
        case D3DTOP_ADD: return "clamp(" + a + " + " + b + ", 0.0, 1.0)";
        case D3DTOP_ADDSIGNED: return "clamp(" + a + " + " + b + " - 0.5, 0.0, 1.0)";
        case kOpAddSigned2x: return "clamp((" + a + " + " + b + " - 0.5) * 2.0, 0.0, 1.0)";
        case kOpSubtract: return "clamp(" + a + " - " + b + ", 0.0, 1.0)";
        case kOpAddSmooth: return "clamp(" + a + " + " + b + " - " + a + " * " + b + ", 0.0, 1.0)";
        case kOpBlendDiffuseAlpha: return "mix(" + b + ", " + a + ", diffuse.a)";
        case kOpBlendTextureAlpha: return "mix(" + b + ", " + a + ", " + tex + ".a)";
        case kOpBlendFactorAlpha: return "mix(" + b + ", " + a + ", textureFactor.a)";
        case kOpBlendTextureAlphaPm:
            return "clamp(" + a + " + " + b + " * (1.0 - " + tex + ".a), 0.0, 1.0)";
        case kOpBlendCurrentAlpha: return "mix(" + b + ", " + a + ", previous.a)";
        default: return std::string();
    }
}

void emitStage(std::string& s, const StageKey& stage, int i) {
    s += "    {\n        vec4 previous = current;\n";
    const std::string color = operation(stage.colorOp, argument(stage.colorArg1, i) + ".rgb",
                                        argument(stage.colorArg2, i) + ".rgb", i);
    if (color.empty()) {
        warnOnce("color-op",
                 "unsupported texture colour operation: the stage passes colour through");
    } else {
        s += "        current.rgb = " + color + ";\n";
    }
    // ALPHAOP DISABLE while the colour operation runs: alpha passes through from
    // the previous stage (the diffuse alpha at stage 0).
    if (stage.alphaOp != D3DTOP_DISABLE) {
        const std::string alpha = operation(stage.alphaOp, argument(stage.alphaArg1, i) + ".a",
                                            argument(stage.alphaArg2, i) + ".a", i);
        if (alpha.empty()) {
            warnOnce("alpha-op",
                     "unsupported texture alpha operation: the stage passes alpha through");
        } else {
            s += "        current.a = " + alpha + ";\n";
        }
    }
    s += "    }\n";
}

std::string texCoordLookup(const StageKey& stage, int i) {
    const std::string tc = "vTexCoord" + num(i);
    if (!stage.projected) return tc + ".xy";
    // PROJECTED divides by the last component the count produces (w without a matrix).
    static const char* const kLast[] = {".w", ".x", ".y", ".z", ".w"};
    return tc + ".xy / " + tc + kLast[stage.transformCount <= 4 ? stage.transformCount : 0];
}

const char* comparison(uint8_t func) {
    switch (func) {
        case D3DCMP_LESS: return "<";
        case D3DCMP_EQUAL: return "==";
        case D3DCMP_LESSEQUAL: return "<=";
        case D3DCMP_GREATER: return ">";
        case D3DCMP_NOTEQUAL: return "!=";
        case D3DCMP_GREATEREQUAL: return ">=";
        default: return nullptr;
    }
}

void emitAlphaTest(std::string& s, const ShaderKey& key) {
    if (key.alphaFunc == 0) return;
    if (key.alphaFunc == D3DCMP_NEVER) {
        s += "    discard;\n";
        return;
    }
    const char* op = comparison(key.alphaFunc);
    if (!op) return;
    // Direct3D compares the 8-bit alpha with ALPHAREF (0..255).
    s += "    if (!(int(current.a * 255.0 + 0.5) " + std::string(op) +
         " int(alphaReference.x))) discard;\n";
}

// ---------------------------------------------------------------------------
// Building programs

GLuint compileShader(GLenum type, const std::string& source) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "d3d8/gl: %s shader failed to compile:\n%s\n--- source ---\n%s\n",
                     type == GL_VERTEX_SHADER ? "vertex" : "fragment", log, source.c_str());
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint linkProgram(GLuint vs, GLuint fs) {
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDetachShader(program, vs);
    glDetachShader(program, fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(program, sizeof log, nullptr, log);
        std::fprintf(stderr, "d3d8/gl: fixed-function program failed to link:\n%s\n", log);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

GLuint buildProgram(const ShaderKey& key) {
    GLuint vs = compileShader(GL_VERTEX_SHADER, vertexShaderSource(key));
    GLuint fs = compileShader(GL_FRAGMENT_SHADER, fragmentShaderSource(key));
    GLuint program = (vs && fs) ? linkProgram(vs, fs) : 0;
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (!program) return 0;

    const GLuint block = glGetUniformBlockIndex(program, "FixedFunction");
    if (block != GL_INVALID_INDEX) glUniformBlockBinding(program, block, kConstantsBinding);
    // GLSL 3.30 cannot give samplers a unit in the source: stage i samples unit i.
    glUseProgram(program);
    for (int i = 0; i < kStages; ++i) {
        const std::string name = "texture" + num(i);
        const GLint location = glGetUniformLocation(program, name.c_str());
        if (location >= 0) glUniform1i(location, i);
    }
    return program;
}

}  // namespace

std::string vertexShaderSource(const ShaderKey& key) {
    std::string s = kShaderPreamble;
    s += kConstantBlock;
    s += "layout(location = 0) in vec4 inPosition;\n"
         "layout(location = 1) in vec3 inNormal;\n"
         "layout(location = 2) in vec4 inDiffuseColor;\n"
         "layout(location = 3) in vec4 inSpecularColor;\n";
    for (int set = 0; set < 8; ++set) {
        s += "layout(location = " + num(kAttribTexCoord0 + set) + ") in vec4 inTexCoord" +
             num(set) + ";\n";
    }
    s += interpolation(key) + "out vec4 vDiffuse;\n" + interpolation(key) + "out vec4 vSpecular;\n";
    for (int i = 0; i < key.stageCount; ++i) {
        if (stageSamplesTexture(key.stages[i])) s += "out vec4 vTexCoord" + num(i) + ";\n";
    }
    // D3DCOLOR's bytes are B, G, R, A; VERTEX_COLOR (from the port's preamble)
    // puts them in RGBA order where the attribute itself could not.
    s += "void main() {\n"
         "    vec4 inDiffuse = VERTEX_COLOR(inDiffuseColor);\n"
         "    vec4 inSpecular = VERTEX_COLOR(inSpecularColor);\n";
    if (key.pretransformed) {
        // Screen-space x, y (pixels), z (0..1) and 1/w: back to clip space, keeping
        // w so that colours and coordinates are interpolated with perspective.
        s += "    float w = inPosition.w != 0.0 ? 1.0 / inPosition.w : 1.0;\n"
             "    vec2 ndc = (inPosition.xy + screenToClip.zw) * screenToClip.xy"
             " + vec2(-1.0, 1.0);\n"
             "    gl_Position = vec4(ndc, 2.0 * inPosition.z - 1.0, 1.0) * w;\n"
             "    vec3 eyePosition = vec3(0.0);\n"
             "    vec3 eyeNormal = vec3(0.0);\n";
    } else {
        // Direct3D clips z to 0..w where GL clips to -w..w; the pixel offset moves
        // pixel centres to where Direct3D puts them.
        s += "    vec4 position = vec4(inPosition.xyz, 1.0);\n"
             "    gl_Position = worldViewProj * position;\n"
             "    gl_Position.xy += pixelOffset.xy * gl_Position.w;\n"
             "    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;\n"
             "    vec3 eyePosition = (worldView * position).xyz;\n"
             "    vec3 eyeNormal = mat3(normalMatrix) * inNormal;\n";
        if (key.normalizeNormals) {
            s += "    float normalLength = length(eyeNormal);\n"
                 "    if (normalLength > 0.0) eyeNormal /= normalLength;\n";
        }
    }
    // The back buffer holds Direct3D's top row first (see gl_device.h).
    s += "    gl_Position.y = -gl_Position.y;\n";
    s += "    float eyeLength = length(eyePosition);\n"
         "    vec3 eyeDirection = eyeLength > 0.0 ? eyePosition / eyeLength"
         " : vec3(0.0, 0.0, 1.0);\n";
    if (key.lighting) {
        emitLighting(s, key);
    } else {
        s += "    vDiffuse = inDiffuse;\n    vSpecular = inSpecular;\n";
    }
    emitTexCoords(s, key);
    s += "}\n";
    return s;
}

std::string fragmentShaderSource(const ShaderKey& key) {
    std::string s = kShaderPreamble;
    s += kFragmentConstants;
    s += interpolation(key) + "in vec4 vDiffuse;\n" + interpolation(key) + "in vec4 vSpecular;\n";
    for (int i = 0; i < key.stageCount; ++i) {
        if (!stageSamplesTexture(key.stages[i])) continue;
        s += "uniform sampler2D texture" + num(i) + ";\nin vec4 vTexCoord" + num(i) + ";\n";
    }
    s += "out vec4 fragColor;\n"
         "void main() {\n"
         "    vec4 diffuse = vDiffuse;\n"
         "    vec4 specular = vSpecular;\n"
         "    vec4 current = diffuse;\n";
    for (int i = 0; i < key.stageCount; ++i) {
        const StageKey& stage = key.stages[i];
        // A stage with no texture that still reads one (only possible through its
        // alpha operation) reads transparent black.
        if (stageSamplesTexture(stage)) {
            s += "    vec4 tex" + num(i) + " = texture(texture" + num(i) + ", " +
                 texCoordLookup(stage, i) + ");\n";
        } else {
            s += "    vec4 tex" + num(i) + " = vec4(0.0);\n";
        }
        emitStage(s, stage, i);
    }
    // Specular is added after texturing, alpha untouched.
    if (key.specularEnable) s += "    current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    emitAlphaTest(s, key);
    s += "    fragColor = current;\n}\n";
    return s;
}

GLuint ProgramCache::get(const ShaderKey& key, GLuint boundProgram) {
    auto found = programs_.find(key);
    if (found != programs_.end()) return found->second;
    GLuint program = buildProgram(key);
    glUseProgram(boundProgram);
    // A key that failed is remembered as 0 so it is not compiled again every draw.
    programs_.emplace(key, program);
    return program;
}

void ProgramCache::destroy() {
    for (auto& entry : programs_) {
        if (entry.second) glDeleteProgram(entry.second);
    }
    programs_.clear();
}

}  // namespace d3d8::gl
