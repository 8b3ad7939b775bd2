#include "platform/socketio.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace platform::socketio;
using namespace std::chrono_literals;

namespace {

// A connected pair of sockets; `write` makes one byte readable on `in` at once or later.
struct SocketPair {
    int in = -1, out = -1;
    std::thread writer;
    SocketPair()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            in = fds[0];
            out = fds[1];
        }
    }
    ~SocketPair()
    {
        if (writer.joinable())
            writer.join();
        ::close(in);
        ::close(out);
    }
    void write(int afterMs)
    {
        if (writer.joinable())
            writer.join();
        if (afterMs == 0) {
            EXPECT_EQ(::write(out, "x", 1), 1);
            return;
        }
        writer = std::thread([this, afterMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
            EXPECT_EQ(::write(out, "x", 1), 1);
        });
    }
};

}  // namespace

// The wait sees what comes before its timeout, asleep, and gives up at it.
TEST(SocketWait, SeesWhatComesAndKeepsItsTimeout)
{
    struct Case {
        const char *what;
        int timeoutMs;
        int writeAfterMs;  // -1: nothing comes
        bool seen;
        int minMs, maxMs;  // how long the wait may take
    };
    const Case cases[] = {
        {"already there", 1000, 0, true, 0, 900},
        {"comes later", 1000, 40, true, 35, 900},
        {"comes later, no timeout", -1, 40, true, 35, 900},
        {"never comes: the timeout holds", 60, -1, false, 55, 900},
        {"never comes, no time to wait", 0, -1, false, 0, 400},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SocketPair pair;
        ASSERT_GE(pair.in, 0);
        if (c.writeAfterMs >= 0)
            pair.write(c.writeAfterMs);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(waitFor(pair.in, POLLIN, c.timeoutMs), c.seen);
        const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(tookMs, c.minMs);
        EXPECT_LE(tookMs, c.maxMs);
    }
}

// A deadline less than a millisecond away is still a millisecond to sleep, not a zero
// time-out to try again and again; a passed one is nothing left.
TEST(SocketWait, MillisecondsUntilADeadlineRoundUp)
{
    const auto soon = Clock::now() + 500us;
    const int left = msUntil(soon);
    EXPECT_TRUE(left == 1 || Clock::now() >= soon) << left;
    EXPECT_EQ(msUntil(Clock::now() - 1ms), 0);
}
