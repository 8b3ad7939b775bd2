// homologa-server: the application server over HTTP, and its administration commands.
//
//   homologa-server --db DB --listen [ADDRESS:]PORT --token-file FILE [--max-body BYTES]
//   homologa-server import [--db DB] FILE.json
//   homologa-server verdict [--db DB] CDFILIAL NRSOLISERV sem-erro|com-erro|regerar [--operator CODE]
//
// DB is an SQLite file or a PostgreSQL connection text; without --db the commands use the
// embedded database of the settings ([server] database), else the default one.

#include "admin.h"
#include "database.h"
#include "dispatcher.h"
#include "domain.h"
#include "embedded.h"
#include "httpfront.h"
#include "import.h"

#include "platform/paths.h"
#include "platform/settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStringList>

#include <cstdio>

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
                    "  homologa-server --db BANCO --listen [ENDEREÇO:]PORTA --token-file ARQUIVO [--max-body BYTES]\n"
                    "  homologa-server import [--db BANCO] ARQUIVO.json\n"
                    "  homologa-server verdict [--db BANCO] CDFILIAL NRSOLISERV sem-erro|com-erro|regerar [--operator CODIGO]\n"
                    "BANCO: arquivo SQLite ou texto de conexão PostgreSQL (postgresql://... ou host=... dbname=...)."));
    return 2;
}

struct Options {
    QString command;
    QString db, listen, tokenFile, operatorCode = QStringLiteral("TESTE");
    qint64 maxBody = server::HttpFront::kDefaultMaxBody;
    QStringList positional;
};

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
        } else if (arg == u"--config") {
            if (!value(text))
                return false;
            platform::settings::setFilePath(text);
        } else if (arg == u"--max-body") {
            bool ok = false;
            if (!value(text) || (options.maxBody = text.toLongLong(&ok), !ok) || options.maxBody <= 0)
                return false;
        } else if (arg.startsWith(u"--")) {
            return false;
        } else if (options.command.isEmpty() && options.positional.isEmpty() && (arg == u"import" || arg == u"verdict")) {
            options.command = arg;
        } else {
            options.positional.append(arg);
        }
    }
    return true;
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
    server::Database db(server::DatabaseSpec::parse(databaseText(options)));
    const server::ImportCounts counts = server::importDocument(db, file.readAll());
    say(stdout, QStringLiteral("import: %1 carregados em %2.").arg(counts.summary(), db.spec().describe()));
    return 0;
}

int runVerdict(const Options &options)
{
    if (options.positional.size() != 3)
        return usage();
    server::Database db(server::DatabaseSpec::parse(databaseText(options)));
    QString numero = options.positional[1];
    if (numero.size() < 10 && std::all_of(numero.begin(), numero.end(), [](QChar c) { return c.isDigit(); }))
        numero = numero.rightJustified(10, u'0');
    server::giveVerdict(db, {options.positional[0], numero}, options.positional[2], options.operatorCode);
    say(stdout, QStringLiteral("verdict: solicitação %1/%2: %3.").arg(options.positional[0], numero, options.positional[2]));
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
    server::Database db(server::DatabaseSpec::parse(options.db));
    db.ensureOpen();
    server::Dispatcher dispatcher(db);
    server::HttpFront front(dispatcher, token, options.maxBody);
    const quint16 bound = front.start(host, quint16(port));
    if (!bound) {
        say(stderr, QStringLiteral("homologa-server: não foi possível escutar em %1:%2.").arg(address).arg(port));
        return 1;
    }
    say(stdout, QStringLiteral("homologa-server: %1 em http://%2:%3").arg(db.spec().describe(), address).arg(bound));
    return app.exec();
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), options))
        return usage();
    try {
        if (options.command == u"import")
            return runImport(options);
        if (options.command == u"verdict")
            return runVerdict(options);
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
