// Primitives that the shared file helpers build on; each platform file defines them.
#pragma once

#include <string>

namespace files_detail {

enum class MakeFolderResult { kCreated, kAlreadyThere, kParentMissing, kFailed };

// One folder, without its parents.
MakeFolderResult MakeOneFolder(const std::string& path);

// Windows: the hidden attribute when `hidden` is true, no attributes otherwise. Linux: nothing.
void SetFolderHidden(const std::string& path, bool hidden);

// True for a character that separates path parts on this platform.
bool IsSeparator(char c);

}  // namespace files_detail
