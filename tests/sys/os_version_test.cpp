#include "sys/os_version.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

using ZUL::CSystemVersion;

namespace {

struct VersionCase {
    unsigned long platformId;
    unsigned long major;
    unsigned long minor;
    int type;
};

}  // namespace

TEST(SystemVersion, ClassifiesByPlatformThenMajorThenMinor) {
    const VersionCase cases[] = {
        {1, 4, 0, 1},  {1, 4, 3, 1},  {1, 4, 10, 2}, {1, 4, 90, 3}, {1, 4, 11, 1},
        {1, 3, 10, 0}, {1, 5, 0, 0},  {2, 4, 0, 4},  {2, 4, 90, 4}, {2, 5, 0, 5},
        {2, 5, 1, 6},  {2, 5, 2, 7},  {2, 5, 3, 5},  {2, 6, 0, 0},  {2, 6, 1, 0},
        {2, 10, 0, 0}, {2, 3, 51, 0}, {0, 4, 0, 0},  {0, 5, 1, 0},  {3, 5, 1, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.type, CSystemVersion::Classify(c.platformId, c.major, c.minor))
            << "platform " << c.platformId << ", version " << c.major << "." << c.minor;
    }
}

TEST(SystemVersion, RunningSystemIsClassifiedFromItsOwnVersionNumbers) {
#ifdef _WIN32
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    const int expected =
        CSystemVersion::Classify(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    EXPECT_EQ(info.dwMajorVersion, CSystemVersion::GetMajorVersion());
    // The system's own number is never below the one a program without a manifest is told.
    EXPECT_GE(CSystemVersion::GetSystemMajorVersion(), CSystemVersion::GetMajorVersion());
    EXPECT_GE(CSystemVersion::GetSystemMajorVersion(), 5u);
#else
    EXPECT_EQ(0u, CSystemVersion::GetSystemMajorVersion());
    const int expected = 0;
    EXPECT_EQ(0u, CSystemVersion::GetMajorVersion());
#endif
    EXPECT_EQ(expected, CSystemVersion::GetOSType());
    EXPECT_EQ(expected, CSystemVersion::GetOSType());
    EXPECT_EQ(expected >= 4 && expected <= 7, CSystemVersion::IsNTFamily());
    EXPECT_EQ(expected >= 1 && expected <= 3, CSystemVersion::Is9xFamily());
}
