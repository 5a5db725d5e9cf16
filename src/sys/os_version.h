// Classification of the running Windows version into a small number.
#pragma once

namespace ZUL {

class CSystemVersion {
public:
    // 0 not recognised, 1 Windows 95, 2 Windows 98, 3 Windows Me, 4 Windows NT 4, 5 Windows 2000,
    // 6 Windows XP, 7 Windows Server 2003.
    enum OSType {
        kUnknown = 0,
        kWindows95 = 1,
        kWindows98 = 2,
        kWindowsMe = 3,
        kWindowsNT4 = 4,
        kWindows2000 = 5,
        kWindowsXP = 6,
        kWindowsServer2003 = 7,
    };

    // The type of the running system, computed once per process. An unrecognised system is
    // classified again at every call (0 also means "not computed yet"), with the same result.
    // Always 0 on Linux.
    static int GetOSType();
    static bool IsNTFamily();
    static bool Is9xFamily();
    // The major version number the system reports, not cached; 0 on Linux.
    static unsigned long GetMajorVersion();
    // The major version number of the system itself: a program without a manifest that names
    // the newer releases is told 6 by GetMajorVersion on Windows 8.1, 10 and 11, where this
    // answers 6 or 10. 0 on Linux.
    static unsigned long GetSystemMajorVersion();

    // The type for a platform id and version numbers as the Windows version record holds them.
    static int Classify(unsigned long platformId, unsigned long major, unsigned long minor);

private:
    // Reads the platform id and version numbers; false when they cannot be had.
    static bool QueryVersion(unsigned long& platformId, unsigned long& major, unsigned long& minor);
    // The system's own version numbers; false when they cannot be had.
    static bool QuerySystemVersion(unsigned long& major, unsigned long& minor);
};

}  // namespace ZUL
