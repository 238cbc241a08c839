#include "node.h"

#include <cmath>

#include "buffers.h"
#include "d3d.h"
#include "engine_fixture.h"
#include "texture.h"

namespace {

using d3d8::recording::recorder;

D3DXVECTOR3 originOf(const D3DXMATRIX& m) { return D3DXVECTOR3(m._41, m._42, m._43); }

void expectNear(const D3DXVECTOR3& actual, float x, float y, float z) {
    EXPECT_NEAR(actual.x, x, 1e-5f);
    EXPECT_NEAR(actual.y, y, 1e-5f);
    EXPECT_NEAR(actual.z, z, 1e-5f);
}

TEST(NodeTest, FreshNodeIsIdentityEmptyEnabledAndDetached) {
    cNode node;
    EXPECT_TRUE(node.m_transform == identityMatrix());
    EXPECT_TRUE(node.m_children.empty());
    EXPECT_TRUE(node.m_states.empty());
    EXPECT_TRUE(node.m_enabled);
    EXPECT_EQ(node.m_d3d, nullptr);
}

TEST(NodeTest, TransformsPostMultiplyInTheParentsFrame) {
    cNode moveThenTurn;
    moveThenTurn.translate(1, 0, 0)->rotateZ(static_cast<float>(M_PI / 2));
    expectNear(originOf(moveThenTurn.m_transform), 0, 1, 0);

    cNode turnThenMove;
    turnThenMove.rotateZ(static_cast<float>(M_PI / 2))->translate(1, 0, 0);
    expectNear(originOf(turnThenMove.m_transform), 1, 0, 0);

    cNode scaled;
    scaled.translate(1, 2, 3)->scale(2, 2, 2);
    expectNear(originOf(scaled.m_transform), 2, 4, 6);
}

TEST(NodeTest, SaveAndRestoreTransform) {
    cNode node;
    node.translate(1, 2, 3)->saveTransform();
    node.rotateX(1)->scale(3, 3, 3)->translate(5, 5, 5);
    node.restoreTransform();
    expectNear(originOf(node.m_transform), 1, 2, 3);
    EXPECT_FLOAT_EQ(node.m_transform._11, 1);

    D3DXMATRIX given;
    D3DXMatrixScaling(&given, 2, 3, 4);
    node.setTransform(&given)->resetTransform();
    EXPECT_TRUE(node.m_transform == identityMatrix());
}

TEST(NodeTest, ChildAndStateLists) {
    cNode node;
    cNode a, b;
    EXPECT_FALSE(node.addChild(&node));
    EXPECT_TRUE(node.m_children.empty());
    EXPECT_TRUE(node.addChild(&a));
    EXPECT_TRUE(node.addChild(&b));
    EXPECT_TRUE(node.addChild(&a));
    EXPECT_TRUE(node.removeChild(&a));  // only the first entry goes
    ASSERT_EQ(node.m_children.size(), 2u);
    EXPECT_EQ(node.getChild(0), &b);
    EXPECT_EQ(node.getChild(1), &a);
    EXPECT_EQ(node.getChild(7), nullptr);
    EXPECT_FALSE(node.removeState(&a));
    node.addState(&a);
    EXPECT_EQ(node.getState(0), &a);
    EXPECT_TRUE(node.removeState(&a));
}

TEST(NodeTest, MeshTextureSlots) {
    cMesh mesh;
    cTexture texture;
    mesh.setTexture(&texture, 1);
    EXPECT_EQ(texture.m_stage, 1u);
    EXPECT_EQ(mesh.m_textures[1], &texture);
    EXPECT_TRUE(mesh.removeTexture(1));
    EXPECT_FALSE(mesh.removeTexture(1));
    mesh.setTexture(&texture, 5);  // past the two slots: ignored, nothing overwritten
    EXPECT_EQ(mesh.m_textures[0], nullptr);
    EXPECT_EQ(mesh.m_textures[1], nullptr);
    EXPECT_FALSE(mesh.removeTexture(5));
}

// A state that marks its begin and end in the device's call log.
class TraceState : public cRenderObject {
public:
    explicit TraceState(DWORD id) : m_id(id) {}
    HRESULT begin() override {
        m_d3d->m_device->SetRenderState(D3DRS_ALPHAREF, m_id);
        return cRenderObject::begin();
    }
    HRESULT end() override {
        m_d3d->m_device->SetRenderState(D3DRS_DITHERENABLE, m_id);
        return cRenderObject::end();
    }
    DWORD m_id;
};

// A mesh with its own one-triangle buffers.
struct TestMesh : cMesh {
    TestMesh() {
        vertices.allocate(3);
        indices.allocate(1);
        setVertexBuffer(&vertices);
        setIndexBuffer(&indices);
    }
    cColorVertexBuffer vertices;
    cIndexBuffer indices;
};

class FrameTest : public testing_support::DeviceTest {
protected:
    // The calls of one frame, as "Method" or, for the trace states, their marks.
    std::vector<std::string> frame(cScene& scene) {
        recorder().clearCalls();
        scene.begin();
        scene.end();
        scene.present();
        std::vector<std::string> calls;
        for (const auto& call : recorder().calls()) {
            if (call.method == "SetRenderState" &&
                call.text.rfind("SetRenderState(24, ", 0) == 0) {
                calls.push_back("begin " + call.text.substr(19, call.text.size() - 20));
            } else if (call.method == "SetRenderState" &&
                       call.text.rfind("SetRenderState(26, ", 0) == 0) {
                calls.push_back("end " + call.text.substr(19, call.text.size() - 20));
            } else {
                calls.push_back(call.method);
            }
        }
        return calls;
    }

};

TEST_F(FrameTest, EmptySceneClearsBracketsAndPresents) {
    cScene scene;
    scene.init(&d3d);
    EXPECT_EQ(frame(scene),
              (std::vector<std::string>{"Clear", "BeginScene", "EndScene", "Present"}));
    EXPECT_EQ(s_MatrixStack.depth(), 0u);
}

TEST_F(FrameTest, WholeFrameWalksStatesAndChildrenInOrder) {
    cScene scene;
    TraceState a(1), b(2), c(3);
    cNode n;
    TestMesh m, q;
    scene.addState(&a);
    scene.addState(&b);
    n.addState(&c);
    n.addChild(&m);
    scene.addChild(&n);
    scene.addChild(&q);
    ASSERT_EQ(scene.init(&d3d), S_OK);
    const std::vector<std::string> draw = {"SetTransform", "SetStreamSource", "SetIndices",
                                           "SetVertexShader", "DrawIndexedPrimitive"};
    std::vector<std::string> expected = {"Clear", "BeginScene", "begin 1", "begin 2", "begin 3"};
    expected.insert(expected.end(), draw.begin(), draw.end());
    expected.push_back("end 3");
    expected.insert(expected.end(), draw.begin(), draw.end());
    for (const char* tail : {"end 2", "end 1", "EndScene", "Present"}) expected.push_back(tail);
    EXPECT_EQ(frame(scene), expected);
    EXPECT_EQ(s_MatrixStack.depth(), 0u);
    scene.release();
}

TEST_F(FrameTest, DisabledChildrenAndStatesAreSkipped) {
    cScene scene;
    TraceState a(1);
    TestMesh m;
    scene.addState(&a);
    scene.addChild(&m);
    scene.init(&d3d);
    a.m_enabled = false;
    m.m_enabled = false;
    EXPECT_EQ(frame(scene),
              (std::vector<std::string>{"Clear", "BeginScene", "EndScene", "Present"}));
    scene.release();
}

TEST_F(FrameTest, MeshDrawsWithItsWorldMatrixLocalFirst) {
    cScene scene;
    cNode parent;
    TestMesh mesh;
    parent.translate(0, 0, 5);
    mesh.rotateY(static_cast<float>(M_PI / 2))->translate(1, 0, 0);
    parent.addChild(&mesh);
    scene.addChild(&parent);
    scene.init(&d3d);
    frame(scene);
    D3DMATRIX world;
    ASSERT_EQ(d3d.m_device->GetTransform(D3DTS_WORLD, &world), S_OK);
    EXPECT_NEAR(world._41, 1, 1e-5f);
    EXPECT_NEAR(world._42, 0, 1e-5f);
    EXPECT_NEAR(world._43, 5, 1e-5f);
    EXPECT_NEAR(world._13, -1, 1e-5f);  // the mesh's own rotation is kept
    scene.release();
}

TEST_F(FrameTest, FailingChildStopsItsSiblingsAndTheStackIsRebalanced) {
    cScene scene;
    TestMesh first, second;
    scene.addChild(&first);
    scene.addChild(&second);
    scene.init(&d3d);
    recorder().failNth("DrawIndexedPrimitive", 1, E_FAIL);
    const auto calls = frame(scene);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawIndexedPrimitive"), 1);
    EXPECT_EQ(s_MatrixStack.depth(), 0u) << "a failed frame must not leave entries behind";
    scene.release();
}

TEST_F(FrameTest, MeshWithoutIndexBufferDrawsUnindexed) {
    cScene scene;
    cMesh mesh;
    cColorVertexBuffer vertices;
    vertices.allocate(6);
    mesh.setVertexBuffer(&vertices);
    scene.addChild(&mesh);
    scene.init(&d3d);
    const auto calls = frame(scene);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawPrimitive"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetIndices"), 0);
    const auto draws = recorder().callsOf("DrawPrimitive");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].text, "DrawPrimitive(4, 0, 2)") << "six list vertices make two triangles";
    scene.release();
}

TEST_F(FrameTest, SceneFailuresAreLoggedWithTheirCallTexts) {
    cScene scene;
    scene.init(&d3d);
    answers = {IDYES, IDYES, IDYES};
    recorder().failNth("Clear", 1, E_FAIL);
    recorder().failNth("EndScene", 1, D3DERR_INVALIDCALL);
    recorder().failNth("Present", 1, D3DERR_DEVICELOST);
    frame(scene);
    log.close();
    const std::string file = readLogFile();
    EXPECT_NE(file.find("DirectX call 'IDirect3DDevice8::Clear' failed"), std::string::npos);
    EXPECT_NE(file.find("DirectX call 'IDirect3DDevice8::EndScene' failed"), std::string::npos);
    EXPECT_NE(file.find("DirectX call 'IDirect3DDevice8::Present' failed: Direct3D: The device is "
                        "lost"),
              std::string::npos);
    EXPECT_EQ(boxes.size(), 3u);
}

TEST_F(FrameTest, ReleaseEmptiesBothListsEvenWhenAPartFails) {
    cNode node;
    cTexture neverLoaded;  // its release reports false
    cNode child;
    node.addState(&neverLoaded);
    node.addChild(&child);
    node.init(&d3d);
    EXPECT_FALSE(node.release());
    EXPECT_TRUE(node.m_children.empty());
    EXPECT_TRUE(node.m_states.empty());
    EXPECT_EQ(node.m_d3d, nullptr);
}

}  // namespace
