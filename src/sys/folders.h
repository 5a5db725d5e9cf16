// Folders of the executable and of the system, and path separators.
#pragma once

#include <string>

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif
// The separator as a string, for joining paths.
inline const std::string kSep(1, kPathSeparator);

// A path from the configuration (written with '\') in this platform's form: unchanged on
// Windows, every '\' turned into '/' elsewhere.
std::string NativeSeparators(const std::string& path);

// Whether the character separates folders in a path: '/', and on Windows '\' too.
bool IsPathSeparator(char c);

// The path without the separators at its end; a path of separators alone keeps one.
std::string WithoutTrailingSeparators(std::string path);

// The folder with a separator at its end (this platform's, unless it has one); empty stays empty.
std::string WithTrailingSeparator(std::string folder);

// The running executable's folder, with a trailing separator.
std::string GetModuleFolder();

// The user's temporary folder with a trailing separator (GetTempPathA on Windows; $TMPDIR, else
// /tmp/, elsewhere).
std::string GetTempFolder();

// The shell folders the program asks for, by their CSIDL numbers.
constexpr int kCsidlPersonal = 5;       // the documents folder
constexpr int kCsidlAppData = 26;       // the user's roaming application data
constexpr int kCsidlLocalAppData = 28;  // the user's local application data
constexpr int kCsidlWindows = 36;       // the Windows folder
constexpr int kCsidlSystem = 37;        // the system folder
constexpr int kCsidlProgramFiles = 38;  // the programs folder

// A shell folder by its CSIDL number, without a trailing separator; empty when it cannot be found.
// Linux: 38 (programs) is /usr, 36 (Windows) is /, 5 (documents) the XDG documents folder.
std::string GetSpecialFolderPath(int csidl);

// The IPv4 address with the given index of the local host name, as dotted text; empty when there
// is none. On Windows the caller must have started the socket library.
std::string GetLocalIpAddress(int index);
