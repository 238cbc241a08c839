#include "gl_common.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace d3d8::gl {

void warnOnce(const char* id, const char* message) {
    // A fixed table: warnings come from state setters, which must not allocate.
    static std::array<const char*, 64> seen{};
    static size_t count = 0;
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(seen[i], id) == 0) return;
    }
    if (count < seen.size()) seen[count++] = id;
    std::fprintf(stderr, "d3d8/gl: %s\n", message);
}

}  // namespace d3d8::gl
