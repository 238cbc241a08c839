#include "gl_cache.h"

namespace d3d8::gl {

namespace {
void setCapability(GLenum capability, bool on) {
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}
}  // namespace

void GlCache::reset() {
    setCapability(GL_DEPTH_TEST, depthTest_);
    setCapability(GL_BLEND, blend_);
    setCapability(GL_CULL_FACE, cull_);
    setCapability(GL_SCISSOR_TEST, scissorTest_);
    glDepthMask(depthMask_ ? GL_TRUE : GL_FALSE);
    glDepthFunc(depthFunc_);
    glBlendFunc(blendSrc_, blendDst_);
    glBlendEquation(blendEquation_);
    glCullFace(cullFace_);
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode_);
    glColorMask(colorMask_[0], colorMask_[1], colorMask_[2], colorMask_[3]);
    glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
    glScissor(scissor_[0], scissor_[1], scissor_[2], scissor_[3]);
    glDepthRange(depthNear_, depthFar_);
    glUseProgram(program_);
    glBindBuffer(GL_ARRAY_BUFFER, arrayBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elementBuffer_);
    for (GLuint unit = 0; unit < kUnits; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, textures_[unit]);
        glBindSampler(unit, samplers_[unit]);
    }
    glActiveTexture(GL_TEXTURE0 + activeUnit_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
    for (GLuint index = 0; index < kAttributes; ++index) {
        if (enabledAttributes_ & (1u << index)) {
            glEnableVertexAttribArray(index);
        } else {
            glDisableVertexAttribArray(index);
        }
    }
}

void GlCache::enable(GLenum capability, bool on) {
    bool* current = nullptr;
    switch (capability) {
        case GL_DEPTH_TEST: current = &depthTest_; break;
        case GL_BLEND: current = &blend_; break;
        case GL_CULL_FACE: current = &cull_; break;
        case GL_SCISSOR_TEST: current = &scissorTest_; break;
        default:
            setCapability(capability, on);
            ++calls_;
            return;
    }
    if (*current == on) return;
    *current = on;
    setCapability(capability, on);
    ++calls_;
}

void GlCache::depthMask(bool on) {
    if (depthMask_ == on) return;
    depthMask_ = on;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
    ++calls_;
}

void GlCache::depthFunc(GLenum func) {
    if (depthFunc_ == func) return;
    depthFunc_ = func;
    glDepthFunc(func);
    ++calls_;
}

void GlCache::blendFunc(GLenum src, GLenum dst) {
    if (blendSrc_ == src && blendDst_ == dst) return;
    blendSrc_ = src;
    blendDst_ = dst;
    glBlendFunc(src, dst);
    ++calls_;
}

void GlCache::blendEquation(GLenum equation) {
    if (blendEquation_ == equation) return;
    blendEquation_ = equation;
    glBlendEquation(equation);
    ++calls_;
}

void GlCache::cullFace(GLenum face) {
    if (cullFace_ == face) return;
    cullFace_ = face;
    glCullFace(face);
    ++calls_;
}

void GlCache::polygonMode(GLenum mode) {
    if (polygonMode_ == mode) return;
    polygonMode_ = mode;
    glPolygonMode(GL_FRONT_AND_BACK, mode);
    ++calls_;
}

void GlCache::colorMask(bool r, bool g, bool b, bool a) {
    const std::array<bool, 4> mask{r, g, b, a};
    if (colorMask_ == mask) return;
    colorMask_ = mask;
    glColorMask(r, g, b, a);
    ++calls_;
}

void GlCache::viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    const std::array<GLint, 4> value{x, y, width, height};
    if (viewport_ == value) return;
    viewport_ = value;
    glViewport(x, y, width, height);
    ++calls_;
}

void GlCache::scissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    const std::array<GLint, 4> value{x, y, width, height};
    if (scissor_ == value) return;
    scissor_ = value;
    glScissor(x, y, width, height);
    ++calls_;
}

void GlCache::depthRange(float nearZ, float farZ) {
    if (depthNear_ == nearZ && depthFar_ == farZ) return;
    depthNear_ = nearZ;
    depthFar_ = farZ;
    glDepthRange(nearZ, farZ);
    ++calls_;
}

void GlCache::useProgram(GLuint program) {
    if (program_ == program) return;
    program_ = program;
    glUseProgram(program);
    ++calls_;
}

void GlCache::bindArrayBuffer(GLuint buffer) {
    if (arrayBuffer_ == buffer) return;
    arrayBuffer_ = buffer;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    ++calls_;
}

void GlCache::bindElementBuffer(GLuint buffer) {
    if (elementBuffer_ == buffer) return;
    elementBuffer_ = buffer;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    ++calls_;
}

void GlCache::activeUnit(GLuint unit) {
    if (activeUnit_ == unit) return;
    activeUnit_ = unit;
    glActiveTexture(GL_TEXTURE0 + unit);
    ++calls_;
}

void GlCache::bindTexture(GLuint unit, GLuint texture) {
    if (unit >= kUnits || textures_[unit] == texture) return;
    activeUnit(unit);
    textures_[unit] = texture;
    glBindTexture(GL_TEXTURE_2D, texture);
    ++calls_;
}

void GlCache::bindTextureForUpload(GLuint texture) {
    // Uploads name no unit: they act on the active one, so it must be ours.
    activeUnit(kUploadUnit);
    bindTexture(kUploadUnit, texture);
}

void GlCache::bindSampler(GLuint unit, GLuint sampler) {
    if (unit >= kUnits || samplers_[unit] == sampler) return;
    samplers_[unit] = sampler;
    glBindSampler(unit, sampler);
    ++calls_;
}

void GlCache::bindDrawFramebuffer(GLuint framebuffer) {
    if (drawFramebuffer_ == framebuffer) return;
    drawFramebuffer_ = framebuffer;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    ++calls_;
}

void GlCache::bindReadFramebuffer(GLuint framebuffer) {
    if (readFramebuffer_ == framebuffer) return;
    readFramebuffer_ = framebuffer;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    ++calls_;
}

void GlCache::enableAttribute(GLuint index, bool on) {
    const uint32_t bit = 1u << index;
    if (((enabledAttributes_ & bit) != 0) == on) return;
    if (on) {
        enabledAttributes_ |= bit;
        glEnableVertexAttribArray(index);
    } else {
        enabledAttributes_ &= ~bit;
        glDisableVertexAttribArray(index);
    }
    ++calls_;
}

void GlCache::forgetTexture(GLuint texture) {
    for (auto& bound : textures_) {
        if (bound == texture) bound = 0;
    }
}

void GlCache::forgetBuffer(GLuint buffer) {
    if (arrayBuffer_ == buffer) arrayBuffer_ = 0;
    if (elementBuffer_ == buffer) elementBuffer_ = 0;
}

}  // namespace d3d8::gl
