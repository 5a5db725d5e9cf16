// Keeps a second copy of the launcher away while the first one runs (AllowOnlySingleInstance).
// The first copy holds a named object for exactly as long as its process lives, so a crash frees
// the name too: a named shared-memory block that holds the frame's window (Windows), a per-user
// local socket (Linux). Copies with different names do not see each other.
#pragma once

#include <memory>
#include <string>

class CMainFrame;

class CInstanceChecker {
public:
    // `name` is "trh_mutex_" + the server name.
    explicit CInstanceChecker(const std::string& name);
    // The named object, once registered, outlives the checker: it lives until the process ends.
    virtual ~CInstanceChecker();
    CInstanceChecker(const CInstanceChecker&) = delete;
    CInstanceChecker& operator=(const CInstanceChecker&) = delete;

    // The name of the named object: the checker's name + "_CInstanceChecker_MMF".
    virtual std::string SharedBlockName() const;

    // Whether a first copy holds the name.
    bool IsAnotherInstanceRunning() const;

    // Makes this copy the first one, with `frame` as the window to bring forward; false when
    // another copy already is, or the named object cannot be made.
    bool RegisterAsFirstInstance(CMainFrame& frame);

    // Brings the first copy forward (its last active pop-up, if any); false when no first copy
    // could be reached.
    bool ActivateFirstInstance();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string name_;
};
