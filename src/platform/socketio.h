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
// Waits asleep until `fd` has one of `events` (POLLIN, POLLOUT); false after `timeoutMs`
// (-1: no limit).
bool waitFor(int fd, short events, int timeoutMs);

// Milliseconds left until `deadline`, rounded up: 0 only when it has passed, so that a wait
// until a deadline sleeps until it instead of trying again and again in its last millisecond.
int msUntil(Clock::time_point deadline);

// A TCP port on 127.0.0.1 that nothing listens on now (0 when none could be had).
int freeLoopbackPort();

// True once something accepts connections on 127.0.0.1:`port`; false after `timeoutMs`.
bool waitUntilListening(int port, int timeoutMs);

}  // namespace platform::socketio
