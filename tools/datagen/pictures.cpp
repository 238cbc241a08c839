#include "pictures.h"

#include "artwork.h"
#include "encode.h"

namespace datagen {

const std::vector<Picture>& demoPictures() {
    using F = Picture::Format;
    // Sizes follow what each picture covers in the 640 x 480 window: a quad of
    // clip-space half-size hw x hh covers 640 hw x 480 hh pixels. The texture
    // loader rounds sides up to powers of two and the device samples the nearest
    // texel, so drawing at the size seen on screen keeps text crisp. Surfaces of
    // the 3D scenes are square or tile.
    static const std::vector<Picture> pictures = {
        {"loading.jpg", 640, 480, F::Jpeg, art::loading},
        {"zorbinIcon.jpg", 128, 120, F::Jpeg, art::zorbinIcon},   // hw .2, hh .25
        {"zorbinText.jpg", 448, 134, F::Jpeg, art::zorbinText},   // hw .7, hh .28
        {"poweredText.jpg", 205, 31, F::Jpeg, art::poweredText},  // hw .32, hh .064
        {"black.bmp", 64, 48, F::Bmp, art::black},
        {"filmgrain1.jpg", 640, 480, F::Jpeg, art::filmGrain1},
        {"filmgrain2.jpg", 640, 480, F::Jpeg, art::filmGrain2},
        {"filmgrain3.jpg", 640, 480, F::Jpeg, art::filmGrain3},
        {"velmor.jpg", 256, 192, F::Jpeg, art::velmorTitle},  // the sheet shows 4:3
        {"road.jpg", 256, 256, F::Jpeg, art::road},
        {"droptex.jpg", 256, 256, F::Jpeg, art::dropReflection},
        {"particle.jpg", 64, 64, F::Jpeg, art::particle, 95},
        {"extro.jpg", 640, 480, F::Jpeg, art::extro},
        {"pink.jpg", 640, 480, F::Jpeg, art::pink},
        {"greetbkgnd.jpg", 640, 480, F::Jpeg, art::greetingsBackground},
        {"zorbinshine.jpg", 128, 96, F::Jpeg, art::zorbinShine},  // hw .2, hh .2
        {"juxgrt.jpg", 64, 48, F::Jpeg, art::greetingJuxta},      // hw .1, hh .1
        {"qovgrt.jpg", 64, 48, F::Jpeg, art::greetingQovox},
        {"grtu.jpg", 64, 48, F::Jpeg, art::greetingUrbix},
    };
    return pictures;
}

bool renderPicture(const Picture& picture, std::vector<uint8_t>& bytes, std::string* error) {
    if (!loadFonts(error)) return false;
    Canvas canvas(picture.width, picture.height);
    picture.draw(canvas);
    const std::vector<uint8_t> rgb = canvas.rgbBytes();
    if (picture.format == Picture::Format::Bmp) {
        return encodeBmp24(rgb, picture.width, picture.height, bytes, error);
    }
    return encodeJpeg(rgb, picture.width, picture.height, picture.quality, bytes, error);
}

}  // namespace datagen
