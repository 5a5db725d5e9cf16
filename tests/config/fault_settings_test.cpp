#include "config/settings.h"

#include <gtest/gtest.h>

#include "settings_fields.h"
#include "test_support.h"

using testsupport::Fields;
using testsupport::GarbageIniTexts;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A damaged hub_config.ini (a bad sector, a file of another kind saved under its name) reads
// as no configuration at all.
TEST(FaultSettings, AHubConfigOfGarbageGivesEveryDefault) {
    TempDir dir;
    AppSettings defaults;
    ReadSettings(defaults, dir / "missing.ini");
    int file = 0;
    for (const std::string& text : GarbageIniTexts()) {
        WriteFile(dir / "hub_config.ini", text);
        AppSettings settings;
        ReadSettings(settings, dir / "hub_config.ini");
        EXPECT_EQ(Fields(settings), Fields(defaults)) << "garbage file " << file;
        ++file;
    }
}

}  // namespace
