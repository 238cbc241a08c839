// fuzz_seeds DIR: writes the hand-made seed inputs below DIR/model and
// DIR/config. They reach what the real-world and generated files do not: a
// skeleton with keys (no fixture model has joints), joints listed before their
// parents and a parent chain that loops, materials of every kind, and settings
// files of every shape the reader distinguishes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ms3d_writer.h"

namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Written as it stands: the models below break what a good writer checks.
void writeModel(const fs::path& path, const ms3d::Model& model) {
    const std::vector<uint8_t> bytes = ms3d::encode(model);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ms3d::Joint joint(const std::string& name, const std::string& parent, float angle, float x) {
    ms3d::Joint j;
    j.name = name;
    j.parentName = parent;
    j.rotation[2] = angle;
    j.position[0] = x;
    j.rotationKeys = {{0.0f, {0, 0, 0}}, {0.5f, {0, 0.5f, 0}}, {1.0f, {0.25f, 0, 1}}};
    j.translationKeys = {{0.0f, {0, 0, 0}}, {1.0f, {0, 2, 0}}};
    return j;
}

// Two groups on three joints in a chain, one translucent sphere-mapped group with
// a texture, an animation of 30 frames at 30 per second.
ms3d::Model skinnedModel() {
    ms3d::Model b;
    ms3d::addTriangle(b, 0, {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, 0);
    ms3d::addTriangle(b, 0, {{{1, 0, 0}, {2, 0, 0}, {1, 1, 0}}}, 1);
    ms3d::addTriangle(b, 1, {{{0, 2, 0.5f}, {1, 2, 0.5f}, {0, 3, 0.5f}}}, 2);
    ms3d::addTriangle(b, 255, {{{0, 0, 0}, {1, 1, 0}, {1, 0, 0}}});  // in no group
    ms3d::Group body;
    body.name = "group";
    body.triangleIndices = {0, 1};
    body.materialIndex = 0;
    ms3d::Group head;
    head.name = "head";
    head.triangleIndices = {2};
    head.materialIndex = 1;
    b.groups = {body, head};
    ms3d::Material plain;
    plain.name = "material";
    plain.texture = ".\\skin.jpg";
    ms3d::Material shiny;
    shiny.name = "chrome";
    shiny.transparency = 0.5f;
    shiny.mode = ms3d::kModeSphereMap;
    shiny.texture = "chrome.bmp";
    b.materials = {plain, shiny};
    b.animationFps = 30;
    b.totalFrames = 30;
    b.joints = {joint("root", "", 0, 0), joint("arm", "root", 0.5f, 1), joint("hand", "arm", -0.5f, 1)};
    return b;
}

// Children before their parents, a loop of two, a parent that does not exist.
ms3d::Model tangledSkeleton() {
    ms3d::Model b;
    ms3d::addTriangle(b, 0, {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, 0);
    ms3d::addTriangle(b, 0, {{{1, 1, 0}, {2, 1, 0}, {1, 2, 0}}}, 3);
    ms3d::Group group;
    group.name = "group";
    group.triangleIndices = {0, 1};
    b.groups = {group};
    b.animationFps = 24;
    b.totalFrames = 48;
    b.joints = {joint("child", "parent", 0, 1), joint("parent", "", 0.25f, 0),
                joint("a", "b", 0, 0), joint("b", "a", 0, 0), joint("orphan", "nobody", 0, 2)};
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "model");
    fs::create_directories(root / "config");

    writeModel(root / "model" / "skinned.ms3d", skinnedModel());
    writeModel(root / "model" / "tangled.ms3d", tangledSkeleton());
    writeModel(root / "model" / "empty.ms3d", ms3d::Model());

    writeText(root / "config" / "windowed.cfg", "reswidth 800\nresheight 600\nfullscreen 0\n");
    writeText(root / "config" / "fullscreen.cfg", "//comment\r\nRESWIDTH 1024\r\nResHeight 768\r\nfullscreen 1\r\n");
    writeText(root / "config" / "bad.cfg", "reswidth -12\nunknown 5\nfullscreen 2\nresheight 99999999999\n");
    writeText(root / "config" / "partial.cfg", "// nothing but a comment\nresheight\t\t480");
    return 0;
}
