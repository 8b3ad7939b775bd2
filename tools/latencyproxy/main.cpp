// latencyproxy TARGET_PORT DELAY_MS [LISTEN_PORT]
//
// Forwards 127.0.0.1:LISTEN_PORT to 127.0.0.1:TARGET_PORT, holding every chunk DELAY_MS in
// each direction; prints the port it listens on and runs until it is stopped.

#include "latencyproxy.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "uso: latencyproxy PORTA_DO_SERVIDOR ATRASO_MS [PORTA_LOCAL]\n");
        return 2;
    }
    latencyproxy::Options options;
    options.targetPort = std::atoi(argv[1]);
    options.delayMs = std::atoi(argv[2]);
    options.listenPort = argc == 4 ? std::atoi(argv[3]) : 0;
    try {
        latencyproxy::Proxy proxy(options);
        std::printf("%d\n", proxy.port());
        std::fflush(stdout);
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigprocmask(SIG_BLOCK, &signals, nullptr);
        int received = 0;
        sigwait(&signals, &received);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
