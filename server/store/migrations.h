#pragma once

// The steps that take a database from one schema version to the next (migrations.cpp).

namespace server {

class Database;

struct MigrationStep {
    int version;          // the version the database has after this step
    const char *summary;  // recorded with the version, shown in the log of a migration
    void (*apply)(Database &db);
};

// Every step, oldest first, numbered 1, 2, 3... without gaps.
const MigrationStep *migrationSteps(int &count);

// Step 1: the tables of the databases made before the version was recorded (schema.cpp).
void createVersion1(Database &db);
// Steps 3, 4, 6 and 7: the tables that stand apart from the others, each created when it is
// missing: the audit's events (EVENTO), the leases of groups (TRAVAGRUPO), the operations
// (OPERACAO, OPERACAOGRUPO, OPERACAOPASSO) and the board's sessions (SESSAOPAINEL).
void createEventTable(Database &db);
void createLeaseTable(Database &db);
void createOperationTables(Database &db);
void createSessionTable(Database &db);

}  // namespace server
