// Linux only: a second, ordinary user of the machine, for the hostile side of a test (the other
// user of a lab or office machine). Acting as another user needs root, as the CI runs the tests;
// elsewhere the tests that need one skip and say why.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct SecondUser {
    uid_t uid = 0;
    gid_t gid = 0;
};

// The user "trh-test-peer", made with useradd (a system user without home or login) when it is not
// there yet; none when this process cannot act as another user, with the reason in `why`.
std::optional<SecondUser> SecondUserOfThisMachine(std::string& why);

// Whether `user` can open `path`: a file for reading, a folder for listing. A child process that
// has become the user (without supplementary groups) tries.
// Whether `body`, run in a child process that has become `user`, answers true. The child is a
// copy of this process with the calling thread alone: `body` does plain file work only.
bool RunsAs(const SecondUser& user, const std::function<bool()>& body);

bool CanOpenAs(const SecondUser& user, const std::string& path);

// Makes the folder `path` as `user`, with exactly `mode`.
bool MakeFolderAs(const SecondUser& user, const std::string& path, mode_t mode);

// A program that runs as `user` (with this process's environment) until this goes, when it is
// ended and collected.
class ProcessAsUser {
public:
    ProcessAsUser(const SecondUser& user, const std::string& program,
                  const std::vector<std::string>& args);
    ~ProcessAsUser();
    ProcessAsUser(const ProcessAsUser&) = delete;
    ProcessAsUser& operator=(const ProcessAsUser&) = delete;

    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

}  // namespace testsupport
