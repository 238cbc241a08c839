// The generated test model "terraT.ms3d", read back through the engine's reader:
// the data generator's writer and the reader agree on every section.
#include <cstring>

#include "engine_fixture.h"
#include "model.h"
#include "terrat_model.h"

namespace {

using ModelTerraTTest = testing_support::DeviceTest;

TEST_F(ModelTerraTTest, GeneratedTestModelLoadsAndWalks) {
    const ms3d::Model source = datagen::buildTestModel();
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(ms3d::serialize(source, bytes, &error)) << error;
    writeFile(datagen::kTestModelFile, std::string(bytes.begin(), bytes.end()));

    crt::VirtualClock clock(0);
    crt::setClockSource(clock.source());
    cModel model;
    ASSERT_TRUE(model.load(datagen::kTestModelFile, ""));
    EXPECT_EQ(model.m_meshes.size(), source.groups.size());
    EXPECT_EQ(model.m_materials.size(), source.materials.size());
    size_t triangles = 0;
    for (cSkinnedMesh* mesh : model.m_meshes) triangles += mesh->m_triangles.m_count;
    EXPECT_EQ(triangles, source.triangles.size());

    ASSERT_EQ(model.m_skeleton->m_jointCount, datagen::kTestModelJoints.size());
    for (uint32_t j = 0; j < model.m_skeleton->m_jointCount; ++j) {
        EXPECT_EQ(model.m_skeleton->m_joints[j].m_name, datagen::kTestModelJoints[j]);
        EXPECT_LT(model.m_skeleton->m_joints[j].m_parentIndex, static_cast<int32_t>(j))
            << "parents come first";
    }
    EXPECT_EQ(model.m_skeleton->m_totalLength,
              ms3dAnimationLength(source.totalFrames, source.animationFps));

    // Two moments of the walk differ; the bind pose copied at init is the start.
    ASSERT_EQ(model.init(&d3d), S_OK);
    model.m_animate = true;
    std::vector<LitVertex> first;
    for (uint32_t t : {0u, model.m_skeleton->m_totalLength / 4}) {
        clock.set(t);
        model.begin();
        model.end();
        std::vector<LitVertex> pose;
        for (cSkinnedMesh* mesh : model.m_meshes) {
            const LitVertex* v = mesh->m_drawnVertices.getVertices();
            pose.insert(pose.end(), v, v + mesh->m_drawnVertices.m_count);
        }
        if (first.empty()) {
            first = pose;
            continue;
        }
        size_t moved = 0;
        for (size_t i = 0; i < pose.size(); ++i) {
            if (std::memcmp(&pose[i], &first[i], sizeof(float) * 3) != 0) ++moved;
        }
        EXPECT_GT(moved, pose.size() / 10);
    }
    crt::setClockSource(nullptr);
}

}  // namespace
