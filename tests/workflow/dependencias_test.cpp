// The interdependency viewer: its trees, the lists collected for it on the embedded server,
// and the dialog shown and closed.

#include "homologacaoenv.h"

#include "workflow/frmdependencias.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {

std::unique_ptr<Dataset> lista(const QStringList &campos, const QList<QStringList> &linhas)
{
    auto resultado = std::make_unique<Dataset>();
    Dataset &dataset = *resultado;
    QList<FieldDef> defs;
    for (const QString &campo : campos)
        defs.append(FieldDef(campo, packet::FieldType::String, 250));
    dataset.setFields(defs);
    packet::Packet dados{dataset.packetFields(), {}};
    for (const QStringList &linha : linhas) {
        packet::Row row;
        for (const QString &valor : linha)
            row.append(valor);
        dados.rows.append(row);
    }
    dataset.setData(dados);
    return resultado;
}

std::unique_ptr<Dataset> solicitacoes()
{
    return lista({"CDFILIAL", "NRSOLISERV", "DSREFESOLI"},
                 {{"0001", "0000000011", "Cálculo"}, {"0001", "0000000012", "Tela"}, {"0001", "0000000013", "Relatório"}});
}

}  // namespace

TEST(Dependencias, TreesGroupByValueWithoutRegardToCase)
{
    TfrmDependencias dialogo;
    dialogo.Create();
    EXPECT_EQ(dialogo.windowTitle(), "Interdependência Primária entre Solicitações");
    EXPECT_EQ(dialogo.screenCode(), "VOP42002");
    EXPECT_EQ(dialogo.pgcDependencias->tabText(0), "Código Fonte");
    EXPECT_EQ(dialogo.pgcDependencias->tabText(1), "Arquivos gerados");
    EXPECT_EQ(dialogo.pgcDependencias->tabText(2), "Agrupamentos");
    EXPECT_EQ(dialogo.pgcDependencias->currentWidget(), dialogo.tshArqBin);

    auto soli = solicitacoes();
    dialogo.cdsSoliServ->setData(soli->Data());
    const auto fonte = lista({"CDFILIAL", "NRSOLISERV", "DSDIRARQCHECKOU"},
                                {{"0001", "0000000012", "C:\\Src\\b.pas"},
                                 {"0001", "0000000011", "C:\\SRC\\A.PAS"},
                                 {"0001", "0000000013", "C:\\Src\\B.pas"},
                                 {"0001", "0000000012", "c:\\src\\a.pas"},
                                 // A request that the group's list does not hold.
                                 {"0001", "0000000099", "C:\\Src\\b.PAS"}});
    dialogo.MontaTrvCodFonte(*fonte);
    EXPECT_EQ(TfrmDependencias::Linhas(*dialogo.trvCodFonte),
              QStringList({"C:\\SRC\\A.PAS", "  0000000011 - Cálculo", "  0000000012 - Tela", "C:\\Src\\b.pas",
                           "  0000000012 - Tela", "  0000000013 - Relatório", "  0000000099"}));
    EXPECT_FALSE(dialogo.trvCodFonte->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(dialogo.trvCodFonte->topLevelItem(0)->child(0)->icon(0).isNull());

    dialogo.MontaTrvArqBin(*lista({"CDFILIAL", "NRSOLISERV", "DSARQPATCH"},
                                 {{"0001", "0000000013", "\\Src\\Z.dpr"}, {"0001", "0000000011", "\\Src\\y.dpr"}}));
    EXPECT_EQ(TfrmDependencias::Linhas(*dialogo.trvArqBin),
              QStringList({"\\Src\\y.dpr", "  0000000011 - Cálculo", "\\Src\\Z.dpr", "  0000000013 - Relatório"}));

    dialogo.MontaTrvAgrupa(*lista({"CDFILIAL", "NRSOLISERV", "NRSEQAGRUPASOLI"},
                                 {{"0001", "0000000011", "0000000002"}, {"0001", "0000000013", "0000000001"},
                                  {"0001", "0000000012", "0000000002"}}));
    EXPECT_EQ(TfrmDependencias::Linhas(*dialogo.trvAgrupa),
              QStringList({"0000000001", "  0000000013 - Relatório", "0000000002", "  0000000011 - Cálculo",
                           "  0000000012 - Tela"}));
    EXPECT_EQ(dialogo.trvAgrupa->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST(Dependencias, ShownModallyAndDestroyedOnClose)
{
    ScriptedHostUi ui;
    HostUiScope scope(ui);
    auto soli = solicitacoes();
    auto agrupa = lista({"CDFILIAL", "NRSOLISERV", "NRSEQAGRUPASOLI"}, {{"0001", "0000000011", "0000000001"}});
    TfrmDependencias *aberto = nullptr;
    QStringList vistas;
    QTimer operador;
    QObject::connect(&operador, &QTimer::timeout, [&] {
        auto *janela = qobject_cast<TfrmDependencias *>(QApplication::activeModalWidget());
        if (!janela)
            return;
        vistas << janela->objectName() + u' ' + QString::number(janela == aberto)
                + u' ' + TfrmDependencias::Linhas(*janela->trvAgrupa).join(u'|');
        janela->findChild<QPushButton *>("sbtCancel")->click();
    });
    operador.start(10);

    TfrmDependencias::ShowDeps(nullptr, nullptr, agrupa.get(), soli.get(), &aberto);

    EXPECT_EQ(vistas, QStringList({"frmDependencias 1 0000000001|  0000000011 - Cálculo"}));
    EXPECT_EQ(aberto, nullptr);
}

TEST(Dependencias, WithoutAWindowTheTreesAreLogged)
{
    ScriptedHostUi ui;
    ui.setHeadless(true);
    HostUiScope scope(ui);
    auto soli = solicitacoes();
    auto fonte = lista({"CDFILIAL", "NRSOLISERV", "DSDIRARQCHECKOU"},
                          {{"0001", "0000000011", "C:\\A.pas"}, {"0001", "0000000012", "C:\\a.pas"}});

    TfrmDependencias::ShowDeps(fonte.get(), nullptr, nullptr, soli.get());

    EXPECT_EQ(ui.logLines(), QStringList({"Código Fonte:", "  C:\\A.pas", "    0000000011 - Cálculo",
                                          "    0000000012 - Tela", "Arquivos gerados:", "Agrupamentos:"}));
}

// ====================================================================== collecting the lists

class DependenciasTest : public HomologacaoTest {
protected:
    // The viewer's command on the current group; the lists it would show, as text.
    QStringList coleta()
    {
        QStringList mostrado;
        Dependencias dependencias(*dm);
        dependencias.Mostra = [&](Dataset *fonte, Dataset *gerados, Dataset *agrupa, Dataset *soli) {
            mostrado << QStringLiteral("fonte: ") + linhas(*fonte, "DSDIRARQCHECKOU")
                     << QStringLiteral("gerados: ") + linhas(*gerados, "DSARQPATCH")
                     << QStringLiteral("agrupamentos: ") + linhas(*agrupa, "NRSEQAGRUPASOLI")
                     << QStringLiteral("solicitações: ") + QString::number(soli->RecordCount());
        };
        dependencias.sbtInterDependenciaClick();
        return mostrado;
    }
    static QString linhas(const Dataset &dataset, const char *campo)
    {
        QStringList valores;
        for (int row = 0; row < dataset.RecordCount(); ++row)
            valores << Dataset::valueText(dataset.gridRow(row).value(dataset.fieldIndex("NRSOLISERV"))).right(2) + u'='
                    + Dataset::valueText(dataset.gridRow(row).value(dataset.fieldIndex(campo)));
        return valores.join(u' ');
    }
};

TEST_F(DependenciasTest, SharedFilesAndGroupingsAreCollected)
{
    importa({comLiberados(comModificados(solicitacao("11", "080"), {"C:\\Desenv\\P501\\A.pas", "C:\\Desenv\\P501\\S.pas"}),
                          {"\\Desenv\\P501\\G.dpr"}),
             comLiberados(comModificados(solicitacao("12", "080"), {"c:\\desenv\\p501\\a.PAS"}), {"\\Desenv\\P501\\H.dpr"}),
             comLiberados(solicitacao("13", "080"), {"\\Desenv\\P501\\g.DPR"})},
            {grupo("0000000012", {membro("11"), membro("12"), membro("13")})}, {agrupamento("0000000005", {"12", "13"})});
    vaiPara("0000000012");

    EXPECT_EQ(coleta(), QStringList({"fonte: 11=C:\\Desenv\\P501\\A.pas 12=c:\\desenv\\p501\\a.PAS",
                                     "gerados: 11=\\Desenv\\P501\\G.dpr 13=\\Desenv\\P501\\g.DPR",
                                     "agrupamentos: 12=0000000005 13=0000000005", "solicitações: 3"}));
    EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(DependenciasTest, NothingSharedShowsTheInformationBox)
{
    importa({comLiberados(comModificados(solicitacao("11", "080"), {"C:\\Desenv\\P501\\A.pas"}), {"\\Desenv\\P501\\A.dpr"}),
             comLiberados(comModificados(solicitacao("12", "080"), {"C:\\Desenv\\P501\\B.pas"}), {"\\Desenv\\P501\\B.dpr"})},
            {grupo("0000000012", {membro("11"), membro("12")})});
    vaiPara("0000000012");

    EXPECT_TRUE(coleta().isEmpty());
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_EQ(ui.messages()[0], "Não há solicitações dependentes neste grupo de solicitações.");
    EXPECT_EQ(mensagens(ui)[0].type, DialogType::Information);
    EXPECT_EQ(mensagens(ui)[0].buttons, mbOK);
}
