// What the launcher adds to a start, and what the stop sequence costs beyond its four fixed
// seconds. Uses the fake servers built beside it (TRAILHOST_TESTS), in a stack under a private
// temporary folder.
//
//   start overhead: from the call of StartSequence until it returns after the readiness probe
//   saw the web server's answer, minus the time the fake server itself took from its start to
//   listening. What is left is the launcher's own work: folders, templates, environment, process
//   creation, and the probe's 200 ms rhythm.
//
//   stop total: StopSequence with a web server and a database server running.
//
//     bench_sequences [start runs] [stop runs]
#include "bench_harness.h"

#include "config/settings.h"
#include "stack/start_sequence.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"
#include "sys/folders.h"
#include "sys/pure_socket.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const std::string kExe = ".exe";
#else
const std::string kExe;
#endif

// Keeps the moments at which the stop sequence reached each position of its dialog.
class TimingShell : public ShellServices {
public:
    void PostStartupProgress(int) override {}
    void CloseSplash() override {}
    void ShowRunningUntilClose() override {}
    void ShowMessageBox(const std::string&, const std::string&) override {}
    void ShowShutdownDialog(const std::string&) override {}
    void SetShutdownProgress(int position) override {
        if (position >= 0 && position <= 100) {
            reached[position / 10] = std::chrono::steady_clock::now();
        }
    }
    void CloseMainFrame() override {}

    double MsBetween(int from, int to) const {
        return std::chrono::duration<double, std::milli>(reached[to / 10] - reached[from / 10])
            .count();
    }

    std::chrono::steady_clock::time_point reached[11];
};

std::string Native(fs::path path) {
    return path.make_preferred().string();
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The number after `key` in a helper's log; -1 when it is not there.
long long LoggedNumber(const std::string& log, const std::string& key) {
    const auto at = log.rfind(key + " ");
    return at == std::string::npos ? -1 : std::atoll(log.c_str() + at + key.size() + 1);
}

long long NowEpochMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A free port on 127.0.0.1 right now (the system picks one, with nothing listening after).
int FreePort(int from) {
    for (int port = from; port < from + 1000; ++port) {
        if (!IsPortInUse(port, "127.0.0.1")) {
            return port;
        }
    }
    return from;
}

struct Stack {
    fs::path root;
    std::string exeFolder;
    std::string tempFolder;

    explicit Stack(const fs::path& where) : root(where) {
        exeFolder = Native(root / "stack") + std::string(1, kPathSeparator);
        tempFolder = Native(root / "tmp") + std::string(1, kPathSeparator);
        const fs::path bin = GetModuleFolder();
        const fs::path stack = root / "stack";
        fs::create_directories(root / "tmp");
        fs::create_directories(stack / "server" / "Apache");
        fs::create_directories(stack / "server" / "mysql" / "bin");
        fs::copy_file(bin / ("fake_web" + kExe), stack / "server" / "Apache" / ("Apache" + kExe),
                      fs::copy_options::overwrite_existing);
        fs::copy_file(bin / ("fake_db" + kExe),
                      stack / "server" / "mysql" / "bin" / ("mysqld" + kExe),
                      fs::copy_options::overwrite_existing);
        fs::copy_file(bin / ("fake_dbadmin" + kExe),
                      stack / "server" / "mysql" / "bin" / ("mysqladmin" + kExe),
                      fs::copy_options::overwrite_existing);
        WriteText(stack / "server" / "config_tpl" / "httpd.conf", "Listen %RMHUB:PORT%\n");
        WriteText(stack / "server" / "config_tpl" / "my.ini", "[mysqld]\nport=%RMHUB:MYSQLPRT%\n");
        WriteText(stack / "server" / "config_tpl" / "php.ini", "\n");
        WriteText(root / "hosts", "127.0.0.1 localhost\n");
    }

    StackPlaces Places() const {
        StackPlaces places;
        places.exeFolder = exeFolder;
        places.tempFolder = tempFolder;
        places.hostsPath = Native(root / "hosts");
        places.webPorts = {};
        places.databasePorts = {};
        return places;
    }

    AppSettings Settings(bool useDatabase) const {
        AppSettings s;
        s.port = FreePort(20000 + std::rand() % 20000);
        s.mySQLPort = FreePort(s.port + 1);
        s.hostName = "127.0.0.1";
        s.defaultFile = "index.php";
        s.defaultRoot = "htdocs";
        s.browserType = BrowserType::DEFAULT;
        s.useMySQL = useDatabase;
        s.deleteHttpTemp = true;
        s.pathToApache = Native(fs::path("server") / "Apache" / ("Apache" + kExe));
        s.pathToMySqlBin = Native(fs::path("server") / "mysql" / "bin");
        s.pathToMySqlData = Native(fs::path("server") / "mysql" / "data");
        s.pathToMySqlShare = Native(fs::path("server") / "mysql" / "share");
        s.pathToHttpdConf = Native(fs::path("server") / "config_tpl" / "httpd.conf");
        s.pathToMyIni = Native(fs::path("server") / "config_tpl" / "my.ini");
        s.pathToPhpIni = Native(fs::path("server") / "config_tpl" / "php.ini");
        s.additionalFiles.assign(10, "");
        s.startupCommands.assign(3, "");
        s.shutdownCommands.assign(3, "");
        return s;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int startRuns = argc > 1 ? std::atoi(argv[1]) : 10;
    const int stopRuns = argc > 2 ? std::atoi(argv[2]) : 3;
    if (!fs::exists(fs::path(GetModuleFolder()) / ("fake_web" + kExe))) {
        std::printf("the fake servers are missing: build with TRAILHOST_TESTS\n");
        return 1;
    }
    WinsockGuard sockets;
    const fs::path root = fs::temp_directory_path() / ("trh-bench-" + std::to_string(NowEpochMs()));
    const Stack stack(root);
    TimingShell shell;

    std::vector<double> totals, untilServer, serverOwn, probeLag, overheads;
    for (int run = 0; run < startRuns; ++run) {
        AppSettings settings = stack.Settings(false);
        StackState state(stack.Places());
        const long long before = NowEpochMs();
        const auto start = std::chrono::steady_clock::now();
        StartSequence(state, settings, shell);
        const double total =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        const std::string log = ReadText(state.runtimeFolder + "fake_web.log");
        if (state.webServer) {
            state.webServer->Stop();
        }
        std::error_code ignored;
        fs::remove_all(state.runtimeFolder, ignored);
        const long long started = LoggedNumber(log, "started-ms");
        const long long listening = LoggedNumber(log, "listening-ms");
        if (started < before || listening < started) {
            std::printf("run %d: the fake server's times are missing\n", run);
            continue;
        }
        totals.push_back(total);
        untilServer.push_back(static_cast<double>(started - before));
        serverOwn.push_back(static_cast<double>(listening - started));
        probeLag.push_back(static_cast<double>(before - listening) + total);
        overheads.push_back(total - static_cast<double>(listening - started));
    }
    bench::Print("start: StartSequence until ready", bench::Summarise(totals));
    bench::Print("start: call until the server process runs", bench::Summarise(untilServer),
                 "(folders, templates, environment, process creation)");
    bench::Print("start: fake server start to listening", bench::Summarise(serverOwn));
    bench::Print("start: listening until the probe's answer", bench::Summarise(probeLag));
    bench::Print("start: launcher's own overhead", bench::Summarise(overheads),
                 "(includes the probe's 200 ms rhythm)");

    std::vector<double> stops, webStops, databaseStops;
    for (int run = 0; run < stopRuns; ++run) {
        AppSettings settings = stack.Settings(true);
        settings.shutdownMessage = "Stopping";
        StackState state(stack.Places());
        state.MarkRunnerStarted();
        StartSequence(state, settings, shell);
        // The database server starts without a wait; the stop is timed once it listens.
        for (int i = 0; i < 500 && !IsPortInUse(settings.mySQLPort, "127.0.0.1"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const auto start = std::chrono::steady_clock::now();
        StopSequence(state, settings, shell, false);
        stops.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        webStops.push_back(shell.MsBetween(10, 20));
        databaseStops.push_back(shell.MsBetween(20, 30));
    }
    bench::Print("stop: StopSequence, web and database up", bench::Summarise(stops),
                 "(of which 4000 ms are fixed pauses)");
    bench::Print("stop: web server's process tree ended", bench::Summarise(webStops));
    bench::Print("stop: database server's shutdown", bench::Summarise(databaseStops),
                 "(tool, then the 500 ms process watch)");

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
