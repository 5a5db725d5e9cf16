#include "whole_run.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/run_recovery.h"
#include "config/settings.h"
#include "stack/database_server.h"
#include "stack/stop_sequence.h"
#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/launcher.h"
#include "sys/registry.h"

namespace testsupport {

namespace {

constexpr unsigned long kGiveUpMs = 60000;

// Whether `text` begins with the first part of `pattern` and holds its further parts ("[...]"
// between them) in order.
bool Matches(const std::string& text, const std::string& pattern) {
    std::size_t from = 0;
    for (std::size_t part = 0, end = 0; end != std::string::npos; part = end + 5) {
        end = pattern.find("[...]", part);
        const std::string piece = pattern.substr(part, end - part);
        const std::size_t at = text.find(piece, from);
        if (at == std::string::npos || (part == 0 && at != 0)) {
            return false;
        }
        from = at + piece.size();
    }
    return true;
}

// Puts a folder, holding one file, where the file `path` was.
void FolderInPlaceOf(const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
    WriteFile(path + kSep + "inside.txt", "not a file of the run");
}

template <typename T, typename... Args>
std::shared_ptr<T> Hold(std::vector<std::shared_ptr<void>>& held, Args&&... args) {
    auto fault = std::make_shared<T>(std::forward<Args>(args)...);
    held.push_back(fault);
    return fault;
}

}  // namespace

std::string ProxyExceptions() {
#ifdef _WIN32
    CXRegistry key(RegistryRoot::CurrentUser,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", false);
    // A value that was not there comes back empty, which means the same: no exceptions.
    std::string value;
    key.QueryString("ProxyOverride", value);
    return value;
#else
    const char* value = std::getenv("no_proxy");
    return value != nullptr ? value : "<unset>";
#endif
}

bool TestHandover::OpenSiteAndWait(StackState& state, const AppSettings& settings) {
    ++opened;
    if (killHere) {
        // Nothing more of this run happens: the runner only waits to be ended.
        killed = true;
        return false;
    }
    return real_.OpenSiteAndWait(state, settings) && followed;
}

WholeRun::WholeRun(const Scenario& row) : row_(row) {
    layout.InstallServers();
    WriteFile(Site(), kSiteText);
    layout.AddToHttpdConf(row.web);
    layout.AddToMyIni(row.db);
    SetProcessVariable("FAKE_BROWSER_LOG", own_ / "browser.log");
    SetProcessVariable("FAKE_BROWSER_UNTIL", own_ / "closed");
    shell.onCloseFrame = [this] {
        // The frame's close path, as the application runs it.
        state->StopBrowser();
        StopSequence(*state, settings, shell, true);
    };
}

WholeRun::~WholeRun() {
    for (const char* name : {"FAKE_BROWSER_LOG", "FAKE_BROWSER_UNTIL", "FAKE_BROWSER_EXIT_CODE"}) {
        SetProcessVariable(name, "");
    }
    // What a failed row left running; after a stop the ids may belong to others already.
    for (const std::uint32_t id : {web, database, browser}) {
        if (id != 0 && state && !state->IsStopping() && ProcessRuns(id)) {
            ProcessLauncher::TerminateTree(id);
        }
    }
}

std::string WholeRun::Expand(std::string text) const {
    const std::pair<const char*, std::string> places[] = {
        {"{ROOT}", layout.Root()},
        {"{SITE}", Site()},
        {"{TPL}", Template("")},
        {"{TEMP}", tempFolder_},
        {"{RUNTIME}", runtime},
        {"{WEB}", layout.ExeFolder() + settings.pathToApache},
        {"{DB}", layout.ExeFolder() + settings.pathToMySqlBin + kSep + "mysqld" + kExe}};
    for (const auto& [name, value] : places) {
        for (std::size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + value.size())) {
            text.replace(at, std::strlen(name), value);
        }
    }
    return text;
}

// hub_config.ini from the base lines and the row's, read as the program reads it.
void WholeRun::Configure() {
    if (row_.fault == Fault::kWebPortTaken) {
        takenPort_.emplace(std::vector<std::string>{""});
    }
    std::vector<std::string> lines = {
        "http.Port=" + std::to_string(takenPort_ ? takenPort_->Port() : UnusedPort()),
        "http.HostName=127.0.0.2",
        "http.DeleteHttpTemp=1",
        "database.UseMySQL=1",
        "database.MySQLPort=" + std::to_string(UnusedPort()),
        "Browser.BrowserType=chromium",
        "Browser.BrowserPath=" + HelperPath("fake_browser"),
        "General.ShowShutdownMessage=Stopping",
        "AdditionalParsing.File1=htdocs\\config.php",
    };
    lines.insert(lines.end(), row_.config.begin(), row_.config.end());
    std::map<std::string, std::map<std::string, std::string>> sections;
    for (const std::string& line : lines) {
        const std::size_t dot = line.find('.');
        const std::size_t equals = line.find('=');
        sections[line.substr(0, dot)][line.substr(dot + 1, equals - dot - 1)] =
            Expand(line.substr(equals + 1));
    }
    std::string ini;
    for (const auto& [section, keys] : sections) {
        ini += "[" + section + "]\n";
        for (const auto& [key, value] : keys) {
            ini += key + "=" + value + "\n";
        }
    }
    WriteFile(layout.ExeFolder() + "hub_config.ini", ini);
    ReadSettings(settings, layout.ExeFolder() + "hub_config.ini");
}

void WholeRun::MakeFault() {
    // Whether the fault could be made on this machine (some need root, or Windows' locks).
    bool made = true;
#ifndef _WIN32
    // A small disk mounted on `folder`, filled up once `file` (if any) holds `text`.
    const auto fullDisk = [&](const std::string& folder, int kib, const std::string& file,
                              const std::string& text) {
        auto disk = Hold<SmallDisk>(faults_, folder, kib);
        if (disk->ok() && !file.empty()) {
            WriteFile(file, text);
        }
        EXPECT_TRUE(!disk->ok() || disk->Fill());
        return disk->ok();
    };
#endif
    switch (row_.fault) {
        case Fault::kReadOnlyMedium:
            made =
                Hold<ReadOnlyMedium>(faults_, layout.ExeFolder())->ok() && !OpenFile(Site(), "r+");
            break;
        case Fault::kUnwritableTemp: {
            auto temp = Hold<UnwritableFolder>(faults_, layout.Root());
            made = temp->ok();
            tempFolder_ = temp->path();
            break;
        }
        case Fault::kLockedHosts:
            made = Hold<LockedFile>(faults_, layout.HostsPath())->ok() &&
                   !OpenFile(layout.HostsPath(), "a");
            break;
        case Fault::kFolderForHosts:
            FolderInPlaceOf(layout.HostsPath());
            break;
        case Fault::kFolderForTemplates:
            for (const std::string name : {"httpd.conf", "my.ini", "php.ini"}) {
                FolderInPlaceOf(Template(name));
            }
            FolderInPlaceOf(Site());
            break;
        case Fault::kFolderForBackup:
            FolderInPlaceOf(Site() + ".bak");
            break;
        case Fault::kMissingHosts:
            hostsPath_ = layout.Root() + testsupport::Native("missing/hosts");
            break;
        case Fault::kLockedAtStop:
            WriteFile(own_ / "probe", "x");
            made = LockedFile(own_ / "probe").ok();
            break;
        case Fault::kAuthorsBackup:
            WriteFile(Site() + ".bak", "the author's backup");
            break;
#ifndef _WIN32
        case Fault::kFullTemp:
            made = fullDisk(layout.TempFolder(), 64, "", "");
            break;
        case Fault::kFullHostsDisk:
            // The file ends a few bytes before the end of its last block: the start of the entry
            // fits, the rest does not.
            made = fullDisk(layout.Root() + "etc", 16, layout.HostsPath(),
                            "127.0.0.1\tlocalhost\n" + std::string(4067, '#') + "\n");
            break;
        case Fault::kFrozenSiteFolder:
            made = Hold<Immutable>(faults_, layout.ExeFolder() + "htdocs")->ok();
            break;
        case Fault::kFullSiteDisk:
            made = fullDisk(layout.ExeFolder() + "htdocs", 32, Site(),
                            kSiteText + std::string(6000, ';') + "\n");
            break;
#endif
        default:
            break;
    }
    if (!made) {
        GTEST_SKIP() << "this fault cannot be made here";
    }
}

std::unique_ptr<StackState> WholeRun::NewState() {
    StackPlaces places = layout.Places({UnusedPort()}, {UnusedPort()});
    places.tempFolder = tempFolder_;
    places.hostsPath = hostsPath_;
    row_.places(*this, places);
    tempFolder_ = places.tempFolder;
    StackTimeouts timeouts;
    timeouts.readinessTimeoutMs = row_.readinessMs;
    timeouts.databaseStopWaitMs = row_.dbStopWaitMs;
    // The pause before the browser only lengthens each row.
    timeouts.pauseBeforeBrowserMs = 100;
    return std::make_unique<StackState>(places, timeouts);
}

std::vector<std::string> WholeRun::Entries() const {
    namespace fs = std::filesystem;
    std::vector<std::string> entries;
    std::error_code ec;
    const fs::path temp = fs::path(layout.TempFolder()).parent_path();
    for (auto it = fs::recursive_directory_iterator(layout.Root(), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path() == temp) {
            it.disable_recursion_pending();
        }
        entries.push_back(it->path().string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

void WholeRun::StartRunner(std::unique_ptr<CServerRunner>& runner) {
    runner = std::make_unique<CServerRunner>(*state, settings, shell, handover);
    runner->Start();
    ASSERT_TRUE(
        Eventually([&] { return Fetched() || handover.killed || runner->GetHandle().Wait(0); }));
}

void WholeRun::SeeTheOpenSite() {
    runtime = state->runtimeFolder;
    web = state->webServer ? state->webServer->processId() : 0;
    database = state->databaseServer ? state->databaseServer->processId() : 0;
    const std::vector<std::string> ids = LogValues(BrowserLog(), "pid ");
    browser =
        ids.empty() ? 0 : static_cast<std::uint32_t>(std::strtoul(ids[0].c_str(), nullptr, 10));
    webPort = state->webServer ? state->webServer->port() : 0;
    hostsDuring = TextOf(layout.HostsPath());
    siteDuring = TextOf(Site());
}

void WholeRun::Run() {
    Configure();
    row_.arrange(*this);
    if (!::testing::Test::IsSkipped()) {
        MakeFault();
    }
    if (::testing::Test::IsSkipped() || ::testing::Test::HasFatalFailure()) {
        return;
    }
    state = NewState();
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    hostsBefore_ = ReadFile(layout.HostsPath());
    stackBefore_ = TreeFingerprint(layout.ExeFolder(), row_.untouched);
    entriesBefore_ = Entries();
    proxyBefore_ = ProxyExceptions();
    // Held while the first stop runs only.
    std::shared_ptr<void> lockedAtStop;
    bool locked = false;
    shell.onPosition = [&](int position) {
        if (position == 0 && runtime.empty()) {
            SeeTheOpenSite();
        }
        if (position == 0 && row_.fault == Fault::kLockedAtStop && !locked) {
            locked = true;
            lockedAtStop =
                std::make_shared<std::pair<LockedFile, LockedFile>>(layout.HostsPath(), Site());
        }
        row_.atStop(*this, position);
    };
    handover.killHere = row_.user == User::kKillLauncher;
    handover.followed = row_.followed;
    if (row_.user == User::kKillBrowser) {
        SetProcessVariable("FAKE_BROWSER_UNTIL", own_ / "never");
    } else if (row_.user == User::kCloseInTray) {
        SetProcessVariable("FAKE_BROWSER_UNTIL", "");
    }

    std::unique_ptr<CServerRunner> runner;
    StartRunner(runner);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    const bool open = Fetched() || handover.killed;
    if (!handover.killed) {
        EXPECT_EQ(!LogValues(BrowserLog(), "status ").empty(), row_.page);
    }
    if (open) {
        SeeTheOpenSite();
        CheckWhatTheRunMade();
        row_.during(*this);
    }

    switch (row_.user) {
        case User::kCloseBrowser:
            WriteFile(own_ / "closed", "");
            break;
        case User::kKillBrowser:
            ASSERT_NE(browser, 0u);
            ProcessLauncher::TerminateTree(browser);
            break;
        case User::kCloseInTray:
            // The stack stays up past the runner's wait for a stop, after the browser has gone.
            EXPECT_TRUE(Eventually([&] { return !LogValues(BrowserLog(), "exit").empty(); }));
            EXPECT_FALSE(runner->GetHandle().Wait(CServerRunner::kKeepRunningPassMs + 500));
            EXPECT_TRUE(ProcessRuns(web));
            EXPECT_FALSE(state->IsStopping());
            state->StopBrowser();
            StopSequence(*state, settings, shell, true);
            break;
        case User::kKillLauncher:
            // No stop, no restore: the servers run on and what the run changed stays.
            killedRunner_ = std::move(runner);
            killedState_ = std::move(state);
#ifndef _WIN32
            // The proxy exceptions of a killed launcher die with its environment.
            SetProcessVariable("no_proxy", proxyBefore_ == "<unset>" ? "" : proxyBefore_);
#endif
            break;
    }
    if (runner) {
        ASSERT_TRUE(runner->GetHandle().Wait(kGiveUpMs));
    }
    lockedAtStop.reset();

    if (killedRunner_ || row_.fault == Fault::kLockedAtStop) {
        // The next start: its runner finds what the first run left before it changes anything.
        const std::uint32_t firstWeb = web;
        const std::uint32_t firstDatabase = database;
        row_.between(*this);
        shell.Clear();
        SetProcessVariable("FAKE_BROWSER_UNTIL", "");
        handover.killHere = false;
        runtime.clear();
        state = NewState();
        runner = std::make_unique<CServerRunner>(*state, settings, shell, handover);
        runner->Start();
        ASSERT_TRUE(runner->GetHandle().Wait(kGiveUpMs));
        EXPECT_TRUE(
            Eventually([&] { return !ProcessRuns(firstWeb) && !ProcessRuns(firstDatabase); }));
    }
    row_.after(*this);
    CheckTheEnd();
}

// While the site is open: the site's own host name in the hosts file, or the fall-back to the
// loop-back address, which the site file and the browser's address then name.
void WholeRun::CheckWhatTheRunMade() {
    if (database != 0) {
        // The database server is shut down by its port: one that has not begun to listen yet
        // would be left running, so the run gives it that time.
        EXPECT_TRUE(Eventually([&] { return DatabaseAnswers() || !ProcessRuns(database); }));
    }
    std::string hosts = hostsBefore_;
    hosts.erase(std::remove(hosts.begin(), hosts.end(), '\r'), hosts.end());
    if (row_.host == "127.0.0.2") {
        hosts += HostsBlock(row_.host, GetLocalIpAddress(0), "\n");
    }
    EXPECT_EQ(hostsDuring, hosts + userHosts);
    if (row_.siteExpanded) {
        EXPECT_EQ(siteDuring, "port=" + std::to_string(webPort) + "\nhost=" + row_.host + "\n");
    }
    if (row_.page && !handover.killed) {
        const std::string base = "http://" + row_.host + ":" + std::to_string(webPort);
        EXPECT_EQ(LogValues(BrowserLog(), "url "), std::vector<std::string>{base + "/index.php"});
        EXPECT_EQ(LoggedVariable(BrowserLog(), "TRH_BASE_URL"), base);
    }
}

void WholeRun::CheckTheEnd() {
    // The boxes, and one stop, which closed the frame.
    const std::vector<std::string> boxes = shell.Calls("box Error: ");
    ASSERT_EQ(boxes.size(), row_.boxes.size()) << (boxes.empty() ? "" : boxes[0]);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_TRUE(Matches(boxes[i], "box Error: " + Expand(row_.boxes[i])))
            << boxes[i] << "\n"
            << Expand(row_.boxes[i]);
    }
    // The frame's close path closes no frame: it is closing already.
    EXPECT_EQ(shell.Calls("close frame").size(), row_.user == User::kCloseInTray ? 0u : 1u);
    const std::vector<std::string> positions = shell.Calls("position");
    EXPECT_TRUE(positions.empty() || positions.back() == "position 100");
    for (const std::string& start : row_.traced) {
        EXPECT_TRUE(Traced(start)) << Expand(start);
    }

    // No process of the run is left.
    for (const std::uint32_t id : {web, database, browser}) {
        if (id != 0) {
            EXPECT_TRUE(Eventually([&] { return !ProcessRuns(id); })) << id;
        }
    }
    EXPECT_FALSE(DatabaseAnswers());
    // Its folder is gone (unless the configuration keeps it), and the machine is as it was: the
    // stack byte for byte with its attributes, nothing made or left beside it, the hosts file and
    // the proxy exceptions.
    if (settings.deleteHttpTemp && !runtime.empty()) {
        EXPECT_FALSE(PathExists(runtime)) << runtime;
    }
    EXPECT_EQ(TreeFingerprint(layout.ExeFolder(), row_.untouched), stackBefore_);
    EXPECT_EQ(Entries(), entriesBefore_);
    EXPECT_EQ(ReadFile(layout.HostsPath()), hostsBefore_ + userHosts);
    EXPECT_EQ(ProxyExceptions(), proxyBefore_);
}

}  // namespace testsupport
