// The web server process: start with the produced httpd.conf, stop by ending its process tree,
// and the start URL that the browser opens.
#pragma once

#include <memory>
#include <string>

struct AppSettings;
class ProcessLauncher;

class WebServerControl {
public:
    explicit WebServerControl(const AppSettings& settings);
    ~WebServerControl();
    WebServerControl(const WebServerControl&) = delete;
    WebServerControl& operator=(const WebServerControl&) = delete;

    // Starts the server hidden with "<configFolder>httpd.conf" and waits until it is idle.
    // `appFolder` is the stack's folder (the executable's folder in a real run).
    void Start(const std::string& appFolder, const std::string& configFolder, int port);

    // Ends the server process and all its descendants.
    void Stop();

    // "http://" + host name, ":port" unless it is 80, "/" + default file, and the URL parameter
    // after "?" (or "&" when the default file already holds a "?").
    std::string GetStartUrl() const;

    int port() const { return port_; }
    unsigned long processId() const;

private:
    const AppSettings& settings_;
    int port_ = 0;
    std::string configFolder_;
    std::unique_ptr<ProcessLauncher> launcher_;
};

// The start URL for a host, port, default file and URL parameter.
std::string BuildStartUrl(const std::string& host, int port, const std::string& defaultFile,
                          const std::string& urlParam);
