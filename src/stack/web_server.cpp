#include "stack/web_server.h"

#include "config/settings.h"

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

std::string WebServerControl::GetStartUrl() const {
    return BuildStartUrl(settings_.hostName, port_, settings_.defaultFile, settings_.urlParam);
}
