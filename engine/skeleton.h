// Skeletal animation: the joints of an MS3D model with their bind poses and key
// frames, brought to a time in milliseconds as one skinning matrix per joint.
//
// Matrices are D3DX's: row vectors, a point p transforms as p × M, and A × B
// applies A first. Geometry from the file is right-handed; the model mirrors it
// into Direct3D's left-handed frame by negating z, and eulerToMatrix turns the
// file's angles to match.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "d3dx8.h"

struct sMS3DJoint;

// The rotation of the file's Euler angles (radians) in the mirrored frame:
// RotationX(-x) × RotationY(-y) × RotationZ(z), so x turns first, then y, then z.
D3DXMATRIX eulerToMatrix(float x, float y, float z);

// One key frame: a rotation (Euler angles) or a translation at a time.
struct sJointKey {
    float x, y, z;
    uint32_t time;  // ms
};

class cJoint {
public:
    // The time `m_lastTime` holds before anything was evaluated. It is also a
    // legal time, so `m_hasCache` says whether the cached result is real.
    static constexpr uint32_t kNoTime = 99999999;

    cJoint();
    cJoint(const cJoint&) = delete;
    cJoint& operator=(const cJoint&) = delete;

    // The parent's bind must be final: set up parents before their children.
    void setup(cJoint* parent, int32_t parentIndex, const std::string& name,
               uint32_t rotationKeyCount, uint32_t translationKeyCount, float rotationX,
               float rotationY, float rotationZ, float positionX, float positionY,
               float positionZ);
    // The skinning matrix at `t` ms: inverse bind × keys × bind × the parent's
    // result. The last time's result is cached, so a parent shared by many
    // children is computed once per time.
    D3DXMATRIX evaluate(uint32_t t);
    // Frees both key arrays.
    void clearKeys();

    D3DXMATRIX m_bind;  // absolute: local bind × the parent's bind
    D3DXMATRIX m_inverseBind;
    uint32_t m_rotationKeyCount;
    uint32_t m_translationKeyCount;
    std::unique_ptr<sJointKey[]> m_rotationKeys;
    std::unique_ptr<sJointKey[]> m_translationKeys;
    D3DXMATRIX m_skinning;      // the result of the last evaluate
    D3DXMATRIX m_cachedResult;  // equal to m_skinning after every evaluate
    uint32_t m_lastTime;
    int32_t m_parentIndex;  // -1 for a root
    cJoint* m_parent;       // not owned; null for a root
    std::string m_name;
    bool m_hasCache;
};

class cSkeleton {
public:
    cSkeleton();
    ~cSkeleton();
    cSkeleton(const cSkeleton&) = delete;
    cSkeleton& operator=(const cSkeleton&) = delete;

    // Builds one joint per record. The skeleton must be empty (new or cleared).
    // Parents are matched by name (the last joint of that name wins; no match
    // makes a root). A parent listed after its child is set up first all the
    // same, and a chain of parents that loops back is cut where it closes, so
    // every joint ends up with a final bind and a finite chain to its root.
    void setup(const sMS3DJoint* joints, uint32_t jointCount, uint32_t totalLength,
               std::string name);
    // Brings every joint to `t` ms; each keeps its skinning matrix.
    void update(uint32_t t);
    void clear();

    std::string m_name;
    std::unique_ptr<cJoint[]> m_joints;
    uint32_t m_jointCount;
    uint32_t m_totalLength;  // ms

private:
    // Joint indices with every parent before its children: update evaluates in
    // this order, so evaluate always finds its parent cached and never recurses
    // deeper than one level, however long the chains.
    std::unique_ptr<uint32_t[]> m_evaluationOrder;
};
