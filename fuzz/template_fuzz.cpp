// Configuration templates: the input is a template, expanded with the placeholders of the web
// server's and of the database server's configuration. The result must be the input cut into
// the pieces the header names (a line, or 4,095 characters of a longer one) with the
// placeholders replaced in order within each piece.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "stack/templates.h"

namespace {

constexpr size_t kPiece = 4095;

RunValues SampleRun() {
    RunValues run;
    run.exeFolder = "/media/stick/site/";
    run.appFolder = "/media/stick/site/";
    run.runtimeFolder = "/tmp/Trailhost_4242/";
    run.dbFolder = "C:\\Temp\\Trailhost_4242\\\\encdb\\dbdir\\";
    run.docRootName = "htdocs";
    // A value that holds a placeholder shows whether replacements happen in order.
    run.hostName = "site-%RMHUB:PORT%.example";
    run.webPort = 7452;
    run.mySqlPort = 3306;
    return run;
}

std::string ReplaceEach(const std::string& text, const std::string& token,
                        const std::string& value) {
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, from)) {
        out.append(text, from, at - from);
        out += value;
        from = at + token.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string ExpectedExpansion(const std::string& text, const Placeholders& placeholders) {
    std::string out;
    size_t from = 0;
    while (from < text.size()) {
        size_t length = std::min(kPiece, text.size() - from);
        const size_t lineEnd = text.find('\n', from);
        if (lineEnd != std::string::npos && lineEnd - from < length) {
            length = lineEnd - from + 1;
        }
        std::string piece = text.substr(from, length);
        from += length;
        for (const auto& [token, value] : placeholders) {
            piece = ReplaceEach(piece, token, value);
        }
        out += piece;
    }
    return out;
}

void CheckExpansion(const std::string& text, const std::string& input,
                    const Placeholders& placeholders) {
    const std::string output = fuzzsupport::ScratchFolder() + "out.conf";
    FUZZ_CHECK(ExpandTemplate(input, output, placeholders), input);
    const std::string expanded = fuzzsupport::ReadBytes(output);
    // A zero byte ends a piece early (the pieces are C strings); text files hold none.
    if (text.find('\0') == std::string::npos) {
        FUZZ_CHECK(expanded == ExpectedExpansion(text, placeholders), text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const RunValues run = SampleRun();
    static const Placeholders httpd = HttpdConfPlaceholders(run);
    static const Placeholders myIni = MyIniPlaceholders(run, "127.0.0.1");

    const std::string text = fuzzsupport::Text(data, size);
    const std::string input = fuzzsupport::ScratchFolder() + "in.tpl";
    fuzzsupport::WriteBytes(input, text);
    CheckExpansion(text, input, httpd);
    CheckExpansion(text, input, myIni);
    return 0;
}
