// The patch run from end to end on a compiled product: the files of two requests, the
// working copy, the version resource, every generator, the requests moved on and one zip
// per artefact in each request's attachment folder; and the runs that must not move on.

#include "patchenv.h"

#include "patch/frmgpatch.h"
#include "patch/mensagens.h"

#include "platform/files.h"
#include "tools/import.h"

#include <QApplication>
#include <QRegularExpression>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>
#include <zip.h>

namespace {

const QString kCopia = QStringLiteral("C:\\Homol\\ERP");
const QString kSolicitacoes = QStringLiteral("00010000000501\r\n00010000000502");

const QByteArray kDocumento = R"({
  "operators": [{"CDOPERADOR": "0001", "NMOPERADOR": "Ana", "IDEDITAGRUPO": "S"}],
  "products": [{"CDPRODUTO": "0000000010", "CDARVPROD": "1P50", "NMPRODUTO": "ERP", "release": "100002",
                "locations": ["C:\\Desenv", "C:\\Desenv\\ERP", "file:///C:/Repos/ERP/ERP", "C:\\Homol\\ERP",
                              "C:\\Pre\\", "C:\\Homologados\\"]}],
  "requests": [
    {"CDFILIAL": "0001", "NRSOLISERV": "501", "DSREFESOLI": "Pacote, biblioteca e script", "CDPRODUTO": "0000000010",
     "CDFASETRAM": "030",
     "releasedFiles": [
       {"DSARQPATCH": "C:\\Desenv\\ERP\\CLI\\SRC\\PKG\\_Componentes.dpk", "NRSEQPATCH": "001"},
       {"DSARQPATCH": "C:\\Desenv\\ERP\\ZQL\\SRC\\Cadastro\\Cadastro.dpr", "NRSEQPATCH": "002"},
       {"DSARQPATCH": "C:\\Desenv\\ERP\\SQL\\Oracle\\ATU_0001.sql", "NRSEQPATCH": "005"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "502", "DSREFESOLI": "Programa, relatório e menu", "CDPRODUTO": "0000000010",
     "CDFASETRAM": "030",
     "releasedFiles": [
       {"DSARQPATCH": "C:\\Desenv\\ERP\\CLI\\SRC\\Principal\\Principal.dpr", "NRSEQPATCH": "003"},
       {"DSARQPATCH": "C:\\Desenv\\ERP\\REL\\Vendas.qr2", "NRSEQPATCH": "006"},
       {"DSARQPATCH": "C:\\Desenv\\ERP\\SRV\\CDS\\Menu.cds", "NRSEQPATCH": "007"},
       {"DSARQPATCH": "c:\\desenv\\erp\\sql\\oracle\\atu_0001.SQL", "NRSEQPATCH": "004"}]}
  ]
})";

// The resource script in Windows-1252 with CRLF, as the software house writes it.
const QByteArray kRecursoResto = "VS_VERSION_INFO VERSIONINFO\r\n// Vers\xe3o do produto \x96 \x93" "Exemplo\x94\r\n";
const QByteArray kRecurso =
    "#define VER_PRODUCTVERSION_STR      \"1.00.000\"\r\n#define VER_PRODUCTVERSION          1,0,0,0\r\n" + kRecursoResto;

QList<QPair<QString, QByteArray>> Produto(bool falhaNaBiblioteca)
{
    return {
        {"res\\versao.rc", kRecurso},
        {"CLI\\SRC\\PKG\\_Componentes.dpk", "package _Componentes;\r\nend.\r\n"},
        {"ZQL\\SRC\\Cadastro\\Cadastro.dpr",
         falhaNaBiblioteca ? "library Cadastro;\r\n{ FALHA_DE_COMPILACAO }\r\nend.\r\n" : "library Cadastro;\r\nend.\r\n"},
        {"CLI\\SRC\\Principal\\Principal.dpr", "program Principal;\r\nbegin\r\nend.\r\n"},
        {"SQL\\Oracle\\ATU_0001.sql", "CREATE OR REPLACE FUNCTION Calcula_Total RETURN NUMBER IS\r\nBEGIN\r\n  RETURN 0;\r\nEND;\r\n/\r\n"},
        {"REL\\Vendas.qr2", "QR2\r\nTITULO=Vendas\r\n"},
        {"SRV\\CDS\\Menu.cds",
         "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
         "<FIELD attrname=\"CDMENUITEM\" fieldtype=\"string\" WIDTH=\"20\"/>"
         "<FIELD attrname=\"DSCAPTION\" fieldtype=\"string\" WIDTH=\"60\"/></FIELDS><PARAMS/></METADATA>"
         "<ROWDATA><ROW CDMENUITEM=\"CADASTRO\" DSCAPTION=\"Cadastro\"/></ROWDATA></DATAPACKET>"},
    };
}

// The single entry of a one-file archive: its name and content.
QPair<QString, QByteArray> Conteudo(const QString &zipPath)
{
    int erro = 0;
    zip_t *arquivo = zip_open(platform::files::nativePath(zipPath).toUtf8().constData(), ZIP_RDONLY, &erro);
    if (!arquivo)
        return {};
    QPair<QString, QByteArray> entrada;
    if (zip_get_num_entries(arquivo, 0) == 1) {
        zip_stat_t estado;
        zip_stat_index(arquivo, 0, 0, &estado);
        entrada.first = QString::fromUtf8(estado.name);
        zip_file_t *dentro = zip_fopen_index(arquivo, 0, 0);
        QByteArray bytes(qsizetype(estado.size), '\0');
        zip_fread(dentro, bytes.data(), estado.size);
        zip_fclose(dentro);
        entrada.second = bytes;
    }
    zip_close(arquivo);
    return entrada;
}

class GeracaoTest : public GeracaoComServidor {
protected:
    void Prepara(bool falhaNaBiblioteca = false)
    {
        server::importDocument(db(), kDocumento);
        CriaRepositorio(QStringLiteral("ERP"), kCopia, Produto(falhaNaBiblioteca));
    }
    QString Anexos(const QString &numero) const { return QStringLiteral("C:\\Anexos\\") + numero; }
};

// Operates the patch screen when it shows: `acao` is called on every tick with the screen.
class OperadorDaGeracao {
public:
    explicit OperadorDaGeracao(std::function<void(TfrmGPatch &)> acao) : m_acao(std::move(acao))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *tela = qobject_cast<TfrmGPatch *>(QApplication::activeModalWidget()); tela && tela->isVisible())
                m_acao(*tela);
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
    std::function<void(TfrmGPatch &)> m_acao;
};

}  // namespace

TEST_F(GeracaoTest, HeadlessRunBuildsStampsMovesTheRequestsOnAndAttachesEveryArtefact)
{
    Prepara();
    ui.setHeadless(true);
    EXPECT_TRUE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")))
        << ui.logLines().join('\n').toStdString() << "\n" << QStringList(ui.messages()).join('\n').toStdString();
    const auto mensagens = patch::MensagensDaGeracao();
    EXPECT_EQ(ui.messages(), QList<QString>{mensagens.Msg("Gera_OK")});

    // The log went to the command line, the progress as n/m: the resource and six distinct files.
    EXPECT_TRUE(ui.logLines().contains(QStringLiteral("Gerando versao.res (Versão atual: 1.00.002)...")));
    EXPECT_TRUE(ui.logLines().contains("Gerando C:\\Homol\\ERP\\CLI\\SRC\\PKG\\_Componentes.dpk..."));
    EXPECT_EQ(ui.logLines().filter(QRegularExpression("^Gerando C:")).size(), 6);
    EXPECT_EQ(ui.progressTexts(), (QStringList{"1/7", "2/7", "3/7", "4/7", "5/7", "6/7", "7/7"}));
    // The build working copy was updated first and the time of it kept.
    EXPECT_EQ(ui.logLines().first(), "REALIZANDO AÇÕES NO SUBVERSION ...");
    EXPECT_TRUE(platform::files::fileExists("C:\\subversion\\date\\cdsdatagpatch.cds"));

    // Compiled: one package, one library, one program; the resource with brcc32.
    EXPECT_EQ(ambiente->chamadas("dcc32").size(), 3);
    ASSERT_EQ(ambiente->chamadas("brcc32").size(), 1);
    EXPECT_EQ(ambiente->chamadas("brcc32").first(),
              AmbienteDeGeracao::argumentosDe("brcc32 C:\\Homol\\ERP\\res\\versao.rc -foC:\\Homol\\ERP\\res\\versao.res"));
    // Only its first two lines changed; every other byte is as it was.
    EXPECT_EQ(platform::files::readBytes(kCopia + "\\res\\versao.rc"),
              "#define VER_PRODUCTVERSION_STR      \"1.00.002\"\r\n#define VER_PRODUCTVERSION          1,0,2,0\r\n" + kRecursoResto);
    EXPECT_TRUE(platform::files::fileExists(kCopia + "\\res\\versao.res"));
    // Stamped and committed.
    EXPECT_TRUE(platform::files::readLines(kCopia + "\\SQL\\Oracle\\ATU_0001.sql").contains("BEGIN ATUVEROBJ('CALCULA_TOTAL','1.00.002'); END;"));
    EXPECT_TRUE(platform::files::readBytes(kCopia + "\\REL\\Vendas.qr2").endsWith("1.00.002#"));
    // (the resource script is stamped in the working copy only)
    EXPECT_EQ(Saida("svn status -q " + kCopia).trimmed(), "M       C:\\Homol\\ERP\\res\\versao.rc");

    // The requests moved on, with the version their files were generated for.
    EXPECT_EQ(Fase("0000000501"), "050");
    EXPECT_EQ(Fase("0000000502"), "050");
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM ARQPATCH WHERE CDVERPRODUTO = '1' AND CDRELVERPROD = '00' AND "
                          "CDPATCHVERPR = '002'")
                  .toInt(),
              7);

    // One zip per artefact under the folder named by the last phase change.
    const QString carimbo =
        db().scalar("SELECT DTALFASETRAM FROM SOLICITACAO WHERE NRSOLISERV = '0000000501'").toDateTime().toString("yyyyMMddHHmmss");
    EXPECT_EQ(ArquivosEm(Anexos("0000000501")),
              (QStringList{carimbo + "\\ATU_0001.sql.zip", carimbo + "\\Cadastro.dll.zip", carimbo + "\\_Componentes.bpl.zip"}));
    const QStringList segunda = ArquivosEm(Anexos("0000000502"));
    ASSERT_EQ(segunda.size(), 4) << segunda.join(' ').toStdString();
    // (archives are named as the files are on disk)
    for (const char *nome : {"Principal.exe.zip", "Vendas.qr2.zip", "Menu.cds.zip", "ATU_0001.sql.zip"})
        EXPECT_EQ(segunda.filter(QString::fromLatin1(nome)).size(), 1) << nome;
    const auto zip = Conteudo(Anexos("0000000501") + u'\\' + carimbo + "\\Cadastro.dll.zip");
    EXPECT_EQ(zip.first, "Cadastro.dll");
    EXPECT_EQ(zip.second, platform::files::readBytes(kCopia + "\\ZQL\\Bin\\Cadastro.dll"));
}

TEST_F(GeracaoTest, FailingCompileIsCountedTheRunGoesOnAndNothingMovesOn)
{
    Prepara(true);
    ui.setHeadless(true);
    EXPECT_FALSE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_EQ(ui.messages(), QList<QString>{patch::MensagensDaGeracao().Msg("Gera_Erro")});
    EXPECT_EQ(ambiente->chamadas("dcc32").size(), 3);
    EXPECT_TRUE(platform::files::fileExists(kCopia + "\\CLI\\Bin\\Principal.exe"));
    EXPECT_FALSE(platform::files::fileExists(kCopia + "\\ZQL\\Bin\\Cadastro.dll"));
    EXPECT_TRUE(ui.logLines().filter("Fatal:").size() == 1);
    EXPECT_EQ(Fase("0000000501"), "040");
    EXPECT_EQ(Fase("0000000502"), "040");
    EXPECT_FALSE(platform::files::dirExists("C:\\Anexos\\0000000501"));
}

TEST_F(GeracaoTest, OnScreenAFailedRunKeepsTheScreenAndLeavingItIsNoPatch)
{
    Prepara(true);
    bool confirmou = false;
    QString rotulo, dica;
    OperadorDaGeracao operador([&](TfrmGPatch &tela) {
        if (!confirmou) {
            EXPECT_EQ(tela.cdsDArquivos->RecordCount(), 6);
            confirmou = true;
            tela.sbtConfirma->click();
            // The run ended with errors and the screen is still there.
            rotulo = tela.lblOKErro->text();
            dica = tela.sbtBuscaErros->toolTip();
            tela.sbtBuscaErros->click();
            EXPECT_TRUE(tela.lsbProgresso->currentItem()->text().contains("Fatal")) << tela.lsbProgresso->currentItem()->text().toStdString();
            tela.sbtCancel->click();
        }
    });
    EXPECT_FALSE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_TRUE(confirmou);
    EXPECT_EQ(rotulo, "OK/Erros : 6/1");
    EXPECT_EQ(dica, "Versão gerada com erros");
    EXPECT_EQ(Fase("0000000501"), "040");
    EXPECT_FALSE(platform::files::dirExists("C:\\Anexos\\0000000501"));
}

TEST_F(GeracaoTest, OnScreenASuccessfulRunClosesTheScreenAndAttaches)
{
    Prepara();
    // The working copy was updated a minute ago: no update this time.
    platform::files::forceDirectories("C:\\subversion\\date");
    Dataset estado;
    estado.setFields({{"DTULTIMOUPDATE", FieldType::String, 16}});
    estado.CreateDataSet();
    estado.Append();
    estado.FieldByName("DTULTIMOUPDATE").setAsString(QDateTime::currentDateTime().addSecs(-60).toString("dd/MM/yyyy HH:mm"));
    estado.Post();
    estado.SaveToFile("C:\\subversion\\date\\cdsdatagpatch.cds");
    QStringList log;
    int vezes = 0;
    OperadorDaGeracao operador([&](TfrmGPatch &tela) {
        if (vezes++ == 0) {
            tela.sbtConfirma->click();
            for (int i = 0; i < tela.lsbProgresso->count(); ++i)
                log.append(tela.lsbProgresso->item(i)->text());
        }
    });
    EXPECT_TRUE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_FALSE(log.contains(QStringLiteral("REALIZANDO AÇÕES NO SUBVERSION ...")));
    EXPECT_EQ(Fase("0000000501"), "050");
    EXPECT_EQ(ArquivosEm(Anexos("0000000502")).size(), 4);
}

TEST_F(GeracaoTest, CancelLeavesWithoutGeneratingOrMovingOn)
{
    Prepara();
    OperadorDaGeracao operador([](TfrmGPatch &tela) { tela.sbtCancel->click(); });
    EXPECT_FALSE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_TRUE(ambiente->chamadas("dcc32").isEmpty());
    EXPECT_EQ(Fase("0000000501"), "040");
}

TEST_F(GeracaoTest, TwoRequestsCarryingOneFileGiveOneRowWithTheSmallerSequence)
{
    Prepara();
    TfrmGPatch tela;
    tela.Create();
    tela.CarregaArquivos(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50"));
    EXPECT_EQ(tela.cdsArquivos->RecordCount(), 7);
    QStringList linhas;
    for (tela.cdsDArquivos->First(); !tela.cdsDArquivos->Eof(); tela.cdsDArquivos->Next())
        linhas << tela.cdsDArquivos->FieldByName("NRSEQPATCH").AsString() + " "
                      + tela.cdsDArquivos->FieldByName("DSARQPATCH").AsString();
    EXPECT_EQ(linhas, (QStringList{"001 C:\\Homol\\ERP\\CLI\\SRC\\PKG\\_Componentes.dpk",
                                   "002 C:\\Homol\\ERP\\ZQL\\SRC\\Cadastro\\Cadastro.dpr",
                                   "003 C:\\Homol\\ERP\\CLI\\SRC\\Principal\\Principal.dpr",
                                   "004 C:\\Homol\\ERP\\SQL\\Oracle\\ATU_0001.sql",
                                   "006 C:\\Homol\\ERP\\REL\\Vendas.qr2", "007 C:\\Homol\\ERP\\SRV\\CDS\\Menu.cds"}));
}

TEST_F(GeracaoTest, NothingToGenerateIsAPatchAlready)
{
    Prepara();
    ui.setHeadless(true);
    db().exec("DELETE FROM ARQPATCH");
    EXPECT_TRUE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_EQ(ui.messages(), QList<QString>{patch::MensagensDaGeracao().Msg("Gera_Empty")});
    EXPECT_TRUE(ambiente->chamadas("dcc32").isEmpty());
}

TEST_F(GeracaoTest, FilesOfUnknownTypesAreListedAndTheRunEndsWell)
{
    Prepara();
    ui.setHeadless(true);
    db().exec("UPDATE ARQPATCH SET DSARQPATCH = DSARQPATCH || '.txt', DSARQCHAVE = DSARQCHAVE || '.txt'");
    for (const auto &[relativo, conteudo] : Produto(false))
        platform::files::writeBytes(kCopia + u'\\' + relativo + ".txt", conteudo);
    // Nothing was generated, so there is nothing to move on: the run itself ends well.
    EXPECT_FALSE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_EQ(ui.messages(), QList<QString>{patch::MensagensDaGeracao().Msg("Gera_OK")});
    EXPECT_EQ(Fase("0000000501"), "040");
    EXPECT_EQ(ui.logLines().filter(QRegularExpression("^Gerando C:.*\\.txt\\.\\.\\.$")).size(), 6);
    EXPECT_TRUE(ambiente->chamadas("dcc32").isEmpty());
}

TEST_F(GeracaoTest, ARunSendsSubversionExactlyTheseCommandLines)
{
    Prepara();
    ui.setHeadless(true);
    const RegistroDoSvn svn;
    ASSERT_TRUE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")))
        << ui.logLines().join('\n').toStdString();
    const QString credenciais = " --username svn_" + platform::files::logonName() + " --password segredo";
    QStringList linhas{"svn cleanup" + credenciais + " c:\\homol\\erp\\",
                       "svn update" + credenciais
                           + " --force --ignore-externals --no-auth-cache --depth infinity --accept postpone c:\\homol\\erp\\"};
    // Each stamp in sequence order: a look for a lock an interrupted run left and for a stamp
    // it committed, lock, revert, unlock, commit with the version.
    for (const char *arquivo : {"c:\\homol\\erp\\sql\\oracle\\ATU_0001.sql", "c:\\homol\\erp\\rel\\Vendas.qr2",
                                "c:\\homol\\erp\\srv\\cds\\Menu.cds"}) {
        linhas << "svn info --xml --no-auth-cache" + credenciais + u' ' + QString::fromUtf8(arquivo);
        linhas << "svn log --xml -l 1 -r HEAD:1 --no-auth-cache" + credenciais + u' ' + QString::fromUtf8(arquivo);
        for (const char *comando : {"svn lock", "svn revert", "svn unlock", "svn commit -mGerandoaversão:1.00.002"})
            linhas << QString::fromUtf8(comando) + credenciais + u' ' + QString::fromUtf8(arquivo);
    }
    QList<QStringList> esperadas;
    for (const QString &linha : linhas)
        esperadas << RegistroDoSvn::comoOClienteRecebe(linha);
    EXPECT_EQ(svn.chamadas(), esperadas);
}

TEST_F(GeracaoTest, AnArtefactGoneBeforeTheClosingStepMovesNoRequestOn)
{
    Prepara();
    ui.setHeadless(true);
    TfrmGPatch tela;
    tela.Create();
    tela.CarregaArquivos(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50"));
    tela.sbtConfirmaClick();
    ASSERT_EQ(tela.stlResult.size(), 6);
    const QString programa = kCopia + "\\CLI\\Bin\\Principal.exe";
    platform::files::deleteFile(programa);
    EXPECT_FALSE(tela.TramitaEAnexa());
    EXPECT_TRUE(ui.messages().last().contains(programa, Qt::CaseInsensitive)) << ui.messages().last().toStdString();
    EXPECT_EQ(Fase("0000000502"), "040");
    EXPECT_FALSE(platform::files::dirExists("C:\\Anexos\\0000000501"));
}

TEST_F(GeracaoTest, ClosingTheScreenAfterARunWithErrorsMovesNothingOn)
{
    Prepara();
    // A "_HC" package whose second pass fails: every artefact is there, the run has an error.
    db().exec("UPDATE ARQPATCH SET DSARQPATCH = REPLACE(DSARQPATCH, '_Componentes', '_HCComponentes'), "
              "DSARQCHAVE = REPLACE(DSARQCHAVE, '_Componentes', '_HCComponentes')");
    platform::files::writeBytes(kCopia + "\\CLI\\SRC\\PKG\\_HCComponentes.dpk", "package _HCComponentes;\r\n{ FALHA_SEM_B }\r\nend.\r\n");
    int vezes = 0;
    QString dica;
    OperadorDaGeracao operador([&](TfrmGPatch &tela) {
        if (vezes++ == 0) {
            tela.sbtConfirma->click();
            dica = tela.sbtBuscaErros->toolTip();
            EXPECT_EQ(tela.stlResult.size(), 6);
            tela.close();  // the window's own close control, not Cancelar
        }
    });
    EXPECT_FALSE(patch::GeraSolicitacoes(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50")));
    EXPECT_EQ(dica, "Versão gerada com erros");
    EXPECT_EQ(ambiente->chamadas("dcc32").size(), 4);
    EXPECT_EQ(Fase("0000000501"), "040");
    EXPECT_EQ(Fase("0000000502"), "040");
    EXPECT_FALSE(platform::files::dirExists("C:\\Anexos\\0000000501"));
}

TEST_F(GeracaoTest, EachFailureEndsTheRunWithErrorsAndMovesNothing)
{
    const auto mensagens = patch::MensagensDaGeracao();
    const struct {
        const char *nome;
        QByteArray de, para;                 // a change to the imported document
        std::function<void(server::Database &)> depois;  // a change after the files were loaded
        QString log;                         // what the run's log says
        bool semSvn;                          // no Subversion command may run
    } casos[] = {
        {"no build folder", "\"C:\\\\Homol\\\\ERP\",", "\"\",", {}, mensagens.Msg("Dir_Empty"), true},
        {"a build folder without a drive", "\"C:\\\\Homol\\\\ERP\",", "\"Homol\\\\ERP\",", {},
         mensagens.Msg("Dir_Inv"), true},
        // the files stay where the server names them, outside the build copy
        {"no server base folder", "\"C:\\\\Desenv\\\\ERP\", \"file", "\"\", \"file", {},
         "Error: O arquivo C:\\Desenv\\ERP\\CLI\\SRC\\PKG\\_Componentes.dpk (solicitação 0000000501)", false},
        {"a version that is not numbers", "", "",
         [](server::Database &db) { db.exec("UPDATE PRODPATCH SET CDRELVERPROD = '0A'"); },
         "Error: " + mensagens.Msg("VERSAO_INVALIDA", {"1.0A.002"}), false},
        {"the version not recorded", "", "", [](server::Database &db) { db.exec("ALTER TABLE ARQPATCH RENAME TO ARQPATCH_FORA"); },
         "Error: ", false},
    };
    server::importDocument(db(), kDocumento);
    CriaRepositorio(QStringLiteral("ERP"), kCopia, Produto(false));
    platform::files::forceDirectories("C:\\Desenv\\ERP\\CLI\\SRC\\PKG");
    platform::files::writeBytes("C:\\Desenv\\ERP\\CLI\\SRC\\PKG\\_Componentes.dpk", "package _Componentes;\r\nend.\r\n");
    ui.setHeadless(true);
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.nome);
        server::importDocument(db(), QByteArray(kDocumento).replace(caso.de, caso.para));
        platform::files::deleteFile("C:\\subversion\\date\\cdsdatagpatch.cds");
        ambiente->esqueceChamadas();
        const RegistroDoSvn svn;
        TfrmGPatch tela;
        tela.Create();
        tela.CarregaArquivos(kSolicitacoes, QStringLiteral("0000000010"), QStringLiteral("1P50"));
        if (caso.depois)
            caso.depois(db());
        tela.sbtConfirmaClick();
        EXPECT_EQ(tela.SemaStatus, "R");
        EXPECT_EQ(ui.messages().last(), mensagens.Msg("Gera_Erro"));
        EXPECT_FALSE(ui.logLines().filter(caso.log).isEmpty()) << ui.logLines().join('\n').toStdString();
        EXPECT_EQ(svn.chamadas().isEmpty(), caso.semSvn);
        // Leaving the screen moves nothing on and attaches nothing.
        bool fecha = false;
        tela.FormClose(fecha);
        EXPECT_TRUE(fecha);
        EXPECT_EQ(Fase("0000000501"), "040");
        EXPECT_FALSE(platform::files::dirExists("C:\\Anexos\\0000000501"));
        EXPECT_EQ(platform::files::readBytes("C:\\Desenv\\ERP\\CLI\\SRC\\PKG\\_Componentes.dpk"),
                  "package _Componentes;\r\nend.\r\n");
    }
}
