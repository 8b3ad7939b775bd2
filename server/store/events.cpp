#include "store/events.h"

#include "store/database.h"
#include "store/schema.h"

namespace server {

const QList<QPair<QString, QString>> &groupPhases()
{
    static const QList<QPair<QString, QString>> phases{
        {QStringLiteral("001"), QStringLiteral("Pendente")},
        {QStringLiteral("002"), QStringLiteral("SVN homologados atualizado")},
        {QStringLiteral("003"), QStringLiteral("Grupo Gerado")},
        {QStringLiteral("004"), QStringLiteral("Pré homologados atualizado")},
        {QStringLiteral("005"), QStringLiteral("Patch de teste Gerado")},
        {QStringLiteral("006"), QStringLiteral("Servidores de teste atualizados")},
        {QStringLiteral("007"), QStringLiteral("Encerrado")},
    };
    return phases;
}

QString groupPhaseName(const QString &code)
{
    for (const auto &[phase, name] : groupPhases()) {
        if (phase == code)
            return name;
    }
    return {};
}

void recordEvent(Database &db, const Event &event)
{
    db.exec(QStringLiteral("INSERT INTO EVENTO (DTEVENTO, TPEVENTO, CDOPERADOR, CDGRUPHOMOL, CDPRODUTO, CDFILIAL, NRSOLISERV, "
                           "DSANTES, DSDEPOIS, TXDETALHE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {nowText(), event.kind, event.operatorCode.left(12), event.group.left(10), event.product.left(10),
             event.filial.left(4), event.request.left(10), event.before.left(250), event.after.left(250), event.detail});
}

QString changeOperator(Database &db, const QString &group)
{
    // A group changes inside an advance, which holds the group's lease: its holder is the
    // operator who changes it.
    if (group.isEmpty())
        return {};
    return db.scalar(QStringLiteral("SELECT CDOPERADOR FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {group}).toString();
}

void recordGroupPhase(Database &db, const QString &group, const QString &product, const QString &from, const QString &to,
                      const QString &detail, const QString &operatorCode)
{
    recordEvent(db, {eventKind::GroupPhase, operatorCode.isEmpty() ? changeOperator(db, group) : operatorCode, group, product,
                     {}, {}, from, to, detail});
}

}  // namespace server
