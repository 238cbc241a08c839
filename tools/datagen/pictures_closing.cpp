// The closing picture with its pink layer, and the greetings: a background with
// the engine's logo and three greetings added onto it.
#include <cmath>

#include "artwork.h"

namespace datagen::art {
namespace {

// One ridge of hills, filled down to the bottom of the picture.
void ridge(Canvas& c, Rng& rng, double base, double roughness, Rgb colour) {
    cairo_t* cr = c.cr();
    const int steps = 32;
    const double w = c.width();
    double height = base;
    cairo_new_path(cr);
    cairo_move_to(cr, 0, c.height());
    for (int i = 0; i <= steps; ++i) {
        height += rng.range(-roughness, roughness);
        height += (base - height) * 0.25;  // stay near the base line
        cairo_line_to(cr, w * i / steps, height);
    }
    cairo_line_to(cr, w, c.height());
    cairo_close_path(cr);
    c.setColour(colour);
    cairo_fill(cr);
}

// Where the greetings effect places its quads, in pixels of the 640 x 480
// window: centre x = 320 (1 + x), centre y = 240 (1 - y).
struct Slot {
    double x, y, halfWidth, halfHeight;
};
constexpr Slot kShineSlot{544, 408, 64, 48};
constexpr Slot kGreetingSlots[3] = {{448, 336, 32, 24}, {192, 336, 32, 24}, {352, 408, 32, 24}};

// Corner brackets around a slot, so the greetings light up in frames.
void brackets(Canvas& c, const Slot& s, double margin, Rgb colour, double alpha) {
    cairo_t* cr = c.cr();
    const double x0 = s.x - s.halfWidth - margin, x1 = s.x + s.halfWidth + margin;
    const double y0 = s.y - s.halfHeight - margin, y1 = s.y + s.halfHeight + margin;
    const double arm = 9;
    c.setColour(colour, alpha);
    cairo_set_line_width(cr, 1.5);
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) ? x1 : x0, y = (corner & 2) ? y1 : y0;
        const double dx = (corner & 1) ? -arm : arm, dy = (corner & 2) ? -arm : arm;
        cairo_move_to(cr, x + dx, y);
        cairo_line_to(cr, x, y);
        cairo_line_to(cr, x, y + dy);
    }
    cairo_stroke(cr);
}

void greeting(Canvas& c, const std::string& name, Rgb colour) {
    cairo_t* cr = c.cr();
    const double w = c.width();
    c.fill({0, 0, 0});
    c.setFont(Font::SansBold, 20);
    const double size = std::min(17.0, 20 * 54 / c.textWidth(name, 1));
    c.setFont(Font::SansBold, size);
    c.beginLayer();
    c.setColour(colour);
    c.text(name, w / 2, 28, Align::Centre, 1);
    c.endLayerAsGlow(2, 0.8);
    c.setColour(mix(colour, Rgb{1, 1, 1}, 0.5));
    c.text(name, w / 2, 28, Align::Centre, 1);
    c.setColour(colour, 0.8);
    cairo_rectangle(cr, 12, 35, w - 24, 1.5);
    cairo_fill(cr);
    cairo_arc(cr, w / 2, 35.75, 2.2, 0, 2 * M_PI);
    cairo_fill(cr);
}

}  // namespace

void extro(Canvas& c) {
    cairo_t* cr = c.cr();
    Rng rng(0xE7120);
    c.verticalGradient({hex(0x070A24), hex(0x1E1450), hex(0x4A2168), hex(0xA8456E), hex(0x3A1838)});
    stars(c, rng, 170, 0, 0, 640, 250, 0.8);
    // A ringed planet rising.
    const double px = 458, py = 150, pr = 62;
    c.addGlow(px, py, 190, hex(0xFFB5D8), 0.35);
    // The planet's ring: the far half first, so the planet hides its middle.
    auto ringHalf = [&](double from, double to) {
        cairo_save(cr);
        cairo_translate(cr, px, py);
        cairo_rotate(cr, -0.32);
        cairo_scale(cr, 1, 0.22);
        cairo_new_path(cr);
        cairo_arc(cr, 0, 0, pr * 1.65, from, to);
        cairo_restore(cr);
        c.setColour(hex(0xFFE3F1), 0.85);
        cairo_set_line_width(cr, 4);
        cairo_stroke(cr);
    };
    ringHalf(M_PI, 2 * M_PI);
    cairo_pattern_t* body = cairo_pattern_create_radial(px - 22, py - 24, 8, px, py, pr);
    cairo_pattern_add_color_stop_rgb(body, 0, 1.0, 0.93, 0.90);
    cairo_pattern_add_color_stop_rgb(body, 0.7, 0.93, 0.66, 0.78);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.62, 0.38, 0.62);
    cairo_set_source(cr, body);
    cairo_arc(cr, px, py, pr, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    ringHalf(0, M_PI);

    ridge(c, rng, 318, 16, hex(0x3B1A4A));
    ridge(c, rng, 352, 14, hex(0x25102F));
    ridge(c, rng, 388, 10, hex(0x12081A));

    c.setFont(Font::Sans, 25);
    c.beginLayer();
    c.setColour(hex(0xFF5FB4));
    c.text("thank you for watching", 320, 430, Align::Centre, 3);
    c.endLayerAsGlow(8, 0.8);
    c.setColour(hex(0xF8F0FF));
    c.text("thank you for watching", 320, 430, Align::Centre, 3);
    c.setFont(Font::SansMono, 12);
    c.setColour(hex(0xB7A6D6));
    c.text("code veld  /  music morwen  /  graphics ilka", 320, 458, Align::Centre, 1);
}

// Added onto the closing picture, from nothing up to full strength: a pink
// haze brightest near the planet, with soft rays and out-of-focus lights.
void pink(Canvas& c) {
    cairo_t* cr = c.cr();
    Rng rng(0x9127);
    c.verticalGradient({hex(0x3A0A2A), hex(0x2A0620), hex(0x16030F)});
    c.addGlow(440, 160, 520, hex(0xE23C8E), 0.8);
    c.addGlow(440, 160, 200, hex(0xFF9AC9), 0.45);
    // Rays fanning down from the upper right.
    for (int i = 0; i < 7; ++i) {
        const double angle = 1.9 + i * 0.16 + rng.range(-0.04, 0.04);
        const double spread = rng.range(0.025, 0.06);
        cairo_new_path(cr);
        cairo_move_to(cr, 640, -40);
        cairo_line_to(cr, 640 + 900 * std::cos(angle - spread),
                      -40 + 900 * std::sin(angle - spread));
        cairo_line_to(cr, 640 + 900 * std::cos(angle + spread),
                      -40 + 900 * std::sin(angle + spread));
        cairo_close_path(cr);
        c.setColour(hex(0xFF7FBF), rng.range(0.05, 0.12));
        cairo_fill(cr);
    }
    // Bokeh: soft discs.
    for (int i = 0; i < 26; ++i) {
        const double x = rng.range(0, 640), y = rng.range(0, 480), r = rng.range(8, 34);
        cairo_pattern_t* disc = cairo_pattern_create_radial(x, y, 0, x, y, r);
        const double a = rng.range(0.08, 0.22);
        cairo_pattern_add_color_stop_rgba(disc, 0, 1.0, 0.6, 0.85, a);
        cairo_pattern_add_color_stop_rgba(disc, 0.8, 1.0, 0.55, 0.8, a * 0.8);
        cairo_pattern_add_color_stop_rgba(disc, 1, 1.0, 0.5, 0.8, 0);
        cairo_set_source(cr, disc);
        cairo_arc(cr, x, y, r, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_pattern_destroy(disc);
    }
}

// Dark enough below the middle that the logo and the greetings, added onto it,
// stand out; a heading above, a receding grid and frames where they appear.
void greetingsBackground(Canvas& c) {
    cairo_t* cr = c.cr();
    Rng rng(0x62EE7);
    c.verticalGradient({hex(0x05060F), hex(0x0E0B26), hex(0x1A0F35), hex(0x07050E)});
    stars(c, rng, 120, 0, 0, 640, 230, 0.6);
    c.addGlow(320, 250, 340, hex(0x6A2CC8), 0.30);
    // A floor grid running to a horizon at y = 250.
    const double horizon = 250, vanishX = 320;
    cairo_set_line_width(cr, 1);
    for (int i = -12; i <= 12; ++i) {
        c.setColour(hex(0x7C4DFF), 0.22);
        cairo_move_to(cr, vanishX, horizon);
        cairo_line_to(cr, vanishX + i * 70, 480);
        cairo_stroke(cr);
    }
    for (int i = 1; i <= 12; ++i) {
        const double y = horizon + 230 * std::pow(i / 12.0, 2.2);
        c.setColour(hex(0x7C4DFF), 0.10 + 0.16 * i / 12.0);
        cairo_move_to(cr, 0, y);
        cairo_line_to(cr, 640, y);
        cairo_stroke(cr);
    }
    c.setColour(hex(0xC08BFF), 0.5);
    cairo_move_to(cr, 0, horizon);
    cairo_line_to(cr, 640, horizon);
    cairo_stroke(cr);

    c.setFont(Font::SansBold, 54);
    c.beginLayer();
    c.setColour(hex(0x2EC4B6));
    c.text("GREETINGS", 320, 132, Align::Centre, 12);
    c.endLayerAsGlow(12, 0.9);
    c.setColour(hex(0xE9FFFC));
    c.text("GREETINGS", 320, 132, Align::Centre, 12);
    c.setFont(Font::Sans, 16);
    c.setColour(hex(0xA99BD0));
    c.text("to our friends in the scene", 320, 166, Align::Centre, 4);

    // Darken behind the slots so what is added there keeps its colour.
    for (const Slot& s : kGreetingSlots) {
        c.setColour({0, 0, 0}, 0.55);
        cairo_rectangle(cr, s.x - s.halfWidth - 4, s.y - s.halfHeight - 4, 2 * s.halfWidth + 8,
                        2 * s.halfHeight + 8);
        cairo_fill(cr);
        brackets(c, s, 6, hex(0x9F7BFF), 0.6);
    }
    cairo_pattern_t* shade =
        cairo_pattern_create_radial(kShineSlot.x, kShineSlot.y, 20, kShineSlot.x, kShineSlot.y, 80);
    cairo_pattern_add_color_stop_rgba(shade, 0, 0, 0, 0, 0.6);
    cairo_pattern_add_color_stop_rgba(shade, 1, 0, 0, 0, 0);
    cairo_set_source(cr, shade);
    cairo_arc(cr, kShineSlot.x, kShineSlot.y, 80, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

// The engine's logo, light on black (it is added onto the background).
void zorbinShine(Canvas& c) {
    c.fill({0, 0, 0});
    c.beginLayer();
    zorbinMark(c, 64, 38, 25, hex(0xFFD27A), hex(0xFF6A3D), {0, 0, 0});
    c.setFont(Font::SansBold, 15);
    c.setColour(hex(0xFFD27A));
    c.text("ZORBIN", 64, 86, Align::Centre, 4);
    c.endLayerAsGlow(5, 1.0);
    zorbinMark(c, 64, 38, 25, hex(0xFFF3DC), hex(0xFF8A5C), {0, 0, 0});
    c.setFont(Font::SansBold, 15);
    c.setColour(hex(0xFFF3DC));
    c.text("ZORBIN", 64, 86, Align::Centre, 4);
}

void greetingJuxta(Canvas& c) { greeting(c, "JUXTA", hex(0x8FF0FF)); }
void greetingQovox(Canvas& c) { greeting(c, "QOVOX", hex(0xFF9FD8)); }
void greetingUrbix(Canvas& c) { greeting(c, "URBIX", hex(0xFFE08A)); }

}  // namespace datagen::art
