#pragma once

// Non-blocking reads and writes on a socket, plain or through OpenSSL, as the server's front
// and the host's channel to it both do them.

#include <sys/types.h>

#include <chrono>

typedef struct ssl_st SSL;

namespace platform::socketio {

using Clock = std::chrono::steady_clock;

constexpr ssize_t kWouldBlock = -1;
constexpr ssize_t kFailed = -2;

// Bytes read, 0 when the peer closed, kWouldBlock or kFailed. `ssl` null: plain.
ssize_t receiveSome(int fd, SSL *ssl, char *to, size_t size);
// Bytes written, kWouldBlock or kFailed; never raises SIGPIPE.
ssize_t sendSome(int fd, SSL *ssl, const char *from, size_t size);
// Waits until `fd` has one of `events` (POLLIN, POLLOUT); false after `timeoutMs`.
bool waitFor(int fd, short events, int timeoutMs);
// Milliseconds left until `deadline`, 0 when it has passed.
int msUntil(Clock::time_point deadline);

}  // namespace platform::socketio
