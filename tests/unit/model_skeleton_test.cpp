// Skeletal animation: bind poses, key interpolation, the per-joint cache, parent
// matching and the repairs of parent order and parent loops.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "model.h"
#include "skeleton.h"

namespace {

sMS3DJoint jointRecord(const char* name, const char* parent = "") {
    sMS3DJoint joint{};
    std::strncpy(joint.name, name, sizeof joint.name);
    std::strncpy(joint.parentName, parent, sizeof joint.parentName);
    return joint;
}

void addKey(std::vector<sMS3DKeyframe>& keys, uint16_t& count, float seconds, float x, float y,
            float z) {
    keys.push_back({seconds, {x, y, z}});
    count = static_cast<uint16_t>(keys.size());
}

void expectMatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float tolerance = 1e-5f) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance) << "row " << r << " col " << c;
        }
    }
}

D3DXMATRIX identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXVECTOR3 transformed(const D3DXMATRIX& m, float x, float y, float z) {
    const D3DXVECTOR3 p(x, y, z);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &m);
    return out;
}

TEST(ModelSkeletonTest, EulerAnglesTurnXThenYThenZWithMirroredSigns) {
    D3DXMATRIX rx, ry, rz, expected;
    D3DXMatrixRotationX(&rx, -0.3f);
    D3DXMatrixRotationY(&ry, -0.5f);
    D3DXMatrixRotationZ(&rz, 0.7f);
    D3DXMatrixMultiply(&expected, &rx, &ry);
    D3DXMatrixMultiply(&expected, &expected, &rz);
    expectMatrixNear(eulerToMatrix(0.3f, 0.5f, 0.7f), expected);

    // z keeps its sign: a quarter turn takes x to y, as D3DXMatrixRotationZ does.
    const D3DXVECTOR3 p = transformed(eulerToMatrix(0, 0, 1.5707964f), 1, 0, 0);
    EXPECT_NEAR(p.x, 0, 1e-6f);
    EXPECT_NEAR(p.y, 1, 1e-6f);
}

TEST(ModelSkeletonTest, JointsWithoutKeysStayInTheBindPose) {
    sMS3DJoint records[2] = {jointRecord("root"), jointRecord("child", "root")};
    records[0].rotation[1] = 0.4f;
    records[0].position[0] = 3;
    records[1].rotation[0] = 1.1f;
    records[1].position[2] = -2;
    cSkeleton skeleton;
    skeleton.setup(records, 2, 1000, "default");
    skeleton.update(500);
    expectMatrixNear(skeleton.m_joints[0].m_skinning, identity());
    expectMatrixNear(skeleton.m_joints[1].m_skinning, identity());

    // The child's bind is its own bind times the parent's, with z mirrored.
    D3DXMATRIX local = eulerToMatrix(1.1f, 0, 0);
    local._43 = 2;
    D3DXMATRIX parent = eulerToMatrix(0, 0.4f, 0);
    parent._41 = 3;
    D3DXMATRIX expected;
    D3DXMatrixMultiply(&expected, &local, &parent);
    expectMatrixNear(skeleton.m_joints[1].m_bind, expected);
    EXPECT_EQ(skeleton.m_joints[1].m_parent, &skeleton.m_joints[0]);
}

TEST(ModelSkeletonTest, RotationKeysAreBlendedLinearlyAndHeldOutsideTheirSpan) {
    sMS3DJoint record = jointRecord("spin");
    addKey(record.rotationKeys, record.numRotationKeys, 0.0f, 0, 0, 0);
    addKey(record.rotationKeys, record.numRotationKeys, 1.0f, 1, 0, 0);
    cSkeleton skeleton;
    skeleton.setup(&record, 1, 2000, "default");
    cJoint& joint = skeleton.m_joints[0];
    expectMatrixNear(joint.evaluate(250), eulerToMatrix(0.25f, 0, 0));
    expectMatrixNear(joint.evaluate(1000), eulerToMatrix(1, 0, 0));
    expectMatrixNear(joint.evaluate(1700), eulerToMatrix(1, 0, 0));

    // Before the first key's time, the first key.
    sMS3DJoint late = jointRecord("late");
    addKey(late.rotationKeys, late.numRotationKeys, 0.5f, 0.2f, 0, 0);
    addKey(late.rotationKeys, late.numRotationKeys, 1.0f, 1, 0, 0);
    cSkeleton second;
    second.setup(&late, 1, 2000, "default");
    expectMatrixNear(second.m_joints[0].evaluate(100), eulerToMatrix(0.2f, 0, 0));
}

TEST(ModelSkeletonTest, TranslationKeysMoveAlongMirroredZAndHoldTheLastKey) {
    sMS3DJoint record = jointRecord("slide");
    record.position[0] = 5;  // the keys apply in the joint's own frame
    addKey(record.translationKeys, record.numTranslationKeys, 0.0f, 0, 0, 0);
    addKey(record.translationKeys, record.numTranslationKeys, 1.0f, 4, 0, 8);
    cSkeleton skeleton;
    skeleton.setup(&record, 1, 3000, "default");
    cJoint& joint = skeleton.m_joints[0];
    expectMatrixNear(joint.evaluate(250), translation(1, 0, -2));
    expectMatrixNear(joint.evaluate(2500), translation(4, 0, -8));
}

TEST(ModelSkeletonTest, KeyTimesAreTruncatedToMilliseconds) {
    sMS3DJoint record = jointRecord("k");
    addKey(record.rotationKeys, record.numRotationKeys, 0.0305f, 1, 2, 3);
    addKey(record.rotationKeys, record.numRotationKeys, -0.002f, 0, 0, 0);
    addKey(record.rotationKeys, record.numRotationKeys, std::nanf(""), 0, 0, 0);
    cSkeleton skeleton;
    skeleton.setup(&record, 1, 0, "default");
    EXPECT_EQ(skeleton.m_joints[0].m_rotationKeys[0].time, 30u);
    EXPECT_EQ(skeleton.m_joints[0].m_rotationKeys[0].x, 1);
    EXPECT_EQ(skeleton.m_joints[0].m_rotationKeys[1].time, static_cast<uint32_t>(-2));
    EXPECT_EQ(skeleton.m_joints[0].m_rotationKeys[2].time, 0x80000000u);
}

TEST(ModelSkeletonTest, EachJointComputesATimeOnce) {
    sMS3DJoint record = jointRecord("cached");
    addKey(record.translationKeys, record.numTranslationKeys, 0.0f, 0, 0, 0);
    addKey(record.translationKeys, record.numTranslationKeys, 1.0f, 10, 0, 0);
    cSkeleton skeleton;
    skeleton.setup(&record, 1, 1000, "default");
    cJoint& joint = skeleton.m_joints[0];
    EXPECT_EQ(joint.m_lastTime, cJoint::kNoTime);
    EXPECT_NEAR(joint.evaluate(500)._41, 5, 1e-5f);

    // Changing the keys shows only once another time has been asked in between.
    joint.m_translationKeys[1].x = 20;
    EXPECT_NEAR(joint.evaluate(500)._41, 5, 1e-5f) << "served from the cache";
    EXPECT_NEAR(joint.evaluate(400)._41, 8, 1e-5f);
    EXPECT_NEAR(joint.evaluate(500)._41, 10, 1e-5f) << "recomputed";

    // The sentinel time is a time like any other the first time it is asked.
    cSkeleton fresh;
    fresh.setup(&record, 1, 0, "default");
    EXPECT_NEAR(fresh.m_joints[0].evaluate(cJoint::kNoTime)._41, 10, 1e-5f);
}

TEST(ModelSkeletonTest, ChildrenFollowTheirAnimatedParent) {
    sMS3DJoint records[2] = {jointRecord("root"), jointRecord("arm", "root")};
    records[1].position[0] = 2;
    addKey(records[0].rotationKeys, records[0].numRotationKeys, 0.0f, 0, 0, 1.5707964f);
    cSkeleton skeleton;
    skeleton.setup(records, 2, 1000, "default");
    skeleton.update(0);
    // A point at the arm's joint turns a quarter about the root: (2,0,0) to (0,2,0).
    const D3DXVECTOR3 p = transformed(skeleton.m_joints[1].m_skinning, 2, 0, 0);
    EXPECT_NEAR(p.x, 0, 1e-5f);
    EXPECT_NEAR(p.y, 2, 1e-5f);
}

TEST(ModelSkeletonTest, ParentsAreMatchedByNameAndTheLastMatchWins) {
    sMS3DJoint records[4] = {jointRecord("a"), jointRecord("a"), jointRecord("b", "a"),
                             jointRecord("c", "nobody")};
    cSkeleton skeleton;
    skeleton.setup(records, 4, 0, "default");
    EXPECT_EQ(skeleton.m_joints[2].m_parentIndex, 1);
    EXPECT_EQ(skeleton.m_joints[2].m_parent, &skeleton.m_joints[1]);
    EXPECT_EQ(skeleton.m_joints[3].m_parentIndex, -1);
    EXPECT_EQ(skeleton.m_joints[3].m_parent, nullptr);
    EXPECT_EQ(skeleton.m_name, "default");
    EXPECT_EQ(skeleton.m_jointCount, 4u);
}

TEST(ModelSkeletonTest, AParentListedAfterItsChildStillGivesTheFinalBind) {
    sMS3DJoint inOrder[2] = {jointRecord("parent"), jointRecord("child", "parent")};
    inOrder[0].position[1] = 4;
    inOrder[0].rotation[2] = 0.5f;
    inOrder[1].position[0] = 1;
    sMS3DJoint reversed[2] = {inOrder[1], inOrder[0]};
    cSkeleton a, b;
    a.setup(inOrder, 2, 0, "default");
    b.setup(reversed, 2, 0, "default");
    EXPECT_EQ(b.m_joints[0].m_parentIndex, 1);
    expectMatrixNear(b.m_joints[0].m_bind, a.m_joints[1].m_bind);
    expectMatrixNear(b.m_joints[0].m_inverseBind, a.m_joints[1].m_inverseBind);
}

TEST(ModelSkeletonTest, LoopsOfParentNamesAreCutWhereTheyClose) {
    sMS3DJoint records[4] = {jointRecord("self", "self"), jointRecord("x", "z"),
                             jointRecord("y", "x"), jointRecord("z", "y")};
    addKey(records[1].translationKeys, records[1].numTranslationKeys, 0.0f, 1, 0, 0);
    cSkeleton skeleton;
    skeleton.setup(records, 4, 0, "default");
    EXPECT_EQ(skeleton.m_joints[0].m_parent, nullptr);
    // Every chain now ends at a root.
    int roots = 0;
    for (uint32_t i = 1; i < 4; ++i) {
        int steps = 0;
        for (cJoint* j = &skeleton.m_joints[i]; j->m_parent; j = j->m_parent) ASSERT_LT(++steps, 4);
        if (!skeleton.m_joints[i].m_parent) ++roots;
    }
    EXPECT_EQ(roots, 1);
    skeleton.update(0);  // terminates
}

TEST(ModelSkeletonTest, LongChainsListedChildFirstNeedNoDeepRecursion) {
    // 65535 joints, each the parent of the one before it: the root is last.
    const uint32_t count = 65535;
    std::vector<sMS3DJoint> records(count);
    for (uint32_t i = 0; i < count; ++i) {
        records[i] = jointRecord(("j" + std::to_string(i)).c_str(),
                                 ("j" + std::to_string(i + 1)).c_str());
    }
    addKey(records[count - 1].translationKeys, records[count - 1].numTranslationKeys, 0.0f, 5, 0, 0);
    cSkeleton skeleton;
    skeleton.setup(records.data(), count, 1000, "default");
    EXPECT_EQ(skeleton.m_joints[count - 1].m_parent, nullptr);
    skeleton.update(0);
    EXPECT_NEAR(skeleton.m_joints[0].m_skinning._41, 5, 1e-4f);
}

}  // namespace
