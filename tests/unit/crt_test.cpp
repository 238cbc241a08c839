// What the Windows C runtime did that glibc does differently: the random
// generator, the millisecond clock, calendar time and its text, and paths.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "crt.h"

namespace {

TEST(CrtRand, FollowsTheWindowsSequence) {
    crt::srand(1);
    const int seedOne[] = {41, 18467, 6334, 26500, 19169};
    for (int expected : seedOne) EXPECT_EQ(crt::rand(), expected);

    crt::srand(0);
    const int seedZero[] = {38, 7719, 21238, 2437, 8855};
    for (int expected : seedZero) EXPECT_EQ(crt::rand(), expected);
}

TEST(CrtRand, StaysWithinFifteenBitsAndUsesAllOfThem) {
    crt::srand(static_cast<unsigned>(std::time(nullptr)));
    int lowest = crt::kRandMax;
    int highest = 0;
    for (int i = 0; i < 100000; ++i) {
        const int r = crt::rand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, crt::kRandMax);
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    EXPECT_EQ(crt::kRandMax, 32767);
    EXPECT_LT(lowest, 100);
    EXPECT_GT(highest, crt::kRandMax - 100);
}

// Run in a fresh process: nothing may have drawn a number before.
TEST(CrtRandDeathTest, StartsAsIfSeededWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(crt::rand() == 41 && crt::rand() == 18467 ? 0 : 1),
                ::testing::ExitedWithCode(0), "");
}

TEST(CrtClock, FollowsTheInstalledSource) {
    crt::VirtualClock clock(1000);
    crt::setClockSource(clock.source());
    EXPECT_EQ(crt::clock(), 1000u);
    clock.advance(16);
    EXPECT_EQ(crt::clock(), 1016u);
    clock.set(5);
    EXPECT_EQ(crt::clock(), 5u);
    clock.set(0xFFFFFFFFu);
    clock.advance(2);
    EXPECT_EQ(crt::clock(), 1u) << "32-bit milliseconds wrap";
    crt::setClockSource(nullptr);
}

// glibc's clock() counts CPU time, which barely moves while the program sleeps;
// the program's clock is wall time.
TEST(CrtClock, WallClockCountsMillisecondsWhileAsleep) {
    crt::setClockSource(nullptr);
    const uint32_t before = crt::clock();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const uint32_t after = crt::clock();
    EXPECT_GE(after - before, 55u);
    EXPECT_LT(before, 60u * 60u * 1000u) << "counted from the program's start";
}

class CrtCalendar : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        if (hadTz_) savedTz_ = tz;
        useTimeZone("UTC");
    }

    void TearDown() override {
        if (hadTz_) {
            setenv("TZ", savedTz_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
        crt::setCalendarSource(nullptr);
    }

    static void useTimeZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    bool hadTz_ = false;
    std::string savedTz_;
};

TEST_F(CrtCalendar, CtimeWritesTheFixedWidthDateLine) {
    const std::string text = crt::ctime(1796599652);  // 2026-12-06 23:27:32 UTC
    EXPECT_EQ(text, "Sun Dec  6 23:27:32 2026\n");
    EXPECT_EQ(text.size(), 25u);
    EXPECT_EQ(crt::ctime(951815107), "Tue Feb 29 09:05:07 2000\n");
    EXPECT_EQ(crt::ctime(0), "Thu Jan  1 00:00:00 1970\n");
}

TEST_F(CrtCalendar, CtimeUsesLocalTime) {
    useTimeZone("UTC-2");  // POSIX sign: two hours east of Greenwich
    EXPECT_EQ(crt::ctime(1796599652), "Mon Dec  7 01:27:32 2026\n");
}

TEST_F(CrtCalendar, CtimeOfAnUnrepresentableTimeStillEndsTheLine) {
    const std::string text = crt::ctime(LLONG_MAX);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(CrtCalendar, TimeFollowsTheInstalledSource) {
    crt::setCalendarSource([] { return std::time_t{1796599652}; });
    std::time_t out = 0;
    EXPECT_EQ(crt::time(&out), 1796599652);
    EXPECT_EQ(out, 1796599652);
    EXPECT_EQ(crt::time(nullptr), 1796599652);

    crt::setCalendarSource(nullptr);
    const std::time_t now = std::time(nullptr);
    EXPECT_LE(std::abs(static_cast<long long>(crt::time(nullptr) - now)), 2);
}

TEST(CrtPaths, BackslashesBecomeSlashes) {
    EXPECT_EQ(crt::hostPath("Data\\Logs\\x.html"), "Data/Logs/x.html");
    EXPECT_EQ(crt::hostPath(".\\jeep1.jpg"), "./jeep1.jpg");
    EXPECT_EQ(crt::hostPath("Data/Textures/a.jpg"), "Data/Textures/a.jpg");
    EXPECT_EQ(crt::hostPath(""), "");
}

TEST(CrtPaths, MkdirMakesOneDirectoryAndRefusesAnExistingOne) {
    char base[] = "/tmp/crt_test_XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string programPath = std::string(base) + "\\Logs";
    const std::string hostPath = std::string(base) + "/Logs";

    EXPECT_EQ(crt::mkdir(programPath), 0);
    struct stat info {};
    ASSERT_EQ(stat(hostPath.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(crt::mkdir(programPath), -1) << "exists already";
    EXPECT_EQ(crt::mkdir(std::string(base) + "\\No\\Parents"), -1) << "parents are not made";

    rmdir(hostPath.c_str());
    rmdir(base);
}

}  // namespace
