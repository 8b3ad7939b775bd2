#pragma once

// What the server benchmarks share: a temporary home (nothing of the user's own settings or
// database is read or written), a database loaded through the import with groups of four
// requests, twelve modified and eight released files each, and the HTTP front serving it
// in this process, named by the settings the module's connection reads.

#include "front/httpfront.h"
#include "methods/dispatcher.h"
#include "store/database.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace bench {

// HOMOLOGA_BENCH_SHORT: the short run of the tests, on small data.
bool shortRun();
// Points HOME and the XDG folders at a temporary folder; call before anything reads them.
void useTemporaryHome();
// The PostgreSQL to measure on (HOMOLOGA_BENCH_PG, else HOMOLOGA_TEST_PG), or empty.
QString postgres();

struct World {
    // `database`: an SQLite path or a PostgreSQL connection text whose tables are empty;
    // empty for a temporary SQLite file. `schema`: a PostgreSQL schema made for the run and
    // dropped at the end.
    World(const QString &database, int groups, bool ownSchema = false);
    ~World();

    // Makes the module's connection reach this world's server over HTTP.
    void useOverHttp() const;
    // Makes the module's connection call the server embedded in this process, on this
    // world's database.
    void useEmbedded() const;
    QString name() const { return isPostgres ? QStringLiteral("postgres") : QStringLiteral("sqlite"); }

    QTemporaryDir dir;
    QString database;
    QString schema;
    bool isPostgres = false;
    std::unique_ptr<server::Database> db;
    std::unique_ptr<server::Dispatcher> dispatcher;
    std::unique_ptr<server::HttpFront> front;
    quint16 port = 0;
    QString tokenFile;
    QStringList groups;
    QString failure;  // why the world could not be built
};

}  // namespace bench
