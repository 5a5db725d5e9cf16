// The web server process: started with the produced httpd.conf, stopped by ending its process
// tree, and the start URL that the browser opens.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sys/process.h"

struct AppSettings;
class ProcessLauncher;

class WebServerControl {
public:
    // `exeFolder` is the stack's folder (the executable's folder in a real run), with a trailing
    // separator.
    WebServerControl(const AppSettings& settings, std::string exeFolder);
    ~WebServerControl();
    WebServerControl(const WebServerControl&) = delete;
    WebServerControl& operator=(const WebServerControl&) = delete;

    // Starts the server hidden with the httpd.conf in `configFolder` and waits until it waits for
    // input (Windows; Linux returns at once). A server that cannot be started gets the launcher's
    // error box and nothing else.
    void Start(const std::string& configFolder, int port);

    // Ends the server process and all its descendants; nothing is sent to it first. Descendants
    // of a server that has ended by itself are ended too.
    void Stop();
    // The processes Stop ended, which may still be on their way out.
    const std::vector<Process>& Ended() const { return ended_; }

    // "http://" + host name, ":port" unless it is 80, "/" + default file, and the URL parameter
    // after "?" (or "&" when the default file already holds a "?").
    std::string GetStartUrl() const;

    int port() const { return port_; }
    std::uint32_t processId() const;
    // The server process Start started; nothing before Start or when it could not be started.
    Process process() const;
    // The executable that Start ran; empty before Start.
    const std::string& programPath() const;

private:
    const AppSettings& settings_;
    const std::string exeFolder_;
    std::atomic<int> port_{0};
    std::string configFolder_;
    std::string program_;
    std::unique_ptr<ProcessLauncher> launcher_;
    std::vector<Process> ended_;
};

// The start URL for a host, port, default file and URL parameter. Every blank, double quote and
// control character of the parameter is percent-encoded: the URL stays one word wherever it
// goes, and nothing in it can end the quotes around it.
std::string BuildStartUrl(const std::string& host, int port, const std::string& defaultFile,
                          const std::string& urlParam);

// The server's executable: exeFolder + pathToApache when that file exists, else the built-in
// place server/Apache/bin/Apache(.exe).
std::string WebServerProgram(const std::string& exeFolder, const std::string& pathToApache);

// The server's command line, joined by the Windows rules: WebServerProgram, then -f and
// configFolder + separator + "httpd.conf" (the folder's own trailing separator stays, so the
// name follows a doubled one). Linux adds -DFOREGROUND, without which the server would leave for
// the background and out of the launcher's process tree.
std::string WebServerCommandLine(const std::string& exeFolder, const std::string& pathToApache,
                                 const std::string& configFolder);
