// fuzz_seeds DIR: writes the hand-made seed inputs below DIR/model and
// DIR/config. They reach what the real-world and generated files do not: a
// skeleton with keys (no fixture model has joints), joints listed before their
// parents and a parent chain that loops, materials of every kind, and settings
// files of every shape the reader distinguishes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "model_file_builder.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Ms3dBuilder;

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

Ms3dBuilder::Joint joint(const std::string& name, const std::string& parent, float angle, float x) {
    Ms3dBuilder::Joint j;
    j.name = name;
    j.parent = parent;
    j.rotation[2] = angle;
    j.position[0] = x;
    j.rotationKeys = {{0.0f, 0, 0, 0}, {0.5f, 0, 0.5f, 0}, {1.0f, 0.25f, 0, 1}};
    j.translationKeys = {{0.0f, 0, 0, 0}, {1.0f, 0, 2, 0}};
    return j;
}

// Two groups on three joints in a chain, one translucent sphere-mapped group with
// a texture, an animation of 30 frames at 30 per second.
Ms3dBuilder skinnedModel() {
    Ms3dBuilder b;
    b.addTriangle(0, 0, 0, 1, 0, 0, 1, 0, 0);
    b.addTriangle(0, 1, 0, 2, 0, 1, 1, 0, 1);
    b.addTriangle(1, 0, 2, 1, 2, 0, 3, 0.5f, 2);
    b.addTriangle(255, 0, 0, 1, 1, 1, 0);  // in no group
    Ms3dBuilder::Group body;
    body.listed = {0, 1};
    body.material = 0;
    Ms3dBuilder::Group head;
    head.name = "head";
    head.listed = {2};
    head.material = 1;
    b.groups = {body, head};
    Ms3dBuilder::Material plain;
    plain.texture = ".\\skin.jpg";
    Ms3dBuilder::Material shiny;
    shiny.name = "chrome";
    shiny.transparency = 0.5f;
    shiny.mode = static_cast<int8_t>(0x80);
    shiny.texture = "chrome.bmp";
    b.materials = {plain, shiny};
    b.fps = 30;
    b.totalFrames = 30;
    b.joints = {joint("root", "", 0, 0), joint("arm", "root", 0.5f, 1), joint("hand", "arm", -0.5f, 1)};
    return b;
}

// Children before their parents, a loop of two, a parent that does not exist.
Ms3dBuilder tangledSkeleton() {
    Ms3dBuilder b;
    b.addTriangle(0, 0, 0, 1, 0, 0, 1, 0, 0);
    b.addTriangle(0, 1, 1, 2, 1, 1, 2, 0, 3);
    Ms3dBuilder::Group group;
    group.listed = {0, 1};
    b.groups = {group};
    b.fps = 24;
    b.totalFrames = 48;
    b.joints = {joint("child", "parent", 0, 1), joint("parent", "", 0.25f, 0),
                joint("a", "b", 0, 0), joint("b", "a", 0, 0), joint("orphan", "nobody", 0, 2)};
    return b;
}

Ms3dBuilder emptyModel() { return Ms3dBuilder(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "model");
    fs::create_directories(root / "config");

    skinnedModel().save((root / "model" / "skinned.ms3d").string());
    tangledSkeleton().save((root / "model" / "tangled.ms3d").string());
    emptyModel().save((root / "model" / "empty.ms3d").string());

    writeText(root / "config" / "windowed.cfg", "reswidth 800\nresheight 600\nfullscreen 0\n");
    writeText(root / "config" / "fullscreen.cfg", "//comment\r\nRESWIDTH 1024\r\nResHeight 768\r\nfullscreen 1\r\n");
    writeText(root / "config" / "bad.cfg", "reswidth -12\nunknown 5\nfullscreen 2\nresheight 99999999999\n");
    writeText(root / "config" / "partial.cfg", "// nothing but a comment\nresheight\t\t480");
    return 0;
}
