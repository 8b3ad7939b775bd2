// The application server on 5,000 groups, 20,000 requests and 100,000 files (60,000
// modified, 40,000 released for generation), loaded by the import: GetInitialData,
// GetAfterScroll, getArqSoli and a setGrupo delta, each timed three ways: the method's SQL
// alone (every value read), through the in-process dispatcher, and through HTTP with the
// module's connection. The per-group reads cycle over every group.
//
// The database is a temporary SQLite file, or the one named by HOMOLOGA_BENCH_DB (an SQLite
// path or a PostgreSQL connection text, whose tables must be empty).

#include "database.h"
#include "datasets.h"
#include "dispatcher.h"
#include "host/connection.h"
#include "httpfront.h"
#include "import.h"
#include "platform/settings.h"
#include "queries.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kGroups = 5000;
constexpr int kRequestsPerGroup = 4;
constexpr int kModifiedPerRequest = 3;
constexpr int kReleasedPerRequest = 2;
const QString kMain = QStringLiteral("VOP42000.rdmGrupSoliHom");
const QByteArray kToken = "bench-token";

QString code(int number) { return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0')); }

QByteArray document()
{
    QByteArray json;
    json.reserve(40 * 1024 * 1024);
    json += R"({"operators": [{"CDOPERADOR": "0001", "NMOPERADOR": "Operador", "IDEDITAGRUPO": "S"}],
"products": [{"CDPRODUTO": "0000000001", "CDARVPROD": "P501", "NMPRODUTO": "Retaguarda", "release": "501023",
  "locations": ["", "C:\\Desenv\\P501", "file:///r/trunk", "C:\\Hom\\P501", "C:\\Pre\\", "C:\\Homol\\"]}],
"requests": [)";
    const int requests = kGroups * kRequestsPerGroup;
    for (int r = 1; r <= requests; ++r) {
        const QByteArray number = code(r).toLatin1();
        json += r > 1 ? ",\n" : "\n";
        json += R"({"CDFILIAL": "0001", "NRSOLISERV": ")" + number + R"(", "DSREFESOLI": "Solicitação )" + number
            + R"(", "TXOBSOLIGER": "Observação geral da solicitação", "CDPRODUTO": "0000000001", "CDFASETRAM": "030", "modifiedFiles": [)";
        for (int f = 0; f < kModifiedPerRequest; ++f)
            json += (f ? "," : "") + QByteArray(R"({"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\U)") + number + '_'
                + QByteArray::number(f) + R"(.pas", "CDRELEASEARQANT": "100", "CDRELEASEARQATU": "101"})";
        json += R"(], "releasedFiles": [)";
        for (int f = 0; f < kReleasedPerRequest; ++f)
            json += (f ? "," : "") + QByteArray(R"({"DSARQPATCH": "\\Desenv\\P501\\Srv\\P)") + number + '_'
                + QByteArray::number(f) + R"(.dpr", "NRSEQPATCH": "00)" + QByteArray::number(f + 1) + R"("})";
        json += "]}";
    }
    json += "],\n\"groups\": [";
    for (int g = 1; g <= kGroups; ++g) {
        json += g > 1 ? ",\n" : "\n";
        json += R"({"CDGRUPHOMOL": ")" + code(g).toLatin1() + R"(", "DSGRUPHOMOL": "Grupo )" + QByteArray::number(g)
            + R"(", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "00)" + QByteArray::number(1 + g % 6) + R"(", "requests": [)";
        for (int r = 0; r < kRequestsPerGroup; ++r)
            json += (r ? "," : "") + QByteArray(R"({"CDFILIAL": "0001", "NRSOLISERV": ")")
                + code((g - 1) * kRequestsPerGroup + r + 1).toLatin1() + "\"}";
        json += "]}";
    }
    json += "]}";
    return json;
}

// The HTTP front in a thread of its own, with its own connection to the database.
class HttpThread : public QThread {
public:
    explicit HttpThread(QString database) : m_database(std::move(database)) {}
    quint16 port() const { return m_port; }
    QSemaphore ready;

protected:
    void run() override
    {
        server::Database db(server::DatabaseSpec::parse(m_database));
        db.ensureOpen();
        server::Dispatcher dispatcher(db);
        server::HttpFront front(dispatcher, kToken);
        m_port = front.start(QHostAddress::LocalHost, 0);
        ready.release();
        exec();
    }

private:
    QString m_database;
    quint16 m_port = 0;
};

struct World {
    QTemporaryDir dir;
    QString database;
    std::unique_ptr<server::Database> db;
    std::unique_ptr<server::Dispatcher> dispatcher;
    std::unique_ptr<HttpThread> http;
    std::unique_ptr<TNetConnection> net;
    QStringList groups;
};
World *world = nullptr;

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
    cursor = (cursor + 7919) % kGroups;  // strides over the whole table
    return world->groups[cursor];
}

void check(benchmark::State &state, const QJsonObject &answer)
{
    if (!answer.value(QStringLiteral("ok")).toBool())
        state.SkipWithError(answer.value(QStringLiteral("error")).toString().toUtf8().constData());
}

void check(benchmark::State &state, const ServerAnswer &answer)
{
    if (!answer.ok)
        state.SkipWithError(answer.error.toUtf8().constData());
}

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
void Dispatcher_GetInitialData(benchmark::State &state)
{
    for (auto _ : state)
        check(state, world->dispatcher->call(kMain, QStringLiteral("GetInitialData"), QJsonArray{QStringLiteral("0001")}));
}
void Http_GetInitialData(benchmark::State &state)
{
    for (auto _ : state)
        check(state, world->net->call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")}));
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
void Dispatcher_GetAfterScroll(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state)
        check(state, world->dispatcher->call(kMain, QStringLiteral("GetAfterScroll"), QJsonArray{groupAt(state, cursor)}));
}
void Http_GetAfterScroll(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state)
        check(state, world->net->call(QStringLiteral("GetAfterScroll"), {groupAt(state, cursor)}));
}

// ---- getArqSoli

void Sql_getArqSoli(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state)
        sqlRead(server::sql::compiledFilesOfGroup(), {groupAt(state, cursor)});
}
void Dispatcher_getArqSoli(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state)
        check(state, world->dispatcher->call(kMain, QStringLiteral("getArqSoli"), QJsonArray{groupAt(state, cursor)}));
}
void Http_getArqSoli(benchmark::State &state)
{
    int cursor = 0;
    for (auto _ : state)
        check(state, world->net->call(QStringLiteral("getArqSoli"), {groupAt(state, cursor)}));
}

// ---- setGrupo: one group renamed, its row read back first (what the save compares)

packet::Packet storedGroup(const QString &group)
{
    const QJsonObject answer = world->dispatcher->call(kMain, QStringLiteral("getGrupo"), QJsonArray{group});
    return packet::Packet::fromJson(answer.value(QStringLiteral("data")).toObject());
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
void Dispatcher_setGrupo(benchmark::State &state)
{
    int cursor = 0, iteration = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QJsonArray arguments{renameDelta(storedGroup(groupAt(state, cursor)), ++iteration).toJson()};
        state.ResumeTiming();
        check(state, world->dispatcher->call(kMain, QStringLiteral("setGrupo"), arguments));
    }
}
void Http_setGrupo(benchmark::State &state)
{
    int cursor = 0, iteration = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const packet::Delta delta = renameDelta(storedGroup(groupAt(state, cursor)), ++iteration);
        state.ResumeTiming();
        check(state, world->net->call(QStringLiteral("setGrupo"), {delta}));
    }
}

}  // namespace

BENCHMARK(Sql_GetInitialData)->Unit(benchmark::kMillisecond);
BENCHMARK(Dispatcher_GetInitialData)->Unit(benchmark::kMillisecond);
BENCHMARK(Http_GetInitialData)->Unit(benchmark::kMillisecond);
BENCHMARK(Sql_GetAfterScroll)->Unit(benchmark::kMicrosecond);
BENCHMARK(Dispatcher_GetAfterScroll)->Unit(benchmark::kMicrosecond);
BENCHMARK(Http_GetAfterScroll)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sql_getArqSoli)->Unit(benchmark::kMicrosecond);
BENCHMARK(Dispatcher_getArqSoli)->Unit(benchmark::kMicrosecond);
BENCHMARK(Http_getArqSoli)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sql_setGrupo)->Unit(benchmark::kMicrosecond);
BENCHMARK(Dispatcher_setGrupo)->Unit(benchmark::kMicrosecond);
BENCHMARK(Http_setGrupo)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    World state;
    world = &state;
    state.database = qEnvironmentVariableIsEmpty("HOMOLOGA_BENCH_DB") ? state.dir.filePath(QStringLiteral("bench.db"))
                                                                      : qEnvironmentVariable("HOMOLOGA_BENCH_DB");
    state.db = std::make_unique<server::Database>(server::DatabaseSpec::parse(state.database));
    state.dispatcher = std::make_unique<server::Dispatcher>(*state.db);
    {
        const QByteArray json = document();
        QElapsedTimer timer;
        timer.start();
        const server::ImportCounts counts = server::importDocument(*state.db, json);
        std::printf("import of %.1f MB: %s in %.2f s\n", json.size() / 1e6, qPrintable(counts.summary()), timer.elapsed() / 1000.0);
    }
    for (int g = 1; g <= kGroups; ++g)
        state.groups.append(code(g));

    state.http = std::make_unique<HttpThread>(state.database);
    state.http->start();
    state.http->ready.acquire();
    QFile token(state.dir.filePath(QStringLiteral("token")));
    token.open(QIODevice::WriteOnly);
    token.write(kToken);
    token.close();
    token.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    platform::settings::setFilePath(state.dir.filePath(QStringLiteral("homologa.ini")));
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Horvane/WebURL"), QStringLiteral("127.0.0.1"));
        settings.setValue(QStringLiteral("Horvane/WebPort"), state.http->port());
        settings.setValue(QStringLiteral("server/token_file"), token.fileName());
    }
    state.net = std::make_unique<TNetConnection>(QStringLiteral("netGrupSoliHom"), kMain);
    if (!state.net->open()) {
        std::fprintf(stderr, "%s\n", qPrintable(state.net->lastError()));
        return 1;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    state.net.reset();
    state.http->quit();
    state.http->wait();
    return 0;
}
