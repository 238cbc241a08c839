// The viewer's scene: one MS3D model framed by an orbiting camera, lit from the
// eye, drawn solid or as a wireframe, its skeleton drawn over it on request, and
// its animation played on the viewer's own clock.
#pragma once

#include <string>
#include <vector>

#include "animation_player.h"
#include "buffers.h"
#include "light.h"
#include "model.h"
#include "model_facts.h"
#include "orbit_camera.h"

namespace modelview {

// Render states set while the node it is attached to draws, and put back to
// what they were when it ends.
class cRenderStateOverride : public cRenderObject {
public:
    void set(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT begin() override;
    HRESULT end() override;

private:
    struct Entry {
        D3DRENDERSTATETYPE state;
        DWORD value;
        DWORD saved;
    };
    std::vector<Entry> m_entries;
};

// A line from each joint to its parent in the skeleton's current pose, unlit and
// drawn over whatever is already there.
class cSkeletonLines : public cMesh {
public:
    cSkeletonLines();
    // Sizes the lines for the skeleton's joints; before init.
    void build(cSkeleton* skeleton);
    // Moves the lines to the skeleton's current pose and uploads them.
    void pose();

private:
    cSkeleton* m_skeleton = nullptr;
    cColorVertexBuffer m_lines;
    cRenderStateOverride m_overlay;
};

class cViewerScene : public cScene {
public:
    cViewerScene();
    ~cViewerScene() override;
    cViewerScene(const cViewerScene&) = delete;
    cViewerScene& operator=(const cViewerScene&) = delete;

    // Reads the model file; textures are found as findTexture finds them. False
    // for a file that cannot be read as an MS3D version 4 model.
    bool load(const std::string& fileName);
    // After load: puts the model on the device and frames it for the viewport.
    HRESULT init(cD3D* d3d) override;
    bool release() override;

    // Moves the animation on by `elapsedMs` (while it plays), poses the model
    // and draws and presents one frame.
    void frame(uint32_t elapsedMs);

    void toggleWireframe() { m_wireframe.m_enabled = !m_wireframe.m_enabled; }
    void toggleSkeleton() { m_skeletonLines.m_enabled = !m_skeletonLines.m_enabled; }

    ModelFacts m_facts;
    AnimationPlayer m_animation{0, 0};
    cOrbitCamera m_camera;
    cModel m_model;

private:
    std::vector<D3DXVECTOR3> bindPose() const;
    void pose();

    cLight m_headlight;
    cRenderStateOverride m_wireframe;
    cSkeletonLines m_skeletonLines;
    uint32_t m_posedAt = 0;
    bool m_posed = false;
};

}  // namespace modelview
