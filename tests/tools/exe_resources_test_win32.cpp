// The resources Windows reads from the programs themselves: the application manifest of
// trailhost.exe and the version both programs show in Explorer.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

#include "test_support.h"
#include "trailhost_version.h"

namespace {

// The bytes of resource `id` of `type`; empty when there is none.
std::string ResourceText(const std::string& program, int type, int id) {
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> file(
        LoadLibraryExA(program.c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE),
        &FreeLibrary);
    HRSRC found =
        file ? FindResourceA(file.get(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type)) : nullptr;
    HGLOBAL loaded = found ? LoadResource(file.get(), found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(file.get(), found))
                : "";
}

}  // namespace

TEST(ExeResources, TheLauncherCarriesItsManifest) {
    // Type 24 is RT_MANIFEST; id 1 the manifest the loader reads for a program.
    const std::string manifest =
        ResourceText(testsupport::TestBinFolder() + "trailhost.exe", 24, 1);
    const char* const needed[] = {
        // Without it a standard user's write to the hosts file lands in a private copy and
        // reports success.
        "requestedExecutionLevel level=\"asInvoker\"",
        // Windows 10 and 11 among the supported systems.
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "<dpiAware",
        "<dpiAwareness",
    };
    for (const char* text : needed) {
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
    }
}

// The version resource as Explorer reads it.
TEST(ExeResources, BothProgramsShowTheProjectVersion) {
    for (const char* name : {"trailhost.exe", "trailhost-pack.exe"}) {
        SCOPED_TRACE(name);
        const std::string program = testsupport::TestBinFolder() + name;
        DWORD ignored = 0;
        std::string block(GetFileVersionInfoSizeA(program.c_str(), &ignored), '\0');
        ASSERT_FALSE(block.empty()) << "no version resource";
        ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, block.size(), &block[0]));
        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length) &&
                    length >= sizeof(VS_FIXEDFILEINFO));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        const DWORD high = MAKELONG(TRAILHOST_VERSION_MINOR, TRAILHOST_VERSION_MAJOR);
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, TRAILHOST_VERSION_PATCH)));
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        for (const char* key : {"ProductVersion", "FileVersion"}) {
            const std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
            ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), &value, &length)) << key;
            EXPECT_EQ(std::string(static_cast<const char*>(value)), TRAILHOST_VERSION) << key;
        }
    }
}
