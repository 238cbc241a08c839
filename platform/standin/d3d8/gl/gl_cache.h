// A cache of the OpenGL state the back end sets, so that a value equal to the
// one already in the context costs no GL call. Everything the back end binds or
// enables goes through here; objects that are deleted are forgotten so that a
// recycled name is never mistaken for a live binding.
#pragma once

#include "gl_api.h"

#include <array>
#include <cstdint>

namespace d3d8::gl {

class GlCache {
public:
    static constexpr int kUnits = 9;  // texture units 0..7 for the stages, 8 for uploads
    static constexpr GLuint kUploadUnit = 8;
    static constexpr GLuint kAttributes = 16;  // GL 3.3 guarantees at least 16

    // Writes every cached value to the context, bringing GL and the cache in step
    // (after creation, or after code outside the cache touched GL).
    void reset();

    void enable(GLenum capability, bool on);
    void depthMask(bool on);
    void depthFunc(GLenum func);
    void blendFunc(GLenum src, GLenum dst);
    void blendEquation(GLenum equation);
    void cullFace(GLenum face);
    void polygonMode(GLenum mode);
    void colorMask(bool r, bool g, bool b, bool a);
    void viewport(GLint x, GLint y, GLsizei width, GLsizei height);
    void depthRange(float nearZ, float farZ);
    void scissor(GLint x, GLint y, GLsizei width, GLsizei height);

    void useProgram(GLuint program);
    GLuint program() const { return program_; }
    void bindArrayBuffer(GLuint buffer);
    void bindElementBuffer(GLuint buffer);  // of the one vertex array
    void bindTexture(GLuint unit, GLuint texture);
    // Binds on the upload unit and makes it active, for glTexImage/glTexSubImage.
    void bindTextureForUpload(GLuint texture);
    void bindSampler(GLuint unit, GLuint sampler);
    void bindDrawFramebuffer(GLuint framebuffer);
    void bindReadFramebuffer(GLuint framebuffer);
    void enableAttribute(GLuint index, bool on);  // of the one vertex array; index < kAttributes

    // The object was deleted: GL dropped its bindings, so must the cache.
    void forgetTexture(GLuint texture);
    void forgetBuffer(GLuint buffer);

    // GL calls made since creation; the bench tool reports them.
    uint64_t calls() const { return calls_; }

private:
    void activeUnit(GLuint unit);

    bool depthTest_ = false;
    bool blend_ = false;
    bool cull_ = false;
    bool scissorTest_ = false;
    bool depthMask_ = true;
    GLenum depthFunc_ = GL_LEQUAL;
    GLenum blendSrc_ = GL_ONE;
    GLenum blendDst_ = GL_ZERO;
    GLenum blendEquation_ = GL_FUNC_ADD;
    GLenum cullFace_ = GL_BACK;
    GLenum polygonMode_ = GL_FILL;
    std::array<bool, 4> colorMask_{true, true, true, true};
    std::array<GLint, 4> viewport_{0, 0, 1, 1};
    std::array<GLint, 4> scissor_{0, 0, 1, 1};
    float depthNear_ = 0.0f;
    float depthFar_ = 1.0f;

    GLuint program_ = 0;
    GLuint arrayBuffer_ = 0;
    GLuint elementBuffer_ = 0;
    GLuint activeUnit_ = 0;
    std::array<GLuint, kUnits> textures_{};
    std::array<GLuint, kUnits> samplers_{};
    GLuint drawFramebuffer_ = 0;
    GLuint readFramebuffer_ = 0;
    uint32_t enabledAttributes_ = 0;
    uint64_t calls_ = 0;
};

}  // namespace d3d8::gl
