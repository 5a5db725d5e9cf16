// Linux only: the desktop's default handler through xdg-mime and its .desktop file, and browsers
// found on PATH. Nothing here goes through a shell.
#include "browser/browser_lookup.h"

#include "sys/environment.h"
#include "sys/files.h"
#include "sys/launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace Browser {

namespace {

// xdg-mime is a script that asks the desktop; a stuck one must not hold up the run.
constexpr auto kQueryLimit = std::chrono::seconds(10);

// The program's path as the launcher would start it; empty when it is not there.
std::string FindOnPath(const std::string& program) {
    const std::string found = FindProgram(program);
    return !found.empty() && access(found.c_str(), X_OK) == 0 ? found : "";
}

class Pipe {
public:
    Pipe() {
        if (pipe2(ends_, O_CLOEXEC) != 0) {
            ends_[0] = ends_[1] = -1;
        }
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool ok() const { return ends_[0] >= 0; }
    int read() const { return ends_[0]; }
    int write() const { return ends_[1]; }
    void CloseRead() { Close(ends_[0]); }
    void CloseWrite() { Close(ends_[1]); }

private:
    static void Close(int& fd) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
    int ends_[2];
};

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// Runs a program found on PATH and collects what it writes to standard output; false when it
// could not be started.
bool ReadOutputOf(const std::vector<std::string>& args, std::string& output) {
    output.clear();
    Pipe out;
    if (!out.ok()) {
        return false;
    }
    FileActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), out.write(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
        return false;
    }
    out.CloseWrite();
    const auto end = std::chrono::steady_clock::now() + kQueryLimit;
    char buffer[512];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd ready{out.read(), POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            continue;  // the time is up: the next round ends it
        }
        const ssize_t n = ::read(out.read(), buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

std::string Trimmed(const std::string& text) {
    const std::string::size_type first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The general escapes of a desktop entry's string values.
std::string UnescapedValue(const std::string& value) {
    std::string text;
    for (std::string::size_type i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char c = value[++i];
        switch (c) {
            case 's':
                text += ' ';
                break;
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case 'r':
                text += '\r';
                break;
            case '\\':
                text += '\\';
                break;
            default:
                // Left for the Exec quoting rules, which know \" \` and \$.
                text += '\\';
                text += c;
        }
    }
    return text;
}

// The Exec value of the [Desktop Entry] group of a file; empty when there is none.
std::string ExecOf(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    bool inEntry = false;
    while (std::getline(file, line)) {
        line = Trimmed(line);
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::string::size_type equals = line.find('=');
        if (inEntry && equals != std::string::npos && Trimmed(line.substr(0, equals)) == "Exec") {
            return UnescapedValue(Trimmed(line.substr(equals + 1)));
        }
    }
    return "";
}

// The desktop file of a desktop id, in the data folders in their order of precedence; a "-" of
// the id may stand for a sub-folder.
std::string DesktopFileOf(const std::string& id) {
    std::vector<std::string> folders;
    std::string dataHome = GetEnvironmentValue("XDG_DATA_HOME");
    if (dataHome.empty() && !GetEnvironmentValue("HOME").empty()) {
        dataHome = GetEnvironmentValue("HOME") + "/.local/share";
    }
    if (!dataHome.empty()) {
        folders.push_back(dataHome);
    }
    std::string dataDirs = GetEnvironmentValue("XDG_DATA_DIRS");
    if (dataDirs.empty()) {
        dataDirs = "/usr/local/share:/usr/share";
    }
    std::istringstream dirs(dataDirs);
    std::string folder;
    while (std::getline(dirs, folder, ':')) {
        if (!folder.empty()) {
            folders.push_back(folder);
        }
    }
    std::vector<std::string> names{id};
    const std::string::size_type dash = id.find('-');
    if (dash != std::string::npos) {
        names.push_back(id.substr(0, dash) + "/" + id.substr(dash + 1));
    }
    for (const std::string& base : folders) {
        for (const std::string& name : names) {
            const std::string path = base + "/applications/" + name;
            if (access(path.c_str(), R_OK) == 0) {
                return path;
            }
        }
    }
    return "";
}

std::string FirstOnPath(const std::vector<std::string>& programs) {
    for (const std::string& program : programs) {
        const std::string path = FindOnPath(program);
        if (!path.empty()) {
            return path;
        }
    }
    return "";
}

std::string RegisteredForm(const std::string& executable) {
    return JoinWindowsCommandLine({executable}) + " -url \"%1\"";
}

// A handler for the program of a desktop entry or found on PATH.
DefaultHandler HandlerFor(const std::string& exec) {
    DefaultHandler handler;
    const std::vector<std::string> args = DesktopExecArguments(exec, "");
    const std::string program = args.empty() ? "" : args[0];
    std::string path = FindOnPath(program);
    if (path.empty()) {
        path = program;
    }
    handler.kind = KindForExecutable(path);
    switch (handler.kind) {
        case DefaultBrowserKind::kFirefox:
        case DefaultBrowserKind::kMozilla:
            handler.program = RegisteredForm(path);
            break;
        case DefaultBrowserKind::kChromium:
            handler.program = path;
            break;
        default:
            handler.kind = DefaultBrowserKind::kHandlerCommand;
            handler.program = exec;
    }
    return handler;
}

}  // namespace

DefaultHandler FindDefaultHandler() {
    std::string output;
    if (ReadOutputOf({"xdg-mime", "query", "default", "text/html"}, output)) {
        const std::string id = Trimmed(output.substr(0, output.find('\n')));
        const std::string file = id.empty() ? "" : DesktopFileOf(id);
        const std::string exec = file.empty() ? "" : ExecOf(file);
        if (!exec.empty()) {
            return HandlerFor(exec);
        }
    }
    // No desktop default: a browser that the starters know, found on PATH.
    DefaultHandler handler;
    if (FindMozillaCommand(true, handler.program)) {
        handler.kind = DefaultBrowserKind::kFirefox;
        return handler;
    }
    handler.program = FirstOnPath(ChromiumProgramNames());
    handler.kind = handler.program.empty() ? DefaultBrowserKind::kHandlerCommand
                                           : DefaultBrowserKind::kChromium;
    return handler;
}

bool FindMozillaCommand(bool firefox, std::string& registered) {
    const std::string path =
        firefox ? FirstOnPath(FirefoxProgramNames()) : FirstOnPath({"seamonkey"});
    registered = path.empty() ? "" : RegisteredForm(path);
    return !path.empty();
}

std::string FindChromiumExecutable() {
    return FirstOnPath(ChromiumProgramNames());
}

void ReadInternetExplorerRegistration(std::string& command, std::string& versionFirst) {
    command.clear();
    versionFirst.clear();
}

bool InternetExplorerRuns() {
    return false;
}

std::vector<StateFolder> MozillaStateFolders(const std::string& userFolder) {
    const auto xdg = [](const char* name, const std::string& fallback) {
        const std::string value = GetEnvironmentValue(name);
        return !value.empty() && value[0] == '/' ? value : fallback;
    };
    const std::string config = xdg("XDG_CONFIG_HOME", userFolder + "/.config");
    const std::string cache = xdg("XDG_CACHE_HOME", userFolder + "/.cache");
    std::vector<StateFolder> roots = {{userFolder, ".mozilla/firefox"},
                                      {userFolder, ".mozilla/seamonkey"},
                                      {config, "mozilla/firefox"},
                                      {config, "mozilla/firefox-esr"}};
    // The sandboxed packages keep the browser's folders in their own folder, when installed.
    for (const char* package : {"/snap/firefox/common", "/.var/app/org.mozilla.firefox"}) {
        if (PathExists(userFolder + package)) {
            roots.push_back({userFolder + package, ".mozilla/firefox"});
        }
    }
    std::vector<StateFolder> folders;
    for (const StateFolder& root : roots) {
        for (const char* leaf : {"Crash Reports", "Pending Pings", "Profile Groups"}) {
            folders.push_back({root.base, root.part + "/" + leaf});
        }
    }
    folders.push_back({cache, "mozilla/firefox"});
    folders.push_back({cache, "mozilla/firefox-esr"});
    folders.push_back({userFolder, "Downloads", true});
    return folders;
}

std::vector<std::string> HandlerCommandArguments(const std::string& command,
                                                 const std::string& url) {
    return DesktopExecArguments(command, url);
}

std::vector<std::pair<std::string, std::string>> ChromiumEnvironment(
    const std::string& homeFolder) {
    return {{"XDG_CONFIG_HOME", homeFolder + "/config"}, {"XDG_CACHE_HOME", homeFolder + "/cache"}};
}

std::string PrivateProfileFolder(const std::string& runtimeFolder, const std::string& program,
                                 const std::string& userFolder) {
    std::string name = runtimeFolder;
    while (!name.empty() && name.back() == '/') {
        name.pop_back();
    }
    name = "trailhost-" + name.substr(name.rfind('/') + 1);
    std::unique_ptr<char, void (*)(void*)> real(realpath(FindOnPath(program).c_str(), nullptr),
                                                std::free);
    const std::string path = real ? real.get() : program;
    if (path.rfind("/snap/", 0) == 0) {
        return userFolder + "/snap/firefox/common/" + name;
    }
    if (path.find("/flatpak/") != std::string::npos) {
        return userFolder + "/.var/app/org.mozilla.firefox/" + name;
    }
    return runtimeFolder + (runtimeFolder.empty() || runtimeFolder.back() == '/' ? "" : "/") +
           "browser-profile";
}

}  // namespace Browser
