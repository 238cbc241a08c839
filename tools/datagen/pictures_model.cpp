// The test model's pictures: painted panels that tile across its blocks, and
// the reflection its chrome parts are sphere-mapped with.
#include <cmath>

#include "artwork.h"
#include "terrat_model.h"

namespace datagen {
namespace art {

// Four plates per tile with seams on the tile's edges, so the picture repeats
// without a visible border. Light and neutral: the materials tint it.
void terraSkin(Canvas& c) {
    cairo_t* cr = c.cr();
    Rng rng(0x5C1A);
    const double tile = c.width(), plate = tile / 2;
    c.fill(hex(0xD6D2CA));
    for (int py = 0; py < 2; ++py) {
        for (int px = 0; px < 2; ++px) {
            const double x = px * plate, y = py * plate;
            // Each plate a slightly different shade.
            c.setColour(rng.uniform() < 0.5 ? Rgb{1, 1, 1} : Rgb{0, 0, 0}, rng.range(0.02, 0.07));
            cairo_rectangle(cr, x, y, plate, plate);
            cairo_fill(cr);
            // Bevel: light along the top and left, shade along the bottom and right.
            c.setColour({1, 1, 1}, 0.45);
            cairo_rectangle(cr, x + 2, y + 2, plate - 4, 3);
            cairo_rectangle(cr, x + 2, y + 2, 3, plate - 4);
            cairo_fill(cr);
            c.setColour({0, 0, 0}, 0.22);
            cairo_rectangle(cr, x + 2, y + plate - 5, plate - 4, 3);
            cairo_rectangle(cr, x + plate - 5, y + 2, 3, plate - 4);
            cairo_fill(cr);
            // Rivets in the corners.
            for (int k = 0; k < 4; ++k) {
                const double rx = x + ((k & 1) ? plate - 13 : 13),
                             ry = y + ((k & 2) ? plate - 13 : 13);
                c.setColour({0, 0, 0}, 0.35);
                cairo_arc(cr, rx + 1, ry + 1, 4, 0, 2 * M_PI);
                cairo_fill(cr);
                c.setColour(hex(0xF4F2EE));
                cairo_arc(cr, rx, ry, 3.5, 0, 2 * M_PI);
                cairo_fill(cr);
            }
        }
    }
    // Vents on one plate, a hatch outline on another.
    c.setColour(hex(0x4A4640));
    for (int slot = 0; slot < 4; ++slot) {
        cairo_rectangle(cr, plate + 30, 34 + slot * 17, plate - 60, 7);
    }
    cairo_fill(cr);
    c.setColour(hex(0x6A655D), 0.8);
    cairo_set_line_width(cr, 2);
    cairo_rectangle(cr, 30, plate + 30, plate - 60, plate - 60);
    cairo_stroke(cr);
    // Seams between plates; those on the tile's edges are split across both
    // sides so they meet when the tile repeats.
    c.setColour(hex(0x4E4A44));
    for (double at : {-1.0, plate - 1, tile - 1}) {
        cairo_rectangle(cr, at, 0, 2, tile);
        cairo_rectangle(cr, 0, at, tile, 2);
    }
    cairo_fill(cr);
    c.addNoise(rng, 0.03, 1);
    c.addNoise(rng, 0.012, 8);
}

void terraChrome(Canvas& c) {
    mirrorBall(c, {hex(0x4E6F9A), hex(0xDCE8F6), hex(0xFFFFFF), hex(0x221D19), hex(0x8A7A66),
                   hex(0x3A3F4A), 3, 0xC0AE});
}

}  // namespace art

const std::vector<Picture>& testModelPictures() {
    using F = Picture::Format;
    static const std::vector<Picture> pictures = {
        {"terraT_skin.jpg", 256, 256, F::Jpeg, art::terraSkin},
        {"terraT_chrome.jpg", 128, 128, F::Jpeg, art::terraChrome},
    };
    return pictures;
}

}  // namespace datagen
