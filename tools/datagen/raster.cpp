#include "raster.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

namespace datagen {

// ---------------------------------------------------------------------------
// Random numbers and colours

uint64_t Rng::next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

int Rng::integer(int low, int high) {
    const uint64_t span = static_cast<uint64_t>(high - low) + 1;
    return low + static_cast<int>(next() % span);
}

Rgb hex(uint32_t rgb) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

Rgb mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// ---------------------------------------------------------------------------
// Fonts

namespace {

struct FontFile {
    Font font;
    const char* file;
};

// fonts-dejavu-core installs exactly these; the directories are where Debian and
// other distributions put them.
constexpr std::array<FontFile, 4> kFontFiles = {{{Font::Sans, "DejaVuSans.ttf"},
                                                 {Font::SansBold, "DejaVuSans-Bold.ttf"},
                                                 {Font::SansMono, "DejaVuSansMono.ttf"},
                                                 {Font::SerifBold, "DejaVuSerif-Bold.ttf"}}};
constexpr std::array<const char*, 4> kFontDirectories = {
    "/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu", "/usr/share/fonts/TTF",
    "/usr/local/share/fonts/dejavu"};

struct FontSet {
    FT_Library library = nullptr;
    std::array<cairo_font_face_t*, kFontFiles.size()> faces{};
    bool loaded = false;
};

FontSet& fontSet() {
    static FontSet set;
    return set;
}

const cairo_user_data_key_t kFaceKey{};

void doneFace(void* face) { FT_Done_Face(static_cast<FT_Face>(face)); }

std::string findFontFile(const char* name) {
    for (const char* dir : kFontDirectories) {
        std::error_code ignored;
        const std::filesystem::path path = std::filesystem::path(dir) / name;
        if (std::filesystem::is_regular_file(path, ignored)) return path.string();
    }
    return {};
}

cairo_font_face_t* faceOf(Font font) {
    FontSet& set = fontSet();
    for (size_t i = 0; i < kFontFiles.size(); ++i) {
        if (kFontFiles[i].font == font) return set.faces[i];
    }
    return nullptr;
}

// Outlines unhinted and grey-antialiased whatever the machine's font settings
// say, so the same letters come out everywhere.
void applyFontOptions(cairo_t* cr) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

// Byte length of the UTF-8 sequence that starts with `lead`.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead >> 5) == 0x6) return 2;
    if ((lead >> 4) == 0xE) return 3;
    if ((lead >> 3) == 0x1E) return 4;
    return 1;
}

}  // namespace

bool loadFonts(std::string* error) {
    FontSet& set = fontSet();
    if (set.loaded) return true;
    if (!set.library && FT_Init_FreeType(&set.library) != 0) {
        if (error) *error = "FreeType could not be started";
        return false;
    }
    for (size_t i = 0; i < kFontFiles.size(); ++i) {
        if (set.faces[i]) continue;
        const std::string path = findFontFile(kFontFiles[i].file);
        FT_Face face = nullptr;
        if (path.empty() || FT_New_Face(set.library, path.c_str(), 0, &face) != 0) {
            if (error) {
                *error = std::string("font ") + kFontFiles[i].file +
                         " not found or unreadable (looked in /usr/share/fonts/truetype/dejavu and "
                         "similar; the package is fonts-dejavu-core)";
            }
            return false;
        }
        cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(face, 0);
        if (cairo_font_face_set_user_data(cairoFace, &kFaceKey, face, doneFace) !=
            CAIRO_STATUS_SUCCESS) {
            cairo_font_face_destroy(cairoFace);
            FT_Done_Face(face);
            if (error) *error = "out of memory opening fonts";
            return false;
        }
        set.faces[i] = cairoFace;
    }
    set.loaded = true;
    return true;
}

// ---------------------------------------------------------------------------
// Canvas

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
      cr_(cairo_create(surface_)) {
    applyFontOptions(cr_);
    fill({0, 0, 0});
}

Canvas::~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

void Canvas::fill(Rgb colour) {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr_, colour.r, colour.g, colour.b);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

void Canvas::setColour(Rgb colour, double alpha) {
    cairo_set_source_rgba(cr_, colour.r, colour.g, colour.b, alpha);
}

void Canvas::verticalGradient(const std::vector<Rgb>& stops) {
    if (stops.empty()) return;
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0, 0, 0, height_);
    const double last = stops.size() > 1 ? static_cast<double>(stops.size() - 1) : 1.0;
    for (size_t i = 0; i < stops.size(); ++i) {
        cairo_pattern_add_color_stop_rgb(pattern, i / last, stops[i].r, stops[i].g, stops[i].b);
    }
    cairo_save(cr_);
    cairo_set_source(cr_, pattern);
    cairo_paint(cr_);
    cairo_restore(cr_);
    cairo_pattern_destroy(pattern);
}

void Canvas::addGlow(double x, double y, double radius, Rgb colour, double strength) {
    cairo_pattern_t* pattern = cairo_pattern_create_radial(x, y, 0, x, y, radius);
    // A smooth fall-off (roughly (1 - d)^2) rather than a linear cone.
    for (int i = 0; i <= 8; ++i) {
        const double d = i / 8.0;
        const double a = strength * (1 - d) * (1 - d);
        cairo_pattern_add_color_stop_rgba(pattern, d, colour.r, colour.g, colour.b, a);
    }
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_ADD);
    cairo_set_source(cr_, pattern);
    cairo_arc(cr_, x, y, radius, 0, 2 * M_PI);
    cairo_fill(cr_);
    cairo_restore(cr_);
    cairo_pattern_destroy(pattern);
}

void Canvas::setFont(Font font, double size, double slant) {
    cairo_set_font_face(cr_, faceOf(font));
    cairo_matrix_t matrix;
    // x' = size * x - slant * size * y: the top of each letter leans right.
    cairo_matrix_init(&matrix, size, 0, -slant * size, size, 0, 0);
    cairo_set_font_matrix(cr_, &matrix);
}

double Canvas::textWidth(const std::string& text, double spacing) const {
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, text.c_str(), &extents);
    size_t letters = 0;
    for (size_t i = 0; i < text.size(); i += sequenceLength(static_cast<unsigned char>(text[i]))) {
        ++letters;
    }
    return extents.x_advance + (letters > 1 ? spacing * static_cast<double>(letters - 1) : 0.0);
}

double Canvas::startOf(const std::string& text, double x, Align align, double spacing) const {
    switch (align) {
        case Align::Left:
            return x;
        case Align::Centre:
            return x - textWidth(text, spacing) / 2;
        case Align::Right:
            return x - textWidth(text, spacing);
    }
    return x;
}

void Canvas::placeLetters(const std::string& text, double x, double y, Align align, double spacing,
                          bool asPath) {
    double pen = startOf(text, x, align, spacing);
    if (spacing == 0.0) {
        cairo_move_to(cr_, pen, y);
        if (asPath)
            cairo_text_path(cr_, text.c_str());
        else
            cairo_show_text(cr_, text.c_str());
        return;
    }
    for (size_t i = 0; i < text.size();) {
        const size_t length =
            std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        const std::string letter = text.substr(i, length);
        cairo_text_extents_t extents;
        cairo_text_extents(cr_, letter.c_str(), &extents);
        cairo_move_to(cr_, pen, y);
        if (asPath)
            cairo_text_path(cr_, letter.c_str());
        else
            cairo_show_text(cr_, letter.c_str());
        pen += extents.x_advance + spacing;
        i += length;
    }
}

void Canvas::text(const std::string& text, double x, double y, Align align, double spacing) {
    placeLetters(text, x, y, align, spacing, false);
}

void Canvas::textPath(const std::string& text, double x, double y, Align align, double spacing) {
    cairo_new_path(cr_);
    placeLetters(text, x, y, align, spacing, true);
}

void Canvas::beginLayer() {
    // Drawing goes to a transparent group of the picture's size until endLayer.
    cairo_push_group_with_content(cr_, CAIRO_CONTENT_COLOR_ALPHA);
}

void Canvas::endLayerAsGlow(double radius, double strength) {
    cairo_pattern_t* group = cairo_pop_group(cr_);
    // Copy into a plain image of the picture's size, blur, and add it on.
    cairo_surface_t* layer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    cairo_t* layerCr = cairo_create(layer);
    cairo_set_source(layerCr, group);
    cairo_paint(layerCr);
    cairo_destroy(layerCr);
    cairo_pattern_destroy(group);
    blurSurface(layer, static_cast<int>(std::lround(radius)));
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_ADD);
    cairo_set_source_surface(cr_, layer, 0, 0);
    cairo_paint_with_alpha(cr_, strength);
    cairo_restore(cr_);
    cairo_surface_destroy(layer);
}

uint32_t Canvas::pack(Rgb colour) {
    auto byte = [](double v) {
        return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    return byte(colour.r) << 16 | byte(colour.g) << 8 | byte(colour.b);
}

uint32_t* Canvas::pixelRow(int y) {
    cairo_surface_flush(surface_);
    unsigned char* data = cairo_image_surface_get_data(surface_);
    return reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) *
                                                  cairo_image_surface_get_stride(surface_));
}

void Canvas::pixelsChanged() { cairo_surface_mark_dirty(surface_); }

void Canvas::addNoise(Rng& rng, double amount, int cell) {
    cell = std::max(1, cell);
    const int columns = (width_ + cell - 1) / cell;
    std::vector<int> offsets(static_cast<size_t>(columns));
    for (int y = 0; y < height_; ++y) {
        if (y % cell == 0) {
            for (int& offset : offsets)
                offset = static_cast<int>(std::lround(rng.range(-amount, amount) * 255.0));
        }
        uint32_t* row = pixelRow(y);
        for (int x = 0; x < width_; ++x) {
            const int offset = offsets[static_cast<size_t>(x / cell)];
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int v =
                    std::clamp(static_cast<int>((row[x] >> shift) & 0xFF) + offset, 0, 255);
                out |= static_cast<uint32_t>(v) << shift;
            }
            row[x] = out;
        }
    }
    pixelsChanged();
}

std::vector<uint8_t> Canvas::rgbBytes() const {
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::vector<uint8_t> bytes(static_cast<size_t>(width_) * height_ * 3);
    uint8_t* out = bytes.data();
    for (int y = 0; y < height_; ++y) {
        const uint32_t* row =
            reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < width_; ++x) {
            *out++ = static_cast<uint8_t>(row[x] >> 16);
            *out++ = static_cast<uint8_t>(row[x] >> 8);
            *out++ = static_cast<uint8_t>(row[x]);
        }
    }
    return bytes;
}

// ---------------------------------------------------------------------------
// Blur

namespace {

// One box pass of width 2r+1 along a line of `count` values `step` apart, with
// the ends repeated; four 8-bit channels packed in each 32-bit value.
void boxLine(uint32_t* line, int count, int step, int r, std::vector<uint32_t>& scratch) {
    scratch.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) scratch[i] = line[static_cast<size_t>(i) * step];
    const int width = 2 * r + 1;
    for (int channel = 0; channel < 32; channel += 8) {
        auto value = [&](int i) {
            return static_cast<int>((scratch[std::clamp(i, 0, count - 1)] >> channel) & 0xFF);
        };
        int sum = 0;
        for (int i = -r; i <= r; ++i) sum += value(i);
        for (int i = 0; i < count; ++i) {
            const uint32_t averaged = static_cast<uint32_t>((sum + width / 2) / width);
            uint32_t& out = line[static_cast<size_t>(i) * step];
            out = (out & ~(0xFFu << channel)) | (averaged << channel);
            sum += value(i + r + 1) - value(i - r);
        }
    }
}

}  // namespace

void blurSurface(cairo_surface_t* surface, int radius) {
    if (radius <= 0) return;
    cairo_surface_flush(surface);
    uint8_t* data = cairo_image_surface_get_data(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface) / 4;
    uint32_t* pixels = reinterpret_cast<uint32_t*>(data);
    // Three box passes of a third of the radius each approach a Gaussian.
    const int r = std::max(1, radius / 2);
    std::vector<uint32_t> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y)
            boxLine(pixels + static_cast<size_t>(y) * stride, width, 1, r, scratch);
        for (int x = 0; x < width; ++x) boxLine(pixels + x, height, stride, r, scratch);
    }
    cairo_surface_mark_dirty(surface);
}

}  // namespace datagen
