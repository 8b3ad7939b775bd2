// Leases of the advances on their groups: one holder at a time, all or none, given back
// only by their token, taken over when past their time, broken only as they were shown, and
// exactly one winner when two connections ask at the same instant.

#include "serverenv.h"

#include "lease.h"

#include <QDateTime>

#include <array>
#include <latch>
#include <thread>

namespace {

class ServerLease : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        importSample();
        groups = {createGroup(QStringLiteral("Grupo A")), createGroup(QStringLiteral("Grupo B"))};
    }
    void TearDown() override
    {
        server::setLeaseExpiry(std::chrono::hours(4));
        ServerTest::TearDown();
    }
    QJsonObject take(const QString &groupList, const QString &operatorCode, const QString &phase = QStringLiteral("001"))
    {
        return answer(QStringLiteral("takeGroupLease"), args({groupList, phase, operatorCode, QStringLiteral("estacao-%1").arg(operatorCode)}));
    }
    QString holderToken(const QString &group)
    {
        return db().scalar(QStringLiteral("SELECT CDTRAVA FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {group}).toString();
    }
    std::array<QString, 2> groups;
};

TEST_F(ServerLease, OneHolderAtATimeAllOrNoneGivenBackByItsToken)
{
    const QJsonObject first = take(groups[0], QStringLiteral("0001"));
    ASSERT_TRUE(first.value(QStringLiteral("ok")).toBool()) << first.value(QStringLiteral("error")).toString().toStdString();
    const QString token = first.value(QStringLiteral("data")).toString();
    EXPECT_EQ(holderToken(groups[0]), token);

    // Refused while held, naming the holder (code and name), the host and since when.
    const QString since = QDateTime::fromString(
                              db().scalar(QStringLiteral("SELECT DTINICIO FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {groups[0]}).toString(),
                              QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                              .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    const QString refusal = take(groups[0], QStringLiteral("0002")).value(QStringLiteral("error")).toString();
    EXPECT_TRUE(refusal.startsWith(QStringLiteral("O grupo %1 está em tramitação pelo operador 0001 (Ana Operadora) na estação "
                                                  "estacao-0001 desde %2").arg(groups[0], since)))
        << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(QStringLiteral("homologa unlock %1").arg(groups[0])));
    // All or none: the second group was free, and stays free when the first is refused.
    EXPECT_FALSE(take(groups[1] + u',' + groups[0], QStringLiteral("0002")).value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(holderToken(groups[1]).isEmpty());

    // Another token gives nothing back; the holder's does.
    ok(QStringLiteral("releaseGroupLease"), args({groups[0], QStringLiteral("outro")}));
    EXPECT_EQ(holderToken(groups[0]), token);
    ok(QStringLiteral("releaseGroupLease"), args({groups[0], token}));
    EXPECT_TRUE(holderToken(groups[0]).isEmpty());
    const QJsonObject both = take(groups[0] + u',' + groups[1], QStringLiteral("0002"));
    EXPECT_TRUE(both.value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(holderToken(groups[1]), both.value(QStringLiteral("data")).toString());
}

TEST_F(ServerLease, AGroupNotAtThePhaseReadOrUnknownIsRefusedAndLeftFree)
{
    const struct {
        QString group, phase, says;
    } cases[] = {
        // Another advance carried the group on after this one read it.
        {groups[0], QStringLiteral("002"), QStringLiteral("está na fase 001, e não na fase 002")},
        {QStringLiteral("0000000099"), QStringLiteral("001"), QStringLiteral("O grupo de homologação 0000000099 não existe.")},
    };
    for (const auto &row : cases) {
        const QString error = take(row.group, QStringLiteral("0001"), row.phase).value(QStringLiteral("error")).toString();
        EXPECT_TRUE(error.contains(row.says)) << error.toStdString();
        EXPECT_TRUE(holderToken(row.group).isEmpty()) << row.group.toStdString();
    }
    // Without a phase (patch generation) any phase goes.
    EXPECT_TRUE(take(groups[0], QStringLiteral("0001"), QString()).value(QStringLiteral("ok")).toBool());
}

TEST_F(ServerLease, ALeaseRunsOutAfterTheServersExpiry)
{
    server::setLeaseExpiry(std::chrono::minutes(90));
    ASSERT_TRUE(take(groups[0], QStringLiteral("0001")).value(QStringLiteral("ok")).toBool());
    const auto stored = [&](const char *column) {
        return QDateTime::fromString(db().scalar(QStringLiteral("SELECT %1 FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?")
                                                     .arg(QLatin1String(column)),
                                                 {groups[0]})
                                         .toString(),
                                     QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    };
    EXPECT_EQ(stored("DTINICIO").secsTo(stored("DTEXPIRA")), 90 * 60);
    EXPECT_EQ(ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray().size(), 2);
    // Its time passes: nobody holds it any more, and the next advance takes it over.
    const QString old = holderToken(groups[0]);
    db().exec(QStringLiteral("UPDATE TRAVAGRUPO SET DTEXPIRA = ?"),
              {QDateTime::currentDateTime().addSecs(-1).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))});
    EXPECT_TRUE(ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray().isEmpty());
    const QJsonObject next = take(groups[0], QStringLiteral("0002"));
    ASSERT_TRUE(next.value(QStringLiteral("ok")).toBool()) << next.value(QStringLiteral("error")).toString().toStdString();
    EXPECT_NE(holderToken(groups[0]), old);
    // The dead holder's late release leaves the new lease alone.
    ok(QStringLiteral("releaseGroupLease"), args({groups[0], old}));
    EXPECT_EQ(holderToken(groups[0]), next.value(QStringLiteral("data")).toString());
}

TEST_F(ServerLease, UnlockBreaksOnlyTheLeaseItWasShown)
{
    EXPECT_TRUE(ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray().isEmpty());
    ASSERT_TRUE(take(groups[0], QStringLiteral("0001")).value(QStringLiteral("ok")).toBool());
    const QJsonArray shown = ok(QStringLiteral("getGroupLease"), args({groups[0]})).toArray();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[1].toString().contains(QStringLiteral("operador 0001 (Ana Operadora)")));
    EXPECT_TRUE(refused(QStringLiteral("breakGroupLease"), args({groups[0], QStringLiteral("outra")})).contains(
        QStringLiteral("nada foi liberado")));
    EXPECT_FALSE(holderToken(groups[0]).isEmpty());
    ok(QStringLiteral("breakGroupLease"), args({groups[0], shown[0].toString()}));
    EXPECT_TRUE(holderToken(groups[0]).isEmpty());
    EXPECT_TRUE(take(groups[0], QStringLiteral("0002")).value(QStringLiteral("ok")).toBool());
}

TEST_F(ServerLease, PatchGenerationFindsTheOpenGroupsOfItsRequests)
{
    addRequests(groups[0], {QStringLiteral("0000000101")});
    addRequests(groups[1], {QStringLiteral("0000000105")});
    const QString list = QStringLiteral("00010000000101\r\n00010000000105\r\n00010000000106\r\n");
    EXPECT_EQ(ok(QStringLiteral("groupsOfRequests"), args({list})).toString(), groups[0] + QStringLiteral("\r\n") + groups[1]);
}

// A database made before leases existed gets their table when it is opened.
TEST_F(ServerLease, AnOlderDatabaseGetsTheTable)
{
    db().exec(QStringLiteral("DROP TABLE TRAVAGRUPO"));
    auto other = database().connect();
    server::Dispatcher dispatcher(*other);
    EXPECT_TRUE(answer(dispatcher, QStringLiteral("takeGroupLease"), args({groups[0], QString(), QStringLiteral("0001"), QString()}))
                    .value(QStringLiteral("ok"))
                    .toBool());
}

// Two advances of one group at the same instant, each through its own connection to the
// database (two servers, or two workers of one): exactly one holds the lease.
TEST_F(ServerLease, TwoConnectionsAskingAtOnceHaveOneHolder)
{
    const QString text = database().text();
    for (int round = 0; round < 12; ++round) {
        std::array<QJsonObject, 2> answers;
        std::latch start(2);
        std::array<std::thread, 2> threads;
        for (int i = 0; i < 2; ++i) {
            threads[size_t(i)] = std::thread([&, i] {
                server::Database connection(server::DatabaseSpec::parse(text));
                server::Dispatcher dispatcher(connection);
                dispatcher.call(kMain, QStringLiteral("GetProdAtual"), QJsonArray());  // opened before the start
                start.arrive_and_wait();
                answers[size_t(i)] = dispatcher.call(kMain, QStringLiteral("takeGroupLease"),
                                                     args({groups[0], QStringLiteral("001"), QStringLiteral("000%1").arg(i + 1),
                                                           QStringLiteral("estacao-%1").arg(i)}));
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        const bool first = answers[0].value(QStringLiteral("ok")).toBool();
        ASSERT_NE(first, answers[1].value(QStringLiteral("ok")).toBool()) << "round " << round;
        const QString error = answers[first ? 1 : 0].value(QStringLiteral("error")).toString();
        EXPECT_TRUE(error.contains(QStringLiteral("em tramitação pelo operador 000%1").arg(first ? 1 : 2))) << error.toStdString();
        const QString token = answers[first ? 0 : 1].value(QStringLiteral("data")).toString();
        EXPECT_EQ(holderToken(groups[0]), token);
        ok(QStringLiteral("releaseGroupLease"), args({groups[0], token}));
    }
}

}  // namespace
