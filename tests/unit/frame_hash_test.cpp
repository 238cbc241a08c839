// The engine's results, frame by frame, must not change when its per-frame code
// is made faster: every effect of the demo plays its whole span in the schedule
// on the recording device, and everything each draw hands the device (the vertex
// and index arrays, the matrices, the render, stage and light state, which
// textures are set) is hashed. The expected hashes were taken from the code
// before its hot loops were rewritten; a mismatch means a result changed, if only
// in its last bit.
#include <cstring>
#include <vector>

#include "engine_fixture.h"
#include "velmordemo.h"

namespace {

using d3d8::recording::recorder;

// 64-bit FNV-1a over words, fast enough for every vertex of every frame.
class Hash {
public:
    void add(const void* data, size_t bytes) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (; bytes >= 8; bytes -= 8, p += 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            mix(word);
        }
        for (; bytes > 0; --bytes, ++p) mix(*p);
    }
    template <typename T>
    void add(const T& value) {
        add(&value, sizeof value);
    }
    uint64_t value() const { return value_; }

private:
    void mix(uint64_t word) { value_ = (value_ ^ word) * 0x100000001B3ull; }
    uint64_t value_ = 0xCBF29CE484222325ull;
};

void hashDraw(Hash& hash, IDirect3DDevice8* device, const d3d8::recording::DrawCall& draw) {
    namespace rec = d3d8::recording;
    hash.add(draw.indexed);  // field by field: the struct has padding
    hash.add(draw.type);
    hash.add(draw.first);
    hash.add(draw.primitiveCount);
    hash.add(draw.minIndex);
    hash.add(draw.numVertices);
    const d3d8::DeviceState& state = *rec::stateOf(device);
    hash.add(state.renderStates);
    hash.add(state.stageStates[0]);
    hash.add(state.stageStates[1]);
    hash.add(state.world);
    hash.add(state.view);
    hash.add(state.projection);
    hash.add(state.textureTransforms[0]);
    hash.add(state.textureTransforms[1]);
    hash.add(state.material);
    hash.add(state.viewport);
    hash.add(state.vertexShader);
    for (const d3d8::LightSlot& slot : state.lights) {
        if (!slot.enabled) continue;
        hash.add(slot.light);
    }
    for (DWORD stage = 0; stage < 2; ++stage) {
        const std::string texture = rec::nameOf(rec::textureOf(device, stage));
        hash.add(texture.data(), texture.size() + 1);
    }
    UINT stride = 0;
    const std::vector<BYTE> vertices = rec::contentsOf(rec::streamSourceOf(device, 0, &stride));
    hash.add(stride);
    hash.add(vertices.data(), vertices.size());
    if (draw.indexed) {
        UINT base = 0;
        const std::vector<BYTE> indices = rec::contentsOf(rec::indicesOf(device, &base));
        hash.add(base);
        hash.add(indices.data(), indices.size());
    }
}

class FrameHashTest : public testing_support::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        cVelmorEffect::s_musicStarted = cVelmorEffect::s_fadedIn = false;
        cDropEffect::s_started = cExtroEffect::s_started = cGreetingsEffect::s_started = false;
        recorder().setQuiet(true);
    }
    void TearDown() override {
        recorder().setDrawObserver(nullptr);
        recorder().setQuiet(false);
        DeviceTest::TearDown();
    }
};

TEST_F(FrameHashTest, EveryEffectDrawsWhatItDrewBefore) {
    constexpr uint32_t kFps = 60;
    constexpr uint32_t kEndMs = 64000;  // where the demo's last scene ends
    // In schedule order.
    constexpr uint64_t kExpected[6] = {
        0xE53F8517EB6F68CBull,  // intro
        0x6118321227A184AEull,  // title and road
        0x455D3B9023F9CAE1ull,  // drops
        0x04226D2DCEE3646Full,  // particles
        0x75A475A42FCB130Aull,  // closing picture
        0x71852789148EC1F2ull,  // greetings
    };

    cVelmorDemo demo;
    demo.compose();
    const std::vector<sScheduleEntry>& schedule = demo.getSchedule();
    for (const sScheduleEntry& entry : schedule) ASSERT_EQ(entry.effect->init(&d3d), S_OK);

    for (size_t e = 0; e < schedule.size(); ++e) {
        const uint32_t spanMs = static_cast<uint32_t>((e + 1 < schedule.size() ? schedule[e + 1].start : kEndMs) -
                                                      schedule[e].start);
        Hash hash;
        uint32_t draws = 0;
        recorder().setDrawObserver([&](IDirect3DDevice8* device, const d3d8::recording::DrawCall& draw) {
            hashDraw(hash, device, draw);
            ++draws;
        });
        for (uint64_t k = 0; k * 1000 / kFps < spanMs; ++k) {
            schedule[e].effect->frame(static_cast<uint32_t>(k * 1000 / kFps));
        }
        EXPECT_GT(draws, 0u);
        EXPECT_EQ(hash.value(), kExpected[e]) << "effect " << e << " starting at " << schedule[e].start << " ms";
    }
    recorder().setDrawObserver(nullptr);
    for (const sScheduleEntry& entry : schedule) entry.effect->release();
}

}  // namespace
