// Windows only: the user's and the system's shell folders, and long path names.
#include "sys/protected_folders.h"

#include "sys/files.h"
#include "sys/folders.h"

namespace {

// CSIDL numbers of the shell folders that a clean-up must leave alone.
constexpr int kShellFolders[] = {
    5,   // Documents
    16,  // Desktop
    26,  // application data
    28,  // local application data
    35,  // application data of all users
    36,  // Windows
    37,  // system
    38,  // Program Files
    40,  // the user's profile
    42,  // Program Files (x86)
};

// The folder as named and in its long form, when that differs.
void AddIfKnown(std::vector<std::string>& folders, const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    folders.push_back(folder);
    const std::string longForm = LongPathName(folder);
    if (longForm != folder) {
        folders.push_back(longForm);
    }
}

}  // namespace

std::vector<std::string> MachineProtectedFolders(const std::string& stackFolder) {
    std::vector<std::string> folders;
    for (const int csidl : kShellFolders) {
        AddIfKnown(folders, GetSpecialFolderPath(csidl));
    }
    AddIfKnown(folders, GetTempFolder());
    AddIfKnown(folders, stackFolder);
    AddIfKnown(folders, GetModuleFolder());
    return folders;
}

bool IsProtectedOnThisMachine(const std::string& folder, const std::string& stackFolder) {
    const std::vector<std::string> folders = MachineProtectedFolders(stackFolder);
    return IsProtectedFolder(folder, folders) || IsProtectedFolder(LongPathName(folder), folders);
}
