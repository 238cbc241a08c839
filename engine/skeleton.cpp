#include "skeleton.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "model.h"

D3DXMATRIX eulerToMatrix(float x, float y, float z) {
    D3DXMATRIX rx, ry, rz, result;
    D3DXMatrixRotationX(&rx, -x);
    D3DXMatrixRotationY(&ry, -y);
    D3DXMatrixRotationZ(&rz, z);
    D3DXMatrixMultiply(&result, &rx, &ry);
    D3DXMatrixMultiply(&result, &result, &rz);
    return result;
}

namespace {

// The key values at `t` ms: before the first key its values, after the last key
// the last one's, in between a linear blend of the two keys around t. The keys
// are scanned in file order for the first one later than t, so every key before
// it is at or before t and the blend's time span is never zero.
void interpolateKeys(const sJointKey* keys, uint32_t count, uint32_t t, float out[3]) {
    uint32_t next = 0;
    while (next < count && keys[next].time <= t) ++next;
    if (next == 0 || next == count) {
        const sJointKey& held = keys[next == 0 ? 0 : count - 1];
        out[0] = held.x, out[1] = held.y, out[2] = held.z;
        return;
    }
    const sJointKey& a = keys[next - 1];
    const sJointKey& b = keys[next];
    const float w = static_cast<float>(b.time - t) / static_cast<float>(b.time - a.time);
    out[0] = a.x * w + b.x * (1 - w);
    out[1] = a.y * w + b.y * (1 - w);
    out[2] = a.z * w + b.z * (1 - w);
}

// A key time in ms from the file's seconds, truncated toward zero to a signed
// 32-bit value and kept as its unsigned bits.
uint32_t keyTime(float seconds) { return static_cast<uint32_t>(truncateToInt32(seconds * 1000.0f)); }

void copyKeys(const std::vector<sMS3DKeyframe>& from, sJointKey* to, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        to[k].time = keyTime(from[k].time);
        to[k].x = from[k].parameter[0];
        to[k].y = from[k].parameter[1];
        to[k].z = from[k].parameter[2];
    }
}

// Each joint's parent index: the last joint whose name equals its parentName,
// or -1. One pass over a name table keeps this linear in the joint count.
std::vector<int32_t> findParents(const sMS3DJoint* joints, uint32_t count) {
    std::unordered_map<std::string, int32_t> lastJointNamed;
    for (uint32_t i = 0; i < count; ++i) {
        lastJointNamed[ms3dName(joints[i].name, sizeof joints[i].name)] = static_cast<int32_t>(i);
    }
    std::vector<int32_t> parents(count, -1);
    for (uint32_t j = 0; j < count; ++j) {
        const auto found =
            lastJointNamed.find(ms3dName(joints[j].parentName, sizeof joints[j].parentName));
        if (found != lastJointNamed.end()) parents[j] = found->second;
    }
    return parents;
}

// Orders the joints parents first and cuts every loop of parent links (a joint
// naming itself, or a ring of names) at the joint whose link closes it, which
// becomes a root. Walks are iterative: chains may be as long as the joint count.
std::vector<uint32_t> parentsFirstOrder(std::vector<int32_t>& parents) {
    enum : uint8_t { kUnvisited, kOnPath, kDone };
    const uint32_t count = static_cast<uint32_t>(parents.size());
    std::vector<uint8_t> state(count, kUnvisited);
    std::vector<uint32_t> order;
    std::vector<uint32_t> path;
    order.reserve(count);
    for (uint32_t start = 0; start < count; ++start) {
        uint32_t joint = start;
        while (state[joint] == kUnvisited) {
            state[joint] = kOnPath;
            path.push_back(joint);
            const int32_t parent = parents[joint];
            if (parent < 0) break;
            if (state[parent] == kOnPath) {
                parents[joint] = -1;
                break;
            }
            joint = static_cast<uint32_t>(parent);
        }
        while (!path.empty()) {
            order.push_back(path.back());
            state[path.back()] = kDone;
            path.pop_back();
        }
    }
    return order;
}

}  // namespace

// ---------------------------------------------------------------------------
// Joint

cJoint::cJoint()
    : m_bind(identityMatrix()),
      m_inverseBind(identityMatrix()),
      m_rotationKeyCount(0),
      m_translationKeyCount(0),
      m_skinning(identityMatrix()),
      m_cachedResult(identityMatrix()),
      m_lastTime(kNoTime),
      m_parentIndex(-1),
      m_parent(nullptr),
      m_hasCache(false) {}

void cJoint::setup(cJoint* parent, int32_t parentIndex, const std::string& name,
                   uint32_t rotationKeyCount, uint32_t translationKeyCount, float rotationX,
                   float rotationY, float rotationZ, float positionX, float positionY,
                   float positionZ) {
    m_parent = parent;
    m_parentIndex = parentIndex;
    m_name = name;
    m_lastTime = kNoTime;
    m_hasCache = false;

    m_rotationKeyCount = rotationKeyCount;
    m_translationKeyCount = translationKeyCount;
    m_rotationKeys.reset(new sJointKey[rotationKeyCount]());
    m_translationKeys.reset(new sJointKey[translationKeyCount]());

    m_bind = eulerToMatrix(rotationX, rotationY, rotationZ);
    m_bind._41 = positionX;
    m_bind._42 = positionY;
    m_bind._43 = -positionZ;
    if (m_parent) D3DXMatrixMultiply(&m_bind, &m_bind, &m_parent->m_bind);
    // A bind that cannot be inverted (only non-finite angles or positions make
    // one) keeps the identity rather than an undefined matrix.
    if (!D3DXMatrixInverse(&m_inverseBind, nullptr, &m_bind)) D3DXMatrixIdentity(&m_inverseBind);
}

void cJoint::clearKeys() {
    m_rotationKeys.reset();
    m_translationKeys.reset();
    m_rotationKeyCount = 0;
    m_translationKeyCount = 0;
}

D3DXMATRIX cJoint::evaluate(uint32_t t) {
    if (m_hasCache && t == m_lastTime) return m_cachedResult;
    // Set before the parent is asked: a loop of parents then ends at the first
    // joint met again, which answers its previous result.
    m_lastTime = t;
    m_hasCache = true;

    D3DXMATRIX rotation, translation, keyed;
    D3DXMatrixIdentity(&rotation);
    D3DXMatrixIdentity(&translation);
    float value[3];
    if (m_rotationKeyCount > 0) {
        interpolateKeys(m_rotationKeys.get(), m_rotationKeyCount, t, value);
        rotation = eulerToMatrix(value[0], value[1], value[2]);
    }
    if (m_translationKeyCount > 0) {
        interpolateKeys(m_translationKeys.get(), m_translationKeyCount, t, value);
        D3DXMatrixTranslation(&translation, value[0], value[1], -value[2]);
    }
    D3DXMatrixMultiply(&keyed, &rotation, &translation);

    // Into the joint's bind frame, moved by the keys, back to model space.
    D3DXMatrixMultiply(&m_skinning, &m_inverseBind, &keyed);
    D3DXMatrixMultiply(&m_skinning, &m_skinning, &m_bind);
    if (m_parent) {
        const D3DXMATRIX parentResult = m_parent->evaluate(t);
        D3DXMatrixMultiply(&m_skinning, &m_skinning, &parentResult);
    }
    m_cachedResult = m_skinning;
    return m_cachedResult;
}

// ---------------------------------------------------------------------------
// Skeleton

cSkeleton::cSkeleton() : m_jointCount(0), m_totalLength(0) {}

cSkeleton::~cSkeleton() { clear(); }

void cSkeleton::setup(const sMS3DJoint* joints, uint32_t jointCount, uint32_t totalLength,
                      std::string name) {
    m_jointCount = joints ? jointCount : 0;
    m_totalLength = totalLength;
    m_name = std::move(name);
    m_joints.reset(new cJoint[m_jointCount]);

    std::vector<int32_t> parents = findParents(joints, m_jointCount);
    const std::vector<uint32_t> order = parentsFirstOrder(parents);
    m_evaluationOrder.reset(new uint32_t[m_jointCount]);
    for (uint32_t i = 0; i < m_jointCount; ++i) m_evaluationOrder[i] = order[i];

    for (uint32_t j : order) {
        const sMS3DJoint& record = joints[j];
        const int32_t parentIndex = parents[j];
        // Counts beyond the keys really read would leave keys unset: never more
        // than the arrays hold.
        const uint32_t rotationKeys = static_cast<uint32_t>(
            std::min<size_t>(record.numRotationKeys, record.rotationKeys.size()));
        const uint32_t translationKeys = static_cast<uint32_t>(
            std::min<size_t>(record.numTranslationKeys, record.translationKeys.size()));
        cJoint& joint = m_joints[j];
        joint.setup(parentIndex >= 0 ? &m_joints[parentIndex] : nullptr, parentIndex,
                    ms3dName(record.name, sizeof record.name), rotationKeys, translationKeys,
                    record.rotation[0], record.rotation[1], record.rotation[2],
                    record.position[0], record.position[1], record.position[2]);
        copyKeys(record.rotationKeys, joint.m_rotationKeys.get(), rotationKeys);
        copyKeys(record.translationKeys, joint.m_translationKeys.get(), translationKeys);
    }
}

void cSkeleton::update(uint32_t t) {
    for (uint32_t i = 0; i < m_jointCount; ++i) m_joints[m_evaluationOrder[i]].evaluate(t);
}

void cSkeleton::clear() {
    for (uint32_t i = 0; i < m_jointCount; ++i) m_joints[i].clearKeys();
    m_joints.reset();
    m_evaluationOrder.reset();
    m_name.clear();
    m_jointCount = 0;
    m_totalLength = 0;
}
