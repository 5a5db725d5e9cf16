// Folders that a clean-up must never delete with what is in them: the roots of drives and file
// systems, the folders of the user and of the system, the temporary folder itself, and whatever
// holds the stack or the launcher. A folder is protected when it is one of these or lies above
// one of them (deleting it would take the protected folder along).
//
// Whoever is about to delete a folder that came from a configuration (a database mirror, a
// runtime folder) asks IsProtectedOnThisMachine first; a tool that checks a stack's
// configuration asks the same question without deleting anything.
#pragma once

#include <string>
#include <vector>

// How paths are spelled: Windows ("\" and "/" both separate, letter case does not count, a root
// is "C:\" or "\\server\share") or POSIX ("/" separates, case counts, the root is "/").
enum class PathStyle { kWindows, kPosix };

#ifdef _WIN32
constexpr PathStyle kNativePathStyle = PathStyle::kWindows;
#else
constexpr PathStyle kNativePathStyle = PathStyle::kPosix;
#endif

// Whether deleting `folder` would delete a root or one of `protectedFolders`: true when the
// folder is empty or not absolute, names a drive or file-system root, or, after "." and ".."
// parts and repeated or trailing separators are resolved, equals one of `protectedFolders` or lies
// above one. Folders below a protected one are not protected by it. Windows device paths
// ("\\?\...", "\\.\...") count as protected, since they cannot be compared by name. Pure: it
// looks at no file system, so the same answer holds on every machine.
bool IsProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders,
                       PathStyle style = kNativePathStyle);

// The protected folders of this machine for a stack in `stackFolder`: the user's home, documents,
// desktop and application-data folders, the system's program and system folders (Windows: the
// Windows and system folders, Program Files; Linux: /usr, /etc, /var and the other folders under
// "/"), the temporary folder, every mount point (Linux), `stackFolder` and the launcher's own
// folder. Folders that cannot be found are left out.
std::vector<std::string> MachineProtectedFolders(const std::string& stackFolder);

// IsProtectedFolder with MachineProtectedFolders, asked of the folder as written and of the
// place it really is (links followed on Linux, short 8.3 names made long on Windows).
bool IsProtectedOnThisMachine(const std::string& folder, const std::string& stackFolder);
