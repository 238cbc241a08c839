// Small pieces shared by the files of the OpenGL back end: COM-style reference
// counting, a typed set of dirty flags and warn-once diagnostics.
#pragma once

#include <cstdint>

#include "d3d8.h"

namespace d3d8::gl {

// Reference counting as COM does it: objects start with one reference, Release
// returns the new count and the object deletes itself when it reaches zero.
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        if (refs_ == 0) return 0;  // over-released; never delete twice
        const ULONG remaining = --refs_;
        if (remaining == 0) delete this;
        return remaining;
    }

protected:
    RefCounted() = default;
    ~RefCounted() override = default;

private:
    ULONG refs_ = 1;
};

// A set of flags of one enum class whose values are bit positions (0..63).
template <class Enum>
class Flags {
public:
    constexpr Flags() = default;
    constexpr Flags(Enum flag) : bits_(bit(flag)) {}
    Flags& set(Enum flag) {
        bits_ |= bit(flag);
        return *this;
    }
    Flags& set(Flags other) {
        bits_ |= other.bits_;
        return *this;
    }
    void clear(Enum flag) { bits_ &= ~bit(flag); }
    bool test(Enum flag) const { return (bits_ & bit(flag)) != 0; }
    bool any() const { return bits_ != 0; }
    static Flags all() {
        Flags f;
        f.bits_ = ~uint64_t{0};
        return f;
    }

private:
    static constexpr uint64_t bit(Enum flag) { return uint64_t{1} << static_cast<unsigned>(flag); }
    uint64_t bits_ = 0;
};

// Writes "d3d8/gl: <message>" to stderr the first time a given message id is seen.
// For features the back end does not implement: the program keeps running.
void warnOnce(const char* id, const char* message);

// The float channels of a D3DCOLOR (0xAARRGGBB) in r, g, b, a order.
struct ColorF {
    float r, g, b, a;
};
inline ColorF colorFromD3D(D3DCOLOR c) {
    return ColorF{
        static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
        static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 24) & 0xFF) / 255.0f};
}

}  // namespace d3d8::gl
