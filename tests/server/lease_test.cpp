// Leases of the advances on their groups: one holder at a time, all or none, given back
// only by their token, taken over when past their time, broken only as they were shown.
// Two advances at the same instant: race_test.cpp; a group whose phase moved on meanwhile:
// tests/workflow/tramitacao_test.cpp.

#include "serverenv.h"

#include "methods/lease.h"

#include <QDateTime>

#include <array>

namespace {

class ServerLease : public SampleServerTest {
protected:
    void SetUp() override
    {
        SampleServerTest::SetUp();
        if (!ready())
            return;
        groups = {createGroup(QStringLiteral("Grupo A")), createGroup(QStringLiteral("Grupo B"))};
    }
    void TearDown() override
    {
        server::setLeaseExpiry(std::chrono::minutes(5));
        SampleServerTest::TearDown();
    }
    QJsonObject take(const QString &list, const QString &operatorCode, const QString &phase = QStringLiteral("001"))
    {
        return answer(QStringLiteral("takeGroupLease"), args({list, phase, operatorCode, QStringLiteral("estacao-") + operatorCode}));
    }
    QString stored(const char *column, const QString &group)
    {
        return db().scalar(QStringLiteral("SELECT %1 FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?").arg(QLatin1String(column)), {group}).toString();
    }
    std::array<QString, 2> groups;
};

TEST_F(ServerLease, OneHolderAtATimeAllOrNoneGivenBackOnlyByItsToken)
{
    const QString token = take(groups[0], QStringLiteral("0001")).value(QStringLiteral("data")).toString();
    ASSERT_EQ(stored("CDTRAVA", groups[0]), token);
    const QString since = QDateTime::fromString(stored("DTINICIO", groups[0]), Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    const QString refusal = take(groups[0], QStringLiteral("0002")).value(QStringLiteral("error")).toString();
    EXPECT_TRUE(refusal.startsWith(QStringLiteral("O grupo %1 está em tramitação pelo operador 0001 (Ana Operadora) na estação "
                                                  "estacao-0001 desde %2").arg(groups[0], since)))
        << refusal.toStdString();
    EXPECT_TRUE(take(QStringLiteral("0000000099"), QStringLiteral("0001")).value(QStringLiteral("error")).toString().contains(
        QStringLiteral("O grupo de homologação 0000000099 não existe.")));
    // All or none: the free second group stays free.
    EXPECT_FALSE(take(groups[1] + u',' + groups[0], QStringLiteral("0002")).value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(stored("CDTRAVA", groups[1]).isEmpty());
    // Neither release nor unlock with another token touches it; unlock with the token shown does.
    ok(QStringLiteral("releaseGroupLease"), args({groups[0], QStringLiteral("outro")}));
    EXPECT_TRUE(refused(QStringLiteral("breakGroupLease"), args({groups[0], QStringLiteral("outro")})).contains(QStringLiteral("nada foi liberado")));
    const QJsonArray shown = ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].toString(), token);
    EXPECT_TRUE(refusal.startsWith(shown[1].toString()));
    ok(QStringLiteral("breakGroupLease"), args({groups[0], token}));
    EXPECT_TRUE(ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray().isEmpty());
    const QString both = take(groups[0] + u',' + groups[1], QStringLiteral("0002")).value(QStringLiteral("data")).toString();
    ok(QStringLiteral("releaseGroupLease"), args({groups[0] + u',' + groups[1], both}));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM TRAVAGRUPO")).toInt(), 0);
}

TEST_F(ServerLease, ALeaseRunsOutAfterTheServersExpiry)
{
    server::setLeaseExpiry(std::chrono::minutes(90));
    const QString old = take(groups[0], QStringLiteral("0001")).value(QStringLiteral("data")).toString();
    const auto time = [&](const char *column) { return QDateTime::fromString(stored(column, groups[0]), Qt::ISODate); };
    EXPECT_EQ(time("DTINICIO").secsTo(time("DTEXPIRA")), 90 * 60);
    db().exec(QStringLiteral("UPDATE TRAVAGRUPO SET DTEXPIRA = ?"), {QDateTime::currentDateTime().addSecs(-1).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))});
    EXPECT_TRUE(ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray().isEmpty());
    const QString next = take(groups[0], QStringLiteral("0002")).value(QStringLiteral("data")).toString();
    EXPECT_FALSE(next.isEmpty());
    // The dead holder's late release leaves the new lease alone.
    ok(QStringLiteral("releaseGroupLease"), args({groups[0], old}));
    EXPECT_EQ(stored("CDTRAVA", groups[0]), next);
}

}  // namespace

// Operations: the plan and steps kept, a step done once (its writes in its transaction),
// leases of all groups taken together, and a run that lost them fenced out of every write.
class ServerOperation : public ServerLease {
protected:
    QString open(const QString &list, const QString &operatorCode = QStringLiteral("0001"))
    {
        const QJsonObject answered = answer(QStringLiteral("abreOperacao"),
                                            args({list, QStringLiteral("001"), operatorCode, QStringLiteral("estacao (processo 1)"),
                                                  QStringLiteral("a tramitação de teste"), QStringLiteral("{\"x\":1}"),
                                                  QStringLiteral("Primeiro\nSegundo"), QString()}));
        return answered.value(QStringLiteral("data")).toString();
    }
    // Step `step` of `token` with one write: the sync of the first group.
    QJsonObject step(const QString &token, int step)
    {
        const QString writes = QStringLiteral("[{\"m\":\"SyncFaseTram\",\"a\":[\"%1\"]}]").arg(groups[0]);
        return answer(QStringLiteral("concluiPasso"), args({token, QString::number(step), QStringLiteral("feito"), writes}));
    }
    void expire() { db().exec(QStringLiteral("UPDATE TRAVAGRUPO SET DTEXPIRA = '2000-01-01T00:00:00'")); }
};

TEST_F(ServerOperation, StepsOnceLeasesTogetherAndALostRunIsFencedOut)
{
    const QString first = open(groups[0] + u',' + groups[1]);
    ASSERT_TRUE(first.endsWith(QStringLiteral("#1"))) << first.toStdString();
    EXPECT_EQ(stored("CDTRAVA", groups[0]), first);
    EXPECT_EQ(stored("CDTRAVA", groups[1]), first);
    // One open operation per group: a second is refused, naming the first and its step.
    EXPECT_TRUE(answer(QStringLiteral("abreOperacao"), args({groups[1], QStringLiteral("001"), QStringLiteral("0002"),
                                                              QStringLiteral("outra"), QStringLiteral("outra"), QString(),
                                                              QStringLiteral("Um"), QString()}))
                    .value(QStringLiteral("error"))
                    .toString()
                    .contains(QStringLiteral("parada no passo 1 de 2 (Primeiro)")));
    // A step is done once: asked again, it answers its stored result and runs nothing.
    EXPECT_EQ(step(first, 1).value(QStringLiteral("data")).toArray().at(0).toString(), "N");
    EXPECT_EQ(step(first, 1).value(QStringLiteral("data")).toArray().at(0).toString(), "S");
    EXPECT_TRUE(refused(QStringLiteral("abandonaOperacao"), args({first})).contains(QStringLiteral("já tem passos feitos")));
    // A run that stops gives the leases back; the operation stays open for the next run.
    ok(QStringLiteral("liberaOperacao"), args({first}));
    EXPECT_TRUE(stored("CDTRAVA", groups[0]).isEmpty());
    const QJsonArray open = ok(QStringLiteral("getOperacaoAberta"), args({groups[1]})).toArray();
    ASSERT_EQ(open.size(), 13);
    EXPECT_EQ(open.at(10).toArray().at(0).toArray().at(1).toString(), "F");
    // The next run takes a new token; the old one is refused at any write it carries.
    const QString second = ok(QStringLiteral("retomaOperacao"), args({open.at(0).toString(), QStringLiteral("0002"),
                                                                    QStringLiteral("outra"), QString()}))
                               .toString();
    EXPECT_TRUE(second.endsWith(QStringLiteral("#2")));
    EXPECT_TRUE(step(first, 2).value(QStringLiteral("error")).toString().contains(QStringLiteral("perdeu a trava")));
    const QJsonObject fenced = m_dispatcher->call(kMain, QStringLiteral("SyncFaseTram"), args({groups[0]}), first);
    EXPECT_TRUE(fenced.value(QStringLiteral("error")).toString().contains(QStringLiteral("perdeu a trava")));
    EXPECT_TRUE(m_dispatcher->call(kMain, QStringLiteral("SyncFaseTram"), args({groups[0]}), second).value(QStringLiteral("ok")).toBool());
    // A live run is not taken over; a run declared gone (its process dead on its host) or
    // past its time is.
    EXPECT_TRUE(refused(QStringLiteral("retomaOperacao"), args({open.at(0).toString(), QStringLiteral("0001"),
                                                               QStringLiteral("terceira"), QString()}))
                    .contains(QStringLiteral("está em tramitação")));
    const QString third = ok(QStringLiteral("retomaOperacao"), args({open.at(0).toString(), QStringLiteral("0001"),
                                                                    QStringLiteral("terceira"), second}))
                              .toString();
    expire();
    const QString fourth = ok(QStringLiteral("retomaOperacao"), args({open.at(0).toString(), QStringLiteral("0001"),
                                                                     QStringLiteral("quarta"), QString()}))
                               .toString();
    EXPECT_TRUE(step(third, 2).value(QStringLiteral("error")).toString().contains(QStringLiteral("perdeu a trava")));
    // The last step concludes it: nothing open, nothing more written with its token.
    EXPECT_TRUE(step(fourth, 2).value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(ok(QStringLiteral("getOperacaoAberta"), args({groups[0]})).toArray().isEmpty());
    EXPECT_TRUE(m_dispatcher->call(kMain, QStringLiteral("SyncFaseTram"), args({groups[0]}), fourth)
                    .value(QStringLiteral("error")).toString().contains(QStringLiteral("já foi concluída")));
}
