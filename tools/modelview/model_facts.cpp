#include "model_facts.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "crt.h"
#include "model.h"

namespace modelview {

bool readModelFacts(const std::string& fileName, ModelFacts* facts) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(crt::hostPath(fileName).c_str(), "rb"),
                                                         &std::fclose);
    sMS3DData data;
    if (!file || !readMS3DHeader(file.get()) || !readMS3DSections(file.get(), data)) return false;
    facts->name = std::filesystem::path(crt::hostPath(fileName)).filename().string();
    facts->vertices = data.vertices.size();
    facts->triangles = data.triangles.size();
    facts->groups = data.groups.size();
    facts->joints = data.joints.size();
    facts->animationFps = data.animationFps;
    facts->totalFrames = data.totalFrames;
    return true;
}

std::string titleText(const ModelFacts& facts, int frame, int totalFrames, double framesPerSecond) {
    char text[512];
    std::snprintf(text, sizeof text, "%s - %zu vertices, %zu triangles, %zu groups, %zu joints - frame %d/%d - %.0f fps",
                  facts.name.c_str(), facts.vertices, facts.triangles, facts.groups, facts.joints, frame,
                  totalFrames, framesPerSecond);
    return text;
}

}  // namespace modelview
