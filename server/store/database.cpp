#include "store/database.h"

#include "store/schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>
#include <mutex>

#include <QSqlDriver>
#include <QThread>

#include <libpq-fe.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace server {

QString nowText() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")); }

// ---------------------------------------------------------------------------------------
// Connection texts

static bool isIdentifier(const QString &text)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    return identifier.match(text).hasMatch();
}

static void takeKeyValue(DatabaseSpec &spec, QStringList &options, const QString &key, const QString &value)
{
    const QString k = key.toLower();
    if (k == u"host")
        spec.host = value;
    else if (k == u"port")
        spec.port = value.toInt();
    else if (k == u"dbname")
        spec.dbName = value;
    else if (k == u"user")
        spec.user = value;
    else if (k == u"password")
        spec.password = value;
    else if (k == u"schema")
        spec.schema = value;
    else
        options.append(key + u'=' + value);
}

static QString percentDecoded(const QString &part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// The parts of a text that may hold a password are never put into a message.
[[noreturn]] static void badUrl(const QString &what)
{
    throw ServerError(QStringLiteral("Endereço do PostgreSQL inválido: %1. Use postgresql://usuário@servidor:porta/banco "
                                     "(partes com caracteres especiais codificadas com %XX).")
                          .arg(what));
}

// postgresql://[user[:password]@][host[:port][,host[:port]...]][/dbname][?key=value&...],
// every part percent-encoded as libpq reads it: a host may be a socket folder
// ("%2Fvar%2Frun%2Fpostgresql") or an IPv6 address in brackets.
static DatabaseSpec parseUrl(const QString &text)
{
    DatabaseSpec spec;
    spec.engine = DatabaseSpec::Engine::Postgres;
    QString rest = text.mid(text.indexOf(u"://") + 3);
    QString query;
    if (const qsizetype mark = rest.indexOf(u'?'); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        spec.dbName = percentDecoded(rest.mid(slash + 1));
        rest.truncate(slash);
    }
    if (const qsizetype at = rest.lastIndexOf(u'@'); at >= 0) {
        const QString userInfo = rest.left(at);
        const qsizetype colon = userInfo.indexOf(u':');
        spec.user = percentDecoded(userInfo.left(colon));
        if (colon >= 0)
            spec.password = percentDecoded(userInfo.mid(colon + 1));
        rest = rest.mid(at + 1);
    }
    QStringList hosts, ports;
    bool anyPort = false;
    for (const QString &item : rest.split(u',', Qt::KeepEmptyParts)) {
        QString host = item, port;
        if (item.startsWith(u'[')) {
            const qsizetype close = item.indexOf(u']');
            if (close < 0)
                badUrl(QStringLiteral("endereço IPv6 sem \"]\""));
            host = item.mid(1, close - 1);
            const QString after = item.mid(close + 1);
            if (!after.isEmpty() && !after.startsWith(u':'))
                badUrl(QStringLiteral("texto depois do endereço IPv6"));
            port = after.mid(1);
        } else if (const qsizetype colon = item.lastIndexOf(u':'); colon >= 0) {
            host = item.left(colon);
            port = item.mid(colon + 1);
        }
        bool ok = port.isEmpty();
        if (!ok) {
            const int number = port.toInt(&ok);
            ok = ok && number > 0 && number < 65536;
        }
        if (!ok)
            badUrl(QStringLiteral("porta não numérica ou fora de 1–65535"));
        anyPort = anyPort || !port.isEmpty();
        hosts.append(percentDecoded(host));
        ports.append(port);
    }
    QStringList options;
    if (hosts.size() == 1) {
        spec.host = hosts[0];
        spec.port = ports[0].toInt();
    } else {
        // Several servers, tried in turn by libpq.
        spec.host = hosts.join(u',');
        if (anyPort)
            options.append(QStringLiteral("port=") + ports.join(u','));
    }
    for (const QString &pair : query.split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0)
            badUrl(QStringLiteral("parâmetro sem \"chave=valor\""));
        takeKeyValue(spec, options, percentDecoded(pair.left(eq)), percentDecoded(pair.mid(eq + 1)));
    }
    spec.options = options.join(u';');
    return spec;
}

static DatabaseSpec parseKeyValues(const QString &text)
{
    DatabaseSpec spec;
    spec.engine = DatabaseSpec::Engine::Postgres;
    QStringList options;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        if (i >= n)
            break;
        const qsizetype eq = text.indexOf(u'=', i);
        if (eq < 0)
            throw ServerError(QStringLiteral("Texto de conexão do PostgreSQL inválido: falta \"=\" depois da chave na posição %1.")
                                  .arg(i + 1));
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && text[i].isSpace())
            ++i;
        QString value;
        if (i < n && text[i] == u'\'') {
            ++i;
            while (i < n && text[i] != u'\'') {
                if (text[i] == u'\\' && i + 1 < n)
                    ++i;
                value.append(text[i++]);
            }
            if (i >= n)
                throw ServerError(QStringLiteral("Texto de conexão do PostgreSQL com aspas sem fechamento."));
            ++i;
        } else {
            while (i < n && !text[i].isSpace())
                value.append(text[i++]);
        }
        takeKeyValue(spec, options, key, value);
    }
    spec.options = options.join(u';');
    return spec;
}

DatabaseSpec DatabaseSpec::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    DatabaseSpec spec;
    if (trimmed.startsWith(u"postgresql://") || trimmed.startsWith(u"postgres://")) {
        spec = parseUrl(trimmed);
    } else if (trimmed.contains(QRegularExpression(
                   QStringLiteral("(^|\\s)(dbname|host|hostaddr|port|user|password|passfile|service|sslmode|schema)\\s*=")))) {
        spec = parseKeyValues(trimmed);
    } else {
        if (trimmed.isEmpty())
            throw ServerError(QStringLiteral("Nenhum banco de dados informado."));
        // Another scheme is no file name, and what follows it may hold a password.
        if (trimmed.contains(QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"))))
            throw ServerError(QStringLiteral("Endereço de banco de dados não reconhecido: use postgresql://... "
                                             "ou o caminho de um arquivo SQLite."));
        spec.path = QFileInfo(trimmed).absoluteFilePath();
        return spec;
    }
    if (!spec.schema.isEmpty() && !isIdentifier(spec.schema))
        throw ServerError(QStringLiteral("Nome de esquema inválido: \"%1\".").arg(spec.schema));
    return spec;
}

QString DatabaseSpec::describe() const
{
    if (engine == Engine::Sqlite)
        return path;
    QString text = QStringLiteral("PostgreSQL %1@%2").arg(user, host.isEmpty() ? QStringLiteral("localhost") : host);
    if (port)
        text += u':' + QString::number(port);
    text += u'/' + dbName;
    if (!schema.isEmpty())
        text += QStringLiteral(" (esquema %1)").arg(schema);
    return text;
}

// ---------------------------------------------------------------------------------------
// Errors

static bool isLocked(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.text().toLower();
    return code == u"5" || code == u"6" || code == u"55P03" || code == u"40P01" || code == u"40001"
        || text.contains(u"database is locked") || text.contains(u"database table is locked");
}

static bool isDiskFull(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.text().toLower();
    return code == u"13" || code == u"53100" || text.contains(u"database or disk is full")
        || text.contains(u"no space left on device") || text.contains(u"could not extend file");
}

static bool isReadOnly(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.text().toLower();
    return code == u"8" || code == u"25006" || text.contains(u"readonly database")
        || text.contains(u"read-only transaction");
}

static bool isDuplicate(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.text().toLower();
    return code == u"23505" || text.contains(u"unique constraint failed") || text.contains(u"duplicate key");
}

static bool isConnectionLost(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.text().toLower();
    return error.type() == QSqlError::ConnectionError || code.startsWith(u"08") || code == u"57P01"
        || code == u"57P02" || code == u"57P03" || text.contains(u"server closed the connection")
        || text.contains(u"no connection to the server") || text.contains(u"terminating connection")
        || text.contains(u"connection to server") || text.contains(u"disk i/o error")
        || text.contains(u"unable to open database");
}

// ---------------------------------------------------------------------------------------
// Database

struct Database::Cache {
    QHash<QString, QSqlQuery *> queries;
    ~Cache() { clear(); }
    void clear()
    {
        qDeleteAll(queries);
        queries.clear();
    }
    void finishAll()
    {
        for (QSqlQuery *query : std::as_const(queries))
            query->finish();
    }
};

Database::Database(DatabaseSpec spec) : m_spec(std::move(spec)), m_cache(std::make_unique<Cache>())
{
    // A pinned file is checked before the first connection is opened, so a connection
    // opened late never opens (nor creates) another file at the path.
    m_fileSeen = m_spec.filePinned;
    m_fileDevice = m_spec.fileDevice;
    m_fileInode = m_spec.fileInode;
    static std::atomic<int> counter{0};
    m_connectionName = QStringLiteral("homologa-server-%1").arg(++counter);
}

Database::~Database()
{
    close();
    m_connection = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void Database::close()
{
    m_inTransaction = false;
    // Statements are freed while the connection is still open (a lost connection makes
    // Qt warn once per statement, and nothing can be done about that).
    m_cache->clear();
    if (isOpen())
        m_connection.close();
}

bool fileIdentity(const QString &path, quint64 &device, quint64 &inode)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    device = quint64(info.st_dev);
    inode = quint64(info.st_ino);
    return true;
}

static ServerError fileGone(const QString &path)
{
    // The same file put back where it was is taken again at the next call; a copy is another
    // file, which only a new start of the server takes.
    return ServerError(QStringLiteral("O arquivo do banco de dados \"%1\" não existe mais nesse lugar; nada foi gravado. "
                                      "Se ele foi movido, devolva-o ao mesmo lugar e repita a operação; um arquivo "
                                      "restaurado de uma cópia só é usado depois que o servidor de aplicação for reiniciado.")
                           .arg(path));
}

static ServerError fileReplaced(const QString &path)
{
    return ServerError(QStringLiteral("O arquivo do banco de dados \"%1\" foi substituído por outro enquanto o servidor "
                                      "o usava; nada foi gravado. Reinicie o servidor de aplicação para usar o arquivo novo.")
                           .arg(path));
}

void DatabaseSpec::pinFile()
{
    if (engine != Engine::Sqlite)
        return;
    if (!fileIdentity(path, fileDevice, fileInode))
        throw fileGone(path);
    filePinned = true;
}

void Database::checkSameFile()
{
    if (m_spec.engine != DatabaseSpec::Engine::Sqlite || !m_fileSeen)
        return;
    quint64 device = 0, inode = 0;
    if (!fileIdentity(m_spec.path, device, inode))
        throw fileGone(m_spec.path);
    if (device != m_fileDevice || inode != m_fileInode)
        throw fileReplaced(m_spec.path);
}

void Database::ensureOpen()
{
    try {
        checkSameFile();
    } catch (const ServerError &) {
        // The file that was opened is no longer at the path: nothing more is written into it,
        // and the file now there is not touched by this connection.
        close();
        throw;
    }
    if (!isOpen())
        open();
    else if (isPostgres() && !m_inTransaction && !idleConnectionAlive())
        reconnect();
}

// Qt frees each prepared statement of a closed PostgreSQL connection with a DEALLOCATE that
// cannot reach the server any more, and warns about every one: those warnings, for a
// connection known to be gone, say nothing.
static thread_local bool t_droppingLostStatements = false;
static QtMessageHandler s_previousHandler = nullptr;

static void quietAboutLostStatements(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_droppingLostStatements && message.startsWith(u"Unable to free statement"))
        return;
    if (s_previousHandler)
        s_previousHandler(type, context, message);
    else
        qt_message_output(type, context, message);
}

// For the current thread, until its next statement.
static void beQuietAboutLostStatements()
{
    static std::once_flag installed;
    std::call_once(installed, [] { s_previousHandler = qInstallMessageHandler(quietAboutLostStatements); });
    t_droppingLostStatements = true;
}

bool Database::idleConnectionAlive()
{
    const QVariant handle = m_connection.driver()->handle();
    // The driver's handle holds libpq's PGconn (a struct pg_conn).
    const char *type = handle.typeName();
    PGconn *pg = type && (qstrcmp(type, "pg_conn*") == 0 || qstrcmp(type, "PGconn*") == 0)
        ? *static_cast<PGconn *const *>(handle.constData())
        : nullptr;
    if (!pg || PQstatus(pg) != CONNECTION_OK || PQsocket(pg) < 0)
        return false;
    // An idle connection is sent nothing (no notifications are listened to): anything that
    // can be read is the server's notice that it ends the session, or its end.
    pollfd p{PQsocket(pg), POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}

void Database::reconnect()
{
    beQuietAboutLostStatements();
    close();
    t_droppingLostStatements = false;
    try {
        open();
    } catch (const ServerError &) {
        // A server that is being restarted takes a moment to accept connections again.
        close();
        QThread::msleep(500);
        open();
    }
}

// SQLite counts every allocation under one mutex for the whole process: the workers, each
// with a connection of its own, then queue on it, and a worker preempted while holding it
// stalls them all for a time slice. The count is not used, so it is turned off; this only
// takes effect before SQLite's first use in the process (otherwise the call is refused and
// nothing changes).
static void configureSqliteOnce()
{
    [[maybe_unused]] static const int result = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

void Database::open()
{
    m_cache->clear();
    m_inTransaction = false;
    const bool sqlite = m_spec.engine == DatabaseSpec::Engine::Sqlite;
    if (!m_connection.isValid())
        m_connection = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_connectionName);
    QSqlDatabase &db = m_connection;
    if (!db.isValid())
        throw ServerError(QStringLiteral("O driver de banco de dados %1 não está instalado.")
                              .arg(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL")));
    if (sqlite) {
        configureSqliteOnce();
        // SQLite gives its companion files the database file's permissions only when it
        // creates them: a -wal left read-only would keep the database read-only after the
        // operator made the database file writable again.
        if (const QFileInfo file(m_spec.path); file.exists()) {
            for (const char *suffix : {"-wal", "-shm"}) {
                const QString companion = m_spec.path + QLatin1String(suffix);
                if (QFileInfo::exists(companion) && QFile::permissions(companion) != file.permissions())
                    QFile::setPermissions(companion, file.permissions());
            }
        }
        const QByteArray timeout = qgetenv("HOMOLOGA_SQLITE_BUSY_TIMEOUT_MS");
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(timeout.isEmpty() ? QByteArray("5000") : timeout);
        if (m_spec.filePinned) {
            // Opened without the right to create: a file removed after the check is not
            // recreated empty.
            db.setDatabaseName(QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(m_spec.path, "/"))
                               + QStringLiteral("?mode=rw"));
            options += QStringLiteral(";QSQLITE_OPEN_URI");
        } else {
            QDir().mkpath(QFileInfo(m_spec.path).absolutePath());
            db.setDatabaseName(m_spec.path);
        }
        db.setConnectOptions(options);
    } else {
        db.setHostName(m_spec.host);
        if (m_spec.port)
            db.setPort(m_spec.port);
        db.setDatabaseName(m_spec.dbName);
        db.setUserName(m_spec.user);
        db.setPassword(m_spec.password);
        db.setConnectOptions(m_spec.options);
    }
    if (!db.open())
        throw ServerError(QStringLiteral("Não foi possível abrir o banco de dados %1: %2")
                              .arg(m_spec.describe(), db.lastError().text()));
    if (sqlite) {
        if (m_spec.filePinned) {
            checkSameFile();
        } else if (!fileIdentity(m_spec.path, m_fileDevice, m_fileInode)) {
            throw ServerError(QStringLiteral("O arquivo do banco de dados \"%1\" não pôde ser criado.").arg(m_spec.path));
        }
        m_fileSeen = true;
        // A read-only file keeps the journal mode it has: changing it would be a write.
        if (!readOnly())
            exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    } else {
        // The schema statements below say "already exists" on every connection otherwise.
        exec(QStringLiteral("SET client_min_messages TO WARNING"));
    }
    if (!sqlite && !m_spec.schema.isEmpty()) {
        // The schema name was checked to be a plain identifier when the text was parsed. A
        // read-only session refuses even a CREATE that would find the schema there.
        if (!readOnly())
            exec(QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(m_spec.schema));
        exec(QStringLiteral("SET search_path TO %1").arg(m_spec.schema));
    }
    m_cache->finishAll();
    createSchema(*this);
}

bool Database::readOnly()
{
    if (!isOpen())
        return false;
    if (isPostgres())
        return scalar(QStringLiteral("SELECT current_setting('transaction_read_only')")).toString() == u"on";
    const QVariant handle = m_connection.driver()->handle();
    const char *type = handle.typeName();
    sqlite3 *sqlite = type && qstrcmp(type, "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
    return sqlite && sqlite3_db_readonly(sqlite, "main") == 1;
}

bool Database::checkpoint()
{
    if (isPostgres() || !isOpen() || readOnly())
        return true;
    // The answer's first column is 1 when a reader kept the log from being emptied.
    QSqlQuery &query = exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    const bool complete = query.next() && query.value(0).toInt() == 0;
    query.finish();
    return complete;
}

static std::atomic<quint64> s_databaseErrors{0};

quint64 databaseErrorCount() { return s_databaseErrors.load(); }

void Database::fail(const QSqlError &error, const QString &sql)
{
    Q_UNUSED(sql);
    ++s_databaseErrors;
    if (isDiskFull(error))
        throw ServerError(QStringLiteral("O disco do banco de dados %1 está cheio; nada foi gravado. "
                                         "Libere espaço e tente novamente. (%2)")
                              .arg(m_spec.describe(), error.text()));
    // The engine's own words ("attempt to write a readonly database") add nothing here.
    if (isReadOnly(error))
        throw ServerError(QStringLiteral("O banco de dados %1 está somente para leitura; nada foi gravado.")
                              .arg(m_spec.describe()));
    if (isDuplicate(error))
        throw ServerError(QStringLiteral("Outro operador gravou o mesmo registro ao mesmo tempo; nada foi gravado. "
                                         "Recarregue os dados e refaça a alteração."));
    if (isLocked(error))
        throw ServerError(QStringLiteral("O banco de dados está bloqueado por outra operação; nada foi gravado. "
                                         "Tente novamente em instantes. (%1)")
                              .arg(error.text()));
    if (isConnectionLost(error)) {
        beQuietAboutLostStatements();
        close();
        t_droppingLostStatements = false;
        throw ServerError(QStringLiteral("A conexão com o banco de dados %1 foi perdida; nada foi gravado. (%2)")
                              .arg(m_spec.describe(), error.text()));
    }
    throw ServerError(QStringLiteral("O banco de dados recusou a operação: %1").arg(error.text()));
}

static QVariant bindable(const QVariant &value)
{
    // A null QString would be bound as SQL NULL; texts are stored as empty texts instead.
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QVariant(QStringLiteral(""));
    return value;
}

bool Database::preparable(const QString &sql) const
{
    if (m_spec.engine == DatabaseSpec::Engine::Sqlite)
        return true;
    static const QRegularExpression dml(QStringLiteral("^\\s*(SELECT|INSERT|UPDATE|DELETE|WITH)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    return dml.match(sql).hasMatch();
}

QSqlQuery &Database::exec(const QString &sql, const QVariantList &values)
{
    if (!isOpen())
        throw ServerError(QStringLiteral("A conexão com o banco de dados %1 não está aberta.").arg(m_spec.describe()));
    QSqlQuery *&query = m_cache->queries[sql];
    if (!preparable(sql)) {
        // Schema and transaction statements cannot be prepared on PostgreSQL; they never
        // carry values.
        Q_ASSERT(values.isEmpty());
        if (!query)
            query = new QSqlQuery(m_connection);
        query->finish();
        if (!query->exec(sql)) {
            const QSqlError error = query->lastError();
            fail(error, sql);
        }
        return *query;
    }
    if (!query) {
        query = new QSqlQuery(m_connection);
        query->setForwardOnly(true);
        if (!query->prepare(sql)) {
            const QSqlError error = query->lastError();
            delete query;
            m_cache->queries.remove(sql);
            fail(error, sql);
        }
    } else {
        query->finish();
    }
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, bindable(values[i]));
    if (!query->exec()) {
        const QSqlError error = query->lastError();
        fail(error, sql);
    }
    return *query;
}

int Database::execCount(const QString &sql, const QVariantList &values)
{
    return exec(sql, values).numRowsAffected();
}

QVariant Database::scalar(const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = exec(sql, values);
    QVariant value = query.next() ? query.value(0) : QVariant();
    query.finish();
    return value;
}

void Database::lockRows(const QString &select, const QVariantList &values)
{
    if (!isPostgres() || !m_inTransaction)
        return;
    exec(select + QStringLiteral(" FOR UPDATE"), values).finish();
}

void Database::begin(bool write)
{
    // A read on PostgreSQL runs without one: at its isolation level (read committed) every
    // statement takes its own snapshot inside a transaction too, so BEGIN and COMMIT would
    // only cost two round trips. On SQLite a read transaction keeps one snapshot for all
    // the statements of the call.
    if (!write && isPostgres())
        return;
    exec(!isPostgres() && write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    m_inTransaction = true;
}

void Database::commit()
{
    m_cache->finishAll();
    if (!m_inTransaction)
        return;
    // A file replaced during the call must not take its writes (they would be lost with the
    // old file, or come back over the new one from the write-ahead log).
    checkSameFile();
    exec(QStringLiteral("COMMIT"));
    m_inTransaction = false;
}

void Database::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (!isOpen())
        return;
    m_cache->finishAll();
    // SQLite has already rolled back by itself after some failures (a full disk): a
    // ROLLBACK that finds no transaction is then no fault.
    QSqlQuery query(m_connection);
    if (!query.exec(QStringLiteral("ROLLBACK")) && !query.lastError().text().contains(u"no transaction is active")) {
        const QSqlError error = query.lastError();
        fail(error, QStringLiteral("ROLLBACK"));
    }
}

QList<QStringList> queryRows(Database &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = db.exec(sql, values);
    QList<QStringList> rows;
    const int width = query.record().count();
    while (query.next()) {
        QStringList row;
        row.reserve(width);
        for (int i = 0; i < width; ++i)
            row.append(query.value(i).toString());
        rows.append(row);
    }
    query.finish();
    return rows;
}

}  // namespace server
