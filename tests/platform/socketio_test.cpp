#include "platform/socketio.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using platform::socketio::ShortWait;
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
    void drain()
    {
        char byte;
        EXPECT_EQ(::read(in, &byte, 1), 1);
    }
};

}  // namespace

// Whatever it has learnt, the wait sees what comes before its timeout and gives up at it.
TEST(ShortWait, SeesWhatComesAndKeepsItsTimeout)
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
        {"comes after the look, while asleep", 1000, 40, true, 35, 900},
        {"comes after the look, no timeout", -1, 40, true, 35, 900},
        {"never comes: the timeout holds", 60, -1, false, 55, 900},
        {"never comes, no time to wait", 0, -1, false, 0, 400},
    };
    for (const bool looking : {true, false}) {
        ShortWait wait;
        SocketPair unused;
        for (int i = 0; !looking && wait.look() > 0us; ++i)
            wait.waitFor(unused.in, POLLIN, 0);  // nothing comes: it stops looking
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (looking ? ", looking first" : ", not looking"));
            SocketPair pair;
            ASSERT_GE(pair.in, 0);
            if (c.writeAfterMs >= 0)
                pair.write(c.writeAfterMs);
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(wait.waitFor(pair.in, POLLIN, c.timeoutMs), c.seen);
            const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            EXPECT_GE(tookMs, c.minMs);
            EXPECT_LE(tookMs, c.maxMs);
        }
    }
}

// It looks for as long as what it waits for has lately come within the look: less after
// each long wait, down to nothing, and more again after each short one.
TEST(ShortWait, LooksLessAfterLongWaitsAndMoreAfterShortOnes)
{
    ShortWait wait;
    SocketPair pair;
    EXPECT_EQ(wait.look(), ShortWait::kMaxLook);
    for (auto expected : {125us, 62us, 31us, 0us, 0us}) {
        EXPECT_FALSE(wait.waitFor(pair.in, POLLIN, 2));
        EXPECT_EQ(wait.look(), expected);
    }
    for (auto expected : {16us, 32us, 64us, 128us, 250us, 250us}) {
        pair.write(0);
        EXPECT_TRUE(wait.waitFor(pair.in, POLLIN, 1000));
        pair.drain();
        EXPECT_EQ(wait.look(), expected);
    }
    pair.write(20);  // seen, but long after the look
    EXPECT_TRUE(wait.waitFor(pair.in, POLLIN, 1000));
    EXPECT_EQ(wait.look(), 125us);
    pair.drain();

    // Told not to look (or less than it ever would), it never starts, however short the waits.
    for (auto most : {0us, ShortWait::kLeastLook - 1us}) {
        ShortWait sleeper(most);
        pair.write(0);
        EXPECT_TRUE(sleeper.waitFor(pair.in, POLLIN, 1000));
        pair.drain();
        EXPECT_EQ(sleeper.look(), 0us);
    }
    // Told to look at most 100 µs, it grows back to that and no further.
    ShortWait brief(100us);
    for (auto expected : {100us, 100us}) {
        pair.write(0);
        EXPECT_TRUE(brief.waitFor(pair.in, POLLIN, 1000));
        pair.drain();
        EXPECT_EQ(brief.look(), expected);
    }
}

// The server's workers stop looking as soon as no CPU is left over: the question is asked
// throughout the look, and a no ends it (what comes later is still seen, asleep).
TEST(ShortWait, AsksWhileItLooksAndStopsAtANo)
{
    SocketPair pair;
    int asked = 0;
    ShortWait wait;
    EXPECT_FALSE(wait.waitFor(pair.in, POLLIN, 5, [&] { return ++asked < 3; }));
    EXPECT_EQ(asked, 3);

    asked = 0;
    pair.write(20);
    EXPECT_TRUE(ShortWait().waitFor(pair.in, POLLIN, 1000, [&] { return ++asked, false; }));
    EXPECT_EQ(asked, 1);
}
