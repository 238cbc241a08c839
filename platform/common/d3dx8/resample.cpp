// Fitting a picture to a texture level.
//
// Scaling is separable: each axis gets a table of source taps and weights per
// destination pixel, built once. Each destination row sums its source rows into
// one float row (the vertical pass), which the horizontal pass then reads, so
// memory stays at one row whatever the image size. Edges are clamped.
#include <algorithm>
#include <cmath>

#include "d3dx8_image.h"

namespace d3dx8 {
namespace {

constexpr uint32_t kFilterKindMask = 0xFFFF;  // the low word names the filter; flags above

struct Tap {
    uint32_t source;
    float weight;
};

// For destination pixel d, its taps are taps[first[d]] .. taps[first[d + 1] - 1].
struct AxisPlan {
    std::vector<uint32_t> first;
    std::vector<Tap> taps;
};

// Adds the taps of one destination pixel, weights normalised to sum to 1.
class TapWriter {
public:
    TapWriter(AxisPlan& plan, uint32_t sourceSize) : plan_(plan), last_(sourceSize - 1) {}
    void begin() {
        start_ = plan_.taps.size();
        plan_.first.push_back(static_cast<uint32_t>(start_));
    }
    void add(int64_t source, float weight) {
        if (weight <= 0.0f) return;
        const int64_t clamped = std::clamp<int64_t>(source, 0, last_);
        plan_.taps.push_back(Tap{static_cast<uint32_t>(clamped), weight});
    }
    void end() {
        float sum = 0.0f;
        for (size_t i = start_; i < plan_.taps.size(); ++i) sum += plan_.taps[i].weight;
        for (size_t i = start_; i < plan_.taps.size(); ++i) plan_.taps[i].weight /= sum;
    }

private:
    AxisPlan& plan_;
    int64_t last_;
    size_t start_ = 0;
};

// Pixel s covers [s, s + 1) in source units; destination pixel d covers
// [d * scale, (d + 1) * scale) and is centred at (d + 0.5) * scale.
AxisPlan planAxis(uint32_t sourceSize, uint32_t destSize, Filter filter) {
    AxisPlan plan;
    plan.first.reserve(destSize + 1);
    TapWriter writer(plan, sourceSize);
    const double scale = static_cast<double>(sourceSize) / destSize;
    // The tent reaches one source pixel either side, or the whole footprint of
    // the destination pixel when shrinking (Triangle).
    const double radius = filter == Filter::Triangle ? std::max(1.0, scale) : 1.0;
    for (uint32_t d = 0; d < destSize; ++d) {
        writer.begin();
        const double centre = (d + 0.5) * scale;
        if (filter == Filter::Point) {
            writer.add(static_cast<int64_t>(std::floor(centre)), 1.0f);
        } else if (filter == Filter::Box) {
            const double from = d * scale;
            const double to = from + scale;
            for (auto s = static_cast<int64_t>(std::floor(from)); static_cast<double>(s) < to;
                 ++s) {
                const auto left = static_cast<double>(s);
                const double overlap = std::min(to, left + 1.0) - std::max(from, left);
                writer.add(s, static_cast<float>(overlap));
            }
        } else {
            const auto lo = static_cast<int64_t>(std::floor(centre - radius - 0.5));
            const auto hi = static_cast<int64_t>(std::ceil(centre + radius - 0.5));
            for (int64_t s = lo; s <= hi; ++s) {
                const double distance = std::fabs(static_cast<double>(s) + 0.5 - centre);
                writer.add(s, static_cast<float>(1.0 - distance / radius));
            }
        }
        writer.end();
    }
    plan.first.push_back(static_cast<uint32_t>(plan.taps.size()));
    return plan;
}

uint32_t toChannel(float value) {
    return static_cast<uint32_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

Image copyTopLeft(const Image& src, uint32_t width, uint32_t height) {
    Image dst;
    dst.reset(width, height, 0x00000000);  // outside the picture: transparent black
    const uint32_t copyWidth = std::min(width, src.width);
    const uint32_t copyHeight = std::min(height, src.height);
    for (uint32_t y = 0; y < copyHeight; ++y) {
        std::copy_n(src.row(y), copyWidth, dst.row(y));
    }
    return dst;
}

Image scale(const Image& src, uint32_t width, uint32_t height, Filter filter) {
    const AxisPlan columns = planAxis(src.width, width, filter);
    const AxisPlan rows = planAxis(src.height, height, filter);
    Image dst;
    dst.reset(width, height);
    std::vector<float> line(size_t{src.width} * 4);  // B, G, R, A of one vertically filtered row
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(line.begin(), line.end(), 0.0f);
        for (uint32_t t = rows.first[y]; t < rows.first[y + 1]; ++t) {
            const uint32_t* srcRow = src.row(rows.taps[t].source);
            const float w = rows.taps[t].weight;
            for (uint32_t x = 0; x < src.width; ++x) {
                const uint32_t p = srcRow[x];
                float* acc = &line[size_t{x} * 4];
                for (int c = 0; c < 4; ++c) acc[c] += w * static_cast<float>((p >> (8 * c)) & 0xFF);
            }
        }
        uint32_t* dstRow = dst.row(y);
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (uint32_t t = columns.first[x]; t < columns.first[x + 1]; ++t) {
                const float* p = &line[size_t{columns.taps[t].source} * 4];
                for (int c = 0; c < 4; ++c) acc[c] += columns.taps[t].weight * p[c];
            }
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) pixel |= toChannel(acc[c]) << (8 * c);
            dstRow[x] = pixel;
        }
    }
    return dst;
}

}  // namespace

bool filterFromD3DX(DWORD value, Filter whenDefault, Filter& filter) {
    if (value == D3DX_DEFAULT) {
        filter = whenDefault;
        return true;
    }
    switch (value & kFilterKindMask) {
        case D3DX_FILTER_NONE:
            filter = Filter::None;
            return true;
        case D3DX_FILTER_POINT:
            filter = Filter::Point;
            return true;
        case D3DX_FILTER_LINEAR:
            filter = Filter::Linear;
            return true;
        case D3DX_FILTER_TRIANGLE:
            filter = Filter::Triangle;
            return true;
        case D3DX_FILTER_BOX:
            filter = Filter::Box;
            return true;
        default:
            return false;
    }
}

Image resampleImage(const Image& src, uint32_t width, uint32_t height, Filter filter) {
    if (filter == Filter::None || src.width == 0 || src.height == 0) {
        return copyTopLeft(src, width, height);
    }
    if (src.width == width && src.height == height) return src;
    return scale(src, width, height, filter);
}

}  // namespace d3dx8
