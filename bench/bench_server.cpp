// The application server on 5,000 groups, 20,000 requests and 100,000 files (60,000
// modified, 40,000 released for generation), loaded by the import: GetInitialData,
// GetAfterScroll, getArqSoli and a setGrupo delta, each timed three ways with the module's
// connection, reaching the server through the settings it reads in a temporary home: the
// method's SQL alone (every value read), the server embedded in the process (no
// server_host: Embedded_*) and over real HTTP ([host] server_host and server_port: Http_*).
// An embedded benchmark whose calls reached the HTTP front, or an HTTP benchmark whose calls
// were not answered by it, fails. The per-group reads cycle over every group.
//
// Tcp_RoundTrip/<call> is the floor under any front over TCP: a bare exchange on the loopback
// of as many bytes as the call over HTTP sends and receives, with no protocol and no database,
// each side waiting asleep in poll() as the workers and the host do. Each call's embedded,
// HTTP and floor benchmarks run one after the other, in three rounds, and the end of the run
// tells, for each call, its median cost over HTTP as a multiple of its median embedded cost
// plus its median floor.
//
// The HTTP and floor benchmarks run twice: as they are, and with every CPU kept out of its
// idle state (".../cpus_busy"). On a virtual machine whose idle CPUs halt, an exchange that
// has to wake a halted CPU finds its caches cold: that costs the floor's bare exchange little
// and a real call more. Both comparisons are told.
//
// The database is a temporary SQLite file, or the one named by HOMOLOGA_BENCH_DB (an SQLite
// path or a PostgreSQL connection text, whose tables must be empty). The short run of the
// tests (HOMOLOGA_BENCH_SHORT) uses 300 groups.

#include "benchworld.h"

#include "host/connection.h"
#include "methods/embedded.h"
#include "platform/process.h"
#include "platform/socketio.h"
#include "store/queries.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QSqlRecord>

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

const QString kMain = QStringLiteral("VOP42000.rdmGrupSoliHom");

struct State {
    std::unique_ptr<bench::World> world;
    std::unique_ptr<TNetConnection> embedded;  // the server in this process
    std::unique_ptr<TNetConnection> net;       // over HTTP
};
State *state = nullptr;
bench::World *world = nullptr;

void readAll(QSqlQuery &query)
{
    const int width = query.record().count();
    while (query.next()) {
        for (int i = 0; i < width; ++i)
            benchmark::DoNotOptimize(query.value(i).toString());
    }
    query.finish();
}

void sqlRead(const QString &sql, const QVariantList &values = {}) { readAll(world->db->exec(sql, values)); }

const QString &groupAt(benchmark::State &state, int &cursor)
{
    Q_UNUSED(state);
    cursor = (cursor + 7919) % int(world->groups.size());  // strides over the whole table
    return world->groups[cursor];
}

void check(benchmark::State &state, const ServerAnswer &answer)
{
    if (!answer.ok)
        state.SkipWithError(answer.error.toUtf8().constData());
}

// Counts the calls that the HTTP front answered while a benchmark ran: every iteration
// must have gone over HTTP.
class OverHttp {
public:
    explicit OverHttp(benchmark::State &state) : m_state(state), m_before(world->front->callsServed()) {}
    ~OverHttp()
    {
        if (::state->net->host().isEmpty() || world->front->callsServed() - m_before < qint64(m_state.iterations()))
            m_state.SkipWithError("the calls did not go over HTTP");
    }

private:
    benchmark::State &m_state;
    qint64 m_before;
};

// Every call of an embedded benchmark must have been answered in this process.
class Embedded {
public:
    explicit Embedded(benchmark::State &state) : m_state(state), m_before(world->front->callsServed()) {}
    ~Embedded()
    {
        if (!::state->embedded->host().isEmpty() || world->front->callsServed() != m_before)
            m_state.SkipWithError("the calls did not go to the embedded server");
    }

private:
    benchmark::State &m_state;
    qint64 m_before;
};

// ---- GetInitialData

void Sql_GetInitialData(benchmark::State &state)
{
    for (auto _ : state) {
        sqlRead(server::sql::groupList());
        const QString first = world->db->scalar(server::sql::firstGroup()).toString();
        sqlRead(server::sql::requestsOfGroup(), {first});
        sqlRead(server::sql::filesOfGroup(), {first});
        sqlRead(server::sql::operatorMayEdit(), {QStringLiteral("0001")});
    }
}
void Embedded_GetInitialData(benchmark::State &state)
{
    Embedded embedded(state);
    for (auto _ : state)
        check(state, ::state->embedded->call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")}));
}
void Http_GetInitialData(benchmark::State &state)
{
    OverHttp http(state);
    for (auto _ : state)
        check(state, ::state->net->call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")}));
}

// ---- GetAfterScroll

void Sql_GetAfterScroll(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state) {
        const QString &group = groupAt(state, cursor);
        sqlRead(server::sql::requestsOfGroup(), {group});
        sqlRead(server::sql::filesOfGroup(), {group});
    }
}
void Embedded_GetAfterScroll(benchmark::State &state)
{
    Embedded embedded(state);
    int cursor = 0;
    for (auto _ : state)
        check(state, ::state->embedded->call(QStringLiteral("GetAfterScroll"), {groupAt(state, cursor)}));
}
void Http_GetAfterScroll(benchmark::State &state)
{
    OverHttp http(state);
    int cursor = 0;
    for (auto _ : state)
        check(state, ::state->net->call(QStringLiteral("GetAfterScroll"), {groupAt(state, cursor)}));
}

// ---- getArqSoli

void Sql_getArqSoli(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state)
        sqlRead(server::sql::compiledFilesOfGroup(), {groupAt(state, cursor)});
}
void Embedded_getArqSoli(benchmark::State &state)
{
    Embedded embedded(state);
    int cursor = 0;
    for (auto _ : state)
        check(state, ::state->embedded->call(QStringLiteral("getArqSoli"), {groupAt(state, cursor)}));
}
void Http_getArqSoli(benchmark::State &state)
{
    OverHttp http(state);
    int cursor = 0;
    for (auto _ : state)
        check(state, ::state->net->call(QStringLiteral("getArqSoli"), {groupAt(state, cursor)}));
}

// ---- setGrupo: one group renamed, its row read back first (what the save compares), the
// way the screen does it: through the connection the save then goes by, so that the server
// that saves has just read the group, embedded as over HTTP. The save's timing covers the
// whole call as the host's connection makes it, the delta's conversion included.

packet::Packet storedGroup(TNetConnection &connection, const QString &group)
{
    return packet::Packet::fromJson(connection.call(QStringLiteral("getGrupo"), {group}).data.toObject());
}

packet::Delta renameDelta(const packet::Packet &current, int iteration)
{
    packet::Delta delta;
    delta.fields = current.fields;
    packet::Change change;
    change.oldValues = current.rows.value(0);
    change.newValues = change.oldValues;
    change.newValues[current.fieldIndex(QStringLiteral("DSGRUPHOMOL"))] = QStringLiteral("Renomeado %1").arg(iteration);
    delta.changes.append(change);
    return delta;
}

void Sql_setGrupo(benchmark::State &state)
{
    int cursor = 0, iteration = 0;
    server::Database &db = *world->db;
    for (auto _ : state) {
        const QString &group = groupAt(state, cursor);
        db.begin(true);
        QSqlQuery &row = db.exec(server::sql::groupByCode(), {group});
        QVariantList guard;
        if (row.next()) {
            const int columns[] = {3, 4, 2, 5, 6, 9, 10, 11};  // the guarded columns, in kGroupGuardFields order
            for (int column : columns)
                guard.append(row.value(column).toString());
        }
        row.finish();
        auto dateOrNull = [](const QVariant &text) { return text.toString().isEmpty() ? QVariant() : text; };
        QVariantList values{QStringLiteral("Sql %1").arg(++iteration), guard.value(2), guard.value(3), guard.value(4),
                            server::nowText(), dateOrNull(guard.value(6)), dateOrNull(guard.value(7))};
        values += guard;
        if (db.execCount(server::sql::updateGroup(), values) != 1)
            state.SkipWithError("the guarded update changed no row");
        db.commit();
    }
}
void setGrupo(benchmark::State &state, TNetConnection &connection)
{
    int cursor = 0, iteration = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QList<RemoteArg> arguments{renameDelta(storedGroup(connection, groupAt(state, cursor)), ++iteration)};
        state.ResumeTiming();
        check(state, connection.call(QStringLiteral("setGrupo"), arguments));
    }
}
void Embedded_setGrupo(benchmark::State &state)
{
    Embedded embedded(state);
    setGrupo(state, *::state->embedded);
}
void Http_setGrupo(benchmark::State &state)
{
    OverHttp http(state);
    setGrupo(state, *::state->net);
}

// ---- The loopback floor

// A listening socket on the loopback and the connection to it, both ends with Nagle off.
struct LoopbackPair {
    int client = -1, server = -1;
    LoopbackPair()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        client = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(client, reinterpret_cast<sockaddr *>(&address), length);
        server = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        const int one = 1;
        for (int fd : {client, server})
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~LoopbackPair()
    {
        for (int fd : {client, server}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

// Waits for `size` bytes on `fd`, asleep in poll() as the workers and the host wait; false
// when the peer closed.
bool receiveAll(int fd, std::vector<char> &buffer, size_t size)
{
    for (size_t got = 0; got < size;) {
        platform::socketio::waitFor(fd, POLLIN, -1);
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

// A call's bytes over HTTP: its JSON texts, and about 200 bytes of HTTP head each way.
struct CallBytes {
    size_t request = 0, answer = 0;
};

CallBytes bytesOf(const QString &method, const QJsonArray &args)
{
    return {200 + size_t(QJsonDocument(QJsonObject{{QStringLiteral("args"), args}}).toJson(QJsonDocument::Compact).size()),
            200 + size_t(world->dispatcher->callText(kMain, method, args).size())};
}

void Tcp_RoundTrip(benchmark::State &state, CallBytes bytes)
{
    LoopbackPair pair;
    std::thread answering([&] {
        std::vector<char> buffer(64 * 1024);
        const std::vector<char> answer(bytes.answer, 'a');
        while (receiveAll(pair.server, buffer, bytes.request))
            ::send(pair.server, answer.data(), answer.size(), MSG_NOSIGNAL);
    });
    std::vector<char> buffer(64 * 1024);
    const std::vector<char> request(bytes.request, 'r');
    for (auto _ : state) {
        ::send(pair.client, request.data(), request.size(), MSG_NOSIGNAL);
        if (!receiveAll(pair.client, buffer, bytes.answer))
            state.SkipWithError("the loopback connection closed");
    }
    ::shutdown(pair.client, SHUT_RDWR);
    answering.join();
    state.SetLabel(QStringLiteral("%1 B out, %2 B back").arg(bytes.request).arg(bytes.answer).toStdString());
}

// Threads that keep every CPU busy while they live, at the lowest priority there is
// (SCHED_IDLE): a thread that wakes takes the CPU from them at once.
class BusyCpus {
public:
    BusyCpus()
    {
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) {
            m_threads.emplace_back([this] {
                const sched_param lowest{};
                ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &lowest);
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
        }
    }
    ~BusyCpus()
    {
        m_stop = true;
        for (std::thread &thread : m_threads)
            thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// The display the command line chose, and each benchmark's time per call kept for the
// comparison at the end.
class KeepingReporter : public benchmark::BenchmarkReporter {
public:
    KeepingReporter() : m_display(benchmark::CreateDefaultDisplayReporter()) {}
    bool ReportContext(const Context &context) override { return m_display->ReportContext(context); }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                m_microseconds[run.benchmark_name()].push_back(run.GetAdjustedRealTime() * unitInMicroseconds(run.time_unit));
        }
        m_display->ReportRuns(runs);
    }
    void Finalize() override { m_display->Finalize(); }

    // "GetAfterScroll over HTTP: 255 µs = 1.46 × (embedded 110 µs + floor 65 µs)", each the
    // median of its rounds.
    void compare(const QStringList &calls) const
    {
        const auto time = [&](const QString &name) {
            const auto found = m_microseconds.find(name.toStdString());
            if (found == m_microseconds.end())
                return 0.0;
            std::vector<double> times = found->second;
            std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
            return times[times.size() / 2];
        };
        for (const QString &call : calls) {
            for (const QString &busy : {QString(), QStringLiteral("/cpus_busy")}) {
                const double http = time(QStringLiteral("Http_") + call + busy), inProcess = time(QStringLiteral("Embedded_") + call);
                const double floor = time(QStringLiteral("Tcp_RoundTrip/") + call + busy);
                if (http > 0 && inProcess > 0 && floor > 0)
                    std::fprintf(stderr, "%s over HTTP%s: %.0f µs = %.2f × (embedded %.0f µs + floor %.0f µs)\n", qPrintable(call),
                                 busy.isEmpty() ? "" : ", CPUs kept busy", http, http / (inProcess + floor), inProcess, floor);
            }
        }
    }

private:
    static double unitInMicroseconds(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e-3;
        case benchmark::kMicrosecond: return 1;
        case benchmark::kMillisecond: return 1e3;
        case benchmark::kSecond: return 1e6;
        }
        return 1;
    }

    std::unique_ptr<benchmark::BenchmarkReporter> m_display;
    std::map<std::string, std::vector<double>> m_microseconds;
};

void registerAll()
{
    using Function = void (*)(benchmark::State &);
    const auto add = [](const char *name, Function function, benchmark::TimeUnit unit) {
        benchmark::RegisterBenchmark(name, function)->Unit(unit);
    };
    add("Sql_GetInitialData", Sql_GetInitialData, benchmark::kMillisecond);
    add("Embedded_GetInitialData", Embedded_GetInitialData, benchmark::kMillisecond);
    add("Http_GetInitialData", Http_GetInitialData, benchmark::kMillisecond);
    const QString group = world->groups.value(0);
    const struct {
        const char *name;
        Function sql, embedded, http;
        CallBytes bytes;
    } calls[] = {
        {"GetAfterScroll", Sql_GetAfterScroll, Embedded_GetAfterScroll, Http_GetAfterScroll,
         bytesOf(QStringLiteral("GetAfterScroll"), {group})},
        {"getArqSoli", Sql_getArqSoli, Embedded_getArqSoli, Http_getArqSoli, bytesOf(QStringLiteral("getArqSoli"), {group})},
        {"setGrupo", Sql_setGrupo, Embedded_setGrupo, Http_setGrupo,
         bytesOf(QStringLiteral("setGrupo"), {renameDelta(storedGroup(*::state->embedded, group), 0).toJson()})},
    };
    // The embedded, HTTP and floor benchmarks of a call run in rounds, one after the other,
    // so that a slower spell of the machine falls on all of them.
    const int rounds = bench::shortRun() ? 1 : 3;
    const auto busyWhile = [](bool keepBusy, auto run) {
        return [keepBusy, run](benchmark::State &state) {
            std::optional<BusyCpus> cpus;
            if (keepBusy)
                cpus.emplace();
            run(state);
        };
    };
    for (const auto &call : calls) {
        const std::string name(call.name);
        add(("Sql_" + name).c_str(), call.sql, benchmark::kMicrosecond);
        for (int round = 0; round < rounds; ++round) {
            add(("Embedded_" + name).c_str(), call.embedded, benchmark::kMicrosecond);
            for (const bool keepBusy : {false, true}) {
                const std::string suffix = keepBusy ? "/cpus_busy" : "";
                benchmark::RegisterBenchmark(("Http_" + name + suffix).c_str(), busyWhile(keepBusy, call.http))
                    ->Unit(benchmark::kMicrosecond);
                benchmark::RegisterBenchmark(
                    ("Tcp_RoundTrip/" + name + suffix).c_str(),
                    busyWhile(keepBusy, [bytes = call.bytes](benchmark::State &state) { Tcp_RoundTrip(state, bytes); }))
                    ->Unit(benchmark::kMicrosecond);
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    platform::readTimeZoneOnce();
    bench::useTemporaryHome();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    State run;
    ::state = &run;
    run.world = std::make_unique<bench::World>(qEnvironmentVariable("HOMOLOGA_BENCH_DB"), bench::shortRun() ? 300 : 5000);
    world = run.world.get();
    if (!world->failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(world->failure));
        return 1;
    }
    // Each connection reads where its server is when it opens.
    const auto opened = [](std::unique_ptr<TNetConnection> &connection) {
        connection = std::make_unique<TNetConnection>(QStringLiteral("netGrupSoliHom"), kMain);
        if (!connection->open())
            std::fprintf(stderr, "%s\n", qPrintable(connection->lastError()));
        return connection->connected();
    };
    world->useEmbedded();
    if (!opened(run.embedded))
        return 1;
    world->useOverHttp();
    if (!opened(run.net))
        return 1;

    registerAll();
    KeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.compare({QStringLiteral("GetAfterScroll"), QStringLiteral("getArqSoli"), QStringLiteral("setGrupo")});
    benchmark::Shutdown();

    run.net.reset();
    run.embedded.reset();
    server::closeEmbedded();
    run.world.reset();
    return 0;
}
