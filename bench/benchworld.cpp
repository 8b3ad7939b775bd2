#include "benchworld.h"

#include "platform/settings.h"
#include "tools/import.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>

#include <cstdio>

namespace bench {

namespace {

constexpr int kRequestsPerGroup = 4;
constexpr int kModifiedPerRequest = 3;
constexpr int kReleasedPerRequest = 2;
const QByteArray kToken = "bench-token";

QString code(int number) { return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0')); }

QByteArray document(int groups)
{
    QByteArray json;
    json.reserve(groups * 8 * 1024);
    json += R"({"operators": [{"CDOPERADOR": "0001", "NMOPERADOR": "Operador", "IDEDITAGRUPO": "S"}],
"products": [{"CDPRODUTO": "0000000001", "CDARVPROD": "P501", "NMPRODUTO": "Retaguarda", "release": "501023",
  "locations": ["", "C:\\Desenv\\P501", "file:///r/trunk", "C:\\Hom\\P501", "C:\\Pre\\", "C:\\Homol\\"]}],
"requests": [)";
    const int requests = groups * kRequestsPerGroup;
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
    for (int g = 1; g <= groups; ++g) {
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

}  // namespace

bool shortRun() { return qEnvironmentVariableIsSet("HOMOLOGA_BENCH_SHORT"); }

void useTemporaryHome()
{
    static QTemporaryDir home;
    for (const char *variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, home.path().toLocal8Bit());
}

QString postgres()
{
    const QString bench = qEnvironmentVariable("HOMOLOGA_BENCH_PG");
    return bench.isEmpty() ? qEnvironmentVariable("HOMOLOGA_TEST_PG") : bench;
}

World::World(const QString &text, int groupCount, bool ownSchema)
{
    database = text.isEmpty() ? dir.filePath(QStringLiteral("bench.db")) : text;
    if (ownSchema) {
        schema = QStringLiteral("bench%1").arg(QRandomGenerator::global()->generate(), 0, 16);
        database += QStringLiteral(" schema=") + schema;
    }
    try {
        db = std::make_unique<server::Database>(server::DatabaseSpec::parse(database));
        isPostgres = db->isPostgres();
        dispatcher = std::make_unique<server::Dispatcher>(*db);
        const QByteArray json = document(groupCount);
        QElapsedTimer timer;
        timer.start();
        const server::ImportCounts counts = server::importDocument(*db, json);
        std::printf("%s: import of %.1f MB: %s in %.2f s\n", qPrintable(name()), json.size() / 1e6, qPrintable(counts.summary()),
                    timer.elapsed() / 1000.0);
        for (int g = 1; g <= groupCount; ++g)
            groups.append(code(g));
        tokenFile = dir.filePath(QStringLiteral("token"));
        QFile token(tokenFile);
        token.open(QIODevice::WriteOnly);
        token.write(kToken);
        token.close();
        token.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        front = std::make_unique<server::HttpFront>(db->spec(), kToken);
        port = front->listen(QStringLiteral("127.0.0.1"), 0);
        if (!port) {
            failure = front->error();
            return;
        }
        front->start();
    } catch (const server::ServerError &error) {
        failure = error.message();
    }
}

World::~World()
{
    if (front)
        front->stop();
    front.reset();
    if (!schema.isEmpty() && db) {
        try {
            db->exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
        } catch (const server::ServerError &) {
        }
    }
    dispatcher.reset();
    db.reset();
}

void World::useOverHttp() const
{
    const QString file = QDir(dir.path()).filePath(QStringLiteral("homologa.ini"));
    platform::settings::setFilePath(file);
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(QStringLiteral("host/server_host"), QStringLiteral("127.0.0.1"));
    settings.setValue(QStringLiteral("host/server_port"), port);
    settings.setValue(QStringLiteral("server/token_file"), tokenFile);
    settings.sync();
}

void World::useEmbedded() const
{
    const QString file = QDir(dir.path()).filePath(QStringLiteral("homologa.ini"));
    platform::settings::setFilePath(file);
    QSettings settings(file, QSettings::IniFormat);
    settings.remove(QStringLiteral("host/server_host"));
    settings.setValue(QStringLiteral("server/database"), database);
    settings.sync();
}

}  // namespace bench
