// The OpenGL interface the Direct3D 8 back end draws with, on the web: OpenGL ES
// 3.0 as WebGL2 gives it, and the shaders' GLSL ES 3.00.
//
// The back end is written for OpenGL 3.3 core. What WebGL2 lacks is supplied
// here under the desktop names, so the back end's code is the same on both
// ports; gl_api_webgl.cpp says how each one differs.
#pragma once

#include <GLES3/gl3.h>

namespace d3d8::gl {

// Opens every shader the back end builds. WebGL2 cannot read vertex colours as
// GL_BGRA: they arrive in their bytes' order, B, G, R, A, and are reordered in
// the shader.
constexpr const char kShaderPreamble[] =
    "#version 300 es\n"
    "precision highp float;\n"
    "precision highp int;\n"
    "#define VERTEX_COLOR(c) ((c).bgra)\n";

}  // namespace d3d8::gl

// Desktop OpenGL's values for what OpenGL ES 3.0 does not name.
#define GL_BGRA 0x80E1
#define GL_UNSIGNED_INT_8_8_8_8_REV 0x8367
#define GL_UNSIGNED_SHORT_1_5_5_5_REV 0x8366
#define GL_UNSIGNED_SHORT_4_4_4_4_REV 0x8365
#define GL_CLAMP_TO_BORDER 0x812D
#define GL_TEXTURE_BORDER_COLOR 0x1004
#define GL_TEXTURE_LOD_BIAS 0x8501
#define GL_TEXTURE_SWIZZLE_RGBA 0x8E46
#define GL_FIRST_VERTEX_CONVENTION 0x8E4D
#define GL_POINT 0x1B00
#define GL_LINE 0x1B01
#define GL_FILL 0x1B02

namespace webgl {

// Functions OpenGL ES 3.0 does not have.
void clearDepth(double depth);
void depthRange(double nearZ, double farZ);
void provokingVertex(GLenum mode);
void polygonMode(GLenum face, GLenum mode);
void drawElementsBaseVertex(GLenum mode, GLsizei count, GLenum type, const void* indices,
                            GLint baseVertex);
// Functions OpenGL ES 3.0 has for fewer formats or parameters than the back end uses.
void texParameteriv(GLenum target, GLenum name, const GLint* values);
void texImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                GLint border, GLenum format, GLenum type, const void* pixels);
void texSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                   GLenum format, GLenum type, const void* pixels);
void readPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                void* pixels);
void samplerParameteri(GLuint sampler, GLenum name, GLint value);
void samplerParameterf(GLuint sampler, GLenum name, GLfloat value);
void samplerParameterfv(GLuint sampler, GLenum name, const GLfloat* values);
void vertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized,
                         GLsizei stride, const void* pointer);
void deleteTextures(GLsizei count, const GLuint* textures);

}  // namespace webgl

#define glClearDepth webgl::clearDepth
#define glDepthRange webgl::depthRange
#define glProvokingVertex webgl::provokingVertex
#define glPolygonMode webgl::polygonMode
#define glDrawElementsBaseVertex webgl::drawElementsBaseVertex
#define glTexParameteriv webgl::texParameteriv
#define glTexImage2D webgl::texImage2D
#define glTexSubImage2D webgl::texSubImage2D
#define glReadPixels webgl::readPixels
#define glSamplerParameteri webgl::samplerParameteri
#define glSamplerParameterf webgl::samplerParameterf
#define glSamplerParameterfv webgl::samplerParameterfv
#define glVertexAttribPointer webgl::vertexAttribPointer
#define glDeleteTextures webgl::deleteTextures
