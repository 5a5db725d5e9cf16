#include "sys/launcher.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>

#include "sys/error_text.h"
#include "sys/launcher_detail.h"
#include "sys/message_box.h"
#include "sys/text.h"
#include "sys/thread.h"

namespace {

// A decimal number at the start of the text (after blanks); anything else reads as 0. Sizes are
// never negative, and a huge one is capped rather than wrapped.
std::uint32_t SizeNumber(const std::string& text) {
    std::string::size_type i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i < text.size() && text[i] == '+') {
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value =
            std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(text[i] - '0'), 0x7FFFFFFF);
    }
    return static_cast<std::uint32_t>(value);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

StartupShape StartupShapeFor(bool show, const std::string& size) {
    StartupShape shape;
    if (size.empty()) {
        shape.showState = show ? kShowNormal : kShowHide;
        return shape;
    }
    if (EqualsNoCase(size, "MAXIMIZE")) {
        shape.showState = show ? kShowMaximize : kShowHide;
        return shape;
    }
    shape.showState = show ? kShowNormal : kShowHide;
    shape.useSize = true;
    const std::string::size_type x = size.find('x');
    if (x == std::string::npos) {
        shape.height = SizeNumber(size);
    } else {
        shape.width = SizeNumber(size.substr(0, x));
        shape.height = SizeNumber(size.substr(x + 1));
    }
    return shape;
}

std::vector<std::string> SplitWindowsCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    const std::string& s = commandLine;
    std::string::size_type i = 0;
    while (i < s.size() && IsBlank(s[i])) {
        ++i;
    }
    if (i == s.size()) {
        return args;
    }

    // The program name: quotes group and vanish, every other character is taken as it is.
    std::string program;
    bool quoted = false;
    for (; i < s.size() && (quoted || !IsBlank(s[i])); ++i) {
        if (s[i] == '"') {
            quoted = !quoted;
        } else {
            program += s[i];
        }
    }
    args.push_back(program);

    while (true) {
        while (i < s.size() && IsBlank(s[i])) {
            ++i;
        }
        if (i == s.size()) {
            break;
        }
        std::string arg;
        quoted = false;
        while (i < s.size() && (quoted || !IsBlank(s[i]))) {
            if (s[i] == '\\') {
                std::string::size_type run = 0;
                while (i < s.size() && s[i] == '\\') {
                    ++run;
                    ++i;
                }
                if (i < s.size() && s[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                    // With an even run the quote is handled as a quote on the next pass.
                } else {
                    arg.append(run, '\\');
                }
            } else if (s[i] == '"') {
                if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += s[i];
                ++i;
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string JoinWindowsCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t n = 0; n < arguments.size(); ++n) {
        const std::string& arg = arguments[n];
        if (n > 0) {
            line += ' ';
        }
        const bool plain = !arg.empty() && arg.find_first_of(" \t\"") == std::string::npos;
        if (plain) {
            line += arg;
            continue;
        }
        if (n == 0) {
            // The program name honours quotes only, and cannot hold one.
            line += "\"" + arg + "\"";
            continue;
        }
        line += '"';
        std::string::size_type backslashes = 0;
        for (const char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(backslashes * 2 + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

std::string ExecutablePathOf(const std::string& commandLine) {
    const std::string::size_type at = Upper(commandLine).find(".EXE");
    return at == std::string::npos ? "" : commandLine.substr(0, at + 4);
}

std::string FileNameOf(const std::string& path) {
    const std::string::size_type slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string::size_type start = name.find_first_not_of('"');
    return start == std::string::npos ? "" : name.substr(start);
}

LaunchOptions OptionsOf(LaunchWait wait, bool show, WindowSearch search, const std::string& size,
                        const std::string& processName) {
    LaunchOptions options;
    options.wait = wait;
    options.show = show;
    options.search = search;
    options.size = size;
    options.processName = processName;
    return options;
}

bool ProcessLauncher::Launch(const std::string& program, const std::string& arguments,
                             LaunchWait wait, bool show, WindowSearch search,
                             const std::string& size, const std::string& processName) {
    LaunchOptions options = OptionsOf(wait, show, search, size, processName);
    options.tied = tied_;
    return Launch(program + " " + arguments, options);
}

bool ProcessLauncher::Launch(const std::string& commandLine, const LaunchOptions& options) {
    const int error = LaunchProcess(commandLine, options);
    if (error != 0) {
        TraceSystemError("Start of " + commandLine, static_cast<unsigned long>(error));
        ShowMessageBox(SystemErrorText(static_cast<unsigned long>(error)), "Error",
                       kMessageBoxIconInformation);
        return false;
    }
    return true;
}

int ProcessLauncher::LaunchProcess(const std::string& commandLine, const LaunchOptions& options) {
    if (Cancelled()) {
        followed_ = false;
        return 0;
    }
    std::vector<ProcessEntry> before;
    if (options.search == WindowSearch::Handover) {
        before = ListProcesses();
    }
    Process created;
    if (const int error = Create(commandLine, options, created); error != 0) {
        return error;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        launched_ = created;
        if (cancel_) {
            // A stop that came while the program was being created ends it.
            created.TerminateTree();
            return 0;
        }
    }
    followed_ = true;
    if (options.search == WindowSearch::Handover) {
        FollowHandover(created, before, options, HandoverName(commandLine, options.processName));
    } else if (Adopt(created) && options.wait == LaunchWait::UntilExit) {
        WaitForExit(created);
    }
    return 0;
}

void ProcessLauncher::FollowHandover(const Process& created,
                                     const std::vector<ProcessEntry>& before,
                                     const LaunchOptions& options, const std::string& wanted) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kHandoverLimitMs);
    HandoverFamily family(created, before, wanted);
    Process adopted;
    Clock::time_point adoptedAt;
    bool browserLike = false;  // the adopted process ran helpers of its own, or ran for a while
    bool placed = false;
    std::set<std::pair<std::uint32_t, std::uint64_t>> helpers;  // seen below an adopted process
    while (!Cancelled() && !CThread::StopRequested()) {
        if (!adopted.IsRunning()) {
            const std::vector<ProcessEntry> table = ListProcesses();
            const Process next = family.Pick(table);
            if (next.IsValid()) {
                if (!Adopt(next)) {
                    // The stop has begun: what the launch led to goes with it.
                    next.TerminateTree();
                    break;
                }
                // A helper that outlives the browser for a moment (the user closed it) is the
                // browser's as much as it was; a successor of another kind starts afresh.
                browserLike = browserLike && helpers.count({next.id(), next.startTime()}) != 0;
                adopted = next;
                adoptedAt = Clock::now();
                placed = false;
            } else if (adopted.IsValid() && browserLike) {
                // What ended was the browser itself, closed by the user, not a program that
                // handed the page on: its end is the end of the run.
                return;
            }
        } else {
            const std::vector<ProcessEntry> table = ListProcesses();
            const std::vector<std::uint32_t> below =
                DescendantsOf(table, adopted.id(), adopted.startTime());
            for (const ProcessEntry& entry : table) {
                if (std::find(below.begin(), below.end(), entry.id) != below.end()) {
                    helpers.insert({entry.id, entry.startTime});
                }
            }
            browserLike = browserLike || !below.empty() ||
                          Clock::now() - adoptedAt >= std::chrono::milliseconds(kBrowserLikeMs);
        }
        if (adopted.IsValid() && !placed) {
            placed = !options.show || PlaceWindow(adopted, options);
        }
        if (adopted.IsValid() && placed && options.wait != LaunchWait::UntilExit) {
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        const unsigned long slice =
            static_cast<unsigned long>(std::min<long long>(left, kHandoverPollMs));
        // An adopted browser that ends wakes the search at once; it then looks again.
        if (adopted.IsRunning() && placed) {
            WaitForExit(adopted, slice);
        } else {
            PauseUnlessCancelled(slice);
        }
    }
    if (Cancelled() || CThread::StopRequested()) {
        return;
    }
    if (adopted.IsRunning()) {
        if (options.wait == LaunchWait::UntilExit) {
            WaitForExit(adopted);
        }
        return;
    }
    // Nothing runs that the launch led to: the page went to a browser that ran before, or to
    // somewhere no process of ours can be told from the others.
    followed_ = false;
}

std::vector<std::string> MergeEnvironment(
    const std::vector<std::string>& inherited,
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    const auto nameOf = [](const std::string& entry) {
        // A leading '=' belongs to the name (Windows keeps "=C:=C:\dir" entries).
        const std::string::size_type at = entry.find('=', 1);
        return at == std::string::npos ? entry : entry.substr(0, at);
    };
    const auto sameName = [](const std::string& a, const std::string& b) {
#ifdef _WIN32
        return EqualsNoCase(a, b.c_str());
#else
        return a == b;
#endif
    };
    std::vector<std::string> merged;
    std::vector<bool> used(overrides.size(), false);
    for (const std::string& entry : inherited) {
        const std::string name = nameOf(entry);
        std::size_t i = 0;
        while (i < overrides.size() && !sameName(name, overrides[i].first)) {
            ++i;
        }
        if (i == overrides.size()) {
            merged.push_back(entry);
        } else if (!used[i]) {
            merged.push_back(overrides[i].first + "=" + overrides[i].second);
            used[i] = true;
        }
    }
    for (std::size_t i = 0; i < overrides.size(); ++i) {
        if (!used[i]) {
            merged.push_back(overrides[i].first + "=" + overrides[i].second);
        }
    }
    return merged;
}

Process ProcessLauncher::process() const {
    std::lock_guard<std::mutex> hold(lock_);
    return process_;
}

void ProcessLauncher::Cancel() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        cancel_ = true;
    }
    cancelled_.notify_all();
}

bool ProcessLauncher::Cancelled() const {
    std::lock_guard<std::mutex> hold(lock_);
    return cancel_;
}

bool ProcessLauncher::Adopt(const Process& process) {
    std::lock_guard<std::mutex> hold(lock_);
    if (cancel_) {
        return false;
    }
    process_ = process;
    return true;
}

bool ProcessLauncher::PauseUnlessCancelled(unsigned long ms) const {
    std::unique_lock<std::mutex> hold(lock_);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // A worker thread's own stop request is looked at in short slices.
    while (!cancel_ && !CThread::StopRequested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        cancelled_.wait_for(hold, std::min<std::chrono::steady_clock::duration>(
                                      until - now, std::chrono::milliseconds(100)));
    }
    return false;
}

bool ProcessLauncher::WaitForExit(const Process& process, unsigned long ms) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    while (!process.WaitForExit(100)) {
        if (Cancelled() || CThread::StopRequested() ||
            (ms != kWaitForever && Clock::now() >= until)) {
            return false;
        }
    }
    return true;
}

void ProcessLauncher::TerminateTree() const {
    Process adopted;
    Process launched;
    {
        std::lock_guard<std::mutex> hold(lock_);
        adopted = process_;
        launched = launched_;
    }
    // The launched program too, while a search has adopted nothing yet or it is still there.
    for (const Process& process : {adopted, launched}) {
        if (process.IsRunning()) {
            process.TerminateTree();
        }
    }
}

void ProcessLauncher::TerminateTree(std::uint32_t id) {
    Process::Open(id).TerminateTree();
}

bool ProcessLauncher::AskToEnd(std::uint32_t id) {
    return Process::Open(id).AskToEnd();
}

HandoverFamily::HandoverFamily(const Process& launched, const std::vector<ProcessEntry>& before,
                               std::string wanted)
    : wanted_(std::move(wanted)), launchedId_(launched.id()) {
    for (const ProcessEntry& entry : before) {
        before_.insert({entry.id, entry.startTime});
    }
    if (launched.IsValid()) {
        members_.insert({launched.id(), launched.startTime()});
    }
}

Process HandoverFamily::Pick(const std::vector<ProcessEntry>& table) {
    const std::optional<ProcessEntry> best = Choose(table);
    return best ? Process::Open(best->id, best->startTime) : Process();
}

std::optional<ProcessEntry> HandoverFamily::Choose(const std::vector<ProcessEntry>& table) {
    // Newcomers only: a process that ran before the launch is the user's, whatever its name.
    std::vector<const ProcessEntry*> fresh;
    for (const ProcessEntry& entry : table) {
        if (before_.count({entry.id, entry.startTime}) == 0) {
            fresh.push_back(&entry);
        }
    }
    // Descendants of the launch, also through parents that have ended meanwhile (a member is
    // remembered with its start time; a child starts no earlier than its parent).
    for (bool grew = true; grew;) {
        grew = false;
        for (const ProcessEntry* entry : fresh) {
            const Member self{entry->id, entry->startTime};
            if (members_.count(self) != 0) {
                continue;
            }
            const bool inGroup = launchedId_ != 0 && entry->group == launchedId_;
            const bool child =
                std::any_of(members_.begin(), members_.end(), [entry](const Member& member) {
                    return member.first == entry->parent && entry->startTime >= member.second;
                });
            if (inGroup || child) {
                members_.insert(self);
                grew = true;
            }
        }
    }
    // A newcomer of the wanted name only when its executable can be read: the system keeps
    // another user's closed, and another user's browser on a shared machine is never this run's.
    std::vector<const ProcessEntry*> candidates;
    for (const ProcessEntry* entry : fresh) {
        if (members_.count({entry->id, entry->startTime}) != 0 ||
            (!wanted_.empty() && !entry->path.empty() &&
             EqualsNoCase(entry->name, wanted_.c_str()))) {
            candidates.push_back(entry);
        }
    }
    // The program rather than its helpers: a candidate whose parent is no candidate, one of the
    // wanted name first, the earliest started first.
    const ProcessEntry* best = nullptr;
    for (const ProcessEntry* entry : candidates) {
        const bool topMost =
            std::none_of(candidates.begin(), candidates.end(), [&](const ProcessEntry* other) {
                return other->id == entry->parent && entry->startTime >= other->startTime;
            });
        if (!topMost) {
            continue;
        }
        const auto rank = [this](const ProcessEntry* e) {
            return std::make_pair(wanted_.empty() || !EqualsNoCase(e->name, wanted_.c_str()),
                                  e->startTime);
        };
        if (best == nullptr || rank(entry) < rank(best)) {
            best = entry;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return *best;
}
