#include "sys/process_list.h"

#include "sys/process_list_detail.h"

#include <cstring>

std::string StripFolder(const std::string& path) {
#ifdef _WIN32
    const std::string::size_type slash = path.find_last_of('\\');
#else
    const std::string::size_type slash = path.find_last_of("\\/");
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void CopyProcessText(char* buffer, const std::string& text) {
    const std::size_t length = text.size() < kProcessTextSize ? text.size() : kProcessTextSize - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

CProcessInfo::CProcessInfo() = default;

CProcessInfo::~CProcessInfo() {
    if (way_ != nullptr) {
        way_->Done();
    }
}

bool CProcessInfo::Init(bool preferPsapi) {
    if (way_ != nullptr) {
        way_->Done();
    }
    way_ = ChooseProcessInfoWay(preferPsapi);
    return way_->Init();
}

bool CProcessInfo::Refresh() {
    return way_ != nullptr && way_->Refresh();
}

bool CProcessInfo::NextProcess(char* name, char* path, std::uint32_t* id, bool* more) {
    if (way_ == nullptr) {
        *more = false;
        return false;
    }
    return way_->NextProcess(name, path, id, more);
}

bool CProcessInfo::FindProcessById(char* name, char* path, std::uint32_t id) {
    char nameRoom[kProcessTextSize];
    char pathRoom[kProcessTextSize];
    char* const nameBuffer = name != nullptr ? name : nameRoom;
    char* const pathBuffer = path != nullptr ? path : pathRoom;
    if (Refresh()) {
        bool more = true;
        while (more) {
            std::uint32_t found = 0;
            if (way_->NextProcess(nameBuffer, pathBuffer, &found, &more) && found == id) {
                return true;
            }
        }
    }
    nameBuffer[0] = '\0';
    pathBuffer[0] = '\0';
    return false;
}
