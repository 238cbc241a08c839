// What the viewer's title bar tells of a model file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace modelview {

struct ModelFacts {
    std::string name;  // the file's name without its directories
    size_t vertices = 0;
    size_t triangles = 0;
    size_t groups = 0;
    size_t joints = 0;
    float animationFps = 0;  // as the file gives them
    int32_t totalFrames = 0;
};

// The counts of an MS3D version 4 file's sections; false when the file cannot
// be opened or read as one.
bool readModelFacts(const std::string& fileName, ModelFacts* facts);

// "name - V vertices, T triangles, G groups, J joints - frame F/N - R fps".
std::string titleText(const ModelFacts& facts, int frame, int totalFrames, double framesPerSecond);

}  // namespace modelview
