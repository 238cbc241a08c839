// The program's icon (program_icon.h): its two images, drawn in code.
#include "program_icon.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace program_icon {

namespace {

constexpr int kSupersampling = 4;

struct Colour {
    float r, g, b;
};

constexpr Colour kIndigo{34, 14, 82};
constexpr Colour kPurple{120, 36, 130};
constexpr Colour kMagenta{232, 72, 130};
constexpr Colour kSunTop{255, 226, 86};
constexpr Colour kSunBottom{255, 120, 52};
constexpr Colour kGround{26, 12, 44};
constexpr Colour kRoad{62, 58, 80};
constexpr Colour kRoadEdge{238, 236, 246};
constexpr Colour kCentreLine{255, 214, 64};

// Picture geometry, in pixels of the 32 x 32 image (y grows downwards).
constexpr float kHorizonY = 17.0f;
constexpr float kCentreX = 16.0f;
constexpr float kSunRadius = 10.0f;
constexpr float kCornerRadius = 7.0f;

Colour mix(Colour a, Colour b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour skyColour(float y, bool flat) {
    const float t = y / kHorizonY;
    if (flat) return t < 0.4f ? kIndigo : t < 0.75f ? kPurple : kMagenta;
    return t < 0.6f ? mix(kIndigo, kPurple, t / 0.6f) : mix(kPurple, kMagenta, (t - 0.6f) / 0.4f);
}

// The sky shows through two bands across the lower half of the sun.
bool inSunGap(float y) { return (y >= 11.6f && y < 12.6f) || (y >= 14.0f && y < 15.4f); }

Colour sunColour(float y, bool flat) {
    const float t = (y - (kHorizonY - kSunRadius)) / kSunRadius;
    if (flat) return t < 0.5f ? kSunTop : kSunBottom;
    return mix(kSunTop, kSunBottom, t);
}

Colour skyOrSun(float x, float y, bool flat) {
    const float dx = x - kCentreX;
    const float dy = y - kHorizonY;
    if (dx * dx + dy * dy < kSunRadius * kSunRadius && !inSunGap(y)) return sunColour(y, flat);
    return skyColour(y, flat);
}

// Below the horizon: the road narrows to the vanishing point in perspective, so
// its width grows with the distance below the horizon and the centre dashes
// repeat evenly in 1 / distance (depth).
Colour groundOrRoad(float x, float y) {
    const float below = y - kHorizonY;
    const float halfWidth = below * 0.92f;
    const float offCentre = std::fabs(x - kCentreX);
    if (offCentre >= halfWidth) return kGround;
    if (offCentre > halfWidth - std::max(0.8f, below * 0.1f)) return kRoadEdge;
    const float depth = 30.0f / (below + 1.0f);
    if (offCentre < std::max(0.5f, below * 0.055f) && std::fmod(depth, 1.6f) < 0.8f) return kCentreLine;
    return kRoad;
}

Colour scene(float x, float y, bool flat) {
    return y < kHorizonY ? skyOrSun(x, y, flat) : groundOrRoad(x, y);
}

bool insideRoundedSquare(float x, float y) {
    const float nearestX = std::clamp(x, kCornerRadius, kSide - kCornerRadius);
    const float nearestY = std::clamp(y, kCornerRadius, kSide - kCornerRadius);
    const float dx = x - nearestX;
    const float dy = y - nearestY;
    return dx * dx + dy * dy <= kCornerRadius * kCornerRadius;
}

uint32_t argb(float a, float r, float g, float b) {
    const auto byte = [](float v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 255.0f))); };
    return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

uint32_t smoothPixel(int px, int py) {
    Colour sum{0, 0, 0};
    int covered = 0;
    for (int sy = 0; sy < kSupersampling; ++sy) {
        for (int sx = 0; sx < kSupersampling; ++sx) {
            const float x = px + (sx + 0.5f) / kSupersampling;
            const float y = py + (sy + 0.5f) / kSupersampling;
            const Colour c = scene(x, y, false);
            sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
            covered += insideRoundedSquare(x, y) ? 1 : 0;
        }
    }
    constexpr float kSamples = kSupersampling * kSupersampling;
    return argb(255.0f * covered / kSamples, sum.r / kSamples, sum.g / kSamples, sum.b / kSamples);
}

uint32_t flatPixel(int px, int py) {
    const Colour c = scene(px + 0.5f, py + 0.5f, true);
    return argb(255.0f, c.r, c.g, c.b);
}

using Pixels = std::array<uint32_t, kSide * kSide>;

}  // namespace

const uint32_t* image(int index) {
    static const auto* const images = [] {
        auto* drawn = new std::array<Pixels, kImageCount>;
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                (*drawn)[0][y * kSide + x] = smoothPixel(x, y);
                (*drawn)[1][y * kSide + x] = flatPixel(x, y);
            }
        }
        return drawn;
    }();
    if (index < 0 || index >= kImageCount) return nullptr;
    return (*images)[index].data();
}

}  // namespace program_icon
