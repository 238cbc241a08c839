// The Windows build's icon file is the Linux port's icon, written by write_icon.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "icon_file.h"

TEST(WindowsIconTest, TheCommittedIconIsTheOneTheLinuxPortDraws) {
    std::ifstream in(DEMO_SOURCE_DIR "/platform/windows/demo.ico", std::ios::binary);
    const std::vector<uint8_t> committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<uint8_t> drawn = windows_icon::programIconFile();
    // Two 32 x 32 images of 32 bits: a 6-byte header, two 16-byte entries, and per
    // image a 40-byte bitmap header, 4096 bytes of colour and a 128-byte mask.
    ASSERT_EQ(drawn.size(), 6u + 2 * 16 + 2 * (40 + 4096 + 128));
    EXPECT_EQ(drawn[4], 2) << "images in the group";
    EXPECT_TRUE(committed == drawn) << "platform/windows/demo.ico is out of date: run "
                                       "build/tools/windows/write_icon platform/windows/demo.ico";
}
