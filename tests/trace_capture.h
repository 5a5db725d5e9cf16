// Catches the trace messages of the code under test: TRH_TRACE names a file of the test's own
// while the object lives.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace testsupport {

class TraceCapture {
public:
    TraceCapture() : path_(dir_ / "trace.txt") { SetProcessVariable("TRH_TRACE", path_); }
    ~TraceCapture() { SetProcessVariable("TRH_TRACE", ""); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // The milliseconds of the day of each message that begins with `start`.
    std::vector<long> StampsOf(const std::string& start) const {
        std::vector<long> stamps;
        for (const std::string& line : Lines()) {
            if (line.size() > kStampLength &&
                line.compare(kStampLength, start.size(), start) == 0) {
                const long h = std::atol(line.substr(11, 2).c_str());
                const long m = std::atol(line.substr(14, 2).c_str());
                const long s = std::atol(line.substr(17, 2).c_str());
                const long ms = std::atol(line.substr(20, 3).c_str());
                stamps.push_back(((h * 60 + m) * 60 + s) * 1000 + ms);
            }
        }
        return stamps;
    }

    // How many messages begin with `start`.
    std::size_t Count(const std::string& start) const { return StampsOf(start).size(); }

private:
    static constexpr std::size_t kStampLength = 24;

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(path_));
        std::string line;
        while (std::getline(text, line)) {
            if (line.size() >= kStampLength && line[4] == '-' && line[10] == ' ') {
                lines.push_back(line);
            }
        }
        return lines;
    }

    TempDir dir_;
    std::string path_;
};

}  // namespace testsupport
