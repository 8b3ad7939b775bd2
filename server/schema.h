#pragma once

#include <QString>

namespace server {

class Database;

// Creates every table, index and fixed row that is missing (the same statements on SQLite
// and PostgreSQL). Run each time a connection opens; existing data is left alone.
void createSchema(Database &db);

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
