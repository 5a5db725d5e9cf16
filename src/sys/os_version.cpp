#include "sys/os_version.h"

#include <atomic>

namespace ZUL {

namespace {

constexpr unsigned long kPlatformWin9x = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr unsigned long kPlatformNT = 2;     // VER_PLATFORM_WIN32_NT

std::atomic<int> g_osType{CSystemVersion::kUnknown};

}  // namespace

int CSystemVersion::Classify(unsigned long platformId, unsigned long major, unsigned long minor) {
    if (platformId == kPlatformWin9x && major == 4) {
        if (minor == 10) {
            return kWindows98;
        }
        if (minor == 90) {
            return kWindowsMe;
        }
        return kWindows95;
    }
    if (platformId == kPlatformNT && major == 4) {
        return kWindowsNT4;
    }
    if (platformId == kPlatformNT && major == 5) {
        if (minor == 1) {
            return kWindowsXP;
        }
        if (minor == 2) {
            return kWindowsServer2003;
        }
        return kWindows2000;
    }
    return kUnknown;
}

int CSystemVersion::GetOSType() {
    int type = g_osType.load();
    if (type == kUnknown) {
        unsigned long platformId = 0;
        unsigned long major = 0;
        unsigned long minor = 0;
        if (QueryVersion(platformId, major, minor)) {
            type = Classify(platformId, major, minor);
        }
        g_osType.store(type);
    }
    return type;
}

bool CSystemVersion::IsNTFamily() {
    const int type = GetOSType();
    return type >= kWindowsNT4 && type <= kWindowsServer2003;
}

bool CSystemVersion::Is9xFamily() {
    const int type = GetOSType();
    return type >= kWindows95 && type <= kWindowsMe;
}

unsigned long CSystemVersion::GetMajorVersion() {
    unsigned long platformId = 0;
    unsigned long major = 0;
    unsigned long minor = 0;
    return QueryVersion(platformId, major, minor) ? major : 0;
}

unsigned long CSystemVersion::GetSystemMajorVersion() {
    unsigned long major = 0;
    unsigned long minor = 0;
    return QuerySystemVersion(major, minor) ? major : 0;
}

}  // namespace ZUL
