#include "browser/proxy_exceptions.h"

namespace Browser {

std::string NoProxyWithHost(const std::string& oldValue, bool present, const std::string& host) {
    return present && !oldValue.empty() ? oldValue + "," + host : host;
}

}  // namespace Browser
