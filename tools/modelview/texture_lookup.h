// Where the viewer finds a model's textures. Files made elsewhere name their
// pictures as they lay on the author's machine ("C:/work/art/Zombie.jpg",
// ".\skin.jpg", "data/Wood.bmp"), while the picture usually lies beside the model.
#pragma once

#include <string>

namespace modelview {

// The file to load for a texture the model names: the name itself when a file
// of that name exists (relative to the working directory, '\' read as '/'),
// otherwise a file beside the model whose name is the name's last part, compared
// ignoring case. When neither exists, the name unchanged, so that loading it
// reports the name the model gave.
std::string findTexture(const std::string& textureName, const std::string& modelFile);

}  // namespace modelview
