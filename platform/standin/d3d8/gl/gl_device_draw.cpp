// Drawing: turning the shadow state into GL state just before a draw, and the
// draw calls themselves.
#include <climits>
#include <cmath>
#include <cstring>

#include "gl_device.h"
#include "gl_resources.h"
#include "gl_translate.h"

namespace d3d8::gl {
namespace {

// The matrix that takes row-vector normals the way `m` takes positions: the
// inverse transpose of its upper 3x3, i.e. its cofactor matrix over the
// determinant. A singular matrix keeps the cofactors, which still give the
// right directions.
void normalMatrix(const D3DMATRIX& m, float out[16]) {
    const auto& a = m.m;
    float c[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3;
            const int c1 = (col + 1) % 3, c2 = (col + 2) % 3;
            c[r][col] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
        }
    }
    const float det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
    const float scale = (det != 0.0f && std::isfinite(det)) ? 1.0f / det : 1.0f;
    std::memset(out, 0, 16 * sizeof(float));
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) out[r * 4 + col] = c[r][col] * scale;
    }
    out[15] = 1.0f;
}

void copyColor(float out[4], const D3DCOLORVALUE& c) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

void copyColor(float out[4], const ColorF& c) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

// Row vector (x, y, z, w) times the upper rows of `m`.
void transform(const D3DVECTOR& v, float w, const D3DMATRIX& m, float out[3]) {
    for (int c = 0; c < 3; ++c)
        out[c] = v.x * m.m[0][c] + v.y * m.m[1][c] + v.z * m.m[2][c] + w * m.m[3][c];
}

uint8_t byteOf(DWORD value) { return value > 0xFF ? 0xFF : static_cast<uint8_t>(value); }

bool readsTexture(DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; }

// Direct3D puts pixel centres on integer window coordinates, GL half a pixel
// further: positions move by exactly half a pixel, so that the two coincide and
// the rasteriser's own rule decides edges through a centre (see gl_device.h).
constexpr float kPixelCentre = 0.5f;

}  // namespace

// ---------------------------------------------------------------------------
// The shader key

void Device::updateActiveLights() {
    activeLightCount_ = 0;
    auto take = [this](DWORD index, const LightSlot& slot) {
        if (slot.enabled && activeLightCount_ < kActiveLights)
            activeLights_[activeLightCount_++] = index;
    };
    for (DWORD i = 0; i < state_.lights.size(); ++i) take(i, state_.lights[i]);
    for (const auto& entry : extraLights_) take(entry.first, entry.second);
}

int Device::runningStages() const {
    for (int stage = 0; stage < kStages; ++stage) {
        const auto& ts = state_.stageStates[stage];
        const DWORD op = ts[D3DTSS_COLOROP];
        if (op == D3DTOP_DISABLE || op == 0) return stage;
        // A stage whose colour operation reads a texture that is not there is
        // skipped, and every stage after it with it.
        if (!textures_[stage]) {
            const bool arg1 = op != D3DTOP_SELECTARG2 && readsTexture(ts[D3DTSS_COLORARG1]);
            const bool arg2 = op != D3DTOP_SELECTARG1 && readsTexture(ts[D3DTSS_COLORARG2]);
            if (arg1 || arg2) return stage;
        }
    }
    return kStages;
}

void Device::buildShaderKey(ShaderKey& key) const {
    std::memset(&key, 0, sizeof key);
    const auto& rs = state_.renderStates;
    key.pretransformed = layout_.pretransformed;
    key.lighting = rs[D3DRS_LIGHTING] && !layout_.pretransformed;
    key.specularEnable = rs[D3DRS_SPECULARENABLE] != 0;
    key.flatShading = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    key.normalizeNormals = !layout_.pretransformed && rs[D3DRS_NORMALIZENORMALS];
    const DWORD alphaFunc = rs[D3DRS_ALPHAFUNC];
    if (rs[D3DRS_ALPHATESTENABLE] && alphaFunc >= D3DCMP_NEVER && alphaFunc < D3DCMP_ALWAYS) {
        key.alphaFunc = static_cast<uint8_t>(alphaFunc);
    }

    if (key.lighting) {
        key.localViewer = key.specularEnable && rs[D3DRS_LOCALVIEWER];
        // With COLORVERTEX a material colour may come from the vertex, but only
        // from a colour the vertex has; otherwise the material's is used.
        const bool colorVertex = rs[D3DRS_COLORVERTEX] != 0;
        auto source = [&](D3DRENDERSTATETYPE state) {
            const DWORD value = rs[state];
            if (colorVertex && value == D3DMCS_COLOR1 && layout_.diffuseOffset >= 0) {
                return static_cast<uint8_t>(ColorSource::VertexDiffuse);
            }
            if (colorVertex && value == D3DMCS_COLOR2 && layout_.specularOffset >= 0) {
                return static_cast<uint8_t>(ColorSource::VertexSpecular);
            }
            return static_cast<uint8_t>(ColorSource::Material);
        };
        key.diffuseSource = source(D3DRS_DIFFUSEMATERIALSOURCE);
        key.ambientSource = source(D3DRS_AMBIENTMATERIALSOURCE);
        key.specularSource = source(D3DRS_SPECULARMATERIALSOURCE);
        key.emissiveSource = source(D3DRS_EMISSIVEMATERIALSOURCE);
        key.lightCount = static_cast<uint8_t>(activeLightCount_);
        for (int i = 0; i < activeLightCount_; ++i) {
            const LightSlot* slot = lightSlot(activeLights_[i]);
            key.lightTypes[i] = static_cast<uint8_t>(slot->light.Type);
        }
    }

    key.stageCount = static_cast<uint8_t>(runningStages());
    for (int stage = 0; stage < key.stageCount; ++stage) {
        const auto& ts = state_.stageStates[stage];
        StageKey& sk = key.stages[stage];
        sk.colorOp = byteOf(ts[D3DTSS_COLOROP]);
        sk.colorArg1 = byteOf(ts[D3DTSS_COLORARG1]);
        sk.colorArg2 = byteOf(ts[D3DTSS_COLORARG2]);
        sk.alphaOp = byteOf(ts[D3DTSS_ALPHAOP]);
        if (sk.alphaOp == 0) sk.alphaOp = D3DTOP_DISABLE;
        if (sk.alphaOp != D3DTOP_DISABLE) {
            sk.alphaArg1 = byteOf(ts[D3DTSS_ALPHAARG1]);
            sk.alphaArg2 = byteOf(ts[D3DTSS_ALPHAARG2]);
        }
        sk.hasTexture = textures_[stage] != nullptr;
        if (!stageSamplesTexture(sk)) continue;  // no coordinates needed

        const DWORD index = ts[D3DTSS_TEXCOORDINDEX];
        const DWORD set = index & 0xFFFF;
        switch (index & 0xFFFF0000) {
            case D3DTSS_TCI_PASSTHRU:
                if (set < static_cast<DWORD>(layout_.texCoordSets)) {
                    sk.texCoordSource = static_cast<uint8_t>(set);
                    sk.texCoordFloats = static_cast<uint8_t>(layout_.texCoordFloats[set]);
                } else {
                    sk.texCoordSource = kTexCoordMissing;
                }
                break;
            case D3DTSS_TCI_CAMERASPACENORMAL: sk.texCoordSource = kTexGenCameraNormal; break;
            case D3DTSS_TCI_CAMERASPACEPOSITION: sk.texCoordSource = kTexGenCameraPosition; break;
            case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR:
                sk.texCoordSource = kTexGenReflection;
                break;
            default: sk.texCoordSource = kTexCoordMissing; break;
        }
        const DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
        const DWORD count = flags & 0xFF;
        sk.transformCount = static_cast<uint8_t>(count <= 4 ? count : 0);
        sk.projected = (flags & D3DTTFF_PROJECTED) ? 1 : 0;
    }
}

// ---------------------------------------------------------------------------
// Constants

void Device::computeTransformConstants() {
    const D3DMATRIX worldView = multiply(state_.world, state_.view);
    const D3DMATRIX worldViewProj = multiply(worldView, state_.projection);
    std::memcpy(transforms_.worldViewProj, &worldViewProj, sizeof(float) * 16);
    std::memcpy(transforms_.worldView, &worldView, sizeof(float) * 16);
    normalMatrix(worldView, transforms_.normalMatrix);

    const auto& vp = state_.viewport;
    const float width = static_cast<float>(vp.Width);
    const float height = static_cast<float>(vp.Height);
    // Half a pixel is 1/width in normalised device units; GL's y runs upwards.
    transforms_.pixelOffset[0] = 2.0f * kPixelCentre / width;
    transforms_.pixelOffset[1] = -2.0f * kPixelCentre / height;
    transforms_.screenToClip[0] = 2.0f / width;
    transforms_.screenToClip[1] = -2.0f / height;
    transforms_.screenToClip[2] = kPixelCentre - static_cast<float>(vp.X);
    transforms_.screenToClip[3] = kPixelCentre - static_cast<float>(vp.Y);
}

void Device::computeTextureMatrixConstants() {
    for (int stage = 0; stage < kStages; ++stage) {
        std::memcpy(constants_.textureMatrix[stage], &state_.textureTransforms[stage],
                    sizeof(float) * 16);
    }
}

void Device::computeMaterialConstants() {
    const D3DMATERIAL8& m = state_.material;
    copyColor(constants_.materialDiffuse, m.Diffuse);
    copyColor(constants_.materialAmbient, m.Ambient);
    copyColor(constants_.materialSpecular, m.Specular);
    copyColor(constants_.materialEmissive, m.Emissive);
    constants_.materialPower[0] = m.Power;
}

void Device::computeColorConstants() {
    const auto& rs = state_.renderStates;
    copyColor(constants_.globalAmbient, colorFromD3D(rs[D3DRS_AMBIENT]));
    copyColor(fragmentConstants_.textureFactor, colorFromD3D(rs[D3DRS_TEXTUREFACTOR]));
    fragmentConstants_.alphaReference[0] = static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF);
}

void Device::computeLightConstants() {
    for (int i = 0; i < activeLightCount_; ++i) {
        const D3DLIGHT8& light = lightSlot(activeLights_[i])->light;
        LightConstants& out = constants_.lights[i];
        copyColor(out.diffuse, light.Diffuse);
        copyColor(out.specular, light.Specular);
        copyColor(out.ambient, light.Ambient);
        // Lighting happens in camera space.
        transform(light.Position, 1.0f, state_.view, out.position);
        transform(light.Direction, 0.0f, state_.view, out.direction);
        const float length =
            std::sqrt(out.direction[0] * out.direction[0] + out.direction[1] * out.direction[1] +
                      out.direction[2] * out.direction[2]);
        if (length > 0.0f) {
            for (int c = 0; c < 3; ++c) out.direction[c] /= length;
        }
        out.attenuation[0] = light.Range;
        out.attenuation[1] = light.Attenuation0;
        out.attenuation[2] = light.Attenuation1;
        out.attenuation[3] = light.Attenuation2;
        out.spot[0] = std::cos(light.Theta * 0.5f);
        out.spot[1] = std::cos(light.Phi * 0.5f);
        out.spot[2] = light.Falloff;
    }
}

void Device::uploadConstants() {
    // The transforms (group 0) are plain uniforms: uploadProgramUniforms.
    static const ConstantRange* const kRanges[] = {nullptr, &kTextureMatrixConstants, &kMaterialConstants,
                                                   &kColorConstants, &kLightConstants};
    if (!dirtyConstants_) return;
    glBindBuffer(GL_UNIFORM_BUFFER, constantBuffer_);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&constants_);
    for (uint32_t group = 1; group < 5; ++group) {
        if (!(dirtyConstants_ & (1u << group))) continue;
        const ConstantRange& range = *kRanges[group];
        glBufferSubData(GL_UNIFORM_BUFFER, static_cast<GLintptr>(range.offset),
                        static_cast<GLsizeiptr>(range.size), bytes + range.offset);
    }
    dirtyConstants_ = 0;
}

// Gives the current program the transforms and the fragment constants, unless
// it has them already.
void Device::uploadProgramUniforms() {
    ProgramUniforms& uniforms = programUniforms_[program_];
    if (!uniforms.located) {
        static const char* const kTransformNames[5] = {"worldViewProj", "worldView", "normalMatrix",
                                                      "pixelOffset", "screenToClip"};
        for (int i = 0; i < 5; ++i) uniforms.transforms[i] = glGetUniformLocation(program_, kTransformNames[i]);
        uniforms.fragment[0] = glGetUniformLocation(program_, "textureFactor");
        uniforms.fragment[1] = glGetUniformLocation(program_, "alphaReference");
        uniforms.located = true;
    }
    // A uniform the program does not use has location -1, which GL ignores.
    if (uniforms.transformsVersion != transformsVersion_) {
        glUniformMatrix4fv(uniforms.transforms[0], 1, GL_FALSE, transforms_.worldViewProj);
        glUniformMatrix4fv(uniforms.transforms[1], 1, GL_FALSE, transforms_.worldView);
        glUniformMatrix4fv(uniforms.transforms[2], 1, GL_FALSE, transforms_.normalMatrix);
        glUniform4fv(uniforms.transforms[3], 1, transforms_.pixelOffset);
        glUniform4fv(uniforms.transforms[4], 1, transforms_.screenToClip);
        uniforms.transformsVersion = transformsVersion_;
    }
    if (uniforms.fragmentVersion != fragmentConstantsVersion_) {
        glUniform4fv(uniforms.fragment[0], 1, fragmentConstants_.textureFactor);
        glUniform4fv(uniforms.fragment[1], 1, fragmentConstants_.alphaReference);
        uniforms.fragmentVersion = fragmentConstantsVersion_;
    }
}

// ---------------------------------------------------------------------------
// GL state

void Device::applyVertexInput() {
    const Stream& stream = streams_[0];
    const GLuint buffer = stream.buffer->storage().glName();
    const auto stride = static_cast<GLsizei>(stream.stride);
    cache_.bindArrayBuffer(buffer);
    auto attribute = [&](GLuint location, int offset, GLint size, GLenum type, bool normalized) {
        if (offset < 0) {
            cache_.enableAttribute(location, false);
            return;
        }
        glVertexAttribPointer(location, size, type, normalized ? GL_TRUE : GL_FALSE, stride,
                              reinterpret_cast<const void*>(static_cast<uintptr_t>(offset)));
        cache_.enableAttribute(location, true);
    };
    attribute(kAttribPosition, 0, layout_.positionFloats, GL_FLOAT, false);
    attribute(kAttribNormal, layout_.normalOffset, 3, GL_FLOAT, false);
    // D3DCOLOR bytes are B, G, R, A in memory: GL_BGRA reorders them to RGBA.
    attribute(kAttribDiffuse, layout_.diffuseOffset, GL_BGRA, GL_UNSIGNED_BYTE, true);
    attribute(kAttribSpecular, layout_.specularOffset, GL_BGRA, GL_UNSIGNED_BYTE, true);
    for (int set = 0; set < kMaxTexCoordSets; ++set) {
        const bool present = set < layout_.texCoordSets;
        attribute(kAttribTexCoord0 + set, present ? layout_.texCoordOffset[set] : -1,
                  present ? layout_.texCoordFloats[set] : 2, GL_FLOAT, false);
    }
    attributeBuffer_ = buffer;
}

void Device::applyTextures() {
    for (int stage = 0; stage < kStages; ++stage) {
        cache_.bindTexture(stage, textures_[stage] ? textures_[stage]->glName() : 0);
    }
}

void Device::applySampler(int stage) {
    const auto& ts = state_.stageStates[stage];
    const GLuint sampler = samplers_[stage];
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, addressMode(ts[D3DTSS_ADDRESSU]));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, addressMode(ts[D3DTSS_ADDRESSV]));
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magFilter(ts[D3DTSS_MAGFILTER]));
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER,
                        minFilter(ts[D3DTSS_MINFILTER], ts[D3DTSS_MIPFILTER]));
    const ColorF border = colorFromD3D(ts[D3DTSS_BORDERCOLOR]);
    const float borderColor[4] = {border.r, border.g, border.b, border.a};
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, borderColor);
    float bias;
    const DWORD biasBits = ts[D3DTSS_MIPMAPLODBIAS];  // a float stored in a DWORD
    std::memcpy(&bias, &biasBits, sizeof bias);
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, std::isfinite(bias) ? bias : 0.0f);
    // MAXMIPLEVEL names the most detailed level that may be used.
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD,
                        static_cast<float>(ts[D3DTSS_MAXMIPLEVEL] & 0xFF));
}

void Device::applyDepth() {
    const auto& rs = state_.renderStates;
    cache_.enable(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE && backBuffer_.depthFormat != 0);
    cache_.depthMask(rs[D3DRS_ZWRITEENABLE] != 0);
    cache_.depthFunc(compareFunc(rs[D3DRS_ZFUNC]));
}

void Device::applyBlend() {
    const auto& rs = state_.renderStates;
    cache_.enable(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
    // Direct3D 8 has one set of factors for colour and alpha.
    constexpr DWORD kBothSrcAlpha = 12, kBothInvSrcAlpha = 13;
    const DWORD src = rs[D3DRS_SRCBLEND];
    if (src == kBothSrcAlpha) {
        cache_.blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    } else if (src == kBothInvSrcAlpha) {
        cache_.blendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    } else {
        cache_.blendFunc(blendFactor(src), destinationBlendFactor(rs[D3DRS_DESTBLEND]));
    }
    cache_.blendEquation(blendEquation(rs[D3DRS_BLENDOP]));
}

void Device::applyRaster() {
    const auto& rs = state_.renderStates;
    // Front faces are clockwise on screen, GL_CCW in the back buffer's top-down
    // rows: CCW culls GL's back faces, CW its front faces.
    switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_NONE: cache_.enable(GL_CULL_FACE, false); break;
        case D3DCULL_CW:
            cache_.enable(GL_CULL_FACE, true);
            cache_.cullFace(GL_FRONT);
            break;
        default:
            cache_.enable(GL_CULL_FACE, true);
            cache_.cullFace(GL_BACK);
            break;
    }
    switch (rs[D3DRS_FILLMODE]) {
        case D3DFILL_POINT: cache_.polygonMode(GL_POINT); break;
        case D3DFILL_WIREFRAME: cache_.polygonMode(GL_LINE); break;
        default: cache_.polygonMode(GL_FILL); break;
    }
}

void Device::applyColorMask() {
    const DWORD mask = state_.renderStates[D3DRS_COLORWRITEENABLE];
    // A back buffer without alpha keeps alpha at 1 so that DESTALPHA reads 1.
    cache_.colorMask(mask & 1, mask & 2, mask & 4, (mask & 8) && backBuffer_.hasAlpha);
}

void Device::applyViewport() {
    const auto& vp = state_.viewport;
    // The back buffer's GL rows run top-down, as Direct3D's Y does.
    cache_.viewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
                    static_cast<GLsizei>(vp.Height));
    cache_.depthRange(vp.MinZ, vp.MaxZ);
}

bool Device::prepareDraw() {
    if (dirty_.test(Dirty::ActiveLights)) {
        updateActiveLights();
        dirty_.clear(Dirty::ActiveLights);
    }
    if (dirty_.test(Dirty::ShaderKey)) {
        ShaderKey key;
        buildShaderKey(key);
        if (key != key_ || !program_) {
            key_ = key;
            program_ = programs_.get(key_, cache_.program());
        }
        dirty_.clear(Dirty::ShaderKey);
    }
    if (!program_) return false;
    cache_.useProgram(program_);

    // Each group of constants is recomputed when its state changed and uploaded
    // in the same pass.
    auto take = [this](Dirty group) {
        const bool wasDirty = dirty_.test(group);
        dirty_.clear(group);
        return wasDirty;
    };
    if (take(Dirty::Transforms)) {
        computeTransformConstants();
        ++transformsVersion_;
    }
    if (take(Dirty::TextureMatrices)) {
        computeTextureMatrixConstants();
        dirtyConstants_ |= kTextureMatrixGroup;
    }
    if (take(Dirty::Material)) {
        computeMaterialConstants();
        dirtyConstants_ |= kMaterialGroup;
    }
    if (take(Dirty::Colors)) {
        computeColorConstants();
        dirtyConstants_ |= kColorGroup;
        ++fragmentConstantsVersion_;
    }
    if (take(Dirty::Lights)) {
        computeLightConstants();
        dirtyConstants_ |= kLightGroup;
    }
    uploadConstants();
    uploadProgramUniforms();

    if (take(Dirty::VertexInput)) applyVertexInput();
    if (take(Dirty::IndexBuffer))
        cache_.bindElementBuffer(indices_ ? indices_->storage().glName() : 0);
    if (take(Dirty::Textures)) applyTextures();
    for (int stage = 0; dirtySamplers_ && stage < kStages; ++stage) {
        if (dirtySamplers_ & (1u << stage)) applySampler(stage);
        dirtySamplers_ &= ~(1u << stage);
    }
    if (take(Dirty::Depth)) applyDepth();
    if (take(Dirty::Blend)) applyBlend();
    if (take(Dirty::Raster)) applyRaster();
    if (take(Dirty::ColorMask)) applyColorMask();
    if (take(Dirty::Viewport)) applyViewport();
    cache_.bindDrawFramebuffer(framebuffer_);
    return true;
}

// ---------------------------------------------------------------------------
// Draw calls

bool Device::streamHolds(uint64_t firstVertex, uint64_t vertexCount) const {
    const Stream& stream = streams_[0];
    if (vertexCount == 0) return true;
    const uint64_t last = firstVertex + vertexCount - 1;
    return last * stream.stride + layout_.size <= stream.buffer->storage().length();
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                              UINT PrimitiveCount) {
    GLenum mode;
    if (!primitiveMode(PrimitiveType, mode) || !layout_.valid) return D3DERR_INVALIDCALL;
    const Stream& stream = streams_[0];
    if (!stream.buffer || stream.stride < layout_.size) return D3DERR_INVALIDCALL;
    if (PrimitiveCount == 0) return D3D_OK;
    const uint64_t vertices = verticesFor(PrimitiveType, PrimitiveCount);
    if (vertices > INT_MAX || StartVertex > INT_MAX || !streamHolds(StartVertex, vertices)) {
        return D3DERR_INVALIDCALL;
    }
    // A lost window drops draws silently, as a lost Direct3D device does.
    if (!makeCurrent()) return D3D_OK;
    if (!prepareDraw()) return D3DERR_INVALIDCALL;
    glDrawArrays(mode, static_cast<GLint>(StartVertex), static_cast<GLsizei>(vertices));
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex,
                                     UINT NumVertices, UINT StartIndex, UINT PrimitiveCount) {
    (void)MinIndex;
    (void)NumVertices;  // the indices themselves are checked against the stream
    GLenum mode;
    if (!primitiveMode(PrimitiveType, mode) || !layout_.valid || !indices_)
        return D3DERR_INVALIDCALL;
    const Stream& stream = streams_[0];
    if (!stream.buffer || stream.stride < layout_.size) return D3DERR_INVALIDCALL;
    if (PrimitiveCount == 0) return D3D_OK;
    const uint64_t count = verticesFor(PrimitiveType, PrimitiveCount);
    const UINT indexSize = indices_->indexSize();
    if (count > INT_MAX || baseVertexIndex_ > INT_MAX ||
        (uint64_t{StartIndex} + count) * indexSize > indices_->storage().length()) {
        return D3DERR_INVALIDCALL;
    }
    // Every index must name a vertex the stream holds. The buffer's bound
    // usually proves it; otherwise look at the indices of this draw.
    if (!streamHolds(baseVertexIndex_, uint64_t{indices_->maxIndexBound()} + 1) &&
        !streamHolds(baseVertexIndex_,
                     uint64_t{indices_->maxIndexIn(StartIndex, static_cast<UINT>(count))} + 1)) {
        return D3DERR_INVALIDCALL;
    }
    if (!makeCurrent()) return D3D_OK;
    if (!prepareDraw()) return D3DERR_INVALIDCALL;
    glDrawElementsBaseVertex(
        mode, static_cast<GLsizei>(count), indices_->glIndexType(),
        reinterpret_cast<const void*>(static_cast<uintptr_t>(StartIndex) * indexSize),
        static_cast<GLint>(baseVertexIndex_));
    return D3D_OK;
}

}  // namespace d3d8::gl
