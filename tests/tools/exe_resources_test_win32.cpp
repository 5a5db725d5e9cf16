// The resources Windows reads from the programs themselves: the application manifest of
// trailhost.exe and the version both programs show in Explorer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "trailhost_version.h"

namespace {

// Owner of a program loaded as a file of resources only.
class ResourceFile {
public:
    explicit ResourceFile(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceFile() {
        if (module_) {
            FreeLibrary(module_);
        }
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// The bytes of resource `id` of `type`; empty when there is none.
std::string ResourceText(const std::string& program, int type, int id) {
    ResourceFile file(program);
    if (!file.get()) {
        return "";
    }
    HRSRC found = FindResourceA(file.get(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
    HGLOBAL loaded = found ? LoadResource(file.get(), found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return "";
    }
    return std::string(static_cast<const char*>(data), SizeofResource(file.get(), found));
}

struct Version {
    DWORD fileMs = 0;
    DWORD fileLs = 0;
    DWORD productMs = 0;
    std::string productText;
    std::string fileText;
};

// The version resource as Explorer reads it.
bool ReadVersion(const std::string& program, Version& version) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    if (size == 0) {
        return false;
    }
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(program.c_str(), 0, size, &block[0])) {
        return false;
    }
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    version.fileMs = fixed->dwFileVersionMS;
    version.fileLs = fixed->dwFileVersionLS;
    version.productMs = fixed->dwProductVersionMS;
    const auto text = [&](const char* name) {
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueA(block.data(), query.c_str(), &value, &length) && length > 0
                   ? std::string(static_cast<const char*>(value))
                   : std::string();
    };
    version.productText = text("ProductVersion");
    version.fileText = text("FileVersion");
    return true;
}

}  // namespace

TEST(ExeResources, TheLauncherCarriesItsManifest) {
    // Type 24 is RT_MANIFEST; id 1 the manifest the loader reads for a program.
    const std::string manifest =
        ResourceText(testsupport::TestBinFolder() + "trailhost.exe", 24, 1);
    ASSERT_FALSE(manifest.empty()) << "trailhost.exe has no manifest";
    // Without asInvoker a standard user's write to the hosts file lands in a private copy and
    // reports success.
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos)
        << "Windows 10 and 11 are not among the supported systems";
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAwareness"), std::string::npos);
}

TEST(ExeResources, BothProgramsShowTheProjectVersion) {
    for (const char* name : {"trailhost.exe", "trailhost-pack.exe"}) {
        Version version;
        ASSERT_TRUE(ReadVersion(testsupport::TestBinFolder() + name, version))
            << name << " has no version resource";
        const DWORD high = MAKELONG(TRAILHOST_VERSION_MINOR, TRAILHOST_VERSION_MAJOR);
        EXPECT_EQ(version.fileMs, high) << name;
        EXPECT_EQ(version.fileLs, static_cast<DWORD>(MAKELONG(0, TRAILHOST_VERSION_PATCH))) << name;
        EXPECT_EQ(version.productMs, high) << name;
        EXPECT_EQ(version.productText, TRAILHOST_VERSION) << name;
        EXPECT_EQ(version.fileText, TRAILHOST_VERSION) << name;
    }
}
