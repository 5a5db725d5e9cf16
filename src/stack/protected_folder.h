// Folders that a clean-up must never delete with what is in them.
#pragma once

#include <string>
#include <vector>

// Whether deleting `folder` would take a root or one of `protectedFolders` with it: true when the
// folder is empty or not absolute, is a drive or file-system root (Windows: "C:\",
// "\\server\share"; Linux: "/"), or, with "." and ".." parts and repeated or trailing separators
// resolved, is one of `protectedFolders` or lies above one. A folder below a protected one is not
// protected by it. Paths follow the platform's rules: on Windows "\" and "/" both separate and
// letter case does not count, and device paths ("\\?\", "\\.\") count as protected, since they
// cannot be compared by name. Pure: it looks at no file system.
bool IsProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders);
