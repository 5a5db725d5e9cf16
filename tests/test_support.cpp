#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

#include "sys/process_list.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path p = fs::temp_directory_path() /
                 ("trh-test-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++) +
                  "-" + std::to_string(stamp % 1000000));
    fs::create_directories(p);
    path_ = p.string();
    if (path_.back() != '/' && path_.back() != '\\') {
#ifdef _WIN32
        path_ += '\\';
#else
        path_ += '/';
#endif
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files left by a test must not keep their folder alive.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> FileTree(const std::string& root) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        tree[fs::relative(it->path(), root).generic_string()] =
            it->is_directory() ? "<folder>" : ReadFile(it->path().string());
    }
    return tree;
}

std::string TestBinFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path = buffer;
    return path.substr(0, path.find_last_of('\\') + 1);
#else
    std::error_code ec;
    std::string path = fs::read_symlink("/proc/self/exe", ec).string();
    return path.substr(0, path.find_last_of('/') + 1);
#endif
}

std::string HelperPath(const std::string& name) {
#ifdef _WIN32
    return TestBinFolder() + name + ".exe";
#else
    return TestBinFolder() + name;
#endif
}

std::string TextOf(const std::string& path) {
    std::string text = ReadFile(path);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> LogValues(const std::string& log, const std::string& start) {
    std::vector<std::string> values;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, start.size(), start) == 0) {
            values.push_back(line.substr(start.size()));
        }
    }
    return values;
}

std::string LoggedVariable(const std::string& log, const std::string& name) {
    const std::vector<std::string> values = LogValues(log, "env " + name + "=");
    return values.empty() ? "<unset>" : values.front();
}

bool ProcessRuns(std::uint32_t id) {
    CProcessInfo processes;
    return processes.Init(true) && processes.FindProcessById(nullptr, nullptr, id);
}

void SetProcessVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
#else
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
#endif
}

}  // namespace testsupport
