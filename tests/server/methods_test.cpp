// The reads and checks of both data modules on imported data, the product registry, and
// the refusal of calls that do not match a method.

#include "serverenv.h"

namespace {

using ServerMethods = SampleServerTest;

TEST_F(ServerMethods, PacketsCarryExactlyTheFieldsOfTheCallersDatasets)
{
    const QString g = createGroup(QStringLiteral("Campos"));
    addRequests(g, {QStringLiteral("0000000101")});
    const QJsonArray initial = ok(QStringLiteral("GetInitialData"), args({QStringLiteral("0002")})).toArray();
    ASSERT_EQ(initial.size(), 4);
    EXPECT_EQ(initial[3].toString(), QStringLiteral("N"));  // operator without the right to edit groups
    struct Expected {
        QJsonValue packet;
        const server::DatasetDef &def;
    };
    const QJsonValue soli = initial[1];
    const Expected all[] = {
        {initial[0], server::ds::cdsGrupo()},
        {initial[1], server::ds::cdsSoli()},
        {initial[2], server::ds::cdsArq()},
        {ok(QStringLiteral("GetArquivos"), args({soli, QStringLiteral("N")})), server::ds::cdsArqLib()},
        {ok(QStringLiteral("GetArquivos"), args({soli, QStringLiteral("S")})), server::ds::cdssolisemgerar()},
        {ok(QStringLiteral("getArqSoli"), args({g})), server::ds::cdsArqSoli()},
        {ok(QStringLiteral("getVersArqFonteHom"), args({g})), server::ds::cdsVersArqFonteHom()},
        {ok(QStringLiteral("Vd_ReleaseArq"), args({g})), server::ds::cdsVd_ReleaseArq()},
        {ok(QStringLiteral("getVdJustificativa"), args({kBranch, g, QStringLiteral("0000000101")})), server::ds::cdsVdJust()},
        {ok(QStringLiteral("getArquivos"), args({QStringLiteral("00010000000101")}), kPatch), server::ds::cdsArquivos()},
        {ok(QStringLiteral("getDtUltTram"), args({QStringLiteral("00010000000101")}), kPatch), server::ds::cdsDtUltTram()},
    };
    for (const Expected &expected : all) {
        const packet::Packet packet = packetOf(expected.packet);
        EXPECT_EQ(packet.fields, expected.def.fields) << expected.def.name.toStdString();
        for (const packet::Row &row : packet.rows)
            EXPECT_EQ(row.size(), expected.def.fields.size()) << expected.def.name.toStdString();
    }
    const packet::Packet groups = packetOf(initial[0]);
    EXPECT_EQ(valueAt(groups, 0, QStringLiteral("IDMARCADO")), QStringLiteral("N"));
    EXPECT_EQ(valueAt(groups, 0, QStringLiteral("NMPRODUTO")), QStringLiteral("Retaguarda"));
    EXPECT_EQ(groups.rows[0][groups.fieldIndex(QStringLiteral("DTCRIAGRHOM"))].typeId(), QMetaType::QDateTime);
}

TEST_F(ServerMethods, ReleasedFilesByKindAndRequestsWithoutFiles)
{
    const QString g = createGroup(QStringLiteral("Arquivos"));
    addRequests(g, {QStringLiteral("0000000101"), QStringLiteral("0000000103")});
    packet::Packet soli = packetOf(ok(QStringLiteral("GetSoli"), args({g})));
    // A request that releases nothing is what "S" answers.
    soli.rows.append(soli.rows[0]);
    soli.rows.last()[soli.fieldIndex(QStringLiteral("NRSOLISERV"))] = QStringLiteral("0000000104");
    EXPECT_EQ(column(ok(QStringLiteral("GetArquivos"), args({soli.toJson(), QStringLiteral("S")})), QStringLiteral("NRSOLISERV")),
              QStringList{QStringLiteral("0000000104")});
    const packet::Packet released = packetOf(ok(QStringLiteral("GetArquivos"), args({soli.toJson(), QStringLiteral("N")})));
    EXPECT_EQ(column(released, QStringLiteral("NRSOLISERV")),
              (QStringList{QStringLiteral("0000000101"), QStringLiteral("0000000101"), QStringLiteral("0000000103")}));
    EXPECT_EQ(column(released, QStringLiteral("CDPATCHVERPR")).last(), QStringLiteral("002"));
    EXPECT_FALSE(answer(QStringLiteral("GetArquivos"), args({soli.toJson(), QStringLiteral("X")})).value(QStringLiteral("ok")).toBool());

    const QString web = createGroup(QStringLiteral("Web"), QStringLiteral("0000000002"));
    addRequests(web, {QStringLiteral("0000000201")});
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getArqSoli"), args({web}))).rows.isEmpty());
    EXPECT_EQ(column(ok(QStringLiteral("getArqSoliAsp"), args({web})), QStringLiteral("DSARQPATCH")),
              QStringList{QStringLiteral("\\Desenv\\P1501\\web\\index.php")});
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getArqSoliSetForms"), args({web}))).rows.isEmpty());
    const packet::Packet webFiles = packetOf(ok(QStringLiteral("getArquivosAsp"), args({QStringLiteral("00010000000201")}), kPatch));
    EXPECT_EQ(column(webFiles, QStringLiteral("CDTIPOITTRAB")), QStringList{QStringLiteral("72")});
    EXPECT_EQ(column(webFiles, QStringLiteral("CDRELEASEMETA")), QStringList{QStringLiteral("000000000000012")});
    EXPECT_EQ(column(ok(QStringLiteral("GetGeraReleaseMeta"), args({QStringLiteral("0000000002")}), kPatch),
                     QStringLiteral("IDGERRELEASEMETA")),
              QStringList{QStringLiteral("S")});
    EXPECT_EQ(column(ok(QStringLiteral("getArquivosSetForms"), args({QStringLiteral("00010000000301")}), kPatch),
                     QStringLiteral("DSARQPATCH")),
              QStringList{QStringLiteral("\\Desenv\\F301\\forms\\a.frm")});
    EXPECT_TRUE(refused(QStringLiteral("getArquivos"), args({QStringLiteral("0001")}), kPatch).contains(QStringLiteral("Linha 1")));
    EXPECT_TRUE(refused(QStringLiteral("getArquivos"), args({QStringLiteral("00010000000999")}), kPatch).contains(QStringLiteral("0000000999")));
}

TEST_F(ServerMethods, ChecksBeforeTheTransferFindWhatStopsIt)
{
    const QString g = createGroup(QStringLiteral("Verificações"));
    addRequests(g, {QStringLiteral("0000000102"), QStringLiteral("0000000103")});
    // 102 depends on 101 and is grouped with it; both come back with the group's own.
    const QJsonValue soli = ok(QStringLiteral("GetSoli"), args({g}));
    EXPECT_EQ(column(ok(QStringLiteral("getDepSoli"), args({soli})), QStringLiteral("NRSOLISERV")),
              (QStringList{QStringLiteral("0000000102"), QStringLiteral("0000000103"), QStringLiteral("0000000101")}));
    // 104, still in development, changed Util.pas at a lower revision (the path differs only in case).
    const packet::Packet pending = packetOf(ok(QStringLiteral("Vd_ReleaseArq"), args({g})));
    ASSERT_EQ(pending.rows.size(), 1);
    EXPECT_EQ(valueAt(pending, 0, QStringLiteral("NRSOLISERV")), QStringLiteral("0000000104"));
    EXPECT_EQ(valueAt(pending, 0, QStringLiteral("HOMOLOG")), QStringLiteral("6"));
    EXPECT_EQ(valueAt(pending, 0, QStringLiteral("DESENV")), QStringLiteral("3"));
    EXPECT_EQ(valueAt(pending, 0, QStringLiteral("NRTAREFA")), QStringLiteral("0000000014"));
    // 103 releases a file of version 4.01 and changed a file outside the product's working copy.
    const packet::Packet versions = packetOf(ok(QStringLiteral("GetVerificaArquivos"), args({g, kProduct})));
    EXPECT_EQ(column(versions, QStringLiteral("IDENTIFICA")), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(column(versions, QStringLiteral("NRSOLISERV")), (QStringList{QStringLiteral("0000000103"), QStringLiteral("0000000103")}));
    const packet::Packet model = packetOf(ok(QStringLiteral("VerificaModelagemSoliGrup"), args({g})));
    EXPECT_EQ(column(model, QStringLiteral("NRSOLISERV")), QStringList{QStringLiteral("0000000103")});

    // A file of one group also in another group in progress (once that one left "001").
    const QString a = createGroup(QStringLiteral("A"));
    addRequests(a, {QStringLiteral("0000000101")});
    const QString b = createGroup(QStringLiteral("B"));
    addRequests(b, {QStringLiteral("0000000106")});
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getDepArq"), args({a}))).rows.isEmpty());
    advance(b);
    EXPECT_EQ(column(ok(QStringLiteral("getDepArq"), args({a})), QStringLiteral("DSDIRARQCHECKOU")),
              QStringList{QStringLiteral("C:\\Desenv\\P501\\Srv\\Calc.pas")});
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getDepArq"), args({b}))).rows.isEmpty());
}

TEST_F(ServerMethods, RequestsOfferedToAGroupAndTheirChecks)
{
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getVdInsSoli"), args({kBranch, QStringLiteral("0000000104"), kProduct}))).rows.isEmpty());
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getVdInsSoli"), args({kBranch, QStringLiteral("0000000201"), kProduct}))).rows.isEmpty());
    const QString g = createGroup(QStringLiteral("Com nome"));
    addRequests(g, {QStringLiteral("0000000101")});
    const packet::Packet inGroup = packetOf(ok(QStringLiteral("getVdInsSoli"), args({kBranch, QStringLiteral("0000000101"), kProduct})));
    EXPECT_EQ(valueAt(inGroup, 0, QStringLiteral("DSGRUPHOMOL")), QStringLiteral("Com nome"));
    EXPECT_FALSE(column(ok(QStringLiteral("getSoliDisp"), args({kProduct})), QStringLiteral("NRSOLISERV")).contains(QStringLiteral("0000000101")));
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getProd"), args({QStringLiteral("0001"), QStringLiteral("F301")}))).rows.isEmpty());
    EXPECT_EQ(packetOf(ok(QStringLiteral("getProd"), args({QStringLiteral("0009"), QStringLiteral("F301")}))).rows.size(), 1);
    EXPECT_TRUE(packetOf(ok(QStringLiteral("qryVerificaAssunto"), args({QStringLiteral("00020")}), kHostDb)).rows.isEmpty());
    EXPECT_TRUE(packetOf(ok(QStringLiteral("qryVerificaAssunto"), args({QStringLiteral("00011")}), kHostDb)).rows.isEmpty());
}

TEST_F(ServerMethods, ReleaseRegistrationRollsOverAndIsIdempotent)
{
    ok(QStringLiteral("Insere_Release"), args({kProduct, QStringLiteral("5"), QStringLiteral("02"), QStringLiteral("02")}));
    ok(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("5"), QStringLiteral("02"), QStringLiteral("000"), QStringLiteral("000")}));
    EXPECT_EQ(ok(QStringLiteral("getReleaseProd"), args({kProduct})).toArray()[0].toString(), QStringLiteral("502000"));
    ok(QStringLiteral("Insere_Versao"), args({kProduct, QStringLiteral("6")}));
    ok(QStringLiteral("Insere_Release"), args({kProduct, QStringLiteral("6"), QStringLiteral("00"), QStringLiteral("00")}));
    ok(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("6"), QStringLiteral("00"), QStringLiteral("000"), QStringLiteral("000")}));
    ok(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("6"), QStringLiteral("00"), QStringLiteral("000"), QStringLiteral("000")}));
    EXPECT_EQ(ok(QStringLiteral("getReleaseProd"), args({kProduct})).toArray()[0].toString(), QStringLiteral("600000"));
    EXPECT_EQ(ok(QStringLiteral("getVersaoProd"), args({kProduct}), kPatch).toArray(),
              (QJsonArray{QStringLiteral("6"), QStringLiteral("00"), QStringLiteral("000")}));
    EXPECT_EQ(ok(QStringLiteral("getVersaoProd"), args({QStringLiteral("0000000003")}), kPatch).toArray(),
              (QJsonArray{QString(), QString(), QString()}));
    EXPECT_TRUE(refused(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("6"), QStringLiteral("00"), QStringLiteral("001"),
                                                              QStringLiteral("002")}))
                    .contains(QStringLiteral("duas vezes")));
    EXPECT_FALSE(refused(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("6"), QStringLiteral("0"), QStringLiteral("1"),
                                                               QStringLiteral("1")}))
                     .isEmpty());
    EXPECT_TRUE(refused(QStringLiteral("getReleaseProd"), args({QStringLiteral("0000000099")})).contains(QStringLiteral("0000000099")));
}

TEST_F(ServerMethods, CallsThatDoNotMatchAMethodAreRefused)
{
    EXPECT_TRUE(refused(QStringLiteral("GetSoli"), args({}), QStringLiteral("VOP99999.rdmNada")).contains(QStringLiteral("Módulo desconhecido")));
    EXPECT_TRUE(refused(QStringLiteral("DropTables"), args({})).contains(QStringLiteral("DropTables")));
    EXPECT_TRUE(refused(QStringLiteral("GetSoli"), args({QStringLiteral("a"), QStringLiteral("b")})).contains(QStringLiteral("espera 1")));
    EXPECT_TRUE(refused(QStringLiteral("GetSoli"), args({42})).contains(QStringLiteral("deve ser um texto")));
    EXPECT_TRUE(refused(QStringLiteral("GetArquivos"), args({QStringLiteral("x"), QStringLiteral("N")})).contains(QStringLiteral("pacote de dados")));
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({packet::Packet{}.toJson()})).contains(QStringLiteral("pacote de alterações")));
    // A packet whose fields are not those of the dataset the method reads.
    packet::Packet strange;
    strange.fields = {{QStringLiteral("CDFILIAL"), packet::FieldType::String, 4}, {QStringLiteral("NRSOLISERV"), packet::FieldType::String, 10},
                      {QStringLiteral("SENHA"), packet::FieldType::String, 10}};
    EXPECT_TRUE(refused(QStringLiteral("getDepSoli"), args({strange.toJson()})).contains(QStringLiteral("SENHA")));
    QJsonObject malformed = insertDelta(server::ds::cdsGrupo(), {}).toJson();
    malformed[QStringLiteral("changes")] = QJsonArray{QJsonObject{{QStringLiteral("op"), QStringLiteral("insert")},
                                                                  {QStringLiteral("new"), QJsonArray{QStringLiteral("só um")}}}};
    EXPECT_TRUE(refused(QStringLiteral("setGrupo"), args({malformed})).contains(QStringLiteral("Pacote de dados inválido")));
    // Argument text is data, never SQL.
    EXPECT_TRUE(packetOf(ok(QStringLiteral("GetSoli"), args({QStringLiteral("' OR '1'='1")}))).rows.isEmpty());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SOLICITACAO")).toInt(), 8);
}

}  // namespace
