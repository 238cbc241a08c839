// The real-world test files: pictures, models and a module made by other tools.
// They stay outside the repository, in DEMO_FIXTURES_DIR (../shared/fixtures
// beside it unless configured otherwise). A clone without them still runs every
// other test; the tests that read them skip, saying where they looked. Under CI
// a missing folder fails those tests instead, so a green CI run has run them all.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fixture_files {

// The environment's DEMO_FIXTURES_DIR when set, so the files can be found
// elsewhere without configuring the build again; else the configured folder.
inline std::filesystem::path folder() {
    const char* fromEnvironment = std::getenv("DEMO_FIXTURES_DIR");
    const bool given = fromEnvironment != nullptr && *fromEnvironment != '\0';
    return std::filesystem::path(given ? fromEnvironment : DEMO_FIXTURES_DIR).lexically_normal();
}

inline std::filesystem::path file(const std::string& relative) { return folder() / relative; }

inline bool present() { return std::filesystem::is_directory(folder()); }

// CI machines set CI, most of them to "true".
inline bool underCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::string(ci) != "false" && std::string(ci) != "0";
}

// One text for every test that skips, so the test command can count them under it.
inline std::string missingReason() {
    return "no real-world test files in " + folder().string() +
           " (set DEMO_FIXTURES_DIR to the folder that holds them)";
}

}  // namespace fixture_files

// Ends the calling test (or its SetUp) unless the real-world files are there:
// skipped, or failed under CI.
#define REQUIRE_FIXTURE_FILES()                                                               \
    do {                                                                                      \
        if (!fixture_files::present()) {                                                      \
            if (fixture_files::underCi()) {                                                   \
                FAIL() << "under CI every test must run: " << fixture_files::missingReason(); \
            }                                                                                 \
            GTEST_SKIP() << fixture_files::missingReason();                                   \
        }                                                                                     \
    } while (false)
