#include "datagen.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "ms3d_writer.h"
#include "pictures.h"
#include "terrat_model.h"

namespace datagen {

namespace fs = std::filesystem;

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) {
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        file.close();
    }
    if (!file) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

OutputFile bytesFile(std::string relativePath,
                     std::function<bool(std::vector<uint8_t>&, std::string*)> produce) {
    return {std::move(relativePath),
            [produce = std::move(produce)](const std::string& path, std::string* error) {
                std::vector<uint8_t> bytes;
                return produce(bytes, error) && writeBytes(path, bytes, error);
            }};
}

namespace {

OutputFile pictureFile(const std::string& directory, const Picture& picture) {
    return bytesFile(directory + picture.file,
                     [picture](std::vector<uint8_t>& bytes, std::string* error) {
                         return renderPicture(picture, bytes, error);
                     });
}

}  // namespace

std::vector<OutputFile> dataFiles() {
    std::vector<OutputFile> files;
    for (const Picture& picture : demoPictures())
        files.push_back(pictureFile("Data/Textures/", picture));
    files.push_back(bytesFile(kTestModelFile, [](std::vector<uint8_t>& bytes, std::string* error) {
        return ms3d::serialize(buildTestModel(), bytes, error);
    }));
    for (const Picture& picture : testModelPictures()) files.push_back(pictureFile("", picture));
    return files;
}

bool writeFiles(const std::string& dir, const std::vector<OutputFile>& files,
                const WriteOptions& options, std::string* error) {
    const fs::path root(dir);
    for (const OutputFile& file : files) {
        const fs::path target = root / fs::path(file.relativePath);
        std::error_code status;
        if (options.onlyMissing && fs::exists(target, status)) {
            if (options.progress) *options.progress << "kept    " << target.string() << '\n';
            continue;
        }
        fs::create_directories(target.parent_path(), status);
        if (status) {
            if (error) {
                *error = "cannot create directory " + target.parent_path().string() + ": " +
                         status.message();
            }
            return false;
        }
        const fs::path partial = target.string() + ".part";
        std::string reason;
        if (!file.write(partial.string(), &reason)) {
            fs::remove(partial, status);
            if (error) *error = target.string() + ": " + reason;
            return false;
        }
        fs::rename(partial, target, status);
        if (status) {
            if (error)
                *error = "cannot move " + partial.string() + " into place: " + status.message();
            fs::remove(partial, status);
            return false;
        }
        if (options.progress) *options.progress << "wrote   " << target.string() << '\n';
    }
    return true;
}

}  // namespace datagen
