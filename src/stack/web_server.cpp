#include "stack/web_server.h"

#include "config/settings.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "sys/launcher.h"

namespace {

const std::string kSep(1, kPathSeparator);

#ifdef _WIN32
const char kExeSuffix[] = ".exe";
const char kForegroundOption[] = "";
#else
const char kExeSuffix[] = "";
const char kForegroundOption[] = " -DFOREGROUND";
#endif

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
        url += urlParam;
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
    const std::string program = WebServerProgram(exeFolder, pathToApache);
    // Quoted: a stack folder may hold blanks ("E:\My Stack\", "/media/me/My Stick/").
    return "\"" + program + "\" -f \"" + configFolder + kSep + "httpd.conf\"" + kForegroundOption;
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
