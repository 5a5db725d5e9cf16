// Screenshots of a rectangle of the screen, kept as test artefacts (BMP on Windows, PNG on Linux).
#pragma once

#include <string>

namespace shelltest {

// Saves the screen's rectangle under `name` (without extension) in ArtifactFolder(); the path
// written, or empty when nothing could be taken.
std::string SaveScreenshot(int x, int y, int width, int height, const std::string& name);

}  // namespace shelltest
