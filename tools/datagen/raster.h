// Drawing surface for the generated pictures: a cairo image with the DejaVu
// fonts opened by file name, a few helpers that several pictures share, and a
// seeded random generator whose sequence is the same on every machine.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

// Deterministic generator (64-bit xorshift*, fixed seed per picture). The
// standard library's distributions are not portable, so the conversions to
// numbers in a range are done here.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t next();
    double uniform();  // [0, 1)
    double range(double low, double high) { return low + (high - low) * uniform(); }
    int integer(int low, int high);  // [low, high]

private:
    uint64_t state_;
};

struct Rgb {
    double r, g, b;
};

// Colour from 0xRRGGBB.
Rgb hex(uint32_t rgb);
Rgb mix(Rgb a, Rgb b, double t);

// The faces of fonts-dejavu-core that the pictures use.
enum class Font { Sans, SansBold, SansMono, SerifBold };

enum class Align { Left, Centre, Right };

// An opaque picture being drawn: black until painted.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    cairo_t* cr() const { return cr_; }

    void fill(Rgb colour);
    void setColour(Rgb colour, double alpha = 1.0);
    // Vertical gradient through evenly spaced stops, top to bottom.
    void verticalGradient(const std::vector<Rgb>& stops);
    // A soft round light added on top: `colour` at the centre, nothing at `radius`.
    void addGlow(double x, double y, double radius, Rgb colour, double strength);

    // Text with the baseline at y; x is the left edge, the centre or the right
    // edge as `align` says. `spacing` adds that many pixels between letters.
    // `slant` shears the letters (0.2 gives an oblique look from an upright face).
    void setFont(Font font, double size, double slant = 0.0);
    double textWidth(const std::string& text, double spacing = 0.0) const;
    void text(const std::string& text, double x, double y, Align align, double spacing = 0.0);
    // The same letters as a path (for glows and outlines); the path is left set.
    void textPath(const std::string& text, double x, double y, Align align, double spacing = 0.0);

    // Softens what has been drawn since `beginLayer` and adds it onto the picture
    // (light on dark: a glow); `radius` in pixels.
    void beginLayer();
    void endLayerAsGlow(double radius, double strength);

    // Sets every pixel to shade(x, y) (pixel centres at +0.5), for pictures
    // computed pixel by pixel. Components are clamped to 0..1.
    template <typename Shade>
    void shade(Shade shade) {
        for (int y = 0; y < height_; ++y) {
            uint32_t* row = pixelRow(y);
            for (int x = 0; x < width_; ++x) row[x] = pack(shade(x + 0.5, y + 0.5));
        }
        pixelsChanged();
    }
    // Adds grey noise of up to +-amount (0..1) in cells of `cell` pixels.
    void addNoise(Rng& rng, double amount, int cell = 1);

    // Pixels as rows of bytes R, G, B, top row first.
    std::vector<uint8_t> rgbBytes() const;

private:
    static uint32_t pack(Rgb colour);
    uint32_t* pixelRow(int y);
    void pixelsChanged();
    double startOf(const std::string& text, double x, Align align, double spacing) const;
    void placeLetters(const std::string& text, double x, double y, Align align, double spacing,
                      bool asPath);

    int width_;
    int height_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

// Opens the fonts once; false (with the reason) when a face cannot be opened.
// Every Canvas text call needs it to have succeeded.
bool loadFonts(std::string* error);

// Blurs an ARGB32 or RGB24 image surface in place (three box passes, close to a
// Gaussian of the given radius).
void blurSurface(cairo_surface_t* surface, int radius);

}  // namespace datagen
