#include "stack/web_server.h"

#include <vector>

#include "config/settings.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"

namespace {

#ifdef _WIN32
const char kExeSuffix[] = ".exe";
#else
const char kExeSuffix[] = "";
#endif

std::string UrlSafeText(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string safe;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f || c == '"') {
            safe += '%';
            safe += kHex[byte >> 4];
            safe += kHex[byte & 0xf];
        } else {
            safe += c;
        }
    }
    return safe;
}

}  // namespace

std::string BuildStartUrl(const std::string& host, int port, const std::string& defaultFile,
                          const std::string& urlParam) {
    std::string url = "http://" + host;
    if (port != 80) {
        url += ":" + std::to_string(port);
    }
    url += "/" + defaultFile;
    if (!urlParam.empty()) {
        url += defaultFile.find('?') != std::string::npos ? "&" : "?";
        url += UrlSafeText(urlParam);
    }
    return url;
}

std::string WebServerProgram(const std::string& exeFolder, const std::string& pathToApache) {
    const std::string program = exeFolder + pathToApache;
    if (PathExists(program)) {
        return program;
    }
    return exeFolder + "server" + kSep + "Apache" + kSep + "bin" + kSep + "Apache" + kExeSuffix;
}

std::string WebServerCommandLine(const std::string& exeFolder, const std::string& pathToApache,
                                 const std::string& configFolder) {
    // Each path one argument, whatever it holds ("E:\My Stack\", "/media/me/My Stick/").
    std::vector<std::string> args = {WebServerProgram(exeFolder, pathToApache), "-f",
                                     configFolder + kSep + "httpd.conf"};
#ifndef _WIN32
    args.push_back("-DFOREGROUND");
#endif
    return JoinWindowsCommandLine(args);
}

WebServerControl::WebServerControl(const AppSettings& settings, std::string exeFolder)
    : settings_(settings),
      exeFolder_(std::move(exeFolder)),
      launcher_(std::make_unique<ProcessLauncher>()) {}

WebServerControl::~WebServerControl() = default;

void WebServerControl::Start(const std::string& configFolder, int port) {
    port_ = port;
    configFolder_ = configFolder;
    program_ = WebServerProgram(exeFolder_, settings_.pathToApache);
    launcher_->TieToLauncher(true);
    launcher_->Launch(WebServerCommandLine(exeFolder_, settings_.pathToApache, configFolder), "",
                      LaunchWait::UntilIdle, false, WindowSearch::Direct);
}

void WebServerControl::Stop() {
    // The process is held since its start: an id the system has handed on is never ended.
    ended_ = launcher_->process().TerminateTree();
}

std::string WebServerControl::GetStartUrl() const {
    return BuildStartUrl(settings_.hostName, port_, settings_.defaultFile, settings_.urlParam);
}

std::uint32_t WebServerControl::processId() const {
    return launcher_->processId();
}

Process WebServerControl::process() const {
    return launcher_->process();
}

const std::string& WebServerControl::programPath() const {
    return program_;
}
