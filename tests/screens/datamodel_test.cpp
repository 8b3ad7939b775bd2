// The homologation screen built directly: its datasets, tables, display rules, check box
// images, and the order in which creation and closing run their steps.

#include "host/hostsettings.h"
#include "screens/groups/checkimages.h"
#include "screens/groups/frmgrupsolihom.h"

#include <QAction>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using packet::FieldType;

// A scripted HostUi installed for one test.
struct ScriptedUi {
    ScriptedHostUi ui;
    HostUiScope scope{ui};
};

// "NAME:size" for texts, "NAME:dt" for date-times, "NAME:blob", "NAME:fixed1"; a leading
// "-" marks a hidden field; "=Label" follows when the field has one.
QStringList describe(const Dataset &dataset)
{
    QStringList out;
    for (const FieldDef &field : dataset.fieldDefs()) {
        QString text = field.visible ? QString() : QStringLiteral("-");
        text += field.name + u':';
        switch (field.type) {
        case FieldType::String: text += QString::number(field.size); break;
        case FieldType::FixedString: text += QStringLiteral("fixed") + QString::number(field.size); break;
        case FieldType::DateTime: text += QStringLiteral("dt"); break;
        case FieldType::Blob: text += QStringLiteral("blob"); break;
        }
        if (!field.label.isEmpty())
            text += u'=' + field.label;
        out << text;
    }
    return out;
}

QStringList names(const QString &list) { return list.split(u' ', Qt::SkipEmptyParts); }

// A packet with the dataset's fields, one row per set of field values.
packet::Packet rowsOf(const Dataset &dataset, const QList<QMap<QString, QString>> &rows)
{
    packet::Packet data;
    data.fields = dataset.packetFields();
    for (const QMap<QString, QString> &values : rows) {
        packet::Row row(data.fields.size());
        for (auto it = values.begin(); it != values.end(); ++it)
            row[dataset.fieldIndex(it.key())] = it.value();
        data.rows.append(row);
    }
    return data;
}

class RecordingScreen : public TfrmGrupSoliHom {
public:
    void ConexaoPermanente(bool conecta) override
    {
        calls << (conecta ? "conecta" : "libera") + QString(hostBusy() ? "(animação)" : "");
    }
    void GetInitialData() override
    {
        calls << "GetInitialData" + QString(hostBusy() ? "(animação)" : "");
        dm->boEditavel = editableAnswer;
    }
    void tbtPendenteClick() override { calls << "tbtPendenteClick"; }
    void GetUserPass() override { calls << "GetUserPass"; }
    void TravaTela() override { calls << "TravaTela"; }
    void pgcPadraoChange() override { calls << "pgcPadraoChange:" + pgcPadrao->currentWidget()->objectName(); }
    bool hostBusy() const { return ui && ui->busyVisible(); }

    QStringList calls;
    bool editableAnswer = false;
    ScriptedHostUi *ui = nullptr;
};

}  // namespace

TEST(GrupSoliHomDataModel, DatasetsFieldsAndLabels)
{
    TfrmGrupSoliHom screen;
    EXPECT_EQ(describe(*screen.dm->cdsGrupo),
              QStringList({"-IDMARCADO:fixed1", "-CDARVPROD:20=Produto", "-CDPRODUTO:10=Produto", "CDGRUPHOMOL:10=Código",
                           "DSGRUPHOMOL:50=Nome do Grupo", "CDRELEASEGHOM:10=Release", "IDSTGRUPHOM:3=Status",
                           "-DTCRIAGRHOM:dt=Data de criação", "NMPRODUTO:50=Produto", "-DTULTATUGHOM:dt",
                           "DTHRGERAGRUPSOL:dt=Data de geração", "DTHRHOMOGRUPSOL:dt=Data de homologação"}));
    EXPECT_EQ(screen.dm->cdsGrupo->fieldDef("CDARVPROD").editMask, "A.A.AA;0; ");
    EXPECT_EQ(screen.dm->cdsGrupo->fieldDef("CDRELEASEGHOM").editMask, "9.99.999;0; ");
    EXPECT_EQ(describe(*screen.dm->cdsSoli),
              QStringList({"NMOPERADOR:40=Responsável", "MODELAGEM:3=Modelagem", "-CDFASETRAM:3", "-CDGRUPHOMOL:10",
                           "-CDFILIAL:4", "NRSOLISERV:10=Número", "IDSTSOLIGRUP:3=Status", "DSREFESOLI:60=Referência",
                           "TXOBSOLIGER:250=Obs. Geral", "NRPRIOSOLI:3", "IDHOMOLSOL:1=Homologar",
                           "IDRETSOLERROPRO:1=Voltar erro", "IDENCSOLPATCREG:1=Regerar", "-CDASSUNTO:5"}));
    EXPECT_EQ(describe(*screen.dm->cdsArq),
              QStringList({"-CDFILIAL:4=Filial", "NRSOLISERV:10=Solicitação", "DSDIRARQCHECKOU:250=Arquivo",
                           "CDRELEASEARQANT:10=Release Anterior", "CDRELEASEARQATU:10=Release Atual"}));
    EXPECT_EQ(describe(*screen.dm->cdsArqLib),
              QStringList({"-CDFILIAL:4=Filial", "NRSOLISERV:10=Solicitação", "DSARQPATCH:250=Arquivo Origem",
                           "-CDVERPRODUTO:10", "-CDRELVERPROD:10", "-CDPATCHVERPR:10=Versão", "-NRSEQPATCH:3",
                           "-IDARQESPECLIE:1=Específico", "DSDIRDESTHOM:250=Arquivo Homologação"}));
    EXPECT_EQ(screen.dm->cdsArqLib->IndexFieldNames(), "NRSOLISERV");
    EXPECT_EQ(describe(*screen.dm->cdsProd), QStringList({"CDARVPROD:20=Arvore", "NMPRODUTO:50=Produto", "CDPRODUTO:10=Código"}));
    EXPECT_EQ(describe(*screen.dm->cdsSoliDisp), QStringList({"-CDFILIAL:4", "NRSOLISERV:10=Número", "DSREFESOLI:60=Referência",
                                                          "TXOBSOLIGER:250=Obs. Geral"}));
    EXPECT_EQ(describe(*screen.dm->cdsGrupoAux), describe(*screen.dm->cdsGrupo));
    EXPECT_EQ(describe(*screen.dm->cdsSoliAux), describe(*screen.dm->cdsSoli));
    QStringList withoutSubject = describe(*screen.dm->cdsSoli);
    withoutSubject.removeLast();
    EXPECT_EQ(describe(*screen.dm->cdsSoliAuxRel), withoutSubject);
    EXPECT_EQ(describe(*screen.dm->cdsArqAux), describe(*screen.dm->cdsArq));
    EXPECT_EQ(describe(*screen.dm->cdsAuxArqSoli), describe(*screen.dm->cdsArqSoli));
    EXPECT_EQ(describe(*screen.dm->cdsVersArq), describe(*screen.dm->cdsArqModifAtu));

    const QList<QPair<Dataset *, QString>> working = {
        {screen.dm->cdsArqSoli, "CDFILIAL:4 NRSOLISERV:10 DSARQPATCH:250 DSDIRDSTARQESPCLI:250 DSDIRDESTARQ:250 IDARQESPECLIE:1"},
        {screen.dm->cdsAgrupaSoli, "CDFILIAL:4 NRSOLISERV:10 NRSEQAGRUPASOLI:10"},
        {screen.dm->cdsVerifSoliGrupModel, "CDGRUPHOMOL:10 NRSOLISERV:4000"},
        {screen.dm->cdsVdSoli, "CDFASETRAM:3 CDGRUPHOMOL:10 CDFILIAL:4 NRSOLISERV:10 DSREFESOLI:60 TXOBSOLIGER:250 DSGRUPHOMOL:50"},
        {screen.dm->cdsItemTrabDesenv, "NRSOLISERV:10 CDFASETRAM:3 DSREFESOLI:60"},
        {screen.dm->cdsVdJust, "CDFILIAL:4 CDGRUPHOMOL:10 NRSOLISERV:10 CDOPERADOR:12 DSALTPROCHOMOL:blob"},
        {screen.dm->cdsVDDepSoli, "CDFILIAL:4 NRSOLISERV:10=Número DSREFESOLI:60=Referência"},
        {screen.dm->cdsVDDepArq, "DSDIRARQCHECKOU:250=Arquivo"},
        {screen.dm->cdsArqModifAtu, "DSDIRARQCHECKOU:250 CDRELEASEARQANT:10 CDRELEASEARQATU:10 DIRETORIO:250 URL:250"},
        {screen.dm->cdsVd_ReleaseArq, "GRUPOHOMOL:24 NRSOLISERV:10 NRTAREFA:10 NRPLATIVTARE:5 DSDIRARQCHECKOU:250 HOMOLOG:10 DESENV:10"},
        {screen.dm->cdsVerificaArquivos, "IDENTIFICA:fixed1 NRSOLISERV:10"},
        {screen.dm->cdsVerificaProduto, "DSDIRBASEVER:250"},
        {screen.dm->cdsdatagpatch, "DTULTIMOUPDATE:16"},
        {screen.dm->cdsVersArqFonteHom, "CDGRUPHOMOL:10 DSARQSVNHOMOL:250 NRREVANTARQSVN:10 NRREVATUARQSVN:10"},
        {screen.dm->cdsSoliNaoGerada, "CDFILIAL:4 NRSOLISERV:10 DSREFESOLI:60"},
        {screen.dm->cdssolisemgerar, "CDFILIAL:4 NRSOLISERV:10 DSARQPATCH:250 CDVERPRODUTO:10 CDRELVERPROD:10 CDPATCHVERPR:10 "
                                 "NRSEQPATCH:3 IDARQESPECLIE:1"},
        {screen.dm->cdsArqSoliCons, "DSDIRDESTARQ:250"},
        {screen.dm->cdsArqCons, "DSDIRDESTARQ:250"},
        {screen.dm->cdsVdReleaseSoli, "NRSOLISERV:10 DSSTFASETRAM:50 NMOPERADOR:40 CDRELEASESOLI:10"},
        {screen.dm->cdsReleaseSoli, "NRSOLISERV:10 CDRELEASESOLI:10 CDARVPROD:20"},
        {screen.dm->cdsVerificaSolicitaGrupo, "NRSOLISERV:10 CDGRUPHOMOL:10"},
        {screen.dm->cdsArqSoliAsp, "CDFILIAL:4 NRSOLISERV:10 DSARQPATCH:250 DSDIRDESTARQ:250"},
        {screen.dm->cdsArqSoliSetForms, "CDFILIAL:4 NRSOLISERV:10 DSARQPATCH:250 DSDIRDESTARQ:250"}};
    for (const auto &[dataset, layout] : working)
        EXPECT_EQ(describe(*dataset), names(layout)) << dataset->name().toStdString();

    // Every dataset exists empty, ready to receive its packet, under its own name.
    const QList<Dataset *> all = screen.dm->datasets();
    EXPECT_EQ(all.size(), 35);
    QSet<QString> seen;
    for (Dataset *dataset : all) {
        EXPECT_TRUE(dataset->Active()) << dataset->name().toStdString();
        EXPECT_TRUE(dataset->IsEmpty()) << dataset->name().toStdString();
        EXPECT_TRUE(dataset->name().startsWith("cds")) << dataset->name().toStdString();
        seen.insert(dataset->name());
    }
    EXPECT_EQ(seen.size(), 35);
}

TEST(GrupSoliHomDataModel, MessageAndStatusTables)
{
    TfrmGrupSoliHom screen;
    const QStringList keys = names(
        "Excl Recebendo Atualizando SoliDisp SOLI_INV NM_GRUPO_DEVE SOLI_DEVE SOLI_JA Prod PROD_DEVE PROD_INV N_SOLI_DISP "
        "N_PROD_CHANGE AVANCA_HINT SOLI_EMPTY ARQ_EMPTY SOLI_DEP ARQ_DEP CONF_001_002 ATU_ARQ_LOCAL GET_ARQ_DES_VER "
        "ERRO_N_ATU_LOCAL ACAO_REMOVE_TRAVAS ACAO_RESOLVE_CONFLITOS_1 ACAO_RESOLVE_CONFLITOS_2 ACAO_UPDATE ACAO_ATU_ARQ_DES "
        "ACAO_ATU_ARQ_HOM ATU_VER_ARQ_DES ERRO_GET_VER_HOM N_LOC_VER ERRO_CRIA_DIR_HOM ERRO_CRIA_ARQ_HOM ATU_ARQ_HOM "
        "Grava_Versao_Ant_Arq_Homologados Troca_Arquivos_Desenv_Homol TRAM_SUCCESS SALVA_LOG Volta_versao_svn CONF_002_003 "
        "SOLI_N_GERADA VALIDA_SERV CONF_003_004 SEM_DEP CRIAR_PATCH CONF_004_005 CONF_005_006 ATUALIZA_SRV_TESTE "
        "CONF_006_007 SOLI_N_TESTADA SEM_RELEASE USER_CANCEL VOLTA_GRUPO SOLI_FORA_FASE NAO_FEZ_BACKUP NOT_COPY_FILE "
        "ERRO_CREATE_DIR_BACKUP_KMT NOT_FILE_EXISTS NOT_DEL_FILE ACAO_GERA_TAG GERA_TAG CRIANDO_DIR_TAG GERANDO_TAG "
        "ERRO_GERA_TAG ERRO_RELEASE_ARQ COMMIT_REP_HOMOL COMMIT_FILE_REPHOM MAKE_DIR RESULTADO DIR_EMPTY DIR_TRUNK "
        "DESFAZ_SVN ACAO_DESFAZ_SVN STATUS_FILE ERRO_ENVIA_ARQ_HOM ERRO_GET_VER_HOM_POS NOT_CREATE_DIR "
        "ATUALIZANDO_REPOSITORIOS VALIDA_SOLI_GERADA ATUAL_PRE_HOMOLOGADOS TRAMITAGRUPO_PATCH_GERADA LIBERA_GRUPO_TESTE "
        "VALIDA_SOL_TESTADA VALIDANDO_GRUPOS_RELEASE HOMOLOGA_GRUPO_SELECIONADO VOLTA_SOLI_ERRO VOLTA_BACKUP_HOMOLOGADOS "
        "VOLTA_SVN_HOMOLOGADOS TRAMITA_SOLI_CORRIGE VOLTA_REGERA_SOLI TRAMITA_SOLI_REGERA_PATCH "
        "ATUALIZANDO_ARQUIVOS_HOMOLOGADOS TRAMITA_SOLI_HOMOL GRAVA_BACKUP_HOMOL EXCLUI_BACKUP_HOMOL VERIF_STATUS_FILE "
        "ERRO_SOLI_SEM_FILE_GERAR ARQMODIFSEMGERAR ARQGERARSEMMODIF RELEASE_EMPTY VALIDANDO_ARQUIVOS SOLI_REL_PATCH "
        "ERRO_ARQ_BAIXADO ERRO_COPIA_ARQ ATU_REP_WEB ERRO_ARQ_DIF_VER SOLI_DESENV SOLI_PROJ_N_OK");
    ASSERT_EQ(keys.size(), 108);
    EXPECT_EQ(screen.msgPadrao.keys(), keys);
    for (const QString &key : keys)
        EXPECT_FALSE(screen.msgPadrao.Msg(key).trimmed().isEmpty()) << key.toStdString();

    const TMessages &msg = screen.msgPadrao;
    EXPECT_EQ(msg.Msg("Recebendo"), "Recebendo dados do servidor...");
    EXPECT_EQ(msg.Msg("Atualizando"), "Atualizando dados no servidor...");
    EXPECT_EQ(msg.Msg("Excl"), "Confirma exclusão?");
    EXPECT_EQ(msg.Msg("SOLI_JA", {"0000000007", "Fiscal"}),
              "Inclusão não permitida.\r\n\r\nSolicitação já está incluída no grupo \"0000000007 - Fiscal\"");
    EXPECT_EQ(msg.Msg("ARQMODIFSEMGERAR", {"X"}),
              "Os arquivos seguintes foram modificados, porém não estão relacionados para a geração de patch. "
              "Deseja continuar ?" + QString(67, ' ') + "X");
    EXPECT_EQ(msg.Msg("ARQGERARSEMMODIF", {"X"}),
              "Os arquivos seguintes foram relacionados para a geração de patch, porém não foram modificados. "
              "Deseja continuar?" + QString(56, ' ') + "X");
    EXPECT_EQ(msg.Msg("RELEASE_EMPTY", {"X"}), "O(s) seguinte(s) arquivo(s) estão sem release:" + QString(105, ' ') + "X");
    EXPECT_EQ(msg.Msg("CRIAR_PATCH", {"501022", "501023"}).count("Rv7_501022_501023.zip"), 1);
    EXPECT_TRUE(msg.Msg("CRIAR_PATCH").contains("utiliizando o MDQ."));
    EXPECT_EQ(msg.Msg("SOLI_FORA_FASE", {"1 - A", "2 - B"}),
              "A solicitação \"1 - A\" já se encontra com status indicando que já foi homologada e não será levada em "
              "consideração durante a homologação do grupo de solicitações \"2 - B\".");
    EXPECT_EQ(msg.Msg("ATU_REP_WEB", {"C:\\W"}), "\r\n@echo Atualizando Diretorio: C:\\W.");
    EXPECT_EQ(msg.Msg("NOT_COPY_FILE", {"A", "B"}), "Não foi possível realizar a cópia: A para B.");
    EXPECT_EQ(msg.Msg("SOLI_PROJ_N_OK", {"0000000001"}),
              "Grupo bloqueado porque a(s) solicitação(ões) 0000000001 ainda não tiveram seus projetos de modelagem "
              "homologados.");
    EXPECT_TRUE(msg.Msg("CONF_006_007").contains("selecionados?\r\n\r\nObservação.: Os grupos"));
    EXPECT_TRUE(msg.Msg("VOLTA_GRUPO").contains("homologação:\r\n\r\n%s\r\n\r\nSe a operação"));

    EXPECT_EQ(screen.dm->msgStatus.entries(),
              QStringList({"001|Pendente", "002|SVN homologados atualizado", "003|Grupo Gerado",
                           "004|Pré homologados atualizado", "005|Patch de teste Gerado",
                           "006|Servidores de teste atualizados", "007|Encerrado"}));
    EXPECT_EQ(screen.dm->msgStatusSoli.entries(),
              QStringList({"001|Aguardando Geração de Patch", "002|Patch gerada", "003|Não Validada",
                           "004|Validada com erro", "005|Validada sem Erro", "006|Homologada", "000|Fora da Tramitação",
                           "007|Aguardando Regeração de Patch"}));
}

TEST(GrupSoliHomDataModel, DisplayRules)
{
    TfrmGrupSoliHom screen;
    screen.dm->cdsGrupo->setData(rowsOf(*screen.dm->cdsGrupo, {{{"IDSTGRUPHOM", "004"}, {"CDRELEASEGHOM", "501023"}}}));
    EXPECT_EQ(screen.dm->cdsGrupo->FieldByName("IDSTGRUPHOM").DisplayText(), "Pré homologados atualizado");
    EXPECT_EQ(screen.dm->cdsGrupo->FieldByName("CDRELEASEGHOM").DisplayText(), "5.01.023");
    EXPECT_EQ(screen.dbgPadrao->cellText(0, screen.dbgPadrao->columnOfField("IDSTGRUPHOM")), "Pré homologados atualizado");
    EXPECT_EQ(screen.dm->textoStatusGrupo("009"), "<009>") << "an unknown code shows what the table gives for it";
    EXPECT_EQ(screen.dm->textoStatusGrupo(""), "");
    EXPECT_EQ(screen.dm->textoStatusSoli("000"), "Fora da Tramitação");

    packet::Packet files;
    files.fields = screen.dm->cdsArqLib->packetFields();
    const auto file = [&](const QString &number, const QString &version, const QString &release, const QString &patch,
                          const QString &specific) {
        packet::Row row(files.fields.size());
        row[screen.dm->cdsArqLib->fieldIndex("NRSOLISERV")] = number;
        row[screen.dm->cdsArqLib->fieldIndex("CDVERPRODUTO")] = version;
        row[screen.dm->cdsArqLib->fieldIndex("CDRELVERPROD")] = release;
        row[screen.dm->cdsArqLib->fieldIndex("CDPATCHVERPR")] = patch;
        row[screen.dm->cdsArqLib->fieldIndex("IDARQESPECLIE")] = specific.isNull() ? QVariant() : QVariant(specific);
        return row;
    };
    files.rows = {file("0000000004", "1", "00", "023", "S"), file("0000000003", "", "", "", "N"),
                  file("0000000002", "1", "", "023", "X"), file("0000000001", "", "02", "", QString())};
    screen.dm->cdsArqLib->setData(files);
    const int version = screen.dbgArqLib->columnOfField("CDPATCHVERPR");
    const int specific = screen.dbgArqLib->columnOfField("IDARQESPECLIE");
    // Ordered by request number.
    EXPECT_EQ(screen.dbgArqLib->cellText(0, version), ".02.") << "missing parts leave their places";
    EXPECT_EQ(screen.dbgArqLib->cellText(0, specific), "");
    EXPECT_EQ(screen.dbgArqLib->cellText(1, version), "1..023");
    EXPECT_EQ(screen.dbgArqLib->cellText(1, specific), "");
    EXPECT_EQ(screen.dbgArqLib->cellText(2, version), "") << "all three empty shows nothing";
    EXPECT_EQ(screen.dbgArqLib->cellText(2, specific), "Não");
    EXPECT_EQ(screen.dbgArqLib->cellText(3, version), "1.00.023");
    EXPECT_EQ(screen.dbgArqLib->cellText(3, specific), "Sim");
}

TEST(GrupSoliHomDataModel, CheckBoxImagesAndTheirRules)
{
    for (CheckBoxImage kind : {CheckBoxImage::Ticked, CheckBoxImage::Empty, CheckBoxImage::Grey}) {
        const QImage &image = checkBoxImage(kind);
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_EQ(image.pixelColor(0, 0), QColor(128, 128, 0)) << "olive background, drawn transparent";
    }
    const QPoint tick(6, 10);
    EXPECT_LT(checkBoxImage(CheckBoxImage::Ticked).pixelColor(tick).lightness(), 60);
    EXPECT_EQ(checkBoxImage(CheckBoxImage::Empty).pixelColor(tick), QColor(255, 255, 255));
    EXPECT_EQ(checkBoxImage(CheckBoxImage::Grey).pixelColor(tick), QColor(212, 212, 212));

    using S = TfrmGrupSoliHom;
    EXPECT_EQ(S::imagemMarcado("006", "S"), CheckBoxImage::Ticked);
    EXPECT_EQ(S::imagemMarcado("006", "N"), CheckBoxImage::Empty);
    EXPECT_EQ(S::imagemMarcado("006", " "), CheckBoxImage::Empty);
    EXPECT_EQ(S::imagemMarcado("006", ""), CheckBoxImage::Empty);
    EXPECT_EQ(S::imagemMarcado("005", "S"), CheckBoxImage::Grey);
    EXPECT_EQ(S::imagemMarcado("007", "N"), CheckBoxImage::Grey);
    EXPECT_EQ(S::imagemDecisao("006", "S", "N", "N"), CheckBoxImage::Ticked);
    EXPECT_EQ(S::imagemDecisao("006", "N", "N", "N"), CheckBoxImage::Empty);
    EXPECT_EQ(S::imagemDecisao("006", "N", "S", "N"), CheckBoxImage::Grey);
    EXPECT_EQ(S::imagemDecisao("006", "S", "N", "S"), CheckBoxImage::Grey);
    EXPECT_EQ(S::imagemDecisao("005", "S", "N", "N"), CheckBoxImage::Grey);

    // The marking column of the group grid draws them.
    TfrmGrupSoliHom screen;
    const auto group = [](const QString &code, const QString &status, const QString &marked) {
        return QMap<QString, QString>{{"CDGRUPHOMOL", code}, {"IDSTGRUPHOM", status}, {"IDMARCADO", marked}};
    };
    screen.dm->cdsGrupo->setData(
        rowsOf(*screen.dm->cdsGrupo, {group("1", "006", "S"), group("2", "006", "N"), group("3", "005", "S")}));
    screen.dm->cdsGrupo->Last();
    screen.resize(1200, 700);
    const QImage shot = screen.dbgPadrao->grab().toImage();
    const int column = screen.dbgPadrao->columnOfField("IDMARCADO");
    const auto tickPixel = [&](int row) {
        const QRect cell = screen.dbgPadrao->visualRect(screen.dbgPadrao->model()->index(row, column))
                               .translated(screen.dbgPadrao->viewport()->pos());
        return shot.pixelColor(cell.left() + 1 + tick.x(), cell.top() + (cell.height() - 16) / 2 + tick.y());
    };
    EXPECT_LT(tickPixel(0).lightness(), 60);
    EXPECT_EQ(tickPixel(1), QColor(255, 255, 255));
    EXPECT_EQ(tickPixel(2), QColor(212, 212, 212));
    if (const QByteArray path = qgetenv("HOMOLOGA_SCREENSHOT"); !path.isEmpty())
        screen.grab().save(QString::fromLocal8Bit(path));
}

TEST(GrupSoliHomScreen, CreationAndClosingOrder)
{
    ScriptedUi scripted;
    host::HostSettings saved = host::hostSettings();

    host::hostSettings().keepConnected = false;
    {
        RecordingScreen screen;
        screen.ui = &scripted.ui;
        screen.Create();
        EXPECT_EQ(screen.calls, QStringList({"GetInitialData", "tbtPendenteClick", "GetUserPass", "TravaTela",
                                             "pgcPadraoChange:tshPadrao"}));
        EXPECT_EQ(scripted.ui.shown().first().kind, ScriptedHostUi::Shown::Kind::Busy);
        EXPECT_EQ(scripted.ui.shown().first().text, "") << "the animation at creation has no caption";
        screen.calls.clear();
        screen.dm->stlConexoes << "netGrupSoliHom=1";
        screen.close();
        EXPECT_EQ(screen.calls, QStringList({"libera"})) << "closing always releases the use taken at creation";
        EXPECT_TRUE(screen.dm->stlConexoes.isEmpty());
    }

    host::hostSettings().keepConnected = true;
    {
        RecordingScreen screen;
        screen.ui = &scripted.ui;
        screen.editableAnswer = true;
        screen.Create();
        EXPECT_EQ(screen.calls, QStringList({"conecta(animação)", "GetInitialData", "tbtPendenteClick", "GetUserPass",
                                             "pgcPadraoChange:tshPadrao"}))
            << "an editable screen is not locked";
    }
    host::hostSettings() = saved;
}

TEST(GrupSoliHomScreen, ShellWidgetsAndCommands)
{
    ScriptedUi scripted;
    RecordingScreen screen;
    screen.Create();
    screen.calls.clear();

    EXPECT_EQ(screen.windowTitle(), "Controle de Processo de Homologação");
    EXPECT_EQ(screen.screenCode(), "VOP42000");
    EXPECT_TRUE(screen.tbtPendente->isChecked());
    EXPECT_TRUE(screen.tbtAndamento->isChecked());
    EXPECT_FALSE(screen.tbtHomologado->isChecked());
    EXPECT_EQ(screen.tbtAndamento->text(), "Grupos em Andamento");
    EXPECT_FALSE(screen.lblTotalSoli->isVisibleTo(&screen));
    EXPECT_EQ(screen.lblTotalSoli->text(), "Total de solicitações :");
    EXPECT_FALSE(screen.btfVoltaFase->isEnabled());
    EXPECT_EQ(screen.btfVoltaFase->toolTip(), "Voltar para fase de tramitação anterior");
    EXPECT_EQ(screen.btfAvancaFase->toolTip(), "Avançar para próxima fase de tramitação (F9)");
    EXPECT_EQ(screen.sbtInterDependencia->toolTip(), "Verificar interdependência primária entre solicitações do grupo (Ctrl+D)");
    EXPECT_FALSE(screen.sbtImprimir->isEnabled());
    EXPECT_FALSE(screen.mnuListar->isEnabled());
    EXPECT_FALSE(screen.mnuConfigurarImpressora->isEnabled());
    EXPECT_TRUE(screen.mnuGrupo->isChecked());

    // The toggles run the group filter.
    screen.tbtHomologado->click();
    EXPECT_EQ(screen.calls, QStringList({"tbtPendenteClick"}));

    // The menu selects pages 1 to 3 without reading them again; the tabs run the page change.
    screen.dm->cdsGrupo->setData(rowsOf(*screen.dm->cdsGrupo, {{{"CDGRUPHOMOL", "0000000001"}, {"IDSTGRUPHOM", "001"}}}));
    screen.calls.clear();
    screen.mnuArq->trigger();
    EXPECT_EQ(screen.pgcPadrao->currentWidget(), screen.tshArq);
    EXPECT_TRUE(screen.mnuArq->isChecked());
    EXPECT_FALSE(screen.mnuGrupo->isChecked());
    EXPECT_TRUE(screen.calls.isEmpty());
    EXPECT_EQ(screen.commandDataSet(), screen.dm->cdsArq);
    screen.pgcPadrao->setCurrentWidget(screen.tshSoli);
    EXPECT_EQ(screen.calls, QStringList({"pgcPadraoChange:tshSoli"}));
    EXPECT_EQ(screen.commandDataSet(), screen.dm->cdsSoli);
    screen.pgcPadrao->setCurrentWidget(screen.tshArqLib);
    EXPECT_EQ(screen.commandDataSet(), screen.dm->cdsArqLib);

    // A locked screen offers no advance; the viewer still looks at the group, which shares
    // nothing on the (empty) server.
    EXPECT_FALSE(screen.btfAvancaFase->isEnabled());
    screen.sbtInterDependencia->click();
    ASSERT_EQ(scripted.ui.messages().size(), 1);
    EXPECT_EQ(scripted.ui.messages()[0], "Não há solicitações dependentes neste grupo de solicitações.");
}
