// The shutdown dialog: a small always-on-top window without a caption, with a message and a
// progress bar, shown while the stop sequence takes the servers down. It belongs to the UI thread;
// the frame forwards the stop sequence's calls to it.
#pragma once

#include <memory>
#include <string>

class CShutdownServer {
public:
    CShutdownServer();
    ~CShutdownServer();
    CShutdownServer(const CShutdownServer&) = delete;
    CShutdownServer& operator=(const CShutdownServer&) = delete;

    // On the UI thread: makes the dialog with `message`, shows it centred, bar range 0 to 100 at
    // position 0. False when the window cannot be made.
    bool Create(const std::string& message);

    // On the UI thread: moves the bar and puts the message in again, so that the dialog repaints.
    void SetPosition(int position);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
