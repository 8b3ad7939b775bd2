// homologa-server: the application server over HTTP, and its administration commands.
//
//   homologa-server [--config FILE] --db DB --listen [ADDRESS:]PORT --token-file FILE [--db-password-file FILE]
//                   [--tls-cert FILE --tls-key FILE] [--workers N] [--max-connections N]
//                   [--read-timeout S] [--write-timeout S] [--idle-timeout S] [--max-body BYTES]
//                   [--lease-expiry MINUTES] [--board-workers N] [--trusted-proxy ADDRESS]
//   homologa-server import [--db DB] FILE.json
//   homologa-server verdict [--db DB] CDFILIAL NRSOLISERV sem-erro|com-erro|regerar [--operator CODE]
//   homologa-server audit [--db DB] [--since DATE] [--until DATE] [--product P] --format csv|json
//   homologa-server backup [--db DB] TARGET.db
//   homologa-server sessions [--db DB] list | revoke ID|todas
//   homologa-server restore [--db DB] BACKUP.db
//   homologa-server --version
//
// DB is an SQLite file or a PostgreSQL connection text; without --db the commands use the
// embedded database of the settings ([server] database), else the default one. The
// [server] section of the file named by --config (the service's /etc/homologa/
// homologa-server.conf) gives every option a default; the command line overrides it.

#include "board/audit.h"
#include "board/board_access.h"
#include "front/httpfront.h"
#include "methods/dispatcher.h"
#include "methods/domain.h"
#include "methods/embedded.h"
#include "methods/lease.h"
#include "store/database.h"
#include "store/databasefile.h"
#include "store/schema.h"
#include "tools/admin.h"
#include "tools/import.h"

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <cstdio>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

void say(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

int usage()
{
    say(stderr, QStringLiteral(
                    "uso:\n"
                    "  homologa-server [--config ARQUIVO] --db BANCO --listen [ENDEREÇO:]PORTA --token-file ARQUIVO [--db-password-file ARQUIVO]\n"
                    "                  [--tls-cert ARQUIVO --tls-key ARQUIVO] [--workers N] [--max-connections N]\n"
                    "                  [--read-timeout S] [--write-timeout S] [--idle-timeout S] [--max-body BYTES]\n"
                    "                  [--lease-expiry MINUTOS] [--board-workers N] [--trusted-proxy ENDEREÇO]\n"
                    "  homologa-server import [--db BANCO] ARQUIVO.json\n"
                    "  homologa-server verdict [--db BANCO] CDFILIAL NRSOLISERV sem-erro|com-erro|regerar [--operator CODIGO]\n"
                    "  homologa-server audit [--db BANCO] [--since AAAA-MM-DD] [--until AAAA-MM-DD] [--product PRODUTO] --format csv|json\n"
                    "  homologa-server backup [--db BANCO] DESTINO.db\n"
                    "  homologa-server sessions [--db BANCO] list | revoke SESSÃO|todas\n"
                    "  homologa-server restore [--db BANCO] COPIA.db\n"
                    "  homologa-server --version\n"
                    "ARQUIVO: configuração com a seção [server] (database, listen, token_file, ...); a linha de comando prevalece.\n"
                    "BANCO: arquivo SQLite ou texto de conexão PostgreSQL (postgresql://... ou host=... dbname=...)."));
    return 2;
}

struct Options {
    QString command, configFile;
    QString db, listen, tokenFile, passwordFile, operatorCode = QStringLiteral("TESTE");
    QString since, until, product, format;
    server::FrontOptions front;
    QStringList positional;
};

// Reads a positive number of seconds ("2", "0.5") as milliseconds.
bool seconds(const QString &text, int &milliseconds)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value <= 0 || value > 86400)
        return false;
    milliseconds = int(value * 1000);
    return milliseconds > 0;
}

bool positive(const QString &text, int &number)
{
    bool ok = false;
    number = text.toInt(&ok);
    return ok && number > 0;
}

bool parse(const QStringList &args, Options &options)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        auto value = [&](QString &target) {
            if (i + 1 >= args.size())
                return false;
            target = args[++i];
            return true;
        };
        QString text;
        if (arg == u"--db") {
            if (!value(options.db))
                return false;
        } else if (arg == u"--listen") {
            if (!value(options.listen))
                return false;
        } else if (arg == u"--token-file") {
            if (!value(options.tokenFile))
                return false;
        } else if (arg == u"--operator") {
            if (!value(options.operatorCode))
                return false;
        } else if (arg == u"--since") {
            if (!value(options.since))
                return false;
        } else if (arg == u"--until") {
            if (!value(options.until))
                return false;
        } else if (arg == u"--product") {
            if (!value(options.product))
                return false;
        } else if (arg == u"--format") {
            if (!value(options.format))
                return false;
        } else if (arg == u"--config") {
            if (!value(text))
                return false;
            platform::settings::setFilePath(text);
            options.configFile = text;
        } else if (arg == u"--version") {
            options.command = arg;
        } else if (arg == u"--max-body") {
            bool ok = false;
            if (!value(text) || (options.front.maxBody = text.toLongLong(&ok), !ok) || options.front.maxBody <= 0)
                return false;
        } else if (arg == u"--db-password-file") {
            if (!value(options.passwordFile))
                return false;
        } else if (arg == u"--tls-cert") {
            if (!value(options.front.tlsCertificate))
                return false;
        } else if (arg == u"--tls-key") {
            if (!value(options.front.tlsKey))
                return false;
        } else if (arg == u"--workers") {
            if (!value(text) || !positive(text, options.front.workers))
                return false;
        } else if (arg == u"--board-workers") {
            if (!value(text) || !positive(text, options.front.boardWorkers))
                return false;
        } else if (arg == u"--trusted-proxy") {
            if (!value(options.front.trustedProxy))
                return false;
        } else if (arg == u"--max-connections") {
            if (!value(text) || !positive(text, options.front.maxConnections))
                return false;
        } else if (arg == u"--read-timeout") {
            if (!value(text) || !seconds(text, options.front.readTimeoutMs))
                return false;
        } else if (arg == u"--write-timeout") {
            if (!value(text) || !seconds(text, options.front.writeTimeoutMs))
                return false;
        } else if (arg == u"--idle-timeout") {
            if (!value(text) || !seconds(text, options.front.idleTimeoutMs))
                return false;
        } else if (arg == u"--lease-expiry") {
            // Minutes after which an advance's lease on its group runs out when its holder
            // stops renewing it; longer than the longest single child process of an advance.
            int minutes = 0;
            if (!value(text) || !positive(text, minutes) || minutes > 7 * 24 * 60)
                return false;
            server::setLeaseExpiry(std::chrono::minutes(minutes));
        } else if (arg.startsWith(u"--")) {
            return false;
        } else if (options.command.isEmpty() && options.positional.isEmpty()
                   && (arg == u"import" || arg == u"verdict" || arg == u"audit" || arg == u"backup" || arg == u"restore"
                       || arg == u"sessions")) {
            options.command = arg;
        } else {
            options.positional.append(arg);
        }
    }
    return true;
}

// Keys of the [server] section of the configuration file, each the default of an option.
struct ConfigKey {
    const char *key, *option;
};
const ConfigKey kConfigKeys[] = {
    {"database", "--db"},
    {"listen", "--listen"},
    {"token_file", "--token-file"},
    {"db_password_file", "--db-password-file"},
    {"tls_cert", "--tls-cert"},
    {"tls_key", "--tls-key"},
    {"workers", "--workers"},
    {"max_connections", "--max-connections"},
    {"board_workers", "--board-workers"},
    {"trusted_proxy", "--trusted-proxy"},
    {"read_timeout", "--read-timeout"},
    {"write_timeout", "--write-timeout"},
    {"idle_timeout", "--idle-timeout"},
    {"max_body", "--max-body"},
};

// The options of the configuration file's [server] section, then those of the command
// line over them. False, with the reason told, for an unreadable file or a bad value.
bool readConfig(const QStringList &commandLine, Options &options)
{
    const QString file = options.configFile;
    if (!QFileInfo(file).isReadable()) {
        say(stderr, QStringLiteral("homologa-server: não foi possível ler o arquivo de configuração %1.").arg(file));
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        say(stderr, QStringLiteral("homologa-server: o arquivo de configuração %1 não está no formato INI.").arg(file));
        return false;
    }
    Options fromFile;
    for (const ConfigKey &entry : kConfigKeys) {
        const QString key = QStringLiteral("server/") + QLatin1String(entry.key);
        // A value with commas is read as a list.
        const QString value = settings.value(key).toStringList().join(u',').trimmed();
        if (value.isEmpty())
            continue;
        if (!parse({QString(), QString::fromLatin1(entry.option), value}, fromFile)) {
            say(stderr, QStringLiteral("homologa-server: valor inválido em %1, [server] %2: \"%3\".")
                            .arg(file, QLatin1String(entry.key), value));
            return false;
        }
    }
    fromFile.configFile = file;
    options = fromFile;
    return parse(commandLine, options);
}

// The database of the command line, with the password of --db-password-file.
server::DatabaseSpec databaseSpec(const QString &text, const Options &options)
{
    server::DatabaseSpec spec = server::DatabaseSpec::parse(text);
    if (!options.passwordFile.isEmpty()) {
        if (spec.engine != server::DatabaseSpec::Engine::Postgres)
            throw server::ServerError(QStringLiteral("--db-password-file vale só para um banco PostgreSQL."));
        spec.password = platform::settings::readPrivateFile(options.passwordFile).section(u'\n', 0, 0).trimmed();
    }
    return spec;
}

QString databaseText(const Options &options)
{
    if (!options.db.isEmpty())
        return options.db;
    auto settings = platform::settings::open();
    const QString configured = settings->value(QStringLiteral("server/database")).toString();
    return configured.isEmpty() ? server::defaultEmbeddedDatabase() : configured;
}

int runImport(const Options &options)
{
    if (options.positional.size() != 1)
        return usage();
    QFile file(options.positional[0]);
    if (!file.open(QIODevice::ReadOnly)) {
        say(stderr, QStringLiteral("import: não foi possível ler %1: %2").arg(file.fileName(), file.errorString()));
        return 1;
    }
    const server::DatabaseSpec spec = databaseSpec(databaseText(options), options);
    const server::DatabaseFileLock inUse(spec, server::DatabaseFileLock::Use::Shared);
    server::Database db(spec);
    const server::ImportCounts counts = server::importDocument(db, file.readAll());
    say(stdout, QStringLiteral("import: %1 carregados em %2.").arg(counts.summary(), db.spec().describe()));
    return 0;
}

int runVerdict(const Options &options)
{
    if (options.positional.size() != 3)
        return usage();
    const server::DatabaseSpec spec = databaseSpec(databaseText(options), options);
    const server::DatabaseFileLock inUse(spec, server::DatabaseFileLock::Use::Shared);
    server::Database db(spec);
    QString numero = options.positional[1];
    if (numero.size() < 10 && std::all_of(numero.begin(), numero.end(), [](QChar c) { return c.isDigit(); }))
        numero = numero.rightJustified(10, u'0');
    server::giveVerdict(db, {options.positional[0], numero}, options.positional[2], options.operatorCode);
    say(stdout, QStringLiteral("verdict: solicitação %1/%2: %3.").arg(options.positional[0], numero, options.positional[2]));
    return 0;
}

int runAudit(const Options &options)
{
    if (!options.positional.isEmpty() || (options.format != u"csv" && options.format != u"json"))
        return usage();
    const server::DatabaseSpec spec = databaseSpec(databaseText(options), options);
    const server::DatabaseFileLock inUse(spec, server::DatabaseFileLock::Use::Shared);
    server::Database db(spec);
    const QList<server::AuditRow> rows = server::auditTrail(db, {options.since, options.until, options.product, {}});
    const QByteArray text = options.format == u"csv" ? server::auditCsv(rows) : server::auditJson(rows);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    return 0;
}

int runBackup(const Options &options)
{
    if (options.positional.size() != 1)
        return usage();
    const server::DatabaseSpec spec = databaseSpec(databaseText(options), options);
    const server::DatabaseFileLock inUse(spec, server::DatabaseFileLock::Use::Shared);
    server::Database db(spec);
    db.ensureOpen();
    server::copySqliteDatabase(db, options.positional[0]);
    say(stdout, QStringLiteral("backup: cópia de %1 gravada em %2.")
                    .arg(db.spec().describe(), QFileInfo(options.positional[0]).absoluteFilePath()));
    return 0;
}

int runSessions(const Options &options)
{
    const QStringList &args = options.positional;
    if (!((args.size() == 1 && args[0] == u"list") || (args.size() == 2 && args[0] == u"revoke")))
        return usage();
    const server::DatabaseSpec spec = databaseSpec(databaseText(options), options);
    const server::DatabaseFileLock inUse(spec, server::DatabaseFileLock::Use::Shared);
    server::Database db(spec);
    if (args[0] == u"list") {
        say(stdout, server::sessionLines(db).join(u'\n'));
        return 0;
    }
    const int ended = server::revokeSessions(db, args[1]);
    if (ended == 0 && args[1] != u"todas") {
        say(stderr, QStringLiteral("sessions: nenhuma sessão do painel começa com %1 (veja sessions list).").arg(args[1]));
        return 1;
    }
    say(stdout, QStringLiteral("sessions: %1 sessão(ões) do painel encerrada(s).").arg(ended));
    return 0;
}

int runRestore(const Options &options)
{
    if (options.positional.size() != 1)
        return usage();
    const server::DatabaseSpec spec = databaseSpec(databaseText(options), options);
    const QString aside = server::restoreSqliteDatabase(options.positional[0], spec);
    say(stdout, QStringLiteral("restore: %1 restaurado de %2.%3")
                    .arg(spec.path, QFileInfo(options.positional[0]).absoluteFilePath(),
                         aside.isEmpty() ? QString() : QStringLiteral(" O arquivo anterior ficou em %1.").arg(aside)));
    return 0;
}

// How long the calls in flight have, after SIGTERM or SIGINT, to be answered: past it the
// process ends without them (their transactions are not committed).
constexpr unsigned kStopBoundSeconds = 30;

server::HttpFront *s_front = nullptr;
volatile std::sig_atomic_t s_stopSignal = 0;

// Only what is safe inside a signal handler: the front is asked to stop (it wakes its
// accepting thread through a pipe), and an alarm bounds the wait.
void onStopSignal(int number)
{
    if (s_stopSignal == 0)
        ::alarm(kStopBoundSeconds);
    s_stopSignal = number;
    if (s_front)
        s_front->requestStop();
}

void onStopOverdue(int)
{
    static const char text[] = "homologa-server: as chamadas em andamento não terminaram em 30 s; o processo termina sem "
                               "elas (o que não foi confirmado não foi gravado).\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(1);
}

// Serves until SIGTERM or SIGINT; then takes no more connections, lets the calls in flight end
// (the queued ones are refused), closes every database connection, and leaves the SQLite file
// alone holding the whole database.
int serveUntilStopped(server::HttpFront &front, const server::DatabaseSpec &spec)
{
    s_front = &front;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onStopSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    action.sa_handler = onStopOverdue;
    ::sigaction(SIGALRM, &action, nullptr);
    front.run();
    s_front = nullptr;
    if (s_stopSignal == 0) {
        say(stderr, QStringLiteral("homologa-server: o atendimento parou sem que o servidor fosse encerrado."));
        return 1;
    }
    say(stdout, QStringLiteral("homologa-server: %1 recebido; novas conexões recusadas, chamadas em andamento concluídas.")
                    .arg(QString::fromLatin1(s_stopSignal == SIGINT ? "SIGINT" : "SIGTERM")));
    // Every worker's connection is closed by now; one more empties the log into the file.
    if (spec.engine == server::DatabaseSpec::Engine::Sqlite) {
        try {
            server::Database db(spec);
            db.ensureOpen();
            if (!db.checkpoint())
                say(stdout, QStringLiteral("homologa-server: outro processo ainda usa %1; o registro de escrita (-wal) "
                                           "fica com ele.")
                                .arg(spec.path));
        } catch (const server::ServerError &error) {
            say(stderr, QStringLiteral("homologa-server: %1").arg(error.message()));
        }
    }
    say(stdout, QStringLiteral("homologa-server: encerrado; todas as conexões com o banco de dados foram fechadas."));
    return 0;
}

int runServer(QCoreApplication &app, const Options &options)
{
    if (options.db.isEmpty() || !options.positional.isEmpty())
        return usage();
    if (options.tokenFile.isEmpty()) {
        say(stderr, QStringLiteral("homologa-server: --token-file é obrigatório: os clientes devem enviar esse token."));
        return 2;
    }
    const QByteArray token = platform::settings::readPrivateFile(options.tokenFile).trimmed().toUtf8();
    if (token.isEmpty()) {
        say(stderr, QStringLiteral("homologa-server: o arquivo de token %1 está vazio.").arg(options.tokenFile));
        return 2;
    }
    QString address = QStringLiteral("127.0.0.1");
    QString portText = options.listen.isEmpty() ? QStringLiteral("8090") : options.listen;
    const qsizetype colon = portText.lastIndexOf(u':');
    if (colon >= 0) {
        if (colon > 0)
            address = portText.left(colon);
        portText = portText.mid(colon + 1);
    }
    bool ok = false;
    const int port = portText.toInt(&ok);
    const QHostAddress host(address);
    if (!ok || port < 0 || port > 65535 || host.isNull()) {
        say(stderr, QStringLiteral("homologa-server: endereço inválido em --listen: \"%1\".").arg(options.listen));
        return 2;
    }
    server::DatabaseSpec spec = databaseSpec(options.db, options);
    // Held until the process ends: a restore is refused meanwhile.
    server::DatabaseFileLock inUse(spec, server::DatabaseFileLock::Use::Shared);
    bool readOnly = false;
    {
        // Creates the tables before the first call, and tells at once a database that
        // cannot be reached.
        server::Database db(spec);
        db.ensureOpen();
        readOnly = db.readOnly();
    }
    inUse.recordFile();
    // From here on the workers use this very file or none.
    spec.pinFile();
    server::HttpFront front(spec, token, options.front);
    const quint16 bound = front.listen(address, quint16(port));
    if (!bound) {
        say(stderr, QStringLiteral("homologa-server: %1").arg(front.error()));
        return 1;
    }
    const bool tls = !options.front.tlsCertificate.isEmpty();
    say(stdout, QStringLiteral("homologa-server: %1 em %2://%3:%4")
                    .arg(spec.describe(), tls ? QStringLiteral("https") : QStringLiteral("http"), address)
                    .arg(bound));
    const QString shown = address == u"0.0.0.0" || address == u"::" ? QStringLiteral("localhost") : address;
    say(stdout, QStringLiteral("homologa-server: painel de homologação em %1://%2:%3/painel")
                    .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), shown.contains(u':') ? u'[' + shown + u']' : shown)
                    .arg(bound));
    if (readOnly)
        say(stdout, QStringLiteral("homologa-server: o banco de dados %1 está somente para leitura: as consultas são "
                                   "atendidas, as alterações recusadas.")
                        .arg(spec.describe()));
    Q_UNUSED(app);
    return serveUntilStopped(front, spec);
}

// A password written in --db would be readable by anyone in the process list: it is
// replaced in the process's own argument area (the text was copied first) by a mask of
// fixed width, which says nothing of its length, and the operator is told to use a
// password file.
std::string masked(const std::string &text, bool &hidden)
{
    static const std::string mask = "***";
    std::string out = text;
    const size_t scheme = out.find("://");
    if (scheme != std::string::npos) {
        const size_t hostEnd = std::min(out.find_first_of("/?", scheme + 3), out.size());
        const size_t at = out.rfind('@', hostEnd == 0 ? 0 : hostEnd - 1);
        const size_t colon = out.find(':', scheme + 3);
        if (at != std::string::npos && at > scheme && colon < at) {
            out.replace(colon + 1, at - colon - 1, mask);
            hidden = true;
        }
    }
    for (size_t key = out.find("password"); key != std::string::npos; key = out.find("password", key + 1)) {
        size_t value = key + 8;
        while (value < out.size() && out[value] == ' ')
            ++value;
        if (value >= out.size() || out[value] != '=')
            continue;
        ++value;
        while (value < out.size() && out[value] == ' ')
            ++value;
        size_t end = value;
        if (end < out.size() && out[end] == '\'') {
            for (++end; end < out.size() && out[end] != '\''; ++end)
                end += out[end] == '\\' ? 1 : 0;
            end = std::min(end + 1, out.size());
        } else {
            end = std::min(out.find_first_of(" &", value), out.size());
        }
        out.replace(value, end - value, mask);
        hidden = true;
    }
    return out;
}

std::string takeDatabaseText(int argc, char **argv)
{
    std::string text;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--db") != 0)
            continue;
        text = argv[i + 1];
        bool hidden = false;
        const std::string shown = masked(text, hidden);
        if (!hidden)
            continue;
        // The area holds the text's own length: the masked text is cut to fit, the rest zeroed.
        const size_t room = text.size();
        std::memset(argv[i + 1], 0, room);
        std::memcpy(argv[i + 1], shown.data(), std::min(room, shown.size()));
        std::fprintf(stderr, "homologa-server: a senha escrita em --db fica visível na lista de processos; "
                             "use --db-password-file ou o arquivo de senhas do PostgreSQL (~/.pgpass).\n");
    }
    return text;
}

}  // namespace

int main(int argc, char **argv)
{
    platform::readTimeZoneOnce();
    const std::string databaseText = takeDatabaseText(argc, argv);
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), options))
        return usage();
    if (!options.configFile.isEmpty() && !readConfig(app.arguments(), options))
        return 2;
    if (options.command == u"--version") {
        say(stdout, QStringLiteral("homologa-server %1 (esquema do banco de dados: versão %2)")
                        .arg(QStringLiteral(HOMOLOGA_VERSION))
                        .arg(server::currentSchemaVersion()));
        return 0;
    }
    if (!databaseText.empty())
        options.db = QString::fromLocal8Bit(databaseText.c_str());
    try {
        if (options.command == u"import")
            return runImport(options);
        if (options.command == u"verdict")
            return runVerdict(options);
        if (options.command == u"audit")
            return runAudit(options);
        if (options.command == u"backup")
            return runBackup(options);
        if (options.command == u"sessions")
            return runSessions(options);
        if (options.command == u"restore")
            return runRestore(options);
        return runServer(app, options);
    } catch (const server::ImportError &error) {
        say(stderr, QStringLiteral("import: %1 Nada foi carregado.").arg(error.message()));
    } catch (const server::ServerError &error) {
        say(stderr, QStringLiteral("homologa-server: %1").arg(error.message()));
    } catch (const platform::PlatformError &error) {
        say(stderr, QStringLiteral("homologa-server: %1").arg(error.message()));
    }
    return 1;
}
