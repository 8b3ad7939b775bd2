#include "methods/embedded.h"

#include "methods/dispatcher.h"
#include "store/database.h"
#include "store/databasefile.h"

#include <QStandardPaths>

#include <memory>

namespace server {

namespace {
struct Embedded {
    QString text;
    std::unique_ptr<DatabaseFileLock> inUse;  // a restore waits until the module lets go of the file
    std::unique_ptr<Database> database;
    std::unique_ptr<Dispatcher> dispatcher;
};

Embedded &embedded()
{
    // Never destroyed by the exit handlers: by then Qt Sql's own registry of connections is
    // gone, and closing a connection would crash the process on its way out. Every call's
    // work is committed when it answers, so nothing is lost; closeEmbedded() closes it
    // properly before that.
    static Embedded *const instance = new Embedded;
    return *instance;
}
}  // namespace

QString defaultEmbeddedDatabase()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/homologa/homologa.db");
}

Dispatcher &embeddedDispatcher(const QString &database)
{
    Embedded &current = embedded();
    const QString text = database.trimmed().isEmpty() ? defaultEmbeddedDatabase() : database.trimmed();
    if (!current.dispatcher || current.text != text) {
        closeEmbedded();
        const DatabaseSpec spec = DatabaseSpec::parse(text);
        current.inUse = std::make_unique<DatabaseFileLock>(spec, DatabaseFileLock::Use::Shared);
        current.database = std::make_unique<Database>(spec);
        current.dispatcher = std::make_unique<Dispatcher>(*current.database);
        current.text = text;
    }
    return *current.dispatcher;
}

void closeEmbedded()
{
    Embedded &current = embedded();
    current.dispatcher.reset();
    current.database.reset();
    current.inUse.reset();
    current.text.clear();
}

}  // namespace server
