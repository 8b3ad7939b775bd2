// The generation checks and the transition log, run on a data module without any window:
// each check passing silently and stopping with its exact text, the questions answered by
// the scripted host.

#include "workflowenv.h"

#include "host/errors.h"
#include "workflow/logtramitacao.h"
#include "workflow/verificacoes.h"

#include <QSqlQuery>

namespace {

// Runs a check; true when it passed, false when it stopped the operation quietly (after
// its message or question). Any other failure fails the test.
bool passes(const std::function<void()> &check)
{
    try {
        check();
        return true;
    } catch (const EAbort &) {
        return false;
    }
}

}  // namespace

TEST_F(DataModuleTest, AllPatchesGenerated)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    ASSERT_TRUE(dm->LocalizaGrupo("0000000001"));
    for (const char *numero : {"101", "102", "107"})
        setStatus(numero, "002");
    EXPECT_TRUE(passes([&] { checks.VD_Todas_Solicitacoes_Geradas(); }));
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_TRUE(busyShown("Validando se as solicitações foram geradas..."));
    EXPECT_FALSE(ui.busyVisible());

    // Waiting for generation ("001") or for regeneration ("007"): listed in the order received.
    setStatus("101", "001");
    setStatus("107", "007");
    mark(*dm, "0000000003");
    ASSERT_TRUE(dm->LocalizaGrupo("0000000001"));
    ui.clear();
    EXPECT_FALSE(passes([&] { checks.VD_Todas_Solicitacoes_Geradas(); }));
    EXPECT_EQ(ui.messages(), QStringList({"A tramitação não pode ser realizada porque as seguintes solicitações não foram "
                                          "geradas:\r\n\r\n0000000101 - Corrige o cálculo\r\n0000000107 - Tela do cliente ABC\r\n"}));
    EXPECT_EQ(ui.shown().last().type, DialogType::Error);
    EXPECT_FALSE(ui.busyVisible());
    EXPECT_TRUE(markedGroups(*dm).isEmpty()) << "a failed check discards the marks";
}

TEST_F(DataModuleTest, RequestsWithoutFilesToGenerate)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    // Every request of group 1 releases files: no question.
    ASSERT_TRUE(dm->LocalizaGrupo("0000000001"));
    EXPECT_TRUE(passes([&] { checks.Vd_soli_sem_arq_gerar(); }));
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();

    // Request 109 of group 8 releases nothing: the operator is asked, as an error with Yes/No.
    ASSERT_TRUE(dm->LocalizaGrupo("0000000008"));
    const QString question = "A(s) seguinte(s) solicitação(ões) não possuem arquivos selecionados para geração de Patch. "
                             "Deseja continuar ? \r0000000109\r";
    ui.answer(mbNo);
    EXPECT_FALSE(passes([&] { checks.Vd_soli_sem_arq_gerar(); }));
    ASSERT_EQ(ui.messages(), QStringList({question}));
    EXPECT_EQ(ui.shown().last().type, DialogType::Error);
    EXPECT_EQ(ui.shown().last().buttons, mbYes | mbNo);
    ui.clear();
    ui.answer(mbYes);
    EXPECT_TRUE(passes([&] { checks.Vd_soli_sem_arq_gerar(); }));
    EXPECT_EQ(ui.messages(), QStringList({question}));
    EXPECT_EQ(listed(*dm->cdssolisemgerar, "NRSOLISERV"), QStringList({"0000000109"}));
}

TEST_F(DataModuleTest, ModifiedFilesAgainstFilesToGenerate)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    const QString modifiedOnly = "Os arquivos seguintes foram modificados, porém não estão relacionados para a geração de "
                                 "patch. Deseja continuar ?"
        + QString(67, ' ') + "C:\\DESENV\\P501\\REL\\EXTRA.QR2\r"
        + "\r\n\r\nGrupo: 0000000008 - Geração";
    const QString selectedOnly = "Os arquivos seguintes foram relacionados para a geração de patch, porém não foram "
                                 "modificados. Deseja continuar?"
        + QString(56, ' ') + "C:\\DESENV\\P501\\SQL\\NOVO.SQL\r"
        + "\r\n\r\nGrupo: 0000000008 - Geração";

    // Group 8: Novo.dpr both modified and selected; Novo.pas not counted; Extra.qr2 modified
    // only; Novo.sql selected only (reported with the drive the selection lacks).
    ASSERT_TRUE(dm->LocalizaGrupo("0000000008"));
    struct Case {
        QList<int> answers;
        bool passes;
        QStringList asked;
    };
    const QList<Case> cases = {
        {{mbYes, mbYes}, true, {modifiedOnly, selectedOnly}},  // going on with the differences
        {{mbNo}, false, {modifiedOnly}},                       // the second question is not asked
        {{mbYes, mbNo}, false, {modifiedOnly, selectedOnly}},
    };
    for (const Case &c : cases) {
        ui.clear();
        for (int answer : c.answers)
            ui.answer(answer);
        EXPECT_EQ(passes([&] { checks.Vd_Consistencia_Arquivo(); }), c.passes);
        EXPECT_EQ(ui.messages(), c.asked);
        EXPECT_EQ(ui.pendingAnswers(), 0);
    }
    EXPECT_EQ(listed(*dm->cdsArqCons, "DSDIRDESTARQ"),
              QStringList({"C:\\DESENV\\P501\\REL\\EXTRA.QR2", "C:\\DESENV\\P501\\SRV\\NOVO.DPR"}));

    // Group 1: a modified .pas is ignored; selected files that were not modified are asked
    // about in the second question only.
    ASSERT_TRUE(dm->LocalizaGrupo("0000000001"));
    ui.clear();
    ui.answer(mbYes);
    EXPECT_TRUE(passes([&] { checks.Vd_Consistencia_Arquivo(); }));
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Os arquivos seguintes foram relacionados"));
    EXPECT_TRUE(ui.messages()[0].endsWith("C:\\DESENV\\P501\\SQL\\CALC.SQL\rC:\\DESENV\\P501\\CLI\\TELA.DPR\r"
                                          "C:\\DESENV\\P501\\CLI\\CLIENTES\\ABC\\TELA2.DPR\r\r\n\r\nGrupo: 0000000001 - "
                                          + dm->grupo("DSGRUPHOMOL")))
        << ui.messages()[0].toStdString();
    EXPECT_FALSE(ui.messages()[0].contains("CALC.DPR"));
}

TEST_F(DataModuleTest, CountedExtensions)
{
    for (const char *path : {"C:\\A\\b.pkg", "C:\\A\\b.DPK", "x.dpr", "C:\\S\\q.Sql", "r.qr2", "d.cds", "p.prc"})
        EXPECT_TRUE(Verificacoes::ExtensaoContada(path)) << path;
    for (const char *path : {"C:\\A\\b.pas", "C:\\A.DPR\\b", "C:\\A\\dpr", "C:\\A\\b.dfm", "C:\\A\\b.sql.bak", ""})
        EXPECT_FALSE(Verificacoes::ExtensaoContada(path)) << path;
}

TEST_F(DataModuleTest, ReleaseOfTheGroupAfterGeneration)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    ASSERT_TRUE(dm->LocalizaGrupo("0000000002"));  // another group is current
    checks.Preenche_Release_Grupo("0000000008");
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(valueAt(group("0000000008"), 0, "CDRELEASEGHOM"), "501023");
    EXPECT_EQ(valueAt(group("0000000002"), 0, "CDRELEASEGHOM"), "501023") << "untouched";
    EXPECT_EQ(dm->cdsGrupo->ChangeCount(), 0);

    // A group that is not in the list: nothing is written anywhere.
    const packet::Packet before = packetOf(ok("getGrupo", args({QString()})));
    EXPECT_THROW(checks.Preenche_Release_Grupo("0000000099"), EHomologa);
    EXPECT_EQ(packetOf(ok("getGrupo", args({QString()}))).rows, before.rows);
}

TEST_F(DataModuleTest, EveryRequestOfTheMarkedGroupsTested)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    mark(*dm, "0000000003");
    mark(*dm, "0000000007");
    setStatus("106", "005");
    // Tested: "004" to "007"; not tested: "000" to "003".
    const QList<std::pair<QString, bool>> statuses = {{"000", false}, {"001", false}, {"002", false}, {"003", false},
                                                      {"004", true},  {"005", true},  {"006", true},  {"007", true}};
    for (const auto &[status, tested] : statuses) {
        setStatus("108", status);
        ui.clear();
        EXPECT_EQ(passes([&] { checks.VD_Todas_Solicitacoes_Testadas(); }), tested) << status.toStdString();
        if (tested) {
            EXPECT_TRUE(ui.messages().isEmpty()) << status.toStdString();
            EXPECT_EQ(markedGroups(*dm), QStringList({"0000000003", "0000000007"}));
        } else {
            EXPECT_EQ(ui.messages(),
                      QStringList({"O grupo de solicitações 0000000007 - Impostos não pode ser homologado, pois as seguintes "
                                   "solicitações não foram completamente testadas.\r\n0000000108 - Ajuste de impostos\r\n"}))
                << status.toStdString();
            EXPECT_TRUE(markedGroups(*dm).isEmpty()) << "the marks go with the failed check";
            mark(*dm, "0000000003");
            mark(*dm, "0000000007");
        }
        EXPECT_FALSE(ui.busyVisible());
        EXPECT_FALSE(dm->cdsGrupo->ControlsDisabled());
        ASSERT_TRUE(dm->cdsGrupo->AfterScroll);
    }
    EXPECT_TRUE(busyShown("Validando se todas as solicitações foram testadas..."));
    // The walk ended on the last group listed, whose requests are the ones now read.
    EXPECT_EQ(dm->codigoGrupo(), "0000000010");
    EXPECT_EQ(listed(*dm->cdsSoli, "NRSOLISERV"), QStringList({"0000000124"}));
}

TEST_F(DataModuleTest, UnmarkedGroupsOfTheSameRelease)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    // No group marked, or only one without a release.
    EXPECT_FALSE(passes([&] { checks.VD_Volta_Grupo(); }));
    const QString semRelease = "Todos os grupos selecionados estão sem release. A Homologação não pode prosseguir.";
    EXPECT_EQ(ui.messages(), QStringList({semRelease}));
    mark(*dm, "0000000009");
    ui.clear();
    EXPECT_FALSE(passes([&] { checks.VD_Volta_Grupo(); }));
    EXPECT_EQ(ui.messages(), QStringList({semRelease}));
    EXPECT_TRUE(markedGroups(*dm).isEmpty());

    // Group 3 of release 501023 marked: the other groups of that release, whatever their
    // phase, are named in the question.
    mark(*dm, "0000000003");
    const QString question = "Os seguintes grupos se encontram no mesmo release que está sendo homologado, mas não foram "
                             "relacionados para homologação:\r\n\r\n0000000002 - Importação\r\n0000000004 - Relatório "
                             "bloqueado\r\n0000000007 - Impostos\r\n\r\n\r\nSe a operação continuar, estes grupos voltarão "
                             "para a fase inicial de homologação e deverão ser novamente testados. Deseja prosseguir?";
    ui.clear();
    ui.answer(mbNo);
    EXPECT_FALSE(passes([&] { checks.VD_Volta_Grupo(); }));
    EXPECT_EQ(ui.messages(), QStringList({question, "Operação cancelada pelo usuário."}));
    EXPECT_EQ(ui.shown()[ui.shown().size() - 2].type, DialogType::Warning);
    EXPECT_FALSE(ui.busyVisible());
    EXPECT_TRUE(busyShown("Validando grupos com releases iguais..."));

    mark(*dm, "0000000003");
    mark(*dm, "0000000007");
    ui.clear();
    ui.answer(mbYes);
    EXPECT_TRUE(passes([&] { checks.VD_Volta_Grupo(); }));
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].contains("0000000002 - Importação\r\n0000000004 - Relatório bloqueado\r\n\r\n"));
    EXPECT_FALSE(ui.messages()[0].contains("0000000007"));
    EXPECT_EQ(markedGroups(*dm), QStringList({"0000000003", "0000000007"})) << "the check changes nothing";
    EXPECT_EQ(valueAt(group("0000000002"), 0, "IDSTGRUPHOM"), "003");
}

TEST_F(DataModuleTest, RequestsOfALowerPatch)
{
    auto dm = openDataModule();
    Verificacoes checks(*dm);
    const auto saving = [&](const QString &numero, const QString &grupo) {
        ui.clear();
        dm->cdsSoli->Cancel();
        dm->cdsSoli->Insert();
        dm->cdsSoli->FieldByName("CDFILIAL").setAsString("0001");
        dm->cdsSoli->FieldByName("NRSOLISERV").setAsString(numero);
        dm->cdsSoli->FieldByName("CDGRUPHOMOL").setAsString(grupo);
        return passes([&] { checks.Vd_Release_Soli(); });
    };
    const QString phase = packetOf(ok("GetVdReleaseSoli", args({QStringLiteral("0000000120")})))
                              .rows[0][1]
                              .toString();  // the server's name of the phase "waiting for a group"
    ASSERT_FALSE(phase.isEmpty());

    // Release 501023 into group 10: 105 and 121 (501020, outside the group) are listed; 124
    // (501020, in the group), 122 (501025) and 123 (502010) are not.
    EXPECT_FALSE(saving("0000000120", "0000000010"));
    EXPECT_EQ(ui.messages(), QStringList({"Existem solicitações com patch menor a serem homologadas:\r\n\r\n0000000105 -  - "
                                          + phase + "\r\n0000000121 - Carla Desenvolvedora - " + phase + "\r\n"}));
    EXPECT_EQ(ui.shown().last().type, DialogType::Error);

    // Without a release of its own, the product's version and release (P501 -> "501") decide:
    // 501025 is listed as well.
    EXPECT_FALSE(saving("0000000125", "0000000010"));
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].contains("0000000122 - "));
    EXPECT_TRUE(ui.messages()[0].contains("0000000105 - "));
    EXPECT_FALSE(ui.messages()[0].contains("0000000123"));
    EXPECT_FALSE(ui.messages()[0].contains("0000000124"));

    // The highest patch of its release, or a product with no other release: nothing to say.
    EXPECT_TRUE(saving("0000000201", "0000000005"));
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_TRUE(saving("0000000121", "0000000010"));
    EXPECT_TRUE(ui.messages().isEmpty()) << "501020 is no higher than 105 and 124" << ui.messages().join("; ").toStdString();

    // The answers are read without the result check: a server that does not answer is a
    // failure of loading the answer, not the result check's box and silent stop.
    const int uses = ConnectionUses(dm->stlConexoes, "netGrupSoliHom");
    serverDown();
    ui.clear();
    dm->cdsSoli->Cancel();
    dm->cdsSoli->Insert();
    dm->cdsSoli->FieldByName("NRSOLISERV").setAsString("0000000120");
    try {
        checks.Vd_Release_Soli();
        ADD_FAILURE() << "passed with the server down";
    } catch (const EHomologa &error) {
        EXPECT_TRUE(error.message().startsWith("Não foi possível carregar a resposta do servidor de aplicação em "
                                               "GetReleaseSoli"))
            << error.message().toStdString();
    }
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(ConnectionUses(dm->stlConexoes, "netGrupSoliHom"), uses) << "the connection use is given back";
    serverUp();
}

TEST_F(DataModuleTest, TransitionLogStoredUnderTheGroup)
{
    auto dm = openDataModule();
    ASSERT_TRUE(dm->LocalizaGrupo("0000000002"));
    SalvaLog(*dm, "001", "002", "Transferido C:\\Hom\\P501\\Srv\\Calc.pas\r\n");
    SalvaLog(*dm, "001", "002", "segunda\r\n", "0000000008");
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_TRUE(busyShown("Salvando log da operação..."));
    EXPECT_FALSE(ui.busyVisible());
    const auto logOf = [&](const char *code) {
        QStringList rows;
        QSqlQuery &query = db().exec("SELECT CDOPERADOR, IDSTGRUPANT, IDSTGRUPNOVO, TXLOGTRAM FROM LOGTRAM WHERE "
                                     "CDGRUPHOMOL = ? ORDER BY NRSEQLOG",
                                     {QString::fromLatin1(code)});
        while (query.next())
            rows << QStringList{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                                query.value(3).toString()}
                        .join('|');
        return rows;
    };
    EXPECT_EQ(logOf("0000000002"), QStringList({"0001|001|002|Transferido C:\\Hom\\P501\\Srv\\Calc.pas\r\n"}));
    EXPECT_EQ(logOf("0000000008"), QStringList({"0001|001|002|segunda\r\n"}));

    // A failed store is the error of the advance that called it; the animation goes.
    EXPECT_THROW(SalvaLog(*dm, "001", "002", "x", "0000000099"), EAbort);
    EXPECT_EQ(ui.messages().size(), 1);
    EXPECT_FALSE(ui.busyVisible());
}
