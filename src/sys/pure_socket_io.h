// The inside of the socket class, shared by socket.cpp and the platform files; nothing else
// includes it.
#pragma once

#include <cstdint>

// The calling thread's last socket error, as a Windows Sockets code.
int LastSocketError();

// One send() call: the number of bytes sent, or -1 (the error recorded).
int SendOnce(std::intptr_t descriptor, const char* data, int length, int flags);

// One recv() of one byte: 1, 0 when the peer has closed, or -1 (the error recorded).
int ReceiveOneByte(std::intptr_t descriptor, char* byte);
