// Two homologa-server processes on one database (an SQLite file, or one PostgreSQL schema)
// receiving conflicting saves at the same instant, many times over: exactly one is
// accepted each time, the stored state is the winner's, and the loser reads the product's
// own refusal, never the text of an SQL error.

#include "serverenv.h"
#include "serverprocess.h"

#include <httplib.h>

#include <QDateTime>
#include <QJsonDocument>

#include <array>
#include <latch>
#include <thread>

namespace {

const QByteArray kToken = "s3gredo-das-corridas";

class ServerRace : public SampleServerTest {
protected:
    void SetUp() override
    {
        SampleServerTest::SetUp();
        if (!ready())
            return;
        const QString token = writePrivateFile(m_dir.filePath(QStringLiteral("token")), kToken);
        // The second grants leases for half an hour instead of the default four hours.
        ASSERT_TRUE(m_servers[0].start(database().text(), token)) << m_servers[0].error().toStdString();
        ASSERT_TRUE(m_servers[1].start(database().text(), token, {QStringLiteral("--lease-expiry"), QStringLiteral("30")}))
            << m_servers[1].error().toStdString();
    }

    // The same moment for both: each sends its call through its own server, on a
    // connection already open, as soon as both are ready.
    std::array<QJsonObject, 2> atOnce(const QString &method, const std::array<QJsonArray, 2> &arguments)
    {
        return atOnce(method, method, arguments);
    }
    std::array<QJsonObject, 2> atOnce(const QString &first, const QString &second, const std::array<QJsonArray, 2> &arguments)
    {
        const std::array<QString, 2> methods{first, second};
        std::array<QJsonObject, 2> answers;
        std::latch start(2);
        std::array<std::thread, 2> threads;
        for (int i = 0; i < 2; ++i) {
            threads[size_t(i)] = std::thread([&, i] {
                httplib::Client client("127.0.0.1", m_servers[size_t(i)].port());
                client.set_keep_alive(true);
                client.set_read_timeout(30, 0);
                const httplib::Headers headers{{"Authorization", "Bearer " + kToken.toStdString()}};
                client.Post("/VOP42000.rdmGrupSoliHom/GetProdAtual", headers, "{\"args\": []}", "application/json");
                const std::string body =
                    QJsonDocument(QJsonObject{{QStringLiteral("args"), arguments[size_t(i)]}}).toJson(QJsonDocument::Compact).toStdString();
                start.arrive_and_wait();
                const auto result = client.Post(("/VOP42000.rdmGrupSoliHom/" + methods[size_t(i)]).toStdString(), headers, body, "application/json");
                if (result)
                    answers[size_t(i)] = QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        return answers;
    }

    QTemporaryDir m_dir;
    std::array<ServerProcess, 2> m_servers;
};

// Exactly one of the two was accepted; answers the index of the winner.
int winnerOf(const std::array<QJsonObject, 2> &answers, const QString &loserMustSay)
{
    const bool first = answers[0].value(QStringLiteral("ok")).toBool();
    const bool second = answers[1].value(QStringLiteral("ok")).toBool();
    EXPECT_NE(first, second) << QJsonDocument(answers[0]).toJson().toStdString() << QJsonDocument(answers[1]).toJson().toStdString();
    const QString error = answers[first ? 1 : 0].value(QStringLiteral("error")).toString();
    EXPECT_TRUE(error.contains(loserMustSay)) << error.toStdString();
    for (const char *sqlWord : {"SQL", "constraint", "duplicate", "UNIQUE", "violates"})
        EXPECT_FALSE(error.contains(QLatin1String(sqlWord), Qt::CaseInsensitive)) << error.toStdString();
    return first ? 0 : 1;
}

TEST_F(ServerRace, OneRequestIntoTwoOpenGroupsAtOnceHasOneWinner)
{
    const std::array<QString, 2> groups{createGroup(QStringLiteral("Grupo A")), createGroup(QStringLiteral("Grupo B"))};
    const QStringList numbers{QStringLiteral("0000000101"), QStringLiteral("0000000102"), QStringLiteral("0000000105"),
                              QStringLiteral("0000000106")};
    const int rounds = 24;
    for (int round = 0; round < rounds; ++round) {
        const QString numero = numbers[round % numbers.size()];
        const auto answers = atOnce(QStringLiteral("setSoli"), {insertInto(groups[0], numero), insertInto(groups[1], numero)});
        const int winner = winnerOf(answers, QStringLiteral("já está incluída no grupo"));
        // The stored state is the winner's: the request is in its group only, once.
        const QStringList inWinner = column(ok(QStringLiteral("GetSoli"), args({groups[size_t(winner)]})), QStringLiteral("NRSOLISERV"));
        const QStringList inLoser = column(ok(QStringLiteral("GetSoli"), args({groups[size_t(1 - winner)]})), QStringLiteral("NRSOLISERV"));
        EXPECT_EQ(inWinner, QStringList{numero});
        EXPECT_TRUE(inLoser.isEmpty());
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT CDFASETRAM FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                              {kBranch, numero})
                      .toString(),
                  QStringLiteral("030"));
        // Taken out again for the next round.
        const packet::Packet requests = packetOf(ok(QStringLiteral("GetSoli"), args({groups[size_t(winner)]})));
        ok(QStringLiteral("setSoli"), args({deleteDelta(requests, 0).toJson()}));
        if (HasFailure())
            break;
    }
}

TEST_F(ServerRace, TwoChangesOfOneGroupFromTheSameReadHaveOneWinner)
{
    const QString code = createGroup(QStringLiteral("Original"));
    const int rounds = 24;
    for (int round = 0; round < rounds; ++round) {
        const packet::Packet read = group(code);
        const std::array<QString, 2> names{QStringLiteral("Primeiro %1").arg(round), QStringLiteral("Segundo %1").arg(round)};
        const auto answers = atOnce(QStringLiteral("setGrupo"),
                                    {args({modifyDelta(read, 0, {{QStringLiteral("DSGRUPHOMOL"), names[0]}}).toJson()}),
                                     args({modifyDelta(read, 0, {{QStringLiteral("DSGRUPHOMOL"), names[1]}}).toJson()})});
        const int winner = winnerOf(answers, QStringLiteral("alterado(a) por outro operador"));
        EXPECT_EQ(valueAt(group(code), 0, QStringLiteral("DSGRUPHOMOL")), names[size_t(winner)]);
        if (HasFailure())
            break;
    }
}

// A group's product changed while a request of the old product is added to it: the
// group's save holds the group until it commits, so either the request finds the group of
// another product, or the change finds the group with a request; never both accepted.
TEST_F(ServerRace, AProductChangeAndARequestAddedAtOnceHaveOneWinner)
{
    const QString code = createGroup(QStringLiteral("Grupo"));
    const QString numero = QStringLiteral("0000000101");
    const int rounds = 24;
    for (int round = 0; round < rounds; ++round) {
        const packet::Packet read = group(code);
        const auto answers = atOnce(QStringLiteral("setGrupo"), QStringLiteral("setSoli"),
                                    {args({modifyDelta(read, 0, {{QStringLiteral("CDPRODUTO"), QStringLiteral("0000000002")},
                                                                 {QStringLiteral("CDARVPROD"), QStringLiteral("P1501")}})
                                               .toJson()}),
                                     insertInto(code, numero)});
        const bool changedFirst = answers[0].value(QStringLiteral("ok")).toBool();
        const int winner = winnerOf(answers, changedFirst ? QStringLiteral("é do produto 0000000001") : QStringLiteral("já esteja associado"));
        const QStringList requests = column(ok(QStringLiteral("GetSoli"), args({code})), QStringLiteral("NRSOLISERV"));
        EXPECT_EQ(requests, winner == 1 ? QStringList{numero} : QStringList{});
        EXPECT_EQ(valueAt(group(code), 0, QStringLiteral("CDPRODUTO")), winner == 0 ? QStringLiteral("0000000002") : kProduct);
        // Back as before for the next round.
        if (winner == 1)
            ok(QStringLiteral("setSoli"), args({deleteDelta(packetOf(ok(QStringLiteral("GetSoli"), args({code}))), 0).toJson()}));
        else
            ok(QStringLiteral("setGrupo"), args({modifyDelta(group(code), 0, {{QStringLiteral("CDPRODUTO"), kProduct},
                                                                               {QStringLiteral("CDARVPROD"), QStringLiteral("P501")}})
                                                      .toJson()}));
        if (HasFailure())
            break;
    }
}

// Two advances of one group at the same instant, through two servers: one holds the lease,
// the other is refused at once, naming the holder; each server's expiry is the lease's.
TEST_F(ServerRace, TwoAdvancesOfOneGroupAtOnceHaveOneHolder)
{
    const QString code = createGroup(QStringLiteral("Grupo"));
    const int rounds = 12;
    for (int round = 0; round < rounds; ++round) {
        const auto answers = atOnce(QStringLiteral("takeGroupLease"),
                                    {args({code, QStringLiteral("001"), QStringLiteral("0001"), QStringLiteral("estacao-a")}),
                                     args({code, QStringLiteral("001"), QStringLiteral("0002"), QStringLiteral("estacao-b")})});
        const int winner = winnerOf(answers, QStringLiteral("está em tramitação pelo operador"));
        EXPECT_TRUE(answers[size_t(1 - winner)].value(QStringLiteral("error")).toString().contains(
            winner == 0 ? QStringLiteral("0001 (Ana Operadora) na estação estacao-a") : QStringLiteral("0002 (Bruno Consulta) na estação estacao-b")));
        const auto stored = [&](const char *column) {
            return QDateTime::fromString(
                db().scalar(QStringLiteral("SELECT %1 FROM TRAVAGRUPO").arg(QLatin1String(column))).toString(), Qt::ISODate);
        };
        EXPECT_EQ(stored("DTINICIO").secsTo(stored("DTEXPIRA")), winner == 0 ? 5 * 60 : 30 * 60);
        ok(QStringLiteral("releaseGroupLease"), args({code, answers[size_t(winner)].value(QStringLiteral("data")).toString()}));
        if (HasFailure())
            break;
    }
}

}  // namespace
