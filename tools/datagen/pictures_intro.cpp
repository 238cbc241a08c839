// The loading screen and the intro's pictures: the engine's credits, drawn dark
// on white because they are alpha-blended over a white screen, the black cover
// and the film grain laid over everything in flashes.
#include <cmath>

#include "artwork.h"

namespace datagen::art {
namespace {

const Rgb kInk = hex(0x16181F);
const Rgb kAccent = hex(0xE4572E);
const Rgb kSoftInk = hex(0x5B6070);
const Rgb kWhite = hex(0xFFFFFF);

// Left edge shared by the powered-by line and the engine's name: the two quads
// are placed so that x = 4 in the first and x = 33 in the second line up.
constexpr double kNameLeft = 33;

}  // namespace

void zorbinMark(Canvas& c, double x, double y, double radius, Rgb ink, Rgb accent, Rgb background) {
    cairo_t* cr = c.cr();
    const double tilt = -20 * M_PI / 180;
    auto orbit = [&](double from, double to) {
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, tilt);
        cairo_scale(cr, 1.32 * radius, 0.36 * radius);
        cairo_new_path(cr);
        cairo_arc(cr, 0, 0, 1, from, to);
        cairo_restore(cr);
        c.setColour(accent);
        cairo_set_line_width(cr, 0.07 * radius);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
    };
    orbit(M_PI, 2 * M_PI);  // the far half, above the centre
    // The disc hides the far half of the orbit; the ring goes round it.
    c.setColour(background);
    cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
    cairo_fill(cr);
    c.setColour(ink);
    cairo_set_line_width(cr, 0.12 * radius);
    cairo_arc(cr, x, y, radius * 0.94, 0, 2 * M_PI);
    cairo_stroke(cr);
    // A bold Z: two bars and a diagonal, as one outline.
    static const double kZ[][2] = {{-0.46, -0.48}, {0.46, -0.48}, {0.46, -0.27}, {-0.13, 0.27},
                                   {0.46, 0.27},   {0.46, 0.48},  {-0.46, 0.48}, {-0.46, 0.27},
                                   {0.13, -0.27},  {-0.46, -0.27}};
    cairo_new_path(cr);
    for (const auto& point : kZ) cairo_line_to(cr, x + point[0] * radius, y + point[1] * radius);
    cairo_close_path(cr);
    cairo_fill(cr);
    orbit(0, M_PI);  // the near half, in front
    // The planet on the near half, cut free of the orbit by a ring of background.
    const double angle = 0.22 * M_PI;
    const double px = 1.32 * radius * std::cos(angle), py = 0.36 * radius * std::sin(angle);
    const double planetX = x + px * std::cos(tilt) - py * std::sin(tilt);
    const double planetY = y + px * std::sin(tilt) + py * std::cos(tilt);
    c.setColour(background);
    cairo_arc(cr, planetX, planetY, 0.2 * radius, 0, 2 * M_PI);
    cairo_fill(cr);
    c.setColour(accent);
    cairo_arc(cr, planetX, planetY, 0.13 * radius, 0, 2 * M_PI);
    cairo_fill(cr);
}

void stars(Canvas& c, Rng& rng, int count, double x0, double y0, double x1, double y1,
           double brightness) {
    cairo_t* cr = c.cr();
    for (int i = 0; i < count; ++i) {
        const double x = rng.range(x0, x1), y = rng.range(y0, y1);
        const double size = rng.uniform();
        const double level = brightness * (0.35 + 0.65 * rng.uniform());
        c.setColour(mix(hex(0xBFD4FF), kWhite, rng.uniform()), level);
        cairo_arc(cr, x, y, 0.5 + 0.9 * size * size, 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

void loading(Canvas& c) {
    cairo_t* cr = c.cr();
    c.verticalGradient({hex(0x07060F), hex(0x171031), hex(0x0A0716)});
    Rng rng(0x10AD1);
    stars(c, rng, 140, 0, 0, 640, 480, 0.55);
    c.addGlow(320, 205, 300, hex(0x5B2BC4), 0.35);

    // Title with a magenta glow.
    c.setFont(Font::SansBold, 78);
    c.beginLayer();
    c.setColour(hex(0xFF3D9E));
    c.text("VELMORS", 320, 228, Align::Centre, 10);
    c.endLayerAsGlow(14, 0.9);
    c.setColour(hex(0xF6EEFF));
    c.text("VELMORS", 320, 228, Align::Centre, 10);
    c.setFont(Font::Sans, 22);
    c.setColour(hex(0xB9A7E8));
    c.text("DEMO", 320, 266, Align::Centre, 18);

    // A progress bar, part filled.
    const double barX = 200, barY = 322, barW = 240, barH = 6;
    cairo_pattern_t* fill = cairo_pattern_create_linear(barX, 0, barX + barW, 0);
    cairo_pattern_add_color_stop_rgb(fill, 0, 1.0, 0.24, 0.62);
    cairo_pattern_add_color_stop_rgb(fill, 1, 0.42, 0.20, 0.86);
    cairo_rectangle(cr, barX, barY, barW * 0.62, barH);
    cairo_set_source(cr, fill);
    cairo_fill(cr);
    cairo_pattern_destroy(fill);
    c.setColour(hex(0x6D5EA8));
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, barX - 2.5, barY - 2.5, barW + 5, barH + 5);
    cairo_stroke(cr);
    c.setFont(Font::SansMono, 13);
    c.setColour(hex(0x9A8FC4));
    c.text("loading", 320, 356, Align::Centre, 4);

    // The engine's credit at the foot.
    zorbinMark(c, 250, 440, 11, hex(0x9490B0), hex(0xE4572E), hex(0x0B0818));
    c.setFont(Font::Sans, 13);
    c.setColour(hex(0x8A86A6));
    c.text("powered by Zorbin Engine", 270, 445, Align::Left);
}

void zorbinIcon(Canvas& c) {
    c.fill(kWhite);
    zorbinMark(c, 64, 60, 40, kInk, kAccent, kWhite);
}

void zorbinText(Canvas& c) {
    cairo_t* cr = c.cr();
    c.fill(kWhite);
    // The top 28 rows of the left half lie under the powered-by line's quad, so
    // the name keeps clear of them.
    const std::string name = "ZORBIN";
    const double spacing = 9;
    c.setFont(Font::SansBold, 100);
    const double size = 100 * 372 / c.textWidth(name, spacing);
    c.setFont(Font::SansBold, size);
    c.setColour(kInk);
    c.text(name, kNameLeft, 101, Align::Left, spacing);
    const double right = kNameLeft + c.textWidth(name, spacing);

    c.setFont(Font::Sans, 21);
    const double engineSpacing = 11;
    const double engineWidth = c.textWidth("ENGINE", engineSpacing);
    c.setColour(kSoftInk);
    c.text("ENGINE", right, 127, Align::Right, engineSpacing);
    // An accent rule runs from the left edge to the word.
    c.setColour(kAccent);
    cairo_rectangle(cr, kNameLeft + 2, 117, right - engineWidth - kNameLeft - 16, 3);
    cairo_fill(cr);
}

void poweredText(Canvas& c) {
    cairo_t* cr = c.cr();
    c.fill(kWhite);
    c.setFont(Font::Sans, 19, 0.2);
    c.setColour(mix(kSoftInk, kInk, 0.4));
    c.text("powered by", kNameLeft - 29, 22, Align::Left);
    const double end = kNameLeft - 29 + c.textWidth("powered by") + 10;
    c.setColour(mix(kAccent, kWhite, 0.35));
    cairo_rectangle(cr, end, 15, 200 - end, 1.5);
    cairo_fill(cr);
}

void black(Canvas& c) { c.fill({0, 0, 0}); }

namespace {

struct GrainLook {
    uint64_t seed;
    int specks;
    int scratches;
    int hairs;
    bool cueMark;  // the round mark that tells the projectionist to change reels
};

// A vertical scratch: a thin line that wanders a little and fades in and out.
void scratch(Canvas& c, Rng& rng) {
    cairo_t* cr = c.cr();
    const double x = rng.range(20, c.width() - 20);
    const double top = rng.uniform() < 0.6 ? -10 : rng.range(0, c.height() * 0.6);
    const double bottom = top < 0 ? c.height() + 10 : rng.range(top + 80, c.height() + 10);
    const double drift = rng.range(-6, 6);
    const double darkness = rng.range(0.25, 0.7);
    cairo_new_path(cr);
    cairo_move_to(cr, x, top);
    cairo_curve_to(cr, x + drift, top + (bottom - top) / 3, x - drift, top + 2 * (bottom - top) / 3,
                   x + rng.range(-3, 3), bottom);
    cairo_pattern_t* fade = cairo_pattern_create_linear(0, top, 0, bottom);
    const Rgb grey = hex(0x2A2620);
    cairo_pattern_add_color_stop_rgba(fade, 0, grey.r, grey.g, grey.b, darkness * 0.3);
    cairo_pattern_add_color_stop_rgba(fade, 0.3, grey.r, grey.g, grey.b, darkness);
    cairo_pattern_add_color_stop_rgba(fade, 0.8, grey.r, grey.g, grey.b, darkness * 0.8);
    cairo_pattern_add_color_stop_rgba(fade, 1, grey.r, grey.g, grey.b, darkness * 0.2);
    cairo_set_source(cr, fade);
    cairo_set_line_width(cr, rng.range(0.7, 1.8));
    cairo_stroke(cr);
    cairo_pattern_destroy(fade);
}

// A hair or fibre caught in the gate: a short curl.
void hair(Canvas& c, Rng& rng) {
    cairo_t* cr = c.cr();
    double x = rng.range(0, c.width()), y = rng.range(0, c.height());
    double heading = rng.range(0, 2 * M_PI);
    cairo_new_path(cr);
    cairo_move_to(cr, x, y);
    const int bends = rng.integer(2, 4);
    for (int i = 0; i < bends; ++i) {
        const double length = rng.range(12, 40);
        const double turn = rng.range(-1.4, 1.4);
        const double x1 = x + std::cos(heading) * length * 0.5;
        const double y1 = y + std::sin(heading) * length * 0.5;
        heading += turn;
        x += std::cos(heading) * length;
        y += std::sin(heading) * length;
        cairo_curve_to(cr, x1, y1, x1, y1, x, y);
    }
    c.setColour(hex(0x1E1B17), rng.range(0.5, 0.85));
    cairo_set_line_width(cr, rng.range(0.8, 1.4));
    cairo_stroke(cr);
}

// Dust: mostly tiny dots, a few irregular blobs.
void speck(Canvas& c, Rng& rng) {
    cairo_t* cr = c.cr();
    const double x = rng.range(0, c.width()), y = rng.range(0, c.height());
    const double size = rng.uniform();
    const double radius = 0.6 + 2.6 * size * size * size;
    c.setColour(hex(0x1A1814), rng.range(0.35, 0.9));
    cairo_new_path(cr);
    const int sides = 7;
    for (int k = 0; k < sides; ++k) {
        const double a = 2 * M_PI * k / sides;
        const double r = radius * rng.range(0.6, 1.3);
        cairo_line_to(cr, x + r * std::cos(a), y + r * std::sin(a));
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

void filmGrain(Canvas& c, const GrainLook& look) {
    cairo_t* cr = c.cr();
    Rng rng(look.seed);
    c.fill(hex(0xFFFEFA));
    // Old film darkens towards its corners.
    cairo_pattern_t* vignette = cairo_pattern_create_radial(320, 240, 160, 320, 240, 420);
    cairo_pattern_add_color_stop_rgba(vignette, 0, 0.2, 0.17, 0.12, 0);
    cairo_pattern_add_color_stop_rgba(vignette, 1, 0.2, 0.17, 0.12, 0.22);
    cairo_set_source(cr, vignette);
    cairo_paint(cr);
    cairo_pattern_destroy(vignette);
    c.addNoise(rng, 0.035, 2);
    for (int i = 0; i < look.specks; ++i) speck(c, rng);
    for (int i = 0; i < look.scratches; ++i) scratch(c, rng);
    for (int i = 0; i < look.hairs; ++i) hair(c, rng);
    if (look.cueMark) {
        const double x = 575, y = 62;
        cairo_pattern_t* mark = cairo_pattern_create_radial(x, y, 9, x, y, 14);
        cairo_pattern_add_color_stop_rgba(mark, 0, 0.13, 0.12, 0.09, 0.8);
        cairo_pattern_add_color_stop_rgba(mark, 1, 0.13, 0.12, 0.09, 0);
        cairo_set_source(cr, mark);
        cairo_arc(cr, x, y, 14, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_pattern_destroy(mark);
    }
}

}  // namespace

void filmGrain1(Canvas& c) { filmGrain(c, {0xF11A1, 160, 3, 2, false}); }
void filmGrain2(Canvas& c) { filmGrain(c, {0xF11A2, 220, 2, 3, false}); }
void filmGrain3(Canvas& c) { filmGrain(c, {0xF11A3, 120, 5, 1, true}); }

}  // namespace datagen::art
