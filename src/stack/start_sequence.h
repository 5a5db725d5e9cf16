// The start sequence: everything from the runtime folder to the web server's first answer, in
// its fixed order of steps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "stack/shell_services.h"
#include "stack/stack_state.h"
#include "sys/pure_socket.h"

// What StartSequence answers.
enum class StartResult {
    kDone,       // started; also when the web server did not answer in time
    kRefused,    // no private runtime folder, or a mandatory web port taken
    kAbandoned,  // the stop sequence began while the start was under way
    kFailed,     // the web server ended before it answered; the user was told
};

// Runs on the server runner thread. Prepares the runtime folder, the hosts-file entry, the ports,
// the database files, the configuration files and the environment; starts the start-up commands,
// the web server and (with useMySQL) the database server; then, unless the browser type is NONE,
// waits until the web server answers, the readiness time-out has passed, or the web server has
// ended (the user is then told, with the end of its error log, and the start fails; a database
// server that ends meanwhile is told of too, and the start goes on). Whatever it makes is
// stored in `state` for the stop sequence; its steps that write files run through
// state.RunStartStep, and a stop that comes during the database staging breaks it off. Writes
// settings.hostName: "127.0.0.1" when the hosts-file entry cannot be made. Most failures are
// silent; the sequence goes on with what exists.
StartResult StartSequence(StackState& state, AppSettings& settings, ShellServices& shell);

// Starts the start-up or shutdown commands, each as its own program; nothing waits for them.
void RunCommands(const std::vector<std::string>& commands);

// Tells the splash screen the progress, when it shows progress (showStartupProgress and a splash
// file).
void PostStartupProgress(const AppSettings& settings, ShellServices& shell, int percent);

// Whether the host name needs no hosts-file entry: 127.0.0.1, localhost or the machine's own
// address, in any letter case.
bool IsLocalHostName(const std::string& hostName, const std::string& localIp);

// Starts the socket library into `sockets` for the caller's scope. A failed start leaves it empty
// and is not looked at: the port tests then find every port free, the probe never connects, and
// the sequence goes on.
void StartSockets(std::optional<WinsockGuard>& sockets);
