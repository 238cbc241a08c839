// The drawing of each picture (one function per file), and the motifs that
// several of them share. Private to the generator.
#pragma once

#include "raster.h"

namespace datagen::art {

// Start-up and intro (pictures_intro.cpp)
void loading(Canvas& c);
void zorbinIcon(Canvas& c);
void zorbinText(Canvas& c);
void poweredText(Canvas& c);
void black(Canvas& c);
void filmGrain1(Canvas& c);
void filmGrain2(Canvas& c);
void filmGrain3(Canvas& c);

// The 3D scenes' surfaces (pictures_scenes.cpp)
void velmorTitle(Canvas& c);
void road(Canvas& c);
void dropReflection(Canvas& c);
void particle(Canvas& c);

// Closing and greetings (pictures_closing.cpp)
void extro(Canvas& c);
void pink(Canvas& c);
void greetingsBackground(Canvas& c);
void zorbinShine(Canvas& c);
void greetingJuxta(Canvas& c);
void greetingQovox(Canvas& c);
void greetingUrbix(Canvas& c);

// The test model's pictures (pictures_model.cpp)
void terraSkin(Canvas& c);
void terraChrome(Canvas& c);

// The engine's mark: a ring with a bold Z and an orbit with a small planet,
// centred at (x, y); `radius` is the ring's. The back of the orbit passes
// behind the ring's disc, which is filled with `background`.
void zorbinMark(Canvas& c, double x, double y, double radius, Rgb ink, Rgb accent, Rgb background);

// What a mirror ball shows, for sphere mapping: the picture's centre faces the
// viewer, its top the sky, its bottom the ground.
struct Surroundings {
    Rgb skyHigh, skyLow, horizon, groundNear, groundFar, rim;
    int lights;  // bright windows of light scattered in the sky
    uint64_t seed;
};
void mirrorBall(Canvas& c, const Surroundings& s);

// Scatters `count` small stars over a rectangle.
void stars(Canvas& c, Rng& rng, int count, double x0, double y0, double x1, double y1,
           double brightness);

}  // namespace datagen::art
