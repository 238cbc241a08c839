// Surfaces of the 3D scenes: the title on the rippling sheet, the road, the
// drops' reflection and the particle.
#include <algorithm>
#include <cmath>

#include "artwork.h"

namespace datagen::art {
namespace {

double smoothstep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

Rgb scaled(Rgb c, double s) { return {c.r * s, c.g * s, c.b * s}; }
Rgb plus(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

}  // namespace

// The sheet is a square in the world, seen through a camera whose projection
// has aspect 1 in a 4:3 window, so it shows 4:3 on screen: the picture is drawn
// 4:3 and the loader stretches it to its square texture.
void velmorTitle(Canvas& c) {
    cairo_t* cr = c.cr();
    const double w = c.width(), h = c.height();
    cairo_pattern_t* ground = cairo_pattern_create_linear(0, 0, w, h);
    cairo_pattern_add_color_stop_rgb(ground, 0, 0.11, 0.05, 0.25);
    cairo_pattern_add_color_stop_rgb(ground, 0.55, 0.20, 0.06, 0.33);
    cairo_pattern_add_color_stop_rgb(ground, 1, 0.05, 0.20, 0.30);
    cairo_set_source(cr, ground);
    cairo_paint(cr);
    cairo_pattern_destroy(ground);
    // Rings from the centre, where the ripple starts.
    cairo_set_line_width(cr, 1.5);
    for (double r = 10; r < 170; r += 13) {
        c.setColour(hex(0xB08CFF), 0.10 * (1 - r / 190));
        cairo_arc(cr, w / 2, h / 2, r, 0, 2 * M_PI);
        cairo_stroke(cr);
    }
    c.addGlow(w / 2, h / 2 - 8, 120, hex(0xFF3D9E), 0.35);
    // Frame with corner studs.
    const Rgb gold = hex(0xF2C14E);
    c.setColour(gold, 0.85);
    cairo_set_line_width(cr, 2);
    cairo_rectangle(cr, 7, 7, w - 14, h - 14);
    cairo_stroke(cr);
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) ? w - 7 : 7, y = (corner & 2) ? h - 7 : 7;
        cairo_arc(cr, x, y, 3.5, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    // Title
    const std::string title = "VELMORS";
    const double spacing = 3;
    c.setFont(Font::SansBold, 50);
    const double size = 50 * 204 / c.textWidth(title, spacing);
    c.setFont(Font::SansBold, size);
    c.beginLayer();
    c.setColour(hex(0xFF4FB0));
    c.text(title, w / 2, 112, Align::Centre, spacing);
    c.endLayerAsGlow(6, 1.0);
    c.setColour(hex(0xFFF4FB));
    c.text(title, w / 2, 112, Align::Centre, spacing);
    c.setFont(Font::Sans, 15);
    c.setColour(gold);
    c.text("DEMO", w / 2, 142, Align::Centre, 9);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, w / 2 - 76, 137);
    cairo_line_to(cr, w / 2 - 40, 137);
    cairo_move_to(cr, w / 2 + 40, 137);
    cairo_line_to(cr, w / 2 + 76, 137);
    cairo_stroke(cr);
}

// One tile of road: u spans its width once, v repeats along it. The road
// scrolls half a tile per frame, so every strong mark repeats every half tile
// and looks still instead of flickering; only the fine grain of the asphalt
// changes from frame to frame.
void road(Canvas& c) {
    cairo_t* cr = c.cr();
    const double w = c.width(), h = c.height();
    Rng rng(0x70AD);
    c.fill(hex(0x3B3B42));
    // Worn tracks where the wheels run: a little lighter.
    for (double centre : {0.30, 0.70}) {
        cairo_pattern_t* track =
            cairo_pattern_create_linear(w * (centre - 0.09), 0, w * (centre + 0.09), 0);
        cairo_pattern_add_color_stop_rgba(track, 0, 1, 1, 1, 0);
        cairo_pattern_add_color_stop_rgba(track, 0.5, 1, 1, 1, 0.06);
        cairo_pattern_add_color_stop_rgba(track, 1, 1, 1, 1, 0);
        cairo_set_source(cr, track);
        cairo_rectangle(cr, w * (centre - 0.09), 0, w * 0.18, h);
        cairo_fill(cr);
        cairo_pattern_destroy(track);
    }
    c.addNoise(rng, 0.07, 1);
    c.addNoise(rng, 0.03, 4);  // coarser stones; 4 divides the tile, so it still tiles
    // Kerbs: red and white blocks, a quarter tile each.
    for (int side = 0; side < 2; ++side) {
        const double x = side == 0 ? 0 : w * 0.945;
        for (int block = 0; block < 4; ++block) {
            c.setColour(block % 2 ? hex(0xEDEAE4) : hex(0xC8322F));
            cairo_rectangle(cr, x, block * h / 4, w * 0.055, h / 4);
            cairo_fill(cr);
        }
    }
    // Solid edge lines and a dashed centre line (a dash and a gap per half tile).
    c.setColour(hex(0xE8E6E0), 0.92);
    cairo_rectangle(cr, w * 0.085, 0, w * 0.025, h);
    cairo_rectangle(cr, w * 0.89, 0, w * 0.025, h);
    cairo_fill(cr);
    c.setColour(hex(0xF2C14E), 0.95);
    for (int dash = 0; dash < 2; ++dash) {
        cairo_rectangle(cr, w * 0.486, dash * h / 2 + h * 0.06, w * 0.028, h * 0.25);
    }
    cairo_fill(cr);
    c.addNoise(rng, 0.025, 1);  // wear on the paint too
}

void mirrorBall(Canvas& c, const Surroundings& s) {
    struct Light {
        double azimuth, elevation, size, strength;
    };
    Rng rng(s.seed);
    std::vector<Light> lights;
    for (int i = 0; i < s.lights; ++i) {
        lights.push_back({rng.range(-M_PI, M_PI), rng.range(0.08, 1.1), rng.range(0.04, 0.1),
                          rng.range(0.5, 1.0)});
    }
    const double w = c.width(), h = c.height();
    c.shade([&](double px, double py) {
        // The normal of a ball facing the viewer at this point of the picture.
        double nx = 2 * px / w - 1, ny = 1 - 2 * py / h;
        const double r = std::sqrt(nx * nx + ny * ny);
        if (r > 0.995) nx *= 0.995 / r, ny *= 0.995 / r;
        const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
        // The direction the viewer sees reflected there (the viewer looks along -z).
        const double rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;
        const double elevation = std::asin(std::clamp(ry, -1.0, 1.0));
        const double azimuth = std::atan2(rx, rz);
        Rgb colour;
        if (elevation >= 0) {
            const double t = std::pow(elevation / (M_PI / 2), 0.6);
            colour = plus(mix(s.skyLow, s.skyHigh, t),
                          scaled(s.horizon, 0.7 * std::exp(-elevation / 0.10)));
        } else {
            const double t = std::pow(-elevation / (M_PI / 2), 0.7);
            colour = mix(s.groundFar, s.groundNear, t);
            // A chequered floor, its squares shrinking into the distance.
            const double distance = 1 / std::tan(std::max(-elevation, 1e-3));
            const double fx = distance * std::sin(azimuth) * 2,
                         fz = distance * std::cos(azimuth) * 2;
            const bool light =
                (static_cast<long>(std::floor(fx)) + static_cast<long>(std::floor(fz))) % 2 != 0;
            const double fade = smoothstep(0.02, 0.35, -elevation);
            colour = scaled(colour, light ? 1 + 0.45 * fade : 1 - 0.25 * fade);
            colour = plus(colour, scaled(s.horizon, 0.5 * std::exp(elevation / 0.05)));
        }
        for (const Light& light : lights) {
            const double da =
                std::remainder(azimuth - light.azimuth, 2 * M_PI) * std::cos(elevation);
            const double de = elevation - light.elevation;
            const double d2 = (da * da + de * de) / (light.size * light.size);
            colour = plus(colour, scaled(hex(0xFFF6E8), light.strength * std::exp(-d2)));
        }
        // Towards the edge the ball reflects what is behind the viewer, darker.
        return mix(colour, s.rim, smoothstep(0.80, 1.0, r) * 0.7);
    });
}

void dropReflection(Canvas& c) {
    mirrorBall(c, {hex(0x0B1A5C), hex(0x4AA3FF), hex(0xFFC27A), hex(0x12061F), hex(0x7A3F8F),
                   hex(0x1A0B33), 6, 0xD209});
}

// A soft glowing dot: a white core in a blue halo, falling to pure black well
// inside the square (the quad is opaque, so its corners must vanish on black).
// The quads are only a few pixels wide on screen and sampled at the nearest
// texel, so the core is large: most samples land on light.
void particle(Canvas& c) {
    const double w = c.width(), h = c.height();
    const Rgb halo = hex(0x5FB4FF);
    c.shade([&](double px, double py) {
        const double d = std::hypot(px - w / 2, py - h / 2) / (w / 2);
        const double core = std::exp(-(d / 0.3) * (d / 0.3));
        const double glow = 0.8 * std::exp(-(d / 0.45) * (d / 0.45));
        const double window = 1 - smoothstep(0.5, 0.72, d);
        Rgb colour = scaled(plus(scaled(Rgb{1, 1, 1}, core), scaled(halo, glow)), window);
        if (colour.r + colour.g + colour.b < 0.02) colour = {0, 0, 0};
        return colour;
    });
}

}  // namespace datagen::art
