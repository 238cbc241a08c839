// The engine's test model "terraT.ms3d": Terra-T, a little walking robot with a
// jointed skeleton and a two-second walk, and the two pictures it names.
#pragma once

#include <vector>

#include "ms3d_writer.h"
#include "pictures.h"

namespace datagen {

constexpr const char* kTestModelFile = "terraT.ms3d";

// Joint names, in file order (every parent before its children).
extern const std::vector<const char*> kTestModelJoints;

ms3d::Model buildTestModel();

// "terraT_skin.jpg" (painted panels) and "terraT_chrome.jpg" (the reflection
// for the sphere-mapped parts), written beside the model.
const std::vector<Picture>& testModelPictures();

}  // namespace datagen
