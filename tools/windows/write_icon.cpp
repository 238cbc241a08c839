// write_icon FILE: writes the program's icon as a Windows .ico file
// (platform/windows/demo.ico, which the Windows build's resources embed).
#include <cstdio>
#include <fstream>

#include "icon_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_icon FILE.ico\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = windows_icon::programIconFile();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "write_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
