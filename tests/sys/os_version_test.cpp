#include "sys/os_version.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

using ZUL::CSystemVersion;

// The classification decides the family (9x or NT) that the readiness wait and the database
// server's options go by: the rows are the edges of both families. The running system is
// classified from its own version numbers.
TEST(SystemVersion, ClassifiesByPlatformThenMajorThenMinor) {
    const struct {
        unsigned long platformId;
        unsigned long major;
        unsigned long minor;
        int type;
    } rows[] = {
        {1, 4, 0, CSystemVersion::kWindows95},   {1, 4, 10, CSystemVersion::kWindows98},
        {1, 4, 90, CSystemVersion::kWindowsMe},  {1, 5, 0, CSystemVersion::kUnknown},
        {2, 4, 90, CSystemVersion::kWindowsNT4}, {2, 5, 1, CSystemVersion::kWindowsXP},
        {2, 6, 1, CSystemVersion::kUnknown},     {0, 4, 0, CSystemVersion::kUnknown},
        {3, 5, 1, CSystemVersion::kUnknown},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CSystemVersion::Classify(row.platformId, row.major, row.minor), row.type)
            << "platform " << row.platformId << ", version " << row.major << "." << row.minor;
    }

#ifdef _WIN32
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    const int running =
        CSystemVersion::Classify(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    EXPECT_EQ(info.dwMajorVersion, CSystemVersion::GetMajorVersion());
    // The system's own number is never below the one a program without a manifest is told.
    EXPECT_GE(CSystemVersion::GetSystemMajorVersion(), CSystemVersion::GetMajorVersion());
    EXPECT_GE(CSystemVersion::GetSystemMajorVersion(), 5u);
#else
    const int running = CSystemVersion::kUnknown;
#endif
    EXPECT_EQ(running, CSystemVersion::GetOSType());
    EXPECT_EQ(running >= CSystemVersion::kWindowsNT4, CSystemVersion::IsNTFamily());
    EXPECT_EQ(running >= CSystemVersion::kWindows95 && running <= CSystemVersion::kWindowsMe,
              CSystemVersion::Is9xFamily());
}
