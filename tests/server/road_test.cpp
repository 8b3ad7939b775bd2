// The road of one group, from its creation to its closing, calling the remote methods in
// the order the screen's operations call them, with no hand edit of the database but the
// testers' verdicts (the administration command).

#include "serverenv.h"

#include "board/audit.h"
#include "methods/domain.h"
#include "tools/admin.h"

namespace {

const QString k101 = QStringLiteral("0000000101");
const QString k102 = QStringLiteral("0000000102");
const QString k105 = QStringLiteral("0000000105");
const QString k106 = QStringLiteral("0000000106");

QString requestList(const QStringList &numbers)
{
    QStringList lines;
    for (const QString &numero : numbers)
        lines.append(kBranch + numero);
    return lines.join(QStringLiteral("\r\n"));
}

class ServerRoad : public SampleServerTest {
protected:
    QString statusOf(const QString &group, const QString &numero)
    {
        const packet::Packet requests = packetOf(ok(QStringLiteral("GetSoli"), args({group})));
        return valueAt(requests, rowWhere(requests, QStringLiteral("NRSOLISERV"), numero), QStringLiteral("IDSTSOLIGRUP"));
    }
    QString phaseOf(const QString &numero)
    {
        return db().scalar(QStringLiteral("SELECT CDFASETRAM FROM SOLICITACAO WHERE NRSOLISERV = ?"), {numero}).toString();
    }
    void setFlag(const QString &group, const QString &numero, const QString &flag)
    {
        const packet::Packet requests = packetOf(ok(QStringLiteral("GetSoli"), args({group})));
        const int row = rowWhere(requests, QStringLiteral("NRSOLISERV"), numero);
        EXPECT_TRUE(packetOf(ok(QStringLiteral("getVdJustificativa"), args({kBranch, group, numero}))).rows.isEmpty());
        ok(QStringLiteral("setSoli"), args({modifyDelta(requests, row, {{flag, QStringLiteral("S")}}).toJson()}));
        ok(QStringLiteral("setInsereJustificativa"),
           args({kBranch, group, numero, QStringLiteral("0001"), QStringLiteral("Decidido após os testes")}));
    }
};

TEST_F(ServerRoad, OneGroupFromCreationToClosing)
{
    const QString op = QStringLiteral("0001");

    // 1. The operator creates a group for a product and adds requests.
    EXPECT_EQ(column(ok(QStringLiteral("getProd"), args({kBranch, QString()})), QStringLiteral("CDARVPROD")),
              (QStringList{QStringLiteral("P1501"), QStringLiteral("P501")}));
    EXPECT_EQ(column(ok(QStringLiteral("getProd"), args({kBranch, QStringLiteral("p501")})), QStringLiteral("NMPRODUTO")),
              QStringList{QStringLiteral("Retaguarda")});
    const QString g = createGroup(QStringLiteral("Release de março"));
    EXPECT_EQ(g, QStringLiteral("0000000001"));
    QJsonArray initial = ok(QStringLiteral("GetInitialData"), args({op})).toArray();
    EXPECT_EQ(column(initial[0], QStringLiteral("IDSTGRUPHOM")), QStringList{QStringLiteral("001")});
    EXPECT_EQ(initial[3].toString(), QStringLiteral("S"));

    EXPECT_EQ(column(ok(QStringLiteral("getSoliDisp"), args({kProduct})), QStringLiteral("NRSOLISERV")),
              (QStringList{k101, k102, QStringLiteral("0000000103"), k105, k106}));
    const packet::Packet check = packetOf(ok(QStringLiteral("getVdInsSoli"), args({kBranch, k101, kProduct})));
    ASSERT_EQ(check.rows.size(), 1);
    EXPECT_EQ(valueAt(check, 0, QStringLiteral("CDGRUPHOMOL")), QString());
    EXPECT_EQ(valueAt(check, 0, QStringLiteral("CDFASETRAM")), QStringLiteral("020"));
    EXPECT_EQ(column(ok(QStringLiteral("GetReleaseSoli"), args({k101})), QStringLiteral("CDARVPROD")), QStringList{QStringLiteral("P501")});
    EXPECT_EQ(column(ok(QStringLiteral("GetVdReleaseSoli"), args({k101})), QStringLiteral("NRSOLISERV")), QStringList{k105});
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getVerificaSolicitaGrupo"), args({k105, g}))).rows.isEmpty());
    EXPECT_EQ(column(ok(QStringLiteral("GetItemTrabDesenv"), args({k101})), QStringLiteral("NRSOLISERV")), QStringList{k102});
    addRequests(g, {k101, k102, k105});
    EXPECT_EQ(column(ok(QStringLiteral("getVerificaSolicitaGrupo"), args({k105, g})), QStringLiteral("CDGRUPHOMOL")), QStringList{g});
    EXPECT_EQ(valueAt(packetOf(ok(QStringLiteral("getVdInsSoli"), args({kBranch, k101, kProduct}))), 0, QStringLiteral("CDGRUPHOMOL")), g);
    EXPECT_EQ(phaseOf(k101), QStringLiteral("030"));

    // A second group of the product will share the release and go back when this one closes.
    const QString g2 = createGroup(QStringLiteral("Outra da mesma release"));
    addRequests(g2, {k106});

    // 2. 001 -> 002: checks, working copies, transfer, revisions, log.
    const QJsonArray scroll = ok(QStringLiteral("GetAfterScroll"), args({g})).toArray();
    const packet::Packet requests = packetOf(scroll[0]);
    EXPECT_EQ(column(requests, QStringLiteral("NRSOLISERV")), (QStringList{k101, k102, k105}));
    EXPECT_EQ(column(requests, QStringLiteral("NMOPERADOR")).first(), QStringLiteral("Carla Desenvolvedora"));
    EXPECT_EQ(packetOf(scroll[1]).rows.size(), 4);
    EXPECT_TRUE(packetOf(ok(QStringLiteral("GetVerificaArquivos"), args({g, kProduct}))).rows.isEmpty());
    EXPECT_TRUE(packetOf(ok(QStringLiteral("Vd_ReleaseArq"), args({g}))).rows.isEmpty());
    EXPECT_EQ(packetOf(ok(QStringLiteral("getDepSoli"), args({scroll[0]}))).rows.size(), requests.rows.size());
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getDepArq"), args({g}))).rows.isEmpty());
    const QJsonArray locations = ok(QStringLiteral("getLocations"), args({kProduct})).toArray();
    ASSERT_EQ(locations.size(), 6);
    EXPECT_EQ(locations[1].toString(), QStringLiteral("C:\\Desenv\\P501"));
    EXPECT_EQ(locations[3].toString(), QStringLiteral("C:\\Hom\\P501"));
    const packet::Packet modified = packetOf(ok(QStringLiteral("GetVersArqModif"), args({g})));
    EXPECT_EQ(modified.rows.size(), 4);
    EXPECT_EQ(column(ok(QStringLiteral("GetProdAtual")), QStringLiteral("DSDIRBASEVER")), QStringList{QStringLiteral("C:\\Hom\\P501")});
    packet::Packet before = modified;
    packet::Packet after = modified;
    for (int i = 0; i < modified.rows.size(); ++i) {
        const QString path = valueAt(modified, i, QStringLiteral("DSDIRARQCHECKOU"));
        before.rows[i][0] = server::swapRoot(path, QStringLiteral("C:\\Desenv\\P501"), QStringLiteral("C:\\Hom\\P501"));
        before.rows[i][1] = path.endsWith(QStringLiteral("Imp.pas")) ? QStringLiteral("0") : QStringLiteral("40");
        before.rows[i][2] = QString();
        after.rows[i][2] = QStringLiteral("%1").arg(41 + i);
    }
    ok(QStringLiteral("setVersArqHom"), args({g, before.toJson()}));
    // A repeated transfer keeps the first previous revisions; only a "0" that turns out to
    // be a file the repository had is corrected.
    packet::Packet again = before;
    for (int i = 0; i < again.rows.size(); ++i)
        again.rows[i][1] = QStringLiteral("39");
    ok(QStringLiteral("setVersArqHom"), args({g, again.toJson()}));
    ok(QStringLiteral("setVersArqHom"), args({g, after.toJson()}));
    advance(g);
    ok(QStringLiteral("setLogTram"), args({op, g, QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("svn commit ...")}));
    const packet::Packet revisions = packetOf(ok(QStringLiteral("getVersArqFonteHom"), args({g})));
    EXPECT_EQ(revisions.rows.size(), 4);
    const int imp = rowWhere(revisions, QStringLiteral("DSARQSVNHOMOL"), QStringLiteral("C:\\Hom\\P501\\Srv\\Imp.pas"));
    ASSERT_GE(imp, 0);
    EXPECT_EQ(valueAt(revisions, imp, QStringLiteral("NRREVANTARQSVN")), QStringLiteral("39"));
    EXPECT_EQ(column(revisions, QStringLiteral("NRREVANTARQSVN")).count(QStringLiteral("40")), 3);
    EXPECT_FALSE(valueAt(revisions, imp, QStringLiteral("NRREVATUARQSVN")).isEmpty());

    // 3. 002 -> 003: file checks, patch generation, release of the group.
    const QJsonValue soli = ok(QStringLiteral("GetSoli"), args({g}));
    EXPECT_TRUE(packetOf(ok(QStringLiteral("GetArquivos"), args({soli, QStringLiteral("S")}))).rows.isEmpty());
    EXPECT_EQ(packetOf(ok(QStringLiteral("getArq"), args({g}))).rows.size(), 4);
    EXPECT_EQ(column(ok(QStringLiteral("getArqSoli"), args({g})), QStringLiteral("DSARQPATCH")).size(), 4);
    const QString list = requestList({k101, k102, k105});
    ok(QStringLiteral("TransfPatchFaseTram"), args({list}), kPatch);
    EXPECT_EQ(phaseOf(k102), QStringLiteral("040"));
    const packet::Packet files = packetOf(ok(QStringLiteral("getArquivos"), args({list}), kPatch));
    EXPECT_EQ(files.rows.size(), 4);
    EXPECT_EQ(column(files, QStringLiteral("CDPRODGRUP")).first(), kProduct);
    const QJsonArray version = ok(QStringLiteral("getVersaoProd"), args({kProduct}), kPatch).toArray();
    EXPECT_EQ(version, (QJsonArray{QStringLiteral("5"), QStringLiteral("01"), QStringLiteral("023")}));
    EXPECT_EQ(column(ok(QStringLiteral("GetGeraReleaseMeta"), args({kProduct}), kPatch), QStringLiteral("IDGERRELEASEMETA")),
              QStringList{QStringLiteral("N")});
    const QString task = QStringLiteral("0000000011"), activity = QStringLiteral("00001");
    const QString produced = QStringLiteral("C:\\Ativ\\11\\products\\web\\a.html");
    EXPECT_EQ(ok(QStringLiteral("getArqCheckoutAtiv"), args({task, activity}), kPatch).toString(),
              QStringLiteral("0_C:\\Ativ\\11\\products\\"));
    EXPECT_EQ(ok(QStringLiteral("getDsDirArqCheckou"), args({task, activity, produced}), kPatch).toString(), QString());
    ok(QStringLiteral("setArqCheckoutAtiv"),
       args({task, activity, QStringLiteral("1"), produced, QStringLiteral("77"), QStringLiteral("000000000000012")}), kPatch);
    ok(QStringLiteral("gravaNovaReleaseArq"), args({task, activity, produced, QStringLiteral("78")}), kPatch);
    EXPECT_EQ(ok(QStringLiteral("getDsDirArqCheckou"), args({task, activity, produced.toLower()}), kPatch).toString(), produced);
    ok(QStringLiteral("setPatchFaseTram"), args({list, QStringLiteral("5"), QStringLiteral("01"), QStringLiteral("023")}), kPatch);
    ok(QStringLiteral("TramitaSoliGeradas"), args({list, op}), kPatch);
    const packet::Packet dates = packetOf(ok(QStringLiteral("getDtUltTram"), args({list}), kPatch));
    EXPECT_EQ(dates.rows.size(), 3);
    EXPECT_EQ(dates.rows[0][2].typeId(), QMetaType::QDateTime);
    advance(g);
    EXPECT_FALSE(valueAt(group(g), 0, QStringLiteral("DTHRGERAGRUPSOL")).isEmpty());
    const QString release = ok(QStringLiteral("getReleaseProd"), args({kProduct})).toArray()[0].toString();
    EXPECT_EQ(release, QStringLiteral("501023"));
    ok(QStringLiteral("setGrupo"), args({modifyDelta(group(g), 0, {{QStringLiteral("CDRELEASEGHOM"), release}}).toJson()}));
    ok(QStringLiteral("SyncFaseTram"), args({g}));
    EXPECT_EQ(statusOf(g, k101), QStringLiteral("002"));

    // The other group reaches the same release while this one is in progress.
    ok(QStringLiteral("setGrupo"), args({modifyDelta(group(g2), 0, {{QStringLiteral("CDRELEASEGHOM"), release}}).toJson()}));

    // 4. 003 -> 004: every patch generated, pre-homologated copies, release of the requests.
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getSoliNaoGerada"), args({g}))).rows.isEmpty());
    for (const QString &numero : {k101, k102, k105})
        ok(QStringLiteral("SetReleaseSoli"), args({release, numero}));
    ok(QStringLiteral("SyncFaseTram"), args({g}));
    advance(g, {{QStringLiteral("CDRELEASEGHOM"), release}});
    EXPECT_EQ(column(ok(QStringLiteral("GetReleaseSoli"), args({k102})), QStringLiteral("CDRELEASESOLI")), QStringList{release});

    // 5. 004 -> 005.
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getSoliNaoGerada"), args({g}))).rows.isEmpty());
    advance(g);
    ok(QStringLiteral("SyncFaseTram"), args({g}));

    // 6. 005 -> 006: handed to the tests; the testers' verdicts; the operator's decisions.
    for (const QString &numero : {k101, k102, k105})
        ok(QStringLiteral("setTroca_Resp_Soli"), args({kBranch, numero, op, QStringLiteral("000000000994")}));
    ok(QStringLiteral("setTagGrupo"), args({g, op, QStringLiteral("file:///r/tags/P501/TST_1_") + g, QStringLiteral("N")}));
    advance(g);
    ok(QStringLiteral("SyncFaseTram"), args({g}));
    EXPECT_EQ(statusOf(g, k101), QStringLiteral("003"));
    EXPECT_EQ(column(ok(QStringLiteral("GetSoli"), args({g})), QStringLiteral("NMOPERADOR")).first(),
              QStringLiteral("Responsável pelos testes"));
    auto tester = database().connect();
    server::giveVerdict(*tester, {kBranch, k101}, QStringLiteral("sem-erro"), QStringLiteral("TESTE"));
    server::giveVerdict(*tester, {kBranch, k102}, QStringLiteral("com-erro"), QStringLiteral("TESTE"));
    server::giveVerdict(*tester, {kBranch, k105}, QStringLiteral("regerar"), QStringLiteral("TESTE"));
    tester.reset();
    EXPECT_EQ(statusOf(g, k101), QStringLiteral("005"));
    EXPECT_EQ(statusOf(g, k102), QStringLiteral("004"));
    EXPECT_EQ(statusOf(g, k105), QStringLiteral("007"));
    EXPECT_TRUE(packetOf(ok(QStringLiteral("VerificaModelagemSoliGrup"), args({g}))).rows.isEmpty());
    setFlag(g, k101, QStringLiteral("IDHOMOLSOL"));
    EXPECT_EQ(packetOf(ok(QStringLiteral("getVdJustificativa"), args({kBranch, g, k101}))).rows.size(), 1);

    // 7. 006 -> 007: the outcome of each request, the closing, the next patch.
    EXPECT_EQ(column(ok(QStringLiteral("getAgrupaSoli"), args({g})), QStringLiteral("NRSOLISERV")), (QStringList{k101, k102}));
    // Erro: 102.
    ok(QStringLiteral("getVersArqFonteHom"), args({g}));
    ok(QStringLiteral("setTroca_Resp_Soli"), args({kBranch, k102, op, QStringLiteral("DESENV")}));
    ok(QStringLiteral("removeArqCheckoutAtiv"), args({QStringLiteral("_") + k102 + QStringLiteral("_")}));
    // Regera: 105.
    ok(QStringLiteral("setTramita_Soli"), args({kBranch, k105, op, QStringLiteral("000000000994"), QStringLiteral("072"),
                                               QStringLiteral("Solicitou regeração de patch"), QString()}));
    ok(QStringLiteral("TransfPatchFaseTram"), args({kBranch, k105, kProduct}));
    ok(QStringLiteral("removeArqCheckoutAtiv"), args({QStringLiteral("_") + k105 + QStringLiteral("_")}));
    // Homol: 101, subject 00010 is one that moves on with "105".
    EXPECT_EQ(packetOf(ok(QStringLiteral("qryVerificaAssunto"), args({QStringLiteral("00010")}), kHostDb)).rows.size(), 1);
    ok(QStringLiteral("setTramita_Soli"), args({kBranch, k101, op, op, QStringLiteral("105"), QStringLiteral("Enviou patch"), QString()}));
    ok(QStringLiteral("SetArqLibPatchClie"), args({kBranch, k101, kProduct}));
    ok(QStringLiteral("SetReleaseSoli"), args({QString(), k101}));
    ok(QStringLiteral("SyncFaseTram"), args({g}));
    const QJsonObject closed = answer(QStringLiteral("Encerra_Grupos"), args({g + QStringLiteral(",")}));
    ASSERT_TRUE(closed.value(QStringLiteral("ok")).toBool()) << closed.value(QStringLiteral("error")).toString().toStdString();
    EXPECT_EQ(closed.value(QStringLiteral("out")).toArray()[0].toString(), g + QStringLiteral(","));
    ok(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("5"), QStringLiteral("01"), QStringLiteral("024"),
                                            QStringLiteral("024")}));

    // What the audit keeps of the road: every kind of event, with who and what changed.
    const QList<server::AuditRow> trail = server::auditTrail(db(), {});
    QSet<QString> kinds;
    for (const server::AuditRow &row : trail)
        kinds.insert(row.event.kind);
    namespace k = server::eventKind;
    EXPECT_EQ(kinds, (QSet<QString>{k::GroupPhase, k::RequestPhase, k::Verdict, k::Decision, k::Justification, k::Registration, k::Tag}));
    const auto find = [&](const QString &kind, const QString &request) -> server::Event {
        for (const server::AuditRow &row : trail) {
            if (row.event.kind == kind && (request.isEmpty() || row.event.request == request))
                return row.event;
        }
        return {};
    };
    EXPECT_EQ(find(k::Verdict, k102).after, QStringLiteral("070 - Testada com erro"));
    EXPECT_EQ(find(k::Verdict, k102).operatorCode, QStringLiteral("TESTE"));
    EXPECT_EQ(find(k::Decision, k101).after, QStringLiteral("Homologar"));
    EXPECT_EQ(find(k::Justification, k101).detail, QStringLiteral("Decidido após os testes"));
    EXPECT_EQ(find(k::Justification, k101).operatorCode, op);
    EXPECT_EQ(find(k::Registration, {}).after, QStringLiteral("patch 5.01.024"));
    EXPECT_EQ(find(k::Tag, {}).group, g);
    bool sentBack = false;
    for (const server::AuditRow &row : trail)
        sentBack = sentBack || (row.event.kind == k::GroupPhase && row.event.group == g2 && row.event.after == u"001 - Pendente");
    EXPECT_TRUE(sentBack) << "the group of the same release sent back to 001";
    EXPECT_TRUE(std::is_sorted(trail.begin(), trail.end(), [](const auto &a, const auto &b) { return a.time < b.time; }));

    // The state the screen finds after its closing refresh.
    initial = ok(QStringLiteral("GetInitialData"), args({op})).toArray();
    const packet::Packet groups = packetOf(initial[0]);
    EXPECT_EQ(valueAt(groups, rowWhere(groups, QStringLiteral("CDGRUPHOMOL"), g), QStringLiteral("IDSTGRUPHOM")), QStringLiteral("007"));
    EXPECT_FALSE(valueAt(groups, rowWhere(groups, QStringLiteral("CDGRUPHOMOL"), g), QStringLiteral("DTHRHOMOGRUPSOL")).isEmpty());
    const int other = rowWhere(groups, QStringLiteral("CDGRUPHOMOL"), g2);
    EXPECT_EQ(valueAt(groups, other, QStringLiteral("IDSTGRUPHOM")), QStringLiteral("001"));
    EXPECT_EQ(valueAt(groups, other, QStringLiteral("CDRELEASEGHOM")), QString());
    EXPECT_EQ(statusOf(g, k101), QStringLiteral("006"));
    EXPECT_EQ(statusOf(g, k102), QStringLiteral("000"));
    EXPECT_EQ(statusOf(g, k105), QStringLiteral("007"));
    EXPECT_EQ(phaseOf(k101), QStringLiteral("100"));
    EXPECT_EQ(phaseOf(k102), QStringLiteral("010"));
    EXPECT_EQ(statusOf(g2, k106), QStringLiteral("001"));
    EXPECT_EQ(column(ok(QStringLiteral("GetReleaseSoli"), args({k101})), QStringLiteral("CDRELEASESOLI")), QStringList{QString()});
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ARQPATCH WHERE NRSOLISERV = ? AND IDLIBPATCHCLIE = 'S'"), {k101}).toInt(), 2);
    EXPECT_EQ(ok(QStringLiteral("getReleaseProd"), args({kProduct})).toArray()[0].toString(), QStringLiteral("501024"));
    EXPECT_EQ(ok(QStringLiteral("getVersaoProd"), args({kProduct}), kPatch).toArray()[2].toString(), QStringLiteral("024"));
    // The request sent back for regeneration is offered to a new group; the one returned
    // with error is back with the developers.
    const QStringList available = column(ok(QStringLiteral("getSoliDisp"), args({kProduct})), QStringLiteral("NRSOLISERV"));
    EXPECT_TRUE(available.contains(k105));
    EXPECT_FALSE(available.contains(k102));
    EXPECT_EQ(ok(QStringLiteral("getArqCheckoutAtiv"), args({task, activity}), kPatch).toString(),
              QStringLiteral("0_C:\\Ativ\\11\\products\\"));
}

}  // namespace
