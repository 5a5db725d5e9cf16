// Windows only: the version numbers come from GetVersionExA.
#include "sys/os_version.h"

#include <windows.h>

namespace ZUL {

bool CSystemVersion::QueryVersion(unsigned long& platformId, unsigned long& major,
                                  unsigned long& minor) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) {
        return false;
    }
    platformId = info.dwPlatformId;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
}

bool CSystemVersion::QuerySystemVersion(unsigned long& major, unsigned long& minor) {
    // ntdll's own query is not scaled down for programs that do not declare the newer releases;
    // it is looked up at run time, so that the program still loads where it is missing.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto query = ntdll != nullptr ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
                                              GetProcAddress(ntdll, "RtlGetVersion")))
                                        : nullptr;
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (query != nullptr && query(&info) == 0) {
        major = info.dwMajorVersion;
        minor = info.dwMinorVersion;
        return true;
    }
    unsigned long platformId = 0;
    return QueryVersion(platformId, major, minor);
}

}  // namespace ZUL
