// The application server under load, over real HTTP with the module's connection, on
// SQLite and (when one is given, HOMOLOGA_BENCH_PG or HOMOLOGA_TEST_PG) on PostgreSQL:
//   Load/<engine>/GetAfterScroll/clients:N  N clients in a closed loop, 1,000 calls each,
//                                           reading one group's requests and files;
//   Load/<engine>/getArqSoli_beside_2_group_lists
//                                           1,000 getArqSoli while two other clients load
//                                           the whole group list (GetInitialData) in a loop.
// Counters: calls per second, p50 and p99 of one call. At the end the figures that must
// hold are checked: throughput with 8 clients at least 1.7x one client's, p99 with 8
// clients at most 5x one client's, getArqSoli's p99 beside the group lists under 5 ms.
// The short run of the tests (HOMOLOGA_BENCH_SHORT) uses 200 groups and 100 calls per
// client, and only reports the figures.

#include "benchworld.h"

#include "database.h"
#include "dispatcher.h"
#include "host/connection.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <latch>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QString kMain = QStringLiteral("VOP42000.rdmGrupSoliHom");

int callsPerClient() { return bench::shortRun() ? 100 : 1000; }

struct Figures {
    double throughput = 0;  // calls per second
    double p50Ms = 0, p99Ms = 0;
};
std::map<std::string, Figures> figures;

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

// Calls `method` `count` times, over HTTP on a connection of its own or, with `inProcess`,
// on a dispatcher with a database connection of its own; the time of each call in ms goes
// into `latencies`. False with `error` when a call failed.
bool callLoop(const QString &method, const bench::World &world, int count, int seed, std::vector<double> &latencies,
              QString &error, bool inProcess = false)
{
    std::unique_ptr<TNetConnection> net;
    std::unique_ptr<server::Database> database;
    std::unique_ptr<server::Dispatcher> dispatcher;
    if (inProcess) {
        database = std::make_unique<server::Database>(world.db->spec());
        dispatcher = std::make_unique<server::Dispatcher>(*database);
    } else {
        net = std::make_unique<TNetConnection>(QStringLiteral("netGrupSoliHom"), kMain);
        if (!net->open()) {
            error = net->lastError();
            return false;
        }
    }
    int cursor = seed * 997;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        cursor = (cursor + 7919) % int(world.groups.size());
        timer.start();
        const ServerAnswer answer = inProcess
            ? ServerAnswer::fromJson(dispatcher->call(kMain, method, QJsonArray{world.groups[cursor]}))
            : net->call(method, {world.groups[cursor]});
        latencies.push_back(timer.nsecsElapsed() / 1e6);
        if (!answer.ok) {
            error = answer.error;
            return false;
        }
    }
    return inProcess || !net->host().isEmpty();
}

void ClosedLoop(benchmark::State &state, const bench::World *world, int clients, bool inProcess)
{
    world->useOverHttp();
    for (auto _ : state) {
        const qint64 servedBefore = world->front->callsServed();
        std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
        std::vector<QString> errors(static_cast<size_t>(clients));
        std::atomic<int> failed{0};
        std::latch start(clients + 1);
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                start.arrive_and_wait();
                if (!callLoop(QStringLiteral("GetAfterScroll"), *world, callsPerClient(), c + 1, latencies[size_t(c)], errors[size_t(c)],
                              inProcess))
                    ++failed;
            });
        }
        QElapsedTimer wall;
        start.arrive_and_wait();
        wall.start();
        for (std::thread &thread : threads)
            thread.join();
        const double seconds = wall.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        if (failed) {
            QString error = QStringLiteral("a client did not call over HTTP");
            for (const QString &e : errors) {
                if (!e.isEmpty())
                    error = e;
            }
            state.SkipWithError(error.toUtf8().constData());
            return;
        }
        const qint64 calls = qint64(clients) * callsPerClient();
        if (!inProcess && world->front->callsServed() - servedBefore < calls) {
            state.SkipWithError("the calls did not go over HTTP");
            return;
        }
        std::vector<double> all;
        for (const auto &list : latencies)
            all.insert(all.end(), list.begin(), list.end());
        Figures f{double(calls) / seconds, percentile(all, 0.50), percentile(all, 0.99)};
        figures[world->name().toStdString() + (inProcess ? "/in-process/" : "/") + std::to_string(clients)] = f;
        state.counters["calls_per_s"] = f.throughput;
        state.counters["p50_ms"] = f.p50Ms;
        state.counters["p99_ms"] = f.p99Ms;
    }
}

void FastBesideSlow(benchmark::State &state, const bench::World *world)
{
    world->useOverHttp();
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<int> listsLoaded{0};
        std::atomic<int> failed{0};
        std::vector<std::thread> loaders;
        for (int l = 0; l < 2; ++l) {
            loaders.emplace_back([&] {
                TNetConnection net(QStringLiteral("netGrupSoliHom"), kMain);
                while (!stop) {
                    if (!net.call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")}).ok) {
                        ++failed;
                        return;
                    }
                    ++listsLoaded;
                }
            });
        }
        // The group lists are under way before the measured calls start.
        while (listsLoaded < 2 && !failed)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::vector<double> latencies;
        QString error;
        QElapsedTimer wall;
        wall.start();
        const bool ok = callLoop(QStringLiteral("getArqSoli"), *world, callsPerClient(), 5, latencies, error);
        state.SetIterationTime(wall.nsecsElapsed() / 1e9);
        stop = true;
        for (std::thread &thread : loaders)
            thread.join();
        if (!ok || failed) {
            state.SkipWithError(error.isEmpty() ? "a call failed or did not go over HTTP" : qPrintable(error));
            return;
        }
        Figures f{0, percentile(latencies, 0.50), percentile(latencies, 0.99)};
        figures[world->name().toStdString() + "/beside"] = f;
        state.counters["p50_ms"] = f.p50Ms;
        state.counters["p99_ms"] = f.p99Ms;
        state.counters["group_lists"] = double(listsLoaded.load());
    }
}

// Every worker of the front opens its database connection and the engine's caches fill
// before anything is measured, so that the first figures are not a cold start's.
void warmUp(const bench::World &world)
{
    world.useOverHttp();
    std::vector<std::thread> threads;
    for (int c = 0; c < 8; ++c) {
        threads.emplace_back([&world, c] {
            std::vector<double> latencies;
            QString error;
            callLoop(QStringLiteral("GetAfterScroll"), world, 50, c + 11, latencies, error);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
}

// The figures that must hold; false, after saying which, when one does not.
bool figuresHold(const std::string &engine)
{
    const Figures one = figures[engine + "/1"], eight = figures[engine + "/8"], beside = figures[engine + "/beside"];
    if (one.throughput == 0 || eight.throughput == 0)
        return true;  // not measured (filtered out)
    const double speedUp = eight.throughput / one.throughput;
    const double tail = eight.p99Ms / one.p99Ms;
    std::printf("%s: throughput 2 clients %.2fx, 8 clients %.2fx one client's (must be >= 1.7x); "
                "p99 with 8 clients %.2fx one client's (must be <= 5x); getArqSoli p99 beside two group lists %.2f ms "
                "(must be < 5 ms)\n",
                engine.c_str(), figures[engine + "/2"].throughput / one.throughput, speedUp, tail, beside.p99Ms);
    return speedUp >= 1.7 && tail <= 5.0 && (beside.p99Ms == 0 || beside.p99Ms < 5.0);
}

}  // namespace

int main(int argc, char **argv)
{
    bench::useTemporaryHome();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const int groups = bench::shortRun() ? 200 : 5000;
    std::vector<std::unique_ptr<bench::World>> worlds;
    worlds.push_back(std::make_unique<bench::World>(QString(), groups));
    if (!bench::postgres().isEmpty())
        worlds.push_back(std::make_unique<bench::World>(bench::postgres(), groups, true));
    else
        std::printf("PostgreSQL: not measured (no HOMOLOGA_BENCH_PG nor HOMOLOGA_TEST_PG)\n");
    for (const auto &world : worlds) {
        if (!world->failure.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(world->name()), qPrintable(world->failure));
            return 1;
        }
        const std::string engine = world->name().toStdString();
        for (bool inProcess : {false, true}) {
            for (int clients : {1, 2, 8})
                benchmark::RegisterBenchmark(("Load/" + engine + (inProcess ? "/GetAfterScroll_in_process" : "/GetAfterScroll")
                                              + "/clients:" + std::to_string(clients))
                                                 .c_str(),
                                             ClosedLoop, world.get(), clients, inProcess)
                    ->Iterations(1)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(("Load/" + engine + "/getArqSoli_beside_2_group_lists").c_str(), FastBesideSlow, world.get())
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (const auto &world : worlds)
        warmUp(*world);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bool hold = true;
    for (const auto &world : worlds)
        hold = figuresHold(world->name().toStdString()) && hold;
    worlds.clear();
    if (!hold && !bench::shortRun()) {
        std::printf("FIGURES DO NOT HOLD\n");
        return 1;
    }
    return 0;
}
