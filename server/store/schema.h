#pragma once

#include <QString>

namespace server {

class Database;

// Brings the database to the schema version this build writes (or to the version its spec
// names, for the tests that make older databases): a new database gets every table, an
// older one is migrated in one transaction, after a copy of an SQLite file was kept beside
// it. A database of a newer version is refused with a ServerError and left alone. Run each
// time a connection opens; the same statements on SQLite and PostgreSQL. See migrations.cpp.
void createSchema(Database &db);

// The newest schema version this build knows.
int currentSchemaVersion();
// The version of the database: 0 when it has no tables yet, 1 for the tables made before
// the version was recorded.
int storedSchemaVersion(Database &db);
// Writes a consistent copy of an SQLite database into the new file `target` while other
// connections go on using it. Throws ServerError for a PostgreSQL database or an existing
// target.
void copySqliteDatabase(Database &db, const QString &target);

// Workflow phases of a request (CDFASETRAM) and the status in its group (IDSTSOLIGRUP)
// that each phase shows.
namespace phase {
inline const QString Desenvolvimento = QStringLiteral("010");   // back with the developers
inline const QString Disponivel = QStringLiteral("020");        // finished, waiting for a group
inline const QString EmHomologacao = QStringLiteral("030");     // in a group, patch not generated
inline const QString EmGeracao = QStringLiteral("040");         // patch being generated
inline const QString PatchGerado = QStringLiteral("050");
inline const QString EmTeste = QStringLiteral("060");
inline const QString TestadaComErro = QStringLiteral("070");
inline const QString TestadaSemErro = QStringLiteral("080");
inline const QString AguardandoRegeracao = QStringLiteral("090");
inline const QString Homologada = QStringLiteral("100");
// IDSTSOLIGRUP shown for a phase.
QString groupStatus(const QString &phase);
}  // namespace phase

// Responsibles that the workflow hands requests to.
inline const QString kTestResponsible = QStringLiteral("000000000994");
inline const QString kDevelopmentResponsible = QStringLiteral("DESENV");

}  // namespace server
