#include "tools/admin.h"

#include "board/board_access.h"
#include "methods/domain.h"
#include "store/database.h"
#include "store/schema.h"

namespace server {

void giveVerdict(Database &db, const RequestKey &key, const QString &verdict, const QString &operatorCode)
{
    QString target;
    QString description;
    if (verdict == u"sem-erro") {
        target = phase::TestadaSemErro;
        description = QStringLiteral("Testada sem erro");
    } else if (verdict == u"com-erro") {
        target = phase::TestadaComErro;
        description = QStringLiteral("Testada com erro");
    } else if (verdict == u"regerar") {
        target = phase::AguardandoRegeracao;
        description = QStringLiteral("Teste pediu a regeração do patch");
    } else {
        throw ServerError(QStringLiteral("Veredito desconhecido: \"%1\" (aceitos: sem-erro, com-erro, regerar).").arg(verdict));
    }
    db.ensureOpen();
    Transaction transaction(db, true);
    const RequestRow request = requireRequest(db, key);
    const QString group = openGroupOf(db, key);
    if (!group.isEmpty())
        lockGroup(db, group);
    if (group.isEmpty() || requireGroup(db, group).phase != u"006")
        throw ServerError(QStringLiteral("A solicitação %1/%2 não está em teste: seu grupo não está na fase 006.")
                              .arg(key.filial, key.numero));
    const QStringList underTest{phase::EmTeste, phase::TestadaComErro, phase::TestadaSemErro, phase::AguardandoRegeracao};
    if (!underTest.contains(request.phase))
        throw ServerError(QStringLiteral("A solicitação %1/%2 não foi liberada para teste (fase %3).")
                              .arg(key.filial, key.numero, request.phase));
    changePhase(db, key, target, operatorCode, QString(), QString(), description);
    transaction.commit();
}

QStringList sessionLines(Database &db)
{
    QStringList lines{QStringLiteral("SESSÃO        QUEM                    ENDEREÇO                INÍCIO               ÚLTIMO USO           TÉRMINO")};
    for (const SessionRow &session : listSessions(db)) {
        const QString who = session.operatorCode.isEmpty() ? QStringLiteral("visualizador do painel")
                                                           : QStringLiteral("operador %1").arg(session.operatorCode);
        lines.append(QStringLiteral("%1  %2  %3  %4  %5  %6")
                         .arg(session.id.leftJustified(12), who.leftJustified(22), session.address.leftJustified(22),
                              QString(session.created).replace(u'T', u' '), QString(session.lastUsed).replace(u'T', u' '),
                              QString(session.expires).replace(u'T', u' ')));
    }
    return lines;
}

}  // namespace server
