// The console "browser" of the demo: fetches a page and shows its text.
#pragma once

#include <string>

struct PageAddress {
    std::string host;
    int port = 80;
    std::string path = "/";
};

// Splits "http://host[:port][/path]"; false for anything else.
bool ParsePageAddress(const std::string& url, PageAddress& address);

// The readable text of an HTML page: tags dropped, the common entities decoded, blank runs and
// empty lines removed, one line per block of text.
std::string PageText(const std::string& html);

// The body of an HTTP answer (everything after the first empty line), or all of it when the answer
// has no head.
std::string AnswerBody(const std::string& answer);
