// The two saves: codes of new groups, the rules of a group's and a request's changes, one
// transaction per delta, and two operators who never silently overwrite each other (the
// second operator works through a connection of its own).

#include "serverenv.h"

#include "methods/domain.h"
#include "tools/admin.h"
#include "tools/import.h"

namespace {

class ServerSaves : public SampleServerTest {
protected:
    void SetUp() override
    {
        SampleServerTest::SetUp();
        if (!ready())
            return;
        m_otherDb = database().connect();
        m_other = std::make_unique<server::Dispatcher>(*m_otherDb);
    }
    void TearDown() override
    {
        m_other.reset();
        m_otherDb.reset();
        SampleServerTest::TearDown();
    }
    // The second operator's call.
    QJsonObject second(const QString &method, const QJsonArray &arguments) { return answer(*m_other, method, arguments); }
    int groupCount() { return db().scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt(); }

    std::unique_ptr<server::Database> m_otherDb;
    std::unique_ptr<server::Dispatcher> m_other;
};

TEST_F(ServerSaves, NewGroupsGetTheNextFreeTenDigitCode)
{
    packet::Delta two = insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Primeiro")},
                                                             {QStringLiteral("CDARVPROD"), QStringLiteral("P501")}});
    two.changes += insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Segundo")},
                                                        {QStringLiteral("CDPRODUTO"), kProduct}})
                       .changes;
    EXPECT_EQ(ok(QStringLiteral("setGrupo"), args({two.toJson()})).toArray(),
              (QJsonArray{QStringLiteral("0000000001"), QStringLiteral("0000000002")}));
    const packet::Packet first = group(QStringLiteral("0000000001"));
    EXPECT_EQ(valueAt(first, 0, QStringLiteral("IDSTGRUPHOM")), QStringLiteral("001"));
    EXPECT_EQ(valueAt(first, 0, QStringLiteral("CDPRODUTO")), kProduct);
    EXPECT_FALSE(valueAt(first, 0, QStringLiteral("DTCRIAGRHOM")).isEmpty());

    server::importDocument(db(), R"({"groups": [{"CDGRUPHOMOL": "0000000041", "DSGRUPHOMOL": "Importado", "CDPRODUTO": "0000000001"}]})");
    EXPECT_EQ(createGroup(QStringLiteral("Depois do importado")), QStringLiteral("0000000042"));
    // A second operator's insert, on its own connection, gets the next one.
    const QJsonObject other = second(QStringLiteral("setGrupo"),
                                     args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Outro")},
                                                                                {QStringLiteral("CDPRODUTO"), kProduct}})
                                               .toJson()}));
    EXPECT_EQ(other.value(QStringLiteral("data")).toArray(), QJsonArray{QStringLiteral("0000000043")});

    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("CDPRODUTO"), kProduct}}).toJson()}))
                    .contains(QStringLiteral("Nome do grupo deve ser informado")));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"),
                        args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("X")},
                                                                   {QStringLiteral("CDPRODUTO"), kProduct},
                                                                   {QStringLiteral("IDSTGRUPHOM"), QStringLiteral("004")}})
                                  .toJson()}))
                    .contains(QStringLiteral("001")));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"),
                        args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("X")},
                                                                   {QStringLiteral("CDPRODUTO"), kProduct},
                                                                   {QStringLiteral("CDARVPROD"), QStringLiteral("P601")}})
                                  .toJson()}))
                    .contains(QStringLiteral("P601")));
    // A tree code alone names the product only when exactly one product has it.
    server::importDocument(db(), R"({"products": [{"CDPRODUTO": "0000000004", "CDARVPROD": "p501", "NMPRODUTO": "Cópia"}]})");
    const int groupsBefore = groupCount();
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"),
                        args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("X")},
                                                                   {QStringLiteral("CDARVPROD"), QStringLiteral("P501")}})
                                  .toJson()}))
                    .contains(QStringLiteral("2 produtos têm a árvore P501")));
    EXPECT_EQ(groupCount(), groupsBefore);
}

TEST_F(ServerSaves, AStaleGroupChangeIsRefusedAndNothingIsLost)
{
    const QString g = createGroup(QStringLiteral("Original"));
    const packet::Packet seenByBoth = group(g);
    // The first operator renames it.
    ok(QStringLiteral("setGrupo"), args({modifyDelta(seenByBoth, 0, {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Do primeiro")}}).toJson()}));
    // The second, from what it read before, sets a release: refused, naming the group.
    const QJsonObject stale =
        second(QStringLiteral("setGrupo"), args({modifyDelta(seenByBoth, 0, {{QStringLiteral("CDRELEASEGHOM"), QStringLiteral("501023")}}).toJson()}));
    ASSERT_FALSE(stale.value(QStringLiteral("ok")).toBool());
    const QString error = stale.value(QStringLiteral("error")).toString();
    EXPECT_TRUE(error.contains(g)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("outro operador"))) << error.toStdString();
    // ... and so is its delete.
    EXPECT_FALSE(second(QStringLiteral("setGrupo"), args({deleteDelta(seenByBoth, 0).toJson()})).value(QStringLiteral("ok")).toBool());
    const packet::Packet now = group(g);
    EXPECT_EQ(valueAt(now, 0, QStringLiteral("DSGRUPHOMOL")), QStringLiteral("Do primeiro"));
    EXPECT_EQ(valueAt(now, 0, QStringLiteral("CDRELEASEGHOM")), QString());
    // Reading again, the second operator's change goes through; marks alone are not saved.
    EXPECT_TRUE(second(QStringLiteral("setGrupo"), args({modifyDelta(now, 0, {{QStringLiteral("CDRELEASEGHOM"), QStringLiteral("501023")}}).toJson()}))
                    .value(QStringLiteral("ok"))
                    .toBool());
    ok(QStringLiteral("setGrupo"), args({modifyDelta(now, 0, {{QStringLiteral("IDMARCADO"), QStringLiteral("S")}}).toJson()}));
    EXPECT_EQ(valueAt(group(g), 0, QStringLiteral("CDRELEASEGHOM")), QStringLiteral("501023"));
    EXPECT_EQ(valueAt(group(g), 0, QStringLiteral("IDMARCADO")), QStringLiteral("N"));
}

TEST_F(ServerSaves, GroupChangesFollowThePhaseRulesInOneTransaction)
{
    const QString g = createGroup(QStringLiteral("Regras"));
    addRequests(g, {QStringLiteral("0000000101")});
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({modifyDelta(group(g), 0, {{QStringLiteral("IDSTGRUPHOM"), QStringLiteral("003")}}).toJson()}))
                    .contains(QStringLiteral("fase 001 para a fase 003")));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({modifyDelta(group(g), 0, {{QStringLiteral("CDPRODUTO"), QStringLiteral("0000000002")},
                                                                                    {QStringLiteral("CDARVPROD"), QStringLiteral("P1501")}})
                                                                .toJson()}))
                    .contains(QStringLiteral("alterar o produto")));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({modifyDelta(group(g), 0, {{QStringLiteral("CDGRUPHOMOL"), QStringLiteral("0000000099")}}).toJson()}))
                    .contains(QStringLiteral("CDGRUPHOMOL")));
    // A delta whose second change is refused leaves the first one unwritten.
    packet::Delta mixed = insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Novo")},
                                                               {QStringLiteral("CDPRODUTO"), kProduct}});
    mixed.changes += modifyDelta(group(g), 0, {{QStringLiteral("IDSTGRUPHOM"), QStringLiteral("007")}}).changes;
    const int before = groupCount();
    refused(QStringLiteral("setGrupo"), args({mixed.toJson()}));
    EXPECT_EQ(groupCount(), before);

    for (int phase = 2; phase <= 6; ++phase)
        advance(g);
    EXPECT_EQ(valueAt(group(g), 0, QStringLiteral("IDSTGRUPHOM")), QStringLiteral("006"));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({modifyDelta(group(g), 0, {{QStringLiteral("IDSTGRUPHOM"), QStringLiteral("007")}}).toJson()}))
                    .contains(QStringLiteral("encerramento")));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({deleteDelta(group(g), 0).toJson()})).contains(QStringLiteral("006")));
    ok(QStringLiteral("setGrupo"), args({modifyDelta(group(g), 0, {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Renomeado")}}).toJson()}));

    // Deleting a pending group gives its requests back.
    const QString pending = createGroup(QStringLiteral("Pendente"));
    addRequests(pending, {QStringLiteral("0000000105")});
    ok(QStringLiteral("setGrupo"), args({deleteDelta(group(pending), 0).toJson()}));
    EXPECT_TRUE(group(pending).rows.isEmpty());
    EXPECT_TRUE(column(ok(QStringLiteral("getSoliDisp"), args({kProduct})), QStringLiteral("NRSOLISERV")).contains(QStringLiteral("0000000105")));
}

TEST_F(ServerSaves, RequestsOfAGroupAndTheirDecisions)
{
    const QString g = createGroup(QStringLiteral("Decisões"));
    addRequests(g, {QStringLiteral("0000000101"), QStringLiteral("0000000102")});
    const QString other = createGroup(QStringLiteral("Outro"));
    const QString error = refused(QStringLiteral("setSoli"),
                                  args({insertDelta(server::ds::cdsSoli(), {{QStringLiteral("CDGRUPHOMOL"), other},
                                                                            {QStringLiteral("CDFILIAL"), kBranch},
                                                                            {QStringLiteral("NRSOLISERV"), QStringLiteral("0000000101")}})
                                            .toJson()}));
    EXPECT_TRUE(error.contains(QStringLiteral("Solicitação já está incluída no grupo \"%1 - Decisões\"").arg(g))) << error.toStdString();
    EXPECT_TRUE(refused(QStringLiteral("setSoli"),
                        args({insertDelta(server::ds::cdsSoli(), {{QStringLiteral("CDGRUPHOMOL"), other},
                                                                  {QStringLiteral("CDFILIAL"), kBranch},
                                                                  {QStringLiteral("NRSOLISERV"), QStringLiteral("0000000201")}})
                                  .toJson()}))
                    .contains(QStringLiteral("produto")));
    // Out of a pending group and back to the requests available.
    packet::Packet requests = packetOf(ok(QStringLiteral("GetSoli"), args({g})));
    ok(QStringLiteral("setSoli"), args({deleteDelta(requests, rowWhere(requests, QStringLiteral("NRSOLISERV"), QStringLiteral("0000000102"))).toJson()}));
    EXPECT_EQ(column(ok(QStringLiteral("GetSoli"), args({g})), QStringLiteral("NRSOLISERV")), QStringList{QStringLiteral("0000000101")});
    // Decisions only at "006".
    requests = packetOf(ok(QStringLiteral("GetSoli"), args({g})));
    EXPECT_TRUE(refused(QStringLiteral("setSoli"), args({modifyDelta(requests, 0, {{QStringLiteral("IDHOMOLSOL"), QStringLiteral("S")}}).toJson()}))
                    .contains(QStringLiteral("006")));
    ok(QStringLiteral("TransfPatchFaseTram"), args({QStringLiteral("00010000000101")}), kPatch);
    ok(QStringLiteral("TramitaSoliGeradas"), args({QStringLiteral("00010000000101"), QStringLiteral("0001")}), kPatch);
    for (int phase = 2; phase <= 6; ++phase)
        advance(g);
    ok(QStringLiteral("SyncFaseTram"), args({g}));
    requests = packetOf(ok(QStringLiteral("GetSoli"), args({g})));
    EXPECT_TRUE(refused(QStringLiteral("setSoli"), args({modifyDelta(requests, 0, {{QStringLiteral("IDHOMOLSOL"), QStringLiteral("S")},
                                                                                  {QStringLiteral("IDRETSOLERROPRO"), QStringLiteral("S")}})
                                                            .toJson()}))
                    .contains(QStringLiteral("só uma")));
    EXPECT_TRUE(refused(QStringLiteral("setSoli"), args({modifyDelta(requests, 0, {{QStringLiteral("DSREFESOLI"), QStringLiteral("Outra")}}).toJson()}))
                    .contains(QStringLiteral("DSREFESOLI")));
    EXPECT_TRUE(refused(QStringLiteral("setSoli"), args({deleteDelta(requests, 0).toJson()})).contains(QStringLiteral("001")));

    // Two operators on the same request: the stale one is refused.
    ok(QStringLiteral("setSoli"), args({modifyDelta(requests, 0, {{QStringLiteral("IDHOMOLSOL"), QStringLiteral("S")}}).toJson()}));
    const QJsonObject stale = second(QStringLiteral("setSoli"),
                                     args({modifyDelta(requests, 0, {{QStringLiteral("IDENCSOLPATCREG"), QStringLiteral("S")}}).toJson()}));
    ASSERT_FALSE(stale.value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(stale.value(QStringLiteral("error")).toString().contains(QStringLiteral("0000000101")));
    // A verdict given meanwhile also makes an earlier read stale.
    requests = packetOf(ok(QStringLiteral("GetSoli"), args({g})));
    server::giveVerdict(*m_otherDb, {kBranch, QStringLiteral("0000000101")}, QStringLiteral("sem-erro"), QStringLiteral("T"));
    EXPECT_TRUE(refused(QStringLiteral("setSoli"), args({modifyDelta(requests, 0, {{QStringLiteral("IDHOMOLSOL"), QStringLiteral("N")}}).toJson()}))
                    .contains(QStringLiteral("IDSTSOLIGRUP")));
    requests = packetOf(ok(QStringLiteral("GetSoli"), args({g})));
    EXPECT_EQ(valueAt(requests, 0, QStringLiteral("IDHOMOLSOL")), QStringLiteral("S"));
    EXPECT_EQ(valueAt(requests, 0, QStringLiteral("IDENCSOLPATCREG")), QStringLiteral("N"));
    EXPECT_EQ(valueAt(requests, 0, QStringLiteral("IDSTSOLIGRUP")), QStringLiteral("005"));
    EXPECT_THROW(server::giveVerdict(db(), {kBranch, QStringLiteral("0000000105")}, QStringLiteral("sem-erro"), QStringLiteral("T")),
                 server::ServerError);
}

}  // namespace
