// The pictures the program shows, each drawn for the quad that shows it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

class Canvas;

struct Picture {
    enum class Format { Jpeg, Bmp };

    std::string file;  // file name, e.g. "loading.jpg"
    int width;
    int height;
    Format format;
    void (*draw)(Canvas& canvas);
    int quality = 90;  // JPEG quality
};

// The pictures below "Data/Textures/", in a fixed order.
const std::vector<Picture>& demoPictures();

// Draws the picture and encodes it; false with the reason on failure.
bool renderPicture(const Picture& picture, std::vector<uint8_t>& bytes, std::string* error);

}  // namespace datagen
