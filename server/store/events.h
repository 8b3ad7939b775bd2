#pragma once

// The events of the road as the changes write them, for the audit trail that the board reads.

#include <QList>
#include <QPair>
#include <QString>

namespace server {

class Database;

// Events that no other table keeps are written to EVENTO, in the transaction of the change
// they record.
struct Event {
    QString kind;  // one of the kinds below
    QString operatorCode, group, product, filial, request;
    QString before, after, detail;
};

namespace eventKind {
inline const QString GroupPhase = QStringLiteral("fase do grupo");
inline const QString RequestPhase = QStringLiteral("fase da solicitação");
inline const QString Verdict = QStringLiteral("veredito");
inline const QString Decision = QStringLiteral("decisão");
inline const QString Justification = QStringLiteral("justificativa");
inline const QString Registration = QStringLiteral("registro");
inline const QString Tag = QStringLiteral("tag");
inline const QString TagRemoved = QStringLiteral("tag removida");
}  // namespace eventKind

// A group's phases with their names, "001" to "007", as the screen shows them.
const QList<QPair<QString, QString>> &groupPhases();
// The phase's name, empty for a code that is not a phase.
QString groupPhaseName(const QString &code);

void recordEvent(Database &db, const Event &event);
// The operator on whose behalf `group` is being changed: the holder of the lease of the
// advance under way on it. Every change the audit records is named by this one lookup.
QString changeOperator(Database &db, const QString &group);
// A group's phase change, by `operatorCode`, or else by changeOperator(group).
void recordGroupPhase(Database &db, const QString &group, const QString &product, const QString &from, const QString &to,
                      const QString &detail = {}, const QString &operatorCode = {});

}  // namespace server
