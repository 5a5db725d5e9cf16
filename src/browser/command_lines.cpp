#include "browser/command_lines.h"

#include <algorithm>
#include <cctype>

#include "sys/launcher.h"
#include "sys/text.h"

namespace Browser {

namespace {

std::string ReplaceAll(std::string text, const std::string& token, const std::string& by) {
    if (token.empty()) {
        return text;
    }
    std::string::size_type at = 0;
    while ((at = text.find(token, at)) != std::string::npos) {
        text.replace(at, token.size(), by);
        at += by.size();
    }
    return text;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string MozillaBrowserCommand(const std::string& registered, const std::string& startUrl,
                                  const std::string& profileFolder) {
    std::vector<std::string> args;
    for (const std::string& arg : SplitWindowsCommandLine(registered)) {
        if (arg != "-requestPending" && arg != "-osint") {
            args.push_back(ReplaceAll(arg, "%1", startUrl));
        }
    }
    if (args.empty()) {
        return "";
    }
    args.insert(args.end(), {"-no-remote", "-profile", profileFolder});
    return JoinWindowsCommandLine(args);
}

std::string ProgramOfCommand(const std::string& command) {
    const std::vector<std::string> args = SplitWindowsCommandLine(command);
    return args.empty() ? "" : args[0];
}

std::string InternetExplorerCommand(const std::string& command, const std::string& version,
                                    const std::string& browserSize, const std::string& startUrl) {
    std::vector<std::string> args;
    for (const std::string& arg : SplitWindowsCommandLine(command)) {
        args.push_back(ReplaceAll(arg, "%1", startUrl));
    }
    if (EqualsNoCase(browserSize, "KIOSK")) {
        args.push_back("-k");
    }
    if (!version.empty() && version[0] == '8') {
        args.push_back("-nomerge");
    }
    return JoinWindowsCommandLine(args);
}

std::string PathBrowserCommand(const std::string& browserPath, const std::string& startUrl) {
    return JoinWindowsCommandLine({browserPath, startUrl});
}

std::string ChromiumCommand(const std::string& executable, const std::string& profileFolder,
                            const std::string& browserSize, const std::string& startUrl) {
    std::vector<std::string> args = {executable, "--user-data-dir=" + profileFolder,
                                     "--no-first-run", "--no-default-browser-check",
                                     "--new-window"};
    if (EqualsNoCase(browserSize, "KIOSK")) {
        args.push_back("--kiosk");
    } else if (EqualsNoCase(browserSize, "MAXIMIZE")) {
        args.push_back("--start-maximized");
    } else if (!browserSize.empty()) {
        const StartupShape shape = StartupShapeFor(true, browserSize);
        if (shape.width != 0 && shape.height != 0) {
            args.push_back("--window-position=0,0");
            args.push_back("--window-size=" + std::to_string(shape.width) + "," +
                           std::to_string(shape.height));
        }
    }
    args.push_back(startUrl);
    return JoinWindowsCommandLine(args);
}

std::string ChromiumLaunchSize(const std::string& browserSize) {
    return EqualsNoCase(browserSize, "KIOSK") ? "" : browserSize;
}

bool IsChromiumExecutable(const std::string& fileName) {
    std::string name = Upper(FileNameOf(fileName));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".EXE") == 0) {
        name.resize(name.size() - 4);
    }
    static const char* const kNames[] = {
        "CHROME",
        "MSEDGE",
        "CHROMIUM",
        "CHROMIUM-BROWSER",
        "BRAVE",
        "BRAVE-BROWSER",
        "BRAVE-BROWSER-STABLE",
        "GOOGLE-CHROME",
        "GOOGLE-CHROME-STABLE",
        "GOOGLE-CHROME-BETA",
        "GOOGLE-CHROME-UNSTABLE",
        "MICROSOFT-EDGE",
        "MICROSOFT-EDGE-STABLE",
        "MICROSOFT-EDGE-BETA",
        "MICROSOFT-EDGE-DEV",
        "VIVALDI",
    };
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const char* known) { return name == known; });
}

const std::vector<std::string>& ChromiumProgramNames() {
    static const std::vector<std::string> names = {
        "chromium",       "chromium-browser",      "google-chrome", "google-chrome-stable",
        "microsoft-edge", "microsoft-edge-stable", "brave-browser",
    };
    return names;
}

const std::vector<std::string>& FirefoxProgramNames() {
    static const std::vector<std::string> names = {"firefox", "firefox-esr"};
    return names;
}

namespace {

// Whether a program id is `name`, or `name` followed by `suffix` and more (the suffix an install
// adds to tell itself from others of the same browser).
bool IsIdOf(const std::string& progId, const char* name, char suffix) {
    const std::string upper = Upper(progId);
    const std::string known = Upper(name);
    return upper == known ||
           (upper.size() > known.size() + 1 && upper.compare(0, known.size(), known) == 0 &&
            upper[known.size()] == suffix);
}

}  // namespace

DefaultBrowserKind KindForProgId(const std::string& progId, const std::string& openCommand) {
    if (progId.empty()) {
        return DefaultBrowserKind::kInternetExplorer;
    }
    for (const char* id : {"FirefoxHTML", "FirefoxURL"}) {
        if (IsIdOf(progId, id, '-')) {
            return DefaultBrowserKind::kFirefox;
        }
    }
    for (const char* id : {"MozillaHTML", "MozillaURL"}) {
        if (EqualsNoCase(progId, id)) {
            return DefaultBrowserKind::kMozilla;
        }
    }
    static const char* const kChromiumIds[] = {
        "ChromeHTML",  "ChromeBHTML", "ChromeDHTML", "ChromeSSHTM", "MSEdgeHTM",
        "MSEdgeBHTML", "MSEdgeDHTML", "MSEdgeSHTML", "ChromiumHTM", "BraveHTML",
        "BraveBHTML",  "BraveDHTML",  "BraveSSHTM",  "VivaldiHTM",
    };
    for (const char* id : kChromiumIds) {
        if (IsIdOf(progId, id, '.')) {
            return DefaultBrowserKind::kChromium;
        }
    }
    const std::vector<std::string> args = SplitWindowsCommandLine(openCommand);
    const std::string program = args.empty() ? "" : args[0];
    if (IsChromiumExecutable(program)) {
        return DefaultBrowserKind::kChromium;
    }
    static const char* const kInternetExplorerIds[] = {"htmlfile", "IE.HTTP", "IE.AssocFile.HTM",
                                                       "IE.AssocFile.HTML"};
    for (const char* id : kInternetExplorerIds) {
        if (EqualsNoCase(progId, id)) {
            return DefaultBrowserKind::kInternetExplorer;
        }
    }
    if (program.empty() || EqualsNoCase(FileNameOf(program), "iexplore.exe")) {
        return DefaultBrowserKind::kInternetExplorer;
    }
    return DefaultBrowserKind::kHandlerCommand;
}

std::vector<std::string> OpenCommandArguments(const std::string& command, const std::string& url) {
    std::vector<std::string> args = SplitWindowsCommandLine(command);
    if (args.empty()) {
        return args;
    }
    bool urlGiven = false;
    for (std::size_t n = 1; n < args.size(); ++n) {
        // One pass, so that a URL that holds such a pair is taken as it is.
        std::string arg;
        const std::string& text = args[n];
        for (std::string::size_type i = 0; i < text.size(); ++i) {
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (text[i] == '%' && (next == '1' || next == 'L' || next == 'l')) {
                arg += url;
                urlGiven = true;
                ++i;
            } else {
                arg += text[i];
            }
        }
        args[n] = arg;
    }
    if (!urlGiven) {
        args.push_back(url);
    }
    return args;
}

DefaultBrowserKind KindForExecutable(const std::string& executable) {
    const std::string name = FileNameOf(executable);
    if (name.compare(0, 7, "firefox") == 0 || name == "iceweasel") {
        return DefaultBrowserKind::kFirefox;
    }
    if (name == "seamonkey") {
        return DefaultBrowserKind::kMozilla;
    }
    if (IsChromiumExecutable(name)) {
        return DefaultBrowserKind::kChromium;
    }
    return DefaultBrowserKind::kHandlerCommand;
}

std::vector<std::string> DesktopExecArguments(const std::string& exec, const std::string& url) {
    std::vector<std::string> args;
    bool urlGiven = false;
    std::string::size_type i = 0;
    while (true) {
        while (i < exec.size() && IsBlank(exec[i])) {
            ++i;
        }
        if (i == exec.size()) {
            break;
        }
        std::string arg;
        bool literal = false;  // the argument holds quoted text or plain characters
        bool quoted = false;
        for (; i < exec.size() && (quoted || !IsBlank(exec[i])); ++i) {
            const char c = exec[i];
            if (c == '"') {
                quoted = !quoted;
                literal = true;
            } else if (c == '\\' && i + 1 < exec.size()) {
                arg += exec[++i];
                literal = true;
            } else if (c == '%' && !quoted && i + 1 < exec.size()) {
                const char code = exec[++i];
                if (code == '%') {
                    arg += '%';
                    literal = true;
                } else if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
                    arg += url;
                    literal = true;
                    urlGiven = true;
                }
                // Every other field code (icon, name, file location, deprecated ones) is dropped.
            } else {
                arg += c;
                literal = true;
            }
        }
        if (literal) {
            args.push_back(arg);
        }
    }
    // A handler that names no place for the URL still gets it, last.
    if (!urlGiven && !args.empty()) {
        args.push_back(url);
    }
    return args;
}

}  // namespace Browser
