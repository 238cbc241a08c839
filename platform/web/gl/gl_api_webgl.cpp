// What WebGL2 lacks of the OpenGL 3.3 core that the Direct3D 8 back end uses,
// made of what it has:
// - texture formats in Direct3D's byte orders (BGRA words, 16-bit 1555 and 4444,
//   565) and swizzles (L8 as RRR1, X8R8G8B8 as RGB1) are expanded to RGBA8 on the
//   CPU when uploaded, with the texture's swizzle applied;
// - read-backs in BGRA words are read as RGBA bytes and reordered;
// - vertex colours given as GL_BGRA are read as RGBA; the shader reorders them;
// - a base vertex for indexed draws moves the attribute pointers instead;
// - border addressing clamps to the edge, and the level-of-detail bias is
//   ignored (WebGL2 has neither);
// - polygon modes other than fill and the first-vertex convention for flat
//   shading do not exist: triangles are filled and flat shading takes the last
//   vertex's colour.
#include "gl_api.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#undef glClearDepth
#undef glDepthRange
#undef glProvokingVertex
#undef glPolygonMode
#undef glDrawElementsBaseVertex
#undef glTexParameteriv
#undef glTexImage2D
#undef glTexSubImage2D
#undef glReadPixels
#undef glSamplerParameteri
#undef glSamplerParameterf
#undef glSamplerParameterfv
#undef glVertexAttribPointer
#undef glDeleteTextures

namespace webgl {
namespace {

using Swizzle = std::array<GLint, 4>;
constexpr Swizzle kIdentity{GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};

// The swizzle each texture was given, by texture name.
std::unordered_map<GLuint, Swizzle>& swizzles() {
    static std::unordered_map<GLuint, Swizzle> map;
    return map;
}

GLuint boundTexture() {
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return static_cast<GLuint>(name);
}

Swizzle swizzleOfBound() {
    const auto found = swizzles().find(boundTexture());
    return found == swizzles().end() ? kIdentity : found->second;
}

// A channel of n bits widened to 8, as GL widens normalised values.
uint8_t widen(unsigned value, unsigned bits) {
    const unsigned max = (1u << bits) - 1u;
    return static_cast<uint8_t>((value * 255u + max / 2u) / max);
}

// One texel of an upload format as R, G, B, A bytes.
std::array<uint8_t, 4> decodeTexel(GLenum format, GLenum type, const uint8_t* p) {
    if (format == GL_BGRA && type == GL_UNSIGNED_INT_8_8_8_8_REV) return {p[2], p[1], p[0], p[3]};
    if (format == GL_RED) return {p[0], 0, 0, 255};
    uint16_t v = 0;
    std::memcpy(&v, p, sizeof v);
    if (type == GL_UNSIGNED_SHORT_5_6_5)
        return {widen(v >> 11, 5), widen((v >> 5) & 63u, 6), widen(v & 31u, 5), 255};
    if (type == GL_UNSIGNED_SHORT_1_5_5_5_REV)
        return {widen((v >> 10) & 31u, 5), widen((v >> 5) & 31u, 5), widen(v & 31u, 5),
                static_cast<uint8_t>(v & 0x8000u ? 255 : 0)};
    // GL_UNSIGNED_SHORT_4_4_4_4_REV
    return {widen((v >> 8) & 15u, 4), widen((v >> 4) & 15u, 4), widen(v & 15u, 4),
            widen(v >> 12, 4)};
}

size_t texelBytes(GLenum format, GLenum type) {
    if (format == GL_RED) return 1;
    return type == GL_UNSIGNED_INT_8_8_8_8_REV ? 4 : 2;
}

uint8_t pick(const std::array<uint8_t, 4>& rgba, GLint source) {
    switch (source) {
        case GL_RED: return rgba[0];
        case GL_GREEN: return rgba[1];
        case GL_BLUE: return rgba[2];
        case GL_ALPHA: return rgba[3];
        case GL_ONE: return 255;
        default: return 0;
    }
}

// The pixels of an upload as tightly packed RGBA8, swizzled. Rows of the source
// are `rowLength` texels apart (the unpack row length, or the width).
std::vector<uint8_t> expand(GLsizei width, GLsizei height, GLenum format, GLenum type,
                            const void* pixels, const Swizzle& swizzle) {
    GLint rowLength = 0;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    const size_t stride = static_cast<size_t>(rowLength > 0 ? rowLength : width);
    const size_t bytes = texelBytes(format, type);
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    const auto* source = static_cast<const uint8_t*>(pixels);
    uint8_t* target = out.data();
    for (GLsizei y = 0; y < height; ++y) {
        const uint8_t* row = source + y * stride * bytes;
        for (GLsizei x = 0; x < width; ++x, target += 4) {
            const auto rgba = decodeTexel(format, type, row + x * bytes);
            for (int c = 0; c < 4; ++c) target[c] = pick(rgba, swizzle[c]);
        }
    }
    return out;
}

// Uploads expanded pixels: their rows are tightly packed, whatever the back end
// set the unpack row length to.
template <typename Upload>
void uploadExpanded(const std::vector<uint8_t>& pixels, Upload upload) {
    GLint rowLength = 0;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    if (rowLength != 0) glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    upload(pixels.data());
    if (rowLength != 0) glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
}

struct Attribute {
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLboolean normalized = GL_FALSE;
    GLsizei stride = 0;
    uintptr_t offset = 0;
    GLuint buffer = 0;
};
constexpr int kAttributes = 16;
std::array<Attribute, kAttributes> g_attributes;

GLuint arrayBufferBinding() {
    GLint name = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &name);
    return static_cast<GLuint>(name);
}

GLsizei typeSize(GLenum type) {
    switch (type) {
        case GL_UNSIGNED_BYTE:
        case GL_BYTE: return 1;
        case GL_UNSIGNED_SHORT:
        case GL_SHORT: return 2;
        default: return 4;
    }
}

// Points every enabled attribute `vertices` vertices further into its buffer
// (0 puts them back).
void shiftAttributes(GLint vertices) {
    const GLuint bound = arrayBufferBinding();
    for (GLuint i = 0; i < kAttributes; ++i) {
        GLint enabled = 0;
        glGetVertexAttribiv(i, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        if (!enabled) continue;
        const Attribute& a = g_attributes[i];
        const GLsizei stride = a.stride ? a.stride : a.size * typeSize(a.type);
        glBindBuffer(GL_ARRAY_BUFFER, a.buffer);
        glVertexAttribPointer(i, a.size, a.type, a.normalized, a.stride,
                              reinterpret_cast<const void*>(a.offset + static_cast<uintptr_t>(vertices) * stride));
    }
    glBindBuffer(GL_ARRAY_BUFFER, bound);
}

}  // namespace

void clearDepth(double depth) { glClearDepthf(static_cast<GLfloat>(depth)); }

void depthRange(double nearZ, double farZ) {
    glDepthRangef(static_cast<GLfloat>(nearZ), static_cast<GLfloat>(farZ));
}

void provokingVertex(GLenum) {}

void polygonMode(GLenum, GLenum) {}

void drawElementsBaseVertex(GLenum mode, GLsizei count, GLenum type, const void* indices,
                            GLint baseVertex) {
    if (baseVertex == 0) {
        glDrawElements(mode, count, type, indices);
        return;
    }
    shiftAttributes(baseVertex);
    glDrawElements(mode, count, type, indices);
    shiftAttributes(0);
}

void texParameteriv(GLenum target, GLenum name, const GLint* values) {
    if (name != GL_TEXTURE_SWIZZLE_RGBA) {
        glTexParameteriv(target, name, values);
        return;
    }
    swizzles()[boundTexture()] = Swizzle{values[0], values[1], values[2], values[3]};
}

void texImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint border,
                GLenum format, GLenum type, const void* pixels) {
    if (!pixels) {
        glTexImage2D(target, level, GL_RGBA8, width, height, border, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        return;
    }
    uploadExpanded(expand(width, height, format, type, pixels, swizzleOfBound()),
                   [&](const void* rgba) {
                       glTexImage2D(target, level, GL_RGBA8, width, height, border, GL_RGBA,
                                    GL_UNSIGNED_BYTE, rgba);
                   });
}

void texSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                   GLenum format, GLenum type, const void* pixels) {
    uploadExpanded(expand(width, height, format, type, pixels, swizzleOfBound()),
                   [&](const void* rgba) {
                       glTexSubImage2D(target, level, x, y, width, height, GL_RGBA,
                                       GL_UNSIGNED_BYTE, rgba);
                   });
}

void readPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                void* pixels) {
    if (format != GL_BGRA) {
        glReadPixels(x, y, width, height, format, type, pixels);
        return;
    }
    // RGBA bytes, then B and R swapped: the bytes of 0xAARRGGBB words.
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    auto* bytes = static_cast<uint8_t*>(pixels);
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i, bytes += 4) std::swap(bytes[0], bytes[2]);
}

void samplerParameteri(GLuint sampler, GLenum name, GLint value) {
    glSamplerParameteri(sampler, name, value == GL_CLAMP_TO_BORDER ? GL_CLAMP_TO_EDGE : value);
}

void samplerParameterf(GLuint sampler, GLenum name, GLfloat value) {
    if (name == GL_TEXTURE_LOD_BIAS) return;
    glSamplerParameterf(sampler, name, value);
}

void samplerParameterfv(GLuint sampler, GLenum name, const GLfloat* values) {
    if (name == GL_TEXTURE_BORDER_COLOR) return;
    glSamplerParameterfv(sampler, name, values);
}

void vertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized,
                         GLsizei stride, const void* pointer) {
    if (size == GL_BGRA) size = 4;
    if (index < kAttributes) {
        g_attributes[index] = Attribute{size, type, normalized, stride,
                                        reinterpret_cast<uintptr_t>(pointer), arrayBufferBinding()};
    }
    glVertexAttribPointer(index, size, type, normalized, stride, pointer);
}

void deleteTextures(GLsizei count, const GLuint* textures) {
    for (GLsizei i = 0; i < count; ++i) swizzles().erase(textures[i]);
    glDeleteTextures(count, textures);
}

}  // namespace webgl
