#pragma once

// The server embedded in the module's process: one dispatcher on one database, opened on
// first use and created with its schema when it does not exist.

#include <QString>

namespace server {

class Dispatcher;

// The embedded database when no other is configured: homologa.db in the user's data
// folder (~/.local/share/homologa).
QString defaultEmbeddedDatabase();

// The dispatcher on `database` (an SQLite file or a PostgreSQL connection text; empty for
// the default). Asking for another database than the one in use replaces it.
Dispatcher &embeddedDispatcher(const QString &database);

// Closes the embedded database; the next call opens it again.
void closeEmbedded();

}  // namespace server
