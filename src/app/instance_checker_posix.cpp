// Linux only: the first copy holds an endpoint of this user named after the shared block; a
// second copy that reaches it asks it to come forward. Another user's socket of that name is no
// copy of ours (see LocalEndpoint).
#include "app/instance_checker.h"

#include "app/local_endpoint.h"
#include "app/main_frame.h"

namespace {

const char kActivateRequest[] = "activate";

}  // namespace

struct CInstanceChecker::Impl {};

CInstanceChecker::CInstanceChecker(const std::string& name) : name_(name) {}

CInstanceChecker::~CInstanceChecker() = default;

bool CInstanceChecker::IsAnotherInstanceRunning() const {
    return SendToEndpoint(SharedBlockName(), "");
}

bool CInstanceChecker::RegisterAsFirstInstance(CMainFrame& frame) {
    if (IsAnotherInstanceRunning()) {
        return false;
    }
    // The endpoint outlives the checker: it lives as long as the process. A request that comes
    // after the frame has gone finds nothing to bring forward.
    static LocalEndpoint endpoint;
    std::weak_ptr<const void> lifetime = frame.Lifetime();
    CMainFrame* target = &frame;
    return endpoint.Listen(SharedBlockName(), [lifetime, target](const std::string& line) {
        if (line == kActivateRequest && !lifetime.expired() && target->Exists()) {
            target->Activate();
        }
    });
}

bool CInstanceChecker::ActivateFirstInstance() {
    return SendToEndpoint(SharedBlockName(), kActivateRequest);
}
