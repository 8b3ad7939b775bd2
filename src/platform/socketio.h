#pragma once

// Non-blocking reads and writes on a socket, plain or through OpenSSL, as the server's front
// and the host's channel to it both do them.

#include <sys/types.h>

#include <chrono>
#include <functional>

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

// A wait for what usually comes soon (an answer, the next call of a run). It first looks
// again and again without sleeping: a thread asleep in poll() leaves its CPU idle, and where
// idle CPUs halt (virtual machines, deep sleep states) waking it costs more than a short
// exchange on the loopback, and it wakes to cold caches. How long it looks is learnt from its
// own waits: up to its most while what it waits for comes within that, down to nothing while
// it comes later (a loaded machine, slow calls). `mayLook`, when given, is asked again and
// again while it looks, and a no stops the looking (the server's workers stop when every CPU
// has a call to run). A most below kLeastLook sleeps at once.
class ShortWait {
public:
    static constexpr std::chrono::microseconds kMaxLook{250};
    // Looking grows from this after a short wait, and stops when halved below it.
    static constexpr std::chrono::microseconds kLeastLook{16};

    explicit ShortWait(std::chrono::microseconds maxLook = kMaxLook)
        : m_maxLook(maxLook < kLeastLook ? std::chrono::microseconds(0) : maxLook), m_look(m_maxLook)
    {
    }
    bool waitFor(int fd, short events, int timeoutMs, const std::function<bool()> &mayLook = {});
    std::chrono::microseconds look() const { return m_look; }

private:
    std::chrono::microseconds m_maxLook;
    std::chrono::microseconds m_look;
};

// Milliseconds left until `deadline`, 0 when it has passed.
int msUntil(Clock::time_point deadline);

}  // namespace platform::socketio
