#pragma once

// The database file: who uses it, and putting a backup in its place.

#include <QString>

namespace server {

struct DatabaseSpec;

// Who uses an SQLite database file, told by a lock on a file beside it ("homologa.db-lock"):
// every server and command that opens the database holds it shared for as long as it runs,
// and a restore holds it alone. The kernel drops a lock with the process that held it, even a
// killed one, so none is ever left behind. SQLite's own locks cannot tell this: a server whose
// workers have not opened the file yet holds none of them.
//
// The lock file also records the identity (device and inode) of the database file whose
// write-ahead log may lie beside it. The first user of the file, finding a log that belongs to
// another file (the database was replaced while a server still had its log open, and that
// server was then killed), sets that log aside before SQLite can apply it to the file now in
// place. Nothing to do for PostgreSQL.
class DatabaseFileLock {
public:
    enum class Use { Shared, Alone };
    // Throws ServerError when the file is used the other way (restored, or in use).
    DatabaseFileLock(const DatabaseSpec &spec, Use use);
    ~DatabaseFileLock();
    DatabaseFileLock(const DatabaseFileLock &) = delete;
    DatabaseFileLock &operator=(const DatabaseFileLock &) = delete;

    // Records the database file now at the path as the owner of its log, when this process
    // was its first user (a file created after the lock was taken).
    void recordFile();

private:
    void setAsideForeignLog();

    QString m_path;
    int m_fd = -1;
    bool m_first = false;
};

// Puts the SQLite backup `backup` in place of the database file of `spec`: the backup is
// checked first (its integrity, its schema version, the product's tables), the file in place
// and its log are set aside under one new name ("homologa.db.antes-da-restauracao-<data>"
// and its "-wal"), the stale "-shm" is removed, and the backup's copy takes the file's place,
// with its owner and mode. Refused, with nothing changed, while a server or a command uses the
// database. Answers the name the file was set aside under (empty when there was none).
QString restoreSqliteDatabase(const QString &backup, const DatabaseSpec &spec);

}  // namespace server
