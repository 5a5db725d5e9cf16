#include "sys/wait_process_end.h"

#include "sys/process_list.h"

CWaitProcessEnd::CWaitProcessEnd(std::uint32_t processId) : processId_(processId) {}

CWaitProcessEnd::~CWaitProcessEnd() {
    StopAndWait();
}

std::uint32_t CWaitProcessEnd::Run() {
    while (notSeen_ == 0) {
        notSeen_ = 1;
        EnumerateProcesses(&CWaitProcessEnd::OnProcess, this);
        if (!Pause(kPollMs)) {
            break;
        }
    }
    return 0;
}

void CWaitProcessEnd::OnKill() {
    notSeen_ = 1;
    CThread::OnKill();
}

int CWaitProcessEnd::OnProcess(std::uint32_t id, const char*, void* user) {
    auto* self = static_cast<CWaitProcessEnd*>(user);
    if (id == self->processId_) {
        self->notSeen_ = 0;
        return 0;
    }
    return 1;
}
