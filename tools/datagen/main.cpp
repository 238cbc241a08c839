// datagen: writes every data file the demo reads below a directory.
//
//   datagen [--missing] [--quiet] DIR
//
// DIR/Data/Textures/*   the pictures
// DIR/Data/Music/onehitw.xm   the music
// DIR/terraT.ms3d and DIR/terraT_*.jpg   the test model and its pictures
//
// The same bytes on every run. --missing writes only the files that do not
// exist yet. DIR/Data/Config/direct3d.cfg is never written (it is kept in the
// repository). Exit status 0 on success, 1 on failure, 2 on bad usage.
#include <cstring>
#include <iostream>
#include <string>

#include "datagen.h"
#include "music.h"

namespace {

void usage(std::ostream& out) {
    out << "usage: datagen [--missing] [--quiet] DIR\n"
           "  writes the demo's pictures, music and test model below DIR\n"
           "  --missing  write only the files that do not exist yet\n"
           "  --quiet    print nothing but errors\n";
}

}  // namespace

int main(int argc, char** argv) {
    datagen::WriteOptions options;
    options.progress = &std::cout;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--missing") {
            options.onlyMissing = true;
        } else if (arg == "--quiet") {
            options.progress = nullptr;
        } else if (arg == "-h" || arg == "--help") {
            usage(std::cout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "datagen: unknown option " << arg << '\n';
            usage(std::cerr);
            return 2;
        } else if (dir.empty()) {
            dir = arg;
        } else {
            std::cerr << "datagen: more than one directory given\n";
            usage(std::cerr);
            return 2;
        }
    }
    if (dir.empty()) {
        usage(std::cerr);
        return 2;
    }

    std::vector<datagen::OutputFile> files = datagen::dataFiles();
    files.push_back({"Data/Music/onehitw.xm", datagen::writeMusic});
    std::string error;
    if (!datagen::writeFiles(dir, files, options, &error)) {
        std::cerr << "datagen: " << error << '\n';
        return 1;
    }
    return 0;
}
