#include "sys/message_box.h"

#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

MessageBoxHandler& InstalledHandler() {
    static MessageBoxHandler handler;
    return handler;
}

int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned style) {
#ifdef _WIN32
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
#else
    (void)style;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return 1;
#endif
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> guard(HandlerLock());
        handler = InstalledHandler();
    }
    // The box blocks, so it is shown outside the lock: a handler may itself install another one.
    return handler ? handler(text, caption, style) : DefaultMessageBox(text, caption, style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> guard(HandlerLock());
    MessageBoxHandler previous = std::move(InstalledHandler());
    InstalledHandler() = std::move(handler);
    return previous;
}
