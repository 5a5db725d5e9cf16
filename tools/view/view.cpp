#include "view.h"

#include <cstdlib>
#include <sstream>

bool ParsePageAddress(const std::string& url, PageAddress& address) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) {
        return false;
    }
    const std::string rest = url.substr(scheme.size());
    const size_t slash = rest.find('/');
    const std::string hostPort = rest.substr(0, slash);
    address.path = slash == std::string::npos ? "/" : rest.substr(slash);
    const size_t colon = hostPort.find(':');
    address.host = hostPort.substr(0, colon);
    address.port = 80;
    if (colon != std::string::npos) {
        char* end = nullptr;
        const long port = std::strtol(hostPort.c_str() + colon + 1, &end, 10);
        if (end == hostPort.c_str() + colon + 1 || *end != '\0' || port <= 0 || port > 65535) {
            return false;
        }
        address.port = static_cast<int>(port);
    }
    return !address.host.empty();
}

std::string AnswerBody(const std::string& answer) {
    for (const char* separator : {"\r\n\r\n", "\n\n"}) {
        const size_t at = answer.find(separator);
        if (at != std::string::npos) {
            return answer.substr(at + std::string(separator).size());
        }
    }
    return answer;
}

namespace {

void Decode(std::string& text) {
    static const struct {
        const char* entity;
        const char* value;
    } kEntities[] = {{"&lt;", "<"},   {"&gt;", ">"},   {"&quot;", "\""},
                     {"&#039;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}};
    for (const auto& e : kEntities) {
        const std::string entity = e.entity;
        for (size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1)) {
            text.replace(at, entity.size(), e.value);
        }
    }
}

}  // namespace

std::string PageText(const std::string& html) {
    // Tags end a line of text, so that list items and headings stand on lines of their own.
    std::string flat;
    bool inTag = false;
    for (char c : html) {
        if (c == '<') {
            inTag = true;
            flat += '\n';
        } else if (c == '>') {
            inTag = false;
        } else if (!inTag) {
            flat += c == '\r' || c == '\t' ? ' ' : c;
        }
    }
    std::istringstream lines(flat);
    std::string line;
    std::string text;
    while (std::getline(lines, line)) {
        std::string squeezed;
        for (char c : line) {
            if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) {
                squeezed += c;
            }
        }
        while (!squeezed.empty() && squeezed.back() == ' ') {
            squeezed.pop_back();
        }
        if (!squeezed.empty()) {
            Decode(squeezed);
            text += squeezed + "\n";
        }
    }
    return text;
}
