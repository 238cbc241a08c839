#include "ceiling.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "effect_bench.h"
#include "gl_translate.h"
#include "recording/recording.h"

namespace bench::ceiling {

// ---------------------------------------------------------------------------
// Recording

namespace {

namespace rec = d3d8::recording;
using d3d8::gl::multiply;

class FrameRecorder {
public:
    explicit FrameRecorder(Recording& out) : out_(out) {}

    void onDraw(IDirect3DDevice8* device, const rec::DrawCall& call) {
        const d3d8::DeviceState& state = *rec::stateOf(device);
        Draw draw;
        draw.indexed = call.indexed;
        draw.type = call.type;
        draw.first = call.first;
        draw.primitiveCount = call.primitiveCount;
        draw.vertices = snapshot(rec::streamSourceOf(device, 0, &draw.stride));
        if (call.indexed) draw.indices = snapshot(rec::indicesOf(device, &draw.baseVertex));
        draw.fvf = state.vertexShader;
        const D3DMATRIX wvp = multiply(multiply(state.world, state.view), state.projection);
        std::memcpy(draw.worldViewProj, &wvp, sizeof wvp);
        // A stage draws its texture while it and every stage before it runs.
        for (DWORD stage = 0; stage < 2; ++stage) {
            const auto& ts = state.stageStates[stage];
            if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
            draw.textures[stage] = texture(rec::textureOf(device, stage));
            if (draw.textures[stage] == kNone) break;
            draw.filters[stage][0] = ts[D3DTSS_MINFILTER];
            draw.filters[stage][1] = ts[D3DTSS_MAGFILTER];
            draw.filters[stage][2] = ts[D3DTSS_MIPFILTER];
        }
        draw.secondTexCoordSet = state.stageStates[1][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
        const auto& rs = state.renderStates;
        draw.blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
        draw.sourceBlend = rs[D3DRS_SRCBLEND];
        draw.destBlend = rs[D3DRS_DESTBLEND];
        draw.blendOp = rs[D3DRS_BLENDOP];
        draw.depthTest = rs[D3DRS_ZENABLE] != D3DZB_FALSE;
        draw.depthWrite = rs[D3DRS_ZWRITEENABLE] != FALSE;
        draw.cull = rs[D3DRS_CULLMODE];
        if (out_.frames.empty()) out_.frames.emplace_back();
        out_.frames.back().draws.push_back(draw);
    }

    void endFrame() { out_.frames.emplace_back(); }

private:
    // The snapshot holding the buffer's bytes now: the last one of its source
    // when they have not changed since.
    size_t snapshot(IDirect3DResource8* buffer) {
        if (!buffer) return kNone;
        std::vector<BYTE> bytes = rec::contentsOf(buffer);
        auto found = sources_.find(buffer);
        if (found == sources_.end()) {
            found = sources_.emplace(buffer, Source{out_.sources++, kNone}).first;
        }
        Source& source = found->second;
        if (source.last != kNone && out_.snapshots[source.last].bytes == bytes) return source.last;
        source.last = out_.snapshots.size();
        out_.snapshots.push_back(Snapshot{source.id, std::move(bytes)});
        return source.last;
    }

    size_t texture(IDirect3DBaseTexture8* base) {
        auto* texture = static_cast<IDirect3DTexture8*>(base);
        if (!texture) return kNone;
        auto found = textures_.find(texture);
        if (found != textures_.end()) return found->second;
        Texture copy;
        D3DSURFACE_DESC desc{};
        if (FAILED(texture->GetLevelDesc(0, &desc))) return kNone;
        copy.width = desc.Width;
        copy.height = desc.Height;
        copy.format = desc.Format;
        for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
            copy.levels.push_back(rec::contentsOf(texture, level));
        }
        textures_.emplace(texture, out_.textures.size());
        out_.textures.push_back(std::move(copy));
        return out_.textures.size() - 1;
    }

    struct Source {
        size_t id;
        size_t last;
    };
    Recording& out_;
    std::map<IDirect3DResource8*, Source> sources_;
    std::map<IDirect3DTexture8*, size_t> textures_;
};

}  // namespace

Recording record(cEffect& effect, uint32_t fps, uint32_t spanMs) {
    Recording recording;
    if (const auto& creation = rec::recorder().lastDeviceCreation()) {
        if (creation->parameters.EnableAutoDepthStencil) recording.depthFormat = creation->parameters.AutoDepthStencilFormat;
    }
    FrameRecorder recorder(recording);
    rec::recorder().setDrawObserver(
        [&recorder](IDirect3DDevice8* device, const rec::DrawCall& call) { recorder.onDraw(device, call); });
    recording.frames.emplace_back();
    playSpan(effect, fps, spanMs, [&](uint64_t) { recorder.endFrame(); });
    recording.frames.pop_back();  // opened after the last frame
    rec::recorder().setDrawObserver(nullptr);
    return recording;
}

// ---------------------------------------------------------------------------
// Replay

namespace {

using d3d8::gl::blendEquation;
using d3d8::gl::blendFactor;
using d3d8::gl::destinationBlendFactor;
using d3d8::gl::magFilter;
using d3d8::gl::minFilter;

constexpr DWORD kPositionMask = 0x00E;  // which of XYZ, XYZRHW and the blend-weight formats

const char kVertexShader[] = R"(#version 330 core
uniform mat4 worldViewProj;
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 color;
layout(location = 2) in vec2 texCoord0;
layout(location = 3) in vec2 texCoord1;
out vec4 vColor;
#if TEXTURES > 0
out vec2 vTexCoord0;
#endif
#if TEXTURES > 1
out vec2 vTexCoord1;
#endif
void main() {
    gl_Position = worldViewProj * vec4(position, 1.0);
    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
    vColor = color;
#if TEXTURES > 0
    vTexCoord0 = texCoord0;
#endif
#if TEXTURES > 1
    vTexCoord1 = texCoord1;
#endif
}
)";

const char kFragmentShader[] = R"(#version 330 core
in vec4 vColor;
#if TEXTURES > 0
uniform sampler2D texture0;
in vec2 vTexCoord0;
#endif
#if TEXTURES > 1
uniform sampler2D texture1;
in vec2 vTexCoord1;
#endif
out vec4 fragColor;
void main() {
    fragColor = vColor;
#if TEXTURES > 0
    fragColor *= texture(texture0, vTexCoord0);
#endif
#if TEXTURES > 1
    fragColor *= texture(texture1, vTexCoord1);
#endif
}
)";

GLuint compile(GLenum kind, const char* source, int textures) {
    const std::string text = std::string(source).insert(std::strlen("#version 330 core\n"),
                                                        "#define TEXTURES " + std::to_string(textures) + "\n");
    const GLuint shader = glCreateShader(kind);
    const char* sources[] = {text.c_str()};
    glShaderSource(shader, 1, sources, nullptr);
    glCompileShader(shader);
    return shader;
}

}  // namespace

struct Replayer::State {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {};
    GLuint programs[3] = {};
    GLint matrixLocations[3] = {};
    int width = 0;
    int height = 0;

    // Per recording: buffers by source, what each holds, vertex arrays by
    // (source, format), textures and their current filters.
    std::vector<GLuint> buffers;
    std::vector<size_t> uploaded;
    std::map<std::pair<size_t, DWORD>, GLuint> vertexArrays;
    std::vector<GLuint> textures;
    std::vector<GLint> textureFilters;  // min and mag, per texture

    bool hasDepth = false;

    void createTargets();
    void attachDepth(D3DFORMAT format);
    void createPrograms();
    void load(const Recording& recording);
    void unload();
    void upload(const Recording& recording, size_t snapshot, GLenum target);
    // The state the last draws left, so that equal values are not set again
    // (-1 and 0: not known yet).
    struct Applied {
        int program = -1;
        int blend = -1;
        GLenum blendFactors[3] = {};
        int depthTest = -1;
        int depthWrite = -1;
        int cull = -1;
        GLenum cullFace = 0;
        GLuint textures[2] = {};
    } applied;

    void setEnabled(GLenum capability, bool on, int& known);
    void bindVertexArray(const Recording& recording, const Draw& draw);
    void bindTexture(const Recording& recording, const Draw& draw, int stage);
    void drawOne(const Recording& recording, const Draw& draw);
};

Replayer::Replayer() : state_(std::make_unique<State>()) {}

Replayer::~Replayer() {
    if (state_->context) {
        SDL_GL_MakeCurrent(state_->window, state_->context);
        for (GLuint program : state_->programs) glDeleteProgram(program);
        glDeleteRenderbuffers(2, state_->renderbuffers);
        glDeleteFramebuffers(1, &state_->framebuffer);
        SDL_GL_DeleteContext(state_->context);
    }
    if (state_->window) SDL_DestroyWindow(state_->window);
}

bool Replayer::open(int width, int height, std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = std::string("no video: ") + SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    state_->window = SDL_CreateWindow("ceiling", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (state_->window) state_->context = SDL_GL_CreateContext(state_->window);
    if (!state_->context) {
        *error = std::string("no OpenGL 3.3 context: ") + SDL_GetError();
        return false;
    }
    state_->width = width;
    state_->height = height;
    state_->createTargets();
    state_->createPrograms();
    return true;
}

void Replayer::State::createTargets() {
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(2, renderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers[0]);
    glViewport(0, 0, width, height);
    glDepthFunc(GL_LEQUAL);
    // Direct3D's winding is seen on a screen whose rows run down, GL's in a
    // window whose rows run up: Direct3D's clockwise is GL's counter-clockwise
    // as the window's coordinates reckon it, which this target does not turn
    // over. So Direct3D's counter-clockwise faces are GL's front faces here.
    glFrontFace(GL_CCW);
    glVertexAttrib4f(1, 1.0f, 1.0f, 1.0f, 1.0f);  // white where a vertex has no colour
}

void Replayer::State::createPrograms() {
    for (int textures = 0; textures < 3; ++textures) {
        const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader, textures);
        const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader, textures);
        GLuint& program = programs[textures];
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        glUseProgram(program);
        matrixLocations[textures] = glGetUniformLocation(program, "worldViewProj");
        glUniform1i(glGetUniformLocation(program, "texture0"), 0);
        glUniform1i(glGetUniformLocation(program, "texture1"), 1);
    }
}

// A depth buffer of the device's format, or none.
void Replayer::State::attachDepth(D3DFORMAT format) {
    GLenum internalFormat = 0;
    switch (format) {
        case D3DFMT_D16_LOCKABLE:
        case D3DFMT_D16: internalFormat = GL_DEPTH_COMPONENT16; break;
        case D3DFMT_D24S8: internalFormat = GL_DEPTH24_STENCIL8; break;
        case D3DFMT_D32: internalFormat = GL_DEPTH_COMPONENT32F; break;
        case D3DFMT_UNKNOWN: break;
        default: internalFormat = GL_DEPTH_COMPONENT24; break;
    }
    hasDepth = internalFormat != 0;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (!hasDepth) return;
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, internalFormat, width, height);
    const GLenum attachment =
        internalFormat == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, renderbuffers[1]);
}

void Replayer::State::load(const Recording& recording) {
    attachDepth(recording.depthFormat);
    buffers.assign(recording.sources, 0);
    uploaded.assign(recording.sources, kNone);
    glGenBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    textures.assign(recording.textures.size(), 0);
    textureFilters.assign(2 * recording.textures.size(), 0);
    glGenTextures(static_cast<GLsizei>(textures.size()), textures.data());
    for (size_t t = 0; t < textures.size(); ++t) {
        const Texture& texture = recording.textures[t];
        glBindTexture(GL_TEXTURE_2D, textures[t]);
        const bool fourBytes = texture.format == D3DFMT_A8R8G8B8 || texture.format == D3DFMT_X8R8G8B8;
        GLsizei width = static_cast<GLsizei>(texture.width);
        GLsizei height = static_cast<GLsizei>(texture.height);
        for (size_t level = 0; level < texture.levels.size(); ++level) {
            // Pictures of other formats are drawn as white of the same size:
            // sampling costs the same.
            const std::vector<BYTE> white(static_cast<size_t>(width) * height * 4, 0xFF);
            const void* pixels = fourBytes ? texture.levels[level].data() : white.data();
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), GL_RGBA8, width, height, 0, GL_BGRA,
                         GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
            width = width > 1 ? width / 2 : 1;
            height = height > 1 ? height / 2 : 1;
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(texture.levels.size()) - 1);
        if (texture.format == D3DFMT_X8R8G8B8) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    }
}

void Replayer::State::unload() {
    for (auto& entry : vertexArrays) glDeleteVertexArrays(1, &entry.second);
    vertexArrays.clear();
    glDeleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    buffers.clear();
    textures.clear();
}

// Gives the source's GL buffer the snapshot's bytes, unless it holds them.
void Replayer::State::upload(const Recording& recording, size_t snapshot, GLenum target) {
    const Snapshot& s = recording.snapshots[snapshot];
    if (uploaded[s.source] == snapshot) return;
    const bool sameSize = uploaded[s.source] != kNone &&
                          recording.snapshots[uploaded[s.source]].bytes.size() == s.bytes.size();
    glBindBuffer(target, buffers[s.source]);
    const auto size = static_cast<GLsizeiptr>(s.bytes.size());
    if (sameSize) {
        glBufferSubData(target, 0, size, s.bytes.data());
    } else {
        glBufferData(target, size, s.bytes.data(), GL_DYNAMIC_DRAW);
    }
    uploaded[s.source] = snapshot;
}

void Replayer::State::setEnabled(GLenum capability, bool on, int& known) {
    if (known == static_cast<int>(on)) return;
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
    known = on;
}

void Replayer::State::bindTexture(const Recording& recording, const Draw& draw, int stage) {
    const size_t t = draw.textures[stage];
    glActiveTexture(GL_TEXTURE0 + stage);
    if (applied.textures[stage] != textures[t]) glBindTexture(GL_TEXTURE_2D, textures[t]);
    applied.textures[stage] = textures[t];
    const DWORD* filters = draw.filters[stage];
    const bool mipmapped = recording.textures[t].levels.size() > 1;
    const GLint wantedMin = minFilter(filters[0], mipmapped ? filters[2] : DWORD{D3DTEXF_NONE});
    const GLint wantedMag = magFilter(filters[1]);
    if (textureFilters[2 * t] != wantedMin) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, wantedMin);
        textureFilters[2 * t] = wantedMin;
    }
    if (textureFilters[2 * t + 1] != wantedMag) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, wantedMag);
        textureFilters[2 * t + 1] = wantedMag;
    }
}

// The vertex array of the draw's buffer and format (position, colour and up to
// two coordinate sets where the format has them), with the draw's bytes.
void Replayer::State::bindVertexArray(const Recording& recording, const Draw& draw) {
    const size_t source = recording.snapshots[draw.vertices].source;
    upload(recording, draw.vertices, GL_ARRAY_BUFFER);
    GLuint& vertexArray = vertexArrays[{source, draw.fvf}];
    if (!vertexArray) {
        glGenVertexArrays(1, &vertexArray);
        glBindVertexArray(vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[source]);
        const auto stride = static_cast<GLsizei>(draw.stride);
        size_t offset = 12;
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
        if (draw.fvf & D3DFVF_NORMAL) offset += 12;
        if (draw.fvf & D3DFVF_DIFFUSE) {
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                                  reinterpret_cast<const void*>(offset));
            offset += 4;
        }
        if (draw.fvf & D3DFVF_SPECULAR) offset += 4;
        const UINT sets = (draw.fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
        for (UINT set = 0; set < sets && set < 2; ++set) {
            glEnableVertexAttribArray(2 + set);
            glVertexAttribPointer(2 + set, 2, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<const void*>(offset + 8 * set));
        }
        // A second stage reading a set the vertex lacks reads the first.
        if (sets == 1) {
            glEnableVertexAttribArray(3);
            glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
        }
    }
    glBindVertexArray(vertexArray);
}

void Replayer::State::drawOne(const Recording& recording, const Draw& draw) {
    if (draw.vertices == kNone || (draw.fvf & kPositionMask) != D3DFVF_XYZ) return;
    if (draw.indexed && draw.indices == kNone) return;
    bindVertexArray(recording, draw);
    if (draw.indexed) {
        // The vertex array keeps the element buffer: bind the draw's own.
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[recording.snapshots[draw.indices].source]);
        upload(recording, draw.indices, GL_ELEMENT_ARRAY_BUFFER);
    }

    const int textureCount = draw.textures[0] == kNone ? 0 : draw.textures[1] == kNone ? 1 : 2;
    for (int stage = 0; stage < textureCount; ++stage) bindTexture(recording, draw, stage);
    if (applied.program != textureCount) glUseProgram(programs[textureCount]);
    applied.program = textureCount;
    glUniformMatrix4fv(matrixLocations[textureCount], 1, GL_FALSE, draw.worldViewProj);

    // What a careful hand sets: only what differs from the draw before.
    setEnabled(GL_BLEND, draw.blend, applied.blend);
    if (draw.blend) {
        const GLenum factors[3] = {blendFactor(draw.sourceBlend),
                                   destinationBlendFactor(draw.destBlend), blendEquation(draw.blendOp)};
        if (!std::equal(factors, factors + 3, applied.blendFactors)) {
            glBlendFunc(factors[0], factors[1]);
            glBlendEquation(factors[2]);
            std::copy(factors, factors + 3, applied.blendFactors);
        }
    }
    setEnabled(GL_DEPTH_TEST, draw.depthTest && hasDepth, applied.depthTest);
    if (applied.depthWrite != static_cast<int>(draw.depthWrite)) glDepthMask(draw.depthWrite ? GL_TRUE : GL_FALSE);
    applied.depthWrite = draw.depthWrite;
    setEnabled(GL_CULL_FACE, draw.cull != D3DCULL_NONE, applied.cull);
    const GLenum face = draw.cull == D3DCULL_CCW ? GL_FRONT : GL_BACK;
    if (draw.cull != D3DCULL_NONE && applied.cullFace != face) glCullFace(face);
    if (draw.cull != D3DCULL_NONE) applied.cullFace = face;

    GLenum mode = GL_TRIANGLES;
    d3d8::gl::primitiveMode(draw.type, mode);  // the device drew it: the type is one of Direct3D's
    const auto count = static_cast<GLsizei>(d3d8::gl::verticesFor(draw.type, draw.primitiveCount));
    if (draw.indexed) {
        glDrawElementsBaseVertex(mode, count, GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(size_t{draw.first} * 2),
                                 static_cast<GLint>(draw.baseVertex));
    } else {
        glDrawArrays(mode, static_cast<GLint>(draw.first), count);
    }
}

double Replayer::framesPerSecond(const Recording& recording) {
    State& s = *state_;
    SDL_GL_MakeCurrent(s.window, s.context);
    s.load(recording);
    glBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    const auto start = std::chrono::steady_clock::now();
    s.applied = State::Applied();
    for (const Frame& frame : recording.frames) {
        glDepthMask(GL_TRUE);
        s.applied.depthWrite = 1;
        glClear(GL_COLOR_BUFFER_BIT | (s.hasDepth ? GL_DEPTH_BUFFER_BIT : 0));
        for (const Draw& draw : frame.draws) s.drawOne(recording, draw);
        glFinish();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    s.unload();
    return static_cast<double>(recording.frames.size()) / took.count();
}

}  // namespace bench::ceiling
