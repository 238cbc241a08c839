// Regression cases for what fuzzing the readers found (tools/fuzz). Each case
// is the smallest input that showed the fault, written out here.
//
// - MS3D reader: a section's count was trusted before the file was seen to hold
//   that many records, so a file of a few bytes that declared 65535 materials
//   made the reader allocate 24 MB before it noticed the file had ended (and
//   fuzzing ran ten times slower for it). Every count is now checked against the
//   bytes left in the file first.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "counting_new.h"
#include "model.h"

namespace {

// ---------------------------------------------------------------------------
// MS3D files that declare more records than they hold

std::string u16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string zeros(size_t n) { return std::string(n, '\0'); }

const std::string kHeader = std::string("MS3D000000", 10) + std::string("\x04\0\0\0", 4);
const std::string kNoMeshes = u16(0) + u16(0) + u16(0);                // vertices, triangles, groups
const std::string kNoMaterialsNoAnimation = u16(0) + zeros(12);        // materials, fps, time, frames
const std::string kJointHeadBeforeKeyCounts = zeros(1 + 32 + 32 + 24);  // flags, names, rotation, position

struct OverstatedFile {
    const char* section;
    std::string bytes;  // the header excluded; each file ends right after its count
};

const OverstatedFile kOverstatedFiles[] = {
    {"vertices", u16(0xFFFF)},
    {"triangles", u16(0) + u16(0xFFFF)},
    {"groups", u16(0) + u16(0) + u16(0xFFFF)},
    {"a group's triangle list", u16(0) + u16(0) + u16(1) + zeros(33) + u16(0xFFFF)},
    {"materials", kNoMeshes + u16(0xFFFF)},
    {"joints", kNoMeshes + kNoMaterialsNoAnimation + u16(0xFFFF)},
    {"a joint's rotation keys",
     kNoMeshes + kNoMaterialsNoAnimation + u16(1) + kJointHeadBeforeKeyCounts + u16(0xFFFF) + u16(0)},
    {"a joint's translation keys",
     kNoMeshes + kNoMaterialsNoAnimation + u16(1) + kJointHeadBeforeKeyCounts + u16(0) + u16(0xFFFF)},
};

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File fileHolding(const std::string& bytes) {
    File file(std::tmpfile(), &std::fclose);
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

TEST(FuzzRegressions, Ms3dCountsTheFileCannotHoldAreRefusedBeforeAllocating) {
    // Unchecked, the smallest array these files made was the group list's
    // 128 KiB and the largest the materials' 24 MB; checked, none is made:
    // 64 KiB separates the two.
    constexpr size_t kMostBytes = 64 * 1024;
    for (const OverstatedFile& overstated : kOverstatedFiles) {
        SCOPED_TRACE(overstated.section);
        File file = fileHolding(kHeader + overstated.bytes);
        ASSERT_TRUE(file);
        ASSERT_TRUE(readMS3DHeader(file.get()));
        sMS3DData data;
        counting_new::largest = 0;
        counting_new::enabled = true;
        const bool read = readMS3DSections(file.get(), data);
        counting_new::enabled = false;
        EXPECT_FALSE(read);
        EXPECT_LE(counting_new::largest.load(), kMostBytes);
    }
}

TEST(FuzzRegressions, Ms3dCountsTheFileHoldsExactlyAreRead) {
    // The check must not refuse a count the file backs to the last byte: one
    // joint with one rotation key, nothing after it.
    const std::string key = zeros(16);
    File file = fileHolding(kHeader + kNoMeshes + kNoMaterialsNoAnimation + u16(1) +
                            kJointHeadBeforeKeyCounts + u16(1) + u16(0) + key);
    ASSERT_TRUE(file);
    ASSERT_TRUE(readMS3DHeader(file.get()));
    sMS3DData data;
    ASSERT_TRUE(readMS3DSections(file.get(), data));
    ASSERT_EQ(data.joints.size(), 1u);
    EXPECT_EQ(data.joints[0].rotationKeys.size(), 1u);
}

}  // namespace
