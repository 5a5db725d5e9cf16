#include "sys/trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "sys/files.h"
#include "test_support.h"

namespace {

// The trace goes to the file that TRH_TRACE names, whatever file the caller names; without the
// variable nothing is written. The stamp's form is what the stack tests' trace reader parses.
TEST(Trace, WritesStampedLinesToTheFileTheVariableNamesOnly) {
    testsupport::TempDir dir;
    {
        testsupport::ScopedEnv quiet("TRH_TRACE", std::nullopt);
        TraceLog((dir / "quiet.txt").c_str(), "Apache connected\n");
        EXPECT_FALSE(PathExists(dir / "quiet.txt"));
        testsupport::ScopedEnv trace("TRH_TRACE", dir / "trace.txt");
        TraceLog("c:\\trh_log.txt", "Timeout set to %d\n", 90000);
        TraceLog("c:\\trh_log.txt", "Receive: %s", "HTTP/1.1 200 OK");
    }
    const std::string text = testsupport::ReadFile(dir / "trace.txt");
    const std::regex stamped(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Timeout set to 90000\n)"
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Receive: HTTP/1\.1 200 OK\n)");
    EXPECT_TRUE(std::regex_match(text, stamped)) << text;
}

TEST(Trace, LinesFromManyThreadsStayWhole) {
    testsupport::TempDir dir;
    {
        testsupport::ScopedEnv trace("TRH_TRACE", dir / "trace.txt");
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 50; ++i) {
                    TraceLog("", "thread %d line %d of a longer trace message\n", t, i);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    const std::string text = testsupport::ReadFile(dir / "trace.txt");
    const std::regex line(R"(\S+ \S+ thread \d line \d+ of a longer trace message)");
    size_t count = 0;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_TRUE(std::regex_match(text.substr(start, end - start), line));
        ++count;
    }
    EXPECT_EQ(count, 200u);
}

}  // namespace
