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

}  // namespace ZUL
