#include "store/databasefile.h"

#include "store/database.h"
#include "store/schema.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace server {

namespace {

QString lockPath(const QString &database) { return database + QStringLiteral("-lock"); }

// Open-file-description locks: taken and converted (alone to shared) at once, and held by
// this open file only, whatever else the process opens.
bool lockAs(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

QString stamp() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")); }

// `stem` when no file (nor its log) has that name, else stem-2, stem-3...
QString freeName(const QString &stem)
{
    QString name = stem;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral("-wal")); ++n)
        name = QStringLiteral("%1-%2").arg(stem).arg(n);
    return name;
}

void renameOrThrow(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw ServerError(QStringLiteral("Não foi possível renomear \"%1\" para \"%2\": %3")
                              .arg(from, to, QString::fromLocal8Bit(std::strerror(errno))));
}

void syncFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// SQLite keeps a read lock on byte 128 of the "-shm" file (the format's "DMS" lock) for as
// long as any connection, of any program, has the database open in WAL mode. Only asked
// before this process opens the database itself: closing the descriptor would drop the
// process's own locks on the file.
bool sqliteHasItOpen(const QString &database)
{
    const QByteArray name = QFile::encodeName(database + QStringLiteral("-shm"));
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 128;
    lock.l_len = 1;
    const bool held = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

// The tables every version of the schema has.
const char *const kProductTables[] = {
    "SEQUENCIA", "OPERADOR", "ASSUNTO", "FASETRAM", "PRODUTO", "PRODVERSAO", "PRODRELEASE", "PRODPATCH",
    "SOLICITACAO", "GRUPOHOMOL", "SOLIGRUPO", "ARQMODIF", "ARQPATCH", "ATIVIDADE", "ITEMTRABSOLI", "AGRUPASOLI",
    "DEPSOLI", "JUSTIFICATIVA", "LOGTRAM", "VERSARQHOM", "ARQCHECKOUTATIV", "HISTFASETRAM",
};

// An SQLite file opened as it lies, read-only and without its log or any companion file, so
// that checking a backup changes nothing beside it.
class BackupFile {
public:
    explicit BackupFile(const QString &path) : m_path(path)
    {
        const QByteArray uri = "file:" + QUrl::toPercentEncoding(path, "/") + "?mode=ro&immutable=1";
        if (sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK)
            fail(QStringLiteral("não pôde ser aberta"));
    }
    ~BackupFile() { sqlite3_close(m_db); }

    // The first column of each row of `sql`.
    QStringList column(const char *sql)
    {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail(QStringLiteral("não é um banco de dados SQLite"));
        QStringList values;
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW)
            values.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))));
        sqlite3_finalize(statement);
        if (step != SQLITE_DONE)
            fail(QStringLiteral("não pôde ser lida"));
        return values;
    }

    [[noreturn]] void fail(const QString &what)
    {
        throw ServerError(QStringLiteral("A cópia \"%1\" %2; nada foi alterado. (%3)")
                              .arg(m_path, what, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "")));
    }

private:
    QString m_path;
    sqlite3 *m_db = nullptr;
};

// Throws, naming what is wrong, unless `path` is a whole database of this product that this
// build can serve. Answers its schema version.
int checkBackup(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw ServerError(QStringLiteral("A cópia \"%1\" não existe; nada foi alterado.").arg(path));
    BackupFile backup(path);
    const QStringList problems = backup.column("PRAGMA integrity_check");
    if (problems != QStringList{QStringLiteral("ok")})
        backup.fail(QStringLiteral("está danificada: %1").arg(problems.mid(0, 3).join(QStringLiteral("; "))));
    const QStringList tables = backup.column("SELECT name FROM sqlite_master WHERE type = 'table'");
    QStringList missing;
    for (const char *table : kProductTables) {
        if (!tables.contains(QLatin1String(table)))
            missing.append(QLatin1String(table));
    }
    if (!missing.isEmpty())
        throw ServerError(QStringLiteral("A cópia \"%1\" não é um banco do Homologa: faltam as tabelas %2; nada foi alterado.")
                              .arg(path, missing.join(QStringLiteral(", "))));
    int version = 1;
    if (tables.contains(QStringLiteral("VERSAOESQUEMA"))) {
        const QStringList recorded = backup.column("SELECT MAX(NRVERSAO) FROM VERSAOESQUEMA");
        version = recorded.value(0).isEmpty() ? 1 : recorded.value(0).toInt();
    }
    if (version > currentSchemaVersion())
        throw ServerError(QStringLiteral("A cópia \"%1\" está na versão %2 do esquema, mais nova que a versão %3 que este "
                                         "servidor conhece; nada foi alterado.")
                              .arg(path)
                              .arg(version)
                              .arg(currentSchemaVersion()));
    return version;
}

}  // namespace

DatabaseFileLock::DatabaseFileLock(const DatabaseSpec &spec, Use use)
{
    if (spec.engine != DatabaseSpec::Engine::Sqlite)
        return;
    m_path = spec.path;
    const QByteArray name = QFile::encodeName(lockPath(m_path));
    // A folder that cannot be written holds no lock file: its database cannot be restored
    // there either.
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (m_fd < 0)
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        if (use == Use::Alone)
            throw ServerError(QStringLiteral("Não foi possível criar \"%1\": %2")
                                  .arg(lockPath(m_path), QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    // Made by root (a restore run by root), it stays the database owner's to lock.
    struct stat database {}, lockFile {};
    if (::geteuid() == 0 && ::stat(QFile::encodeName(m_path).constData(), &database) == 0 && ::fstat(m_fd, &lockFile) == 0
        && lockFile.st_uid != database.st_uid) {
        [[maybe_unused]] const int owned = ::fchown(m_fd, database.st_uid, database.st_gid);
    }
    if (use == Use::Alone) {
        if (!lockAs(m_fd, F_WRLCK))
            throw ServerError(QStringLiteral("O banco de dados %1 está em uso por um servidor de aplicação ou um comando do "
                                             "homologa-server; nada foi alterado. Pare o serviço (systemctl stop "
                                             "homologa-server) e repita.")
                                  .arg(m_path));
        m_first = true;
        return;
    }
    if (lockAs(m_fd, F_WRLCK)) {
        // No one else uses the file: a log beside it is no one's live log.
        m_first = true;
        setAsideForeignLog();
        recordFile();
        lockAs(m_fd, F_RDLCK);
        return;
    }
    // Another user holds it shared (then this one joins), or a restore holds it alone for the
    // moment it takes.
    for (int tries = 0; !lockAs(m_fd, F_RDLCK); ++tries) {
        if (tries == 40)
            throw ServerError(QStringLiteral("O banco de dados %1 está sendo restaurado (homologa-server restore); "
                                             "tente novamente quando a restauração terminar.")
                                  .arg(m_path));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

DatabaseFileLock::~DatabaseFileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void DatabaseFileLock::recordFile()
{
    if (!m_first || m_fd < 0)
        return;
    // No file yet: the one made next is no one's known file, and its log is applied as SQLite
    // always does.
    quint64 device = 0, inode = 0;
    const QByteArray record = fileIdentity(m_path, device, inode)
        ? QByteArray::number(device) + ' ' + QByteArray::number(inode) + '\n'
        : QByteArray();
    if (::ftruncate(m_fd, 0) == 0 && ::pwrite(m_fd, record.constData(), size_t(record.size()), 0) == record.size())
        ::fsync(m_fd);
}

void DatabaseFileLock::setAsideForeignLog()
{
    const QString log = m_path + QStringLiteral("-wal");
    if (QFileInfo(log).size() == 0)
        return;
    char text[64] = {};
    const ssize_t n = ::pread(m_fd, text, sizeof text - 1, 0);
    const QList<QByteArray> recorded = QByteArray(text, n > 0 ? n : 0).trimmed().split(' ');
    if (recorded.size() != 2)
        return;  // written before the owner was recorded: SQLite applies it as it always did
    quint64 device = 0, inode = 0;
    const bool exists = fileIdentity(m_path, device, inode);
    if (exists && recorded[0].toULongLong() == device && recorded[1].toULongLong() == inode)
        return;  // this file's own log, left by a server that was stopped short: SQLite applies it
    // A program that takes no lock (an older server, a database tool) still has the old file
    // open: its log is live, and neither applied here nor taken from it.
    if (sqliteHasItOpen(m_path))
        throw ServerError(QStringLiteral("O registro de escrita (-wal) ao lado de %1 pertence a outro arquivo e outro "
                                         "programa ainda o usa; nada foi aberto. Encerre o programa que usa o banco e "
                                         "tente novamente.")
                              .arg(m_path));
    const QString aside = freeName(log + QStringLiteral(".de-outro-arquivo-") + stamp());
    renameOrThrow(log, aside);
    QFile::remove(m_path + QStringLiteral("-shm"));
    qWarning("%s", qUtf8Printable(QStringLiteral("O registro de escrita (-wal) ao lado de %1 pertence a outro arquivo: o "
                                                 "banco foi substituído enquanto um servidor ainda o usava. Ele não foi "
                                                 "aplicado a este arquivo e ficou em %2.")
                                      .arg(m_path, aside)));
}

QString restoreSqliteDatabase(const QString &backupText, const DatabaseSpec &spec)
{
    if (spec.engine != DatabaseSpec::Engine::Sqlite)
        throw ServerError(QStringLiteral("O banco %1 é PostgreSQL: restaure-o com pg_restore.").arg(spec.describe()));
    const QString backup = QFileInfo(backupText).absoluteFilePath();
    const QString path = spec.path;
    quint64 device = 0, inode = 0, backupDevice = 0, backupInode = 0;
    if (fileIdentity(path, device, inode) && fileIdentity(backup, backupDevice, backupInode) && device == backupDevice
        && inode == backupInode)
        throw ServerError(QStringLiteral("A cópia \"%1\" é o próprio banco de dados; nada foi alterado.").arg(backup));
    checkBackup(backup);
    DatabaseFileLock lock(spec, DatabaseFileLock::Use::Alone);

    // The copy is made whole beside the file first, so that a failure leaves everything as it was.
    const QString incoming = path + QStringLiteral(".restaurando");
    QFile::remove(incoming);
    if (!QFile::copy(backup, incoming))
        throw ServerError(QStringLiteral("Não foi possível copiar \"%1\" para \"%2\"; nada foi alterado.").arg(backup, incoming));
    {
        const int fd = ::open(QFile::encodeName(incoming).constData(), O_RDWR | O_CLOEXEC);
        struct stat current {};
        const bool hadFile = ::stat(QFile::encodeName(path).constData(), &current) == 0;
        if (fd >= 0) {
            // The server's user must be able to write the file it serves, as it could the old one.
            if (hadFile) {
                [[maybe_unused]] const int owned = ::fchown(fd, current.st_uid, current.st_gid);
            }
            ::fchmod(fd, hadFile ? (current.st_mode & 07777) : 0640);
            ::fsync(fd);
            ::close(fd);
        }
    }
    QString aside;
    if (QFileInfo::exists(path)) {
        aside = freeName(path + QStringLiteral(".antes-da-restauracao-") + stamp());
        renameOrThrow(path, aside);
        // The old file's log goes with it, under the name SQLite looks for beside the new name.
        if (QFileInfo::exists(path + QStringLiteral("-wal")))
            renameOrThrow(path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    }
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    renameOrThrow(incoming, path);
    syncFolder(path);
    lock.recordFile();
    return aside;
}

}  // namespace server
