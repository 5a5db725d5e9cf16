#include "browser/proxy_exceptions.h"

#include <cstdio>
#include <cstdlib>

#include "sys/registry.h"

namespace Browser {

namespace {

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        bytes += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    return true;
}

}  // namespace

std::string NoProxyWithHost(const std::string& oldValue, bool present, const std::string& host) {
    return present && !oldValue.empty() ? oldValue + "," + host : host;
}

std::vector<std::string> ProxyJournalFields(const SavedSetting& saved,
                                            const std::string& hostName) {
    return {saved.name, saved.present ? "1" : "0",  saved.value,
            hostName,   std::to_string(saved.type), Hex(saved.bytes)};
}

bool SavedSettingFromJournal(const std::vector<std::string>& fields, SavedSetting& saved,
                             std::string& hostName) {
    if (fields.size() < 4) {
        return false;
    }
    saved.name = fields[0];
    saved.present = fields[1] == "1";
    saved.value = fields[2];
    hostName = fields[3];
    if (fields.size() >= 6) {
        saved.type = std::strtoul(fields[4].c_str(), nullptr, 10);
        return FromHex(fields[5], saved.bytes);
    }
    saved.type = kRegistryText;
    saved.bytes = saved.present ? saved.value + '\0' : "";
    return true;
}

}  // namespace Browser
