#include "viewer_scene.h"

#include "d3d.h"
#include "texture_lookup.h"

namespace modelview {
namespace {

constexpr D3DCOLOR kBackground = 0xFF303846;  // a dark slate that no lit surface matches by chance
constexpr D3DCOLOR kBoneColour = 0xFFFFC020;
constexpr float kAmbient = 0.2f;

}  // namespace

// ---------------------------------------------------------------------------
// Render state override

void cRenderStateOverride::set(D3DRENDERSTATETYPE state, DWORD value) {
    m_entries.push_back({state, value, 0});
}

HRESULT cRenderStateOverride::begin() {
    cRenderObject::begin();
    IDirect3DDevice8* device = m_d3d->m_device;
    for (Entry& entry : m_entries) {
        device->GetRenderState(entry.state, &entry.saved);
        const HRESULT result = device->SetRenderState(entry.state, entry.value);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

HRESULT cRenderStateOverride::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        const HRESULT result = device->SetRenderState(it->state, it->saved);
        if (FAILED(result)) return result;
    }
    return cRenderObject::end();
}

// ---------------------------------------------------------------------------
// Skeleton lines

cSkeletonLines::cSkeletonLines() {
    m_primitiveType = D3DPT_LINELIST;
    m_overlay.set(D3DRS_ZENABLE, FALSE);
    m_overlay.set(D3DRS_LIGHTING, FALSE);
    addState(&m_overlay);
    m_enabled = false;
}

void cSkeletonLines::build(cSkeleton* skeleton) {
    m_skeleton = skeleton;
    uint32_t bones = 0;
    for (uint32_t j = 0; skeleton && j < skeleton->m_jointCount; ++j) {
        if (skeleton->m_joints[j].m_parent) ++bones;
    }
    if (bones == 0) return;  // nothing to draw: no buffer, and the mesh draws nothing
    m_lines.allocate(2 * bones);
    for (uint32_t i = 0; i < m_lines.m_count; ++i) m_lines.getVertices()[i].diffuse = kBoneColour;
    setVertexBuffer(&m_lines);
}

void cSkeletonLines::pose() {
    if (!m_vertexBuffer || !m_d3d) return;
    // A joint's place in the pose: its bind origin carried by its skinning matrix.
    const auto placeOf = [](const cJoint& joint) {
        const D3DXVECTOR3 origin(0, 0, 0);
        D3DXVECTOR3 bound, posed;
        D3DXVec3TransformCoord(&bound, &origin, &joint.m_bind);
        D3DXVec3TransformCoord(&posed, &bound, &joint.m_skinning);
        return posed;
    };
    ColorVertex* vertex = m_lines.getVertices();
    for (uint32_t j = 0; j < m_skeleton->m_jointCount; ++j) {
        const cJoint& joint = m_skeleton->m_joints[j];
        if (!joint.m_parent) continue;
        for (const D3DXVECTOR3& end : {placeOf(joint), placeOf(*joint.m_parent)}) {
            vertex->x = end.x, vertex->y = end.y, vertex->z = end.z;
            ++vertex;
        }
    }
    m_lines.update();
}

// ---------------------------------------------------------------------------
// Scene

cViewerScene::cViewerScene() {
    m_clearColor = kBackground;
    // Little ambient light: a material's full ambient colour would flatten
    // every untextured model into its silhouette.
    m_headlight.setAmbient(kAmbient, kAmbient, kAmbient, 1);
    m_wireframe.set(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    m_wireframe.m_enabled = false;
}

cViewerScene::~cViewerScene() { cViewerScene::release(); }

bool cViewerScene::load(const std::string& fileName) {
    if (!readModelFacts(fileName, &m_facts) || !m_model.load(fileName, "")) return false;
    for (std::string& name : m_model.m_textureNames) name = findTexture(name, fileName);
    m_animation = AnimationPlayer(m_facts.totalFrames, m_facts.animationFps);
    m_skeletonLines.build(m_model.m_skeleton);
    return true;
}

HRESULT cViewerScene::init(cD3D* d3d) {
    addState(&m_headlight);
    addState(&m_camera);
    m_model.addState(&m_wireframe);
    addChild(&m_model);
    addChild(&m_skeletonLines);
    // The model's own clock stays off: the viewer poses it.
    m_model.m_animate = false;
    HRESULT result = cScene::init(d3d);
    if (FAILED(result)) return result;
    result = m_model.uploadAll();
    if (FAILED(result)) return result;

    D3DVIEWPORT8 viewport{};
    d3d->m_device->GetViewport(&viewport);
    const float aspect = viewport.Height > 0 ? static_cast<float>(viewport.Width) / viewport.Height : 1.0f;
    m_camera.frame(bindPose(), aspect);
    return S_OK;
}

bool cViewerScene::release() {
    m_posed = false;
    return cScene::release();
}

// Every vertex of every group before the skeleton moves it.
std::vector<D3DXVECTOR3> cViewerScene::bindPose() const {
    std::vector<D3DXVECTOR3> points;
    for (const cSkinnedMesh* mesh : m_model.m_meshes) {
        const auto* vertices = reinterpret_cast<const LitVertex*>(mesh->m_sourceVertices.m_vertices);
        for (uint32_t i = 0; vertices && i < mesh->m_sourceVertices.m_count; ++i) {
            points.emplace_back(vertices[i].x, vertices[i].y, vertices[i].z);
        }
    }
    return points;
}

// Skins the model (and moves the skeleton's lines) only when the animation's
// time has changed since the last frame.
void cViewerScene::pose() {
    if (!m_model.m_skeleton) return;
    const uint32_t time = m_animation.timeMs();
    if (m_posed && time == m_posedAt) return;
    m_model.m_skeleton->update(time);
    for (cSkinnedMesh* mesh : m_model.m_meshes) mesh->skin();
    m_skeletonLines.pose();
    m_posedAt = time;
    m_posed = true;
}

void cViewerScene::frame(uint32_t elapsedMs) {
    m_animation.advance(elapsedMs);
    pose();
    const D3DXVECTOR3 direction = m_camera.direction();
    m_headlight.setDirection(direction.x, direction.y, direction.z);
    begin();
    end();
    present();
}

}  // namespace modelview
