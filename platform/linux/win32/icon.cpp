// LoadIconA on Linux: the program's icon (program_icon.h) as the SDL surfaces
// that windows show.
#include <array>
#include <cstring>

#include "program_icon.h"
#include "win32_sdl.h"
#include "windows.h"

namespace {

using Pixels = std::array<uint32_t, program_icon::kSide * program_icon::kSide>;

}  // namespace

struct HICON__ {
    std::array<Pixels, program_icon::kImageCount> pixels;
    std::array<SDL_Surface*, program_icon::kImageCount> images;
};

namespace {

// Made on first use and kept for the life of the program (the surfaces point
// into `pixels`, so neither may go away while a window may use them).
HICON__* programIcon() {
    static HICON__* icon = [] {
        constexpr int kSide = program_icon::kSide;
        auto* made = new HICON__{};
        for (int i = 0; i < program_icon::kImageCount; ++i) {
            std::memcpy(made->pixels[i].data(), program_icon::image(i), sizeof(Pixels));
            made->images[i] = SDL_CreateRGBSurfaceWithFormatFrom(
                made->pixels[i].data(), kSide, kSide, 32, kSide * 4, SDL_PIXELFORMAT_ARGB8888);
        }
        return made;
    }();
    return icon;
}

}  // namespace

namespace win32 {

int iconImageCount(HICON hIcon) { return hIcon && hIcon == programIcon() ? program_icon::kImageCount : 0; }

SDL_Surface* iconImage(HICON hIcon, int index) {
    if (index < 0 || index >= iconImageCount(hIcon)) return nullptr;
    return hIcon->images[index];
}

}  // namespace win32

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    // Only the program's own module has resources; a null instance would ask for
    // the system's icons, which are not provided.
    if (!hInstance || hInstance != GetModuleHandleA(nullptr)) return nullptr;
    if (!IS_INTRESOURCE(lpIconName) || LOWORD(lpIconName) != program_icon::kResourceId) return nullptr;
    return programIcon();
}
