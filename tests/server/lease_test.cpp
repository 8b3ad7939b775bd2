// Leases of the advances on their groups: one holder at a time, all or none, given back
// only by their token, taken over when past their time, broken only as they were shown.
// Two advances at the same instant: race_test.cpp; a group whose phase moved on meanwhile:
// tests/workflow/tramitacao_test.cpp.

#include "serverenv.h"

#include "lease.h"

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
        server::setLeaseExpiry(std::chrono::hours(4));
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
    ASSERT_EQ(shown.size(), 2);
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
