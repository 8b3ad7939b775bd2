// The window build of the metadata web product: windows collected at the highest release
// their requests carry, built with the builder stand-in, every produced file registered
// for its activity with its revisions, changed files stamped, unchanged ones left alone.

#include "patchenv.h"

#include "patch/frmgpatch.h"
#include "patch/mensagens.h"

#include "platform/files.h"
#include "tools/import.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

const QString kCopia = QStringLiteral("C:\\Homol\\Portal");
const QString kJanelas = QStringLiteral("C:\\Homol\\Portal\\products\\quorvel\\sources\\generated\\windows");

const QByteArray kDocumento = R"({
  "products": [{"CDPRODUTO": "0000000020", "CDARVPROD": "P1501", "NMPRODUTO": "Portal", "IDGERRELEASEMETA": "S",
                "release": "150010",
                "locations": ["", "C:\\Desenv\\Portal", "file:///C:/Repos/Portal/Portal", "C:\\Homol\\Portal",
                              "C:\\Pre\\", "C:\\Homologados\\"]}],
  "requests": [
    {"CDFILIAL": "0001", "NRSOLISERV": "601", "DSREFESOLI": "Tela de clientes", "CDPRODUTO": "0000000020", "CDFASETRAM": "030",
     "releasedFiles": [
       {"DSARQPATCH": "C:\\Desenv\\Portal\\products\\quorvel\\sources\\generated\\windows\\W1\\W1.html", "NRSEQPATCH": "001",
        "CDTIPOITTRAB": "72", "CDRELEASEMETA": "000000000000010", "NRTAREFA": "0000000061", "NRPLATIVTARE": "00001"}],
     "workItems": [{"NRTAREFA": "0000000061", "NRPLATIVTARE": "00001", "DSDIRATIV": "C:\\Ativ\\61"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "602", "DSREFESOLI": "Script da tela e assistente", "CDPRODUTO": "0000000020",
     "CDFASETRAM": "030",
     "releasedFiles": [
       {"DSARQPATCH": "C:\\Desenv\\Portal\\products\\quorvel\\sources\\generated\\windows\\W1\\W1.js", "NRSEQPATCH": "002",
        "CDTIPOITTRAB": "72", "CDRELEASEMETA": "000000000000012", "NRTAREFA": "0000000062", "NRPLATIVTARE": "00001"},
       {"DSARQPATCH": "C:\\Desenv\\Portal\\products\\quorvel\\sources\\generated\\windows\\WZ1\\WZ1.html", "NRSEQPATCH": "003",
        "CDTIPOITTRAB": "72", "CDRELEASEMETA": "", "NRTAREFA": "0000000062", "NRPLATIVTARE": "00001"},
       {"DSARQPATCH": "C:\\Desenv\\Portal\\web\\index.php", "NRSEQPATCH": "004", "NRTAREFA": "0000000062", "NRPLATIVTARE": "00001"}],
     "workItems": [{"NRTAREFA": "0000000062", "NRPLATIVTARE": "00001", "DSDIRATIV": "C:\\Ativ\\62"}]}
  ]
})";

QList<QPair<QString, QByteArray>> Portal()
{
    return {
        {"res\\versao.rc", "#define VER_PRODUCTVERSION_STR      \"1.00.000\"\r\n#define VER_PRODUCTVERSION          1,0,0,0\r\n"},
        {"products\\projects\\quorvel\\builder\\build.php", "<?php // builder\r\n"},
        {"products\\quorvel\\sources\\generated\\windows\\W1\\W1.html", "<html>W1</html>\r\n"},
        {"products\\quorvel\\sources\\generated\\windows\\W1\\W1.js", "var w = 1;\r\n"},
        {"products\\quorvel\\sources\\generated\\windows\\WZ1\\WZ1.html",
         "<html>\r\n<script>Framework.showPreviousWizardStage('assistente', 'passo1');</script>\r\n</html>\r\n"},
        {"web\\index.php", "<?php echo 1;\r\n"},
    };
}

class JanelasTest : public GeracaoComServidor {
protected:
    void SetUp() override
    {
        GeracaoComServidor::SetUp();
        if (IsSkipped())
            return;
        server::importDocument(db(), kDocumento);
        CriaRepositorio(QStringLiteral("Portal"), kCopia, Portal());
    }
    // The files registered for an activity: path in the activity -> [revision, new revision, release].
    QMap<QString, QStringList> Registrados(const QString &task)
    {
        QMap<QString, QStringList> registro;
        for (const QStringList &linha :
             server::queryRows(db(), "SELECT DSDIRARQCHECKOU, NRREVISAO, NRREVNOVA, CDRELEASEMETA, NRSEQARQ FROM ARQCHECKOUTATIV "
                                     "WHERE NRTAREFA = ? ORDER BY NRSEQARQ",
                               {task}))
            registro.insert(linha[0], linha.mid(1));
        return registro;
    }
};

}  // namespace

TEST_F(JanelasTest, WindowsAreBuiltOnceAtTheHighestReleaseAndTheirFilesRegistered)
{
    ui.setHeadless(true);
    ASSERT_TRUE(patch::GeraSolicitacoes("00010000000601\r\n00010000000602", "0000000020", "P1501"))
        << ui.logLines().join('\n').toStdString() << QStringList(ui.messages()).join('\n').toStdString();

    // W1 is carried by both requests (releases 10 and 12): built once, at 12; the wizard
    // without a metadata release at the default one, by the name inside its page.
    const QString script = "C:\\Homol\\Portal\\products\\projects\\quorvel\\builder\\build.php";
    const QList<QStringList> builds = ambiente->chamadas("WindowsBuilder");
    ASSERT_EQ(builds.size(), 2);
    EXPECT_EQ(builds[0], AmbienteDeGeracao::argumentosDe("x " + script + " RELEASE_ID 12 W W1"));
    EXPECT_EQ(builds[1], AmbienteDeGeracao::argumentosDe("x " + script + " RELEASE_ID 8888888888 WZ assistente"));
    EXPECT_TRUE(ui.logLines().contains("Gerando a window W1/Release metadados: 12..."));
    EXPECT_TRUE(ui.logLines().contains("Gerando a wizard assistente/Release metadados: 8888888888 ..."));

    // Every file the builds produced is registered for the activity of release 12, in
    // sequence, with its revision before and after the stamp.
    const QMap<QString, QStringList> registro = Registrados("0000000062");
    const QString w1 = "C:\\Ativ\\62\\products\\quorvel\\sources\\generated\\windows\\W1\\";
    const QString wz1 = "C:\\Ativ\\62\\products\\quorvel\\sources\\generated\\windows\\WZ1\\";
    EXPECT_EQ(registro.keys(), (QStringList{w1 + "W1.html", w1 + "W1.js", w1 + "i18n\\W1.ini", wz1 + "WZ1.html",
                                            wz1 + "WZ1.js", wz1 + "i18n\\WZ1.ini"}));
    QStringList sequencias;
    for (const QStringList &valores : registro) {
        sequencias << valores[3];
        EXPECT_GT(valores[1].toInt(), valores[0].toInt()) << valores.join(' ').toStdString();
    }
    std::sort(sequencias.begin(), sequencias.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    EXPECT_EQ(sequencias, (QStringList{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(registro.value(w1 + "W1.js").value(2), "000000000000012");
    EXPECT_EQ(registro.value(wz1 + "WZ1.js").value(2), "000008888888888");
    EXPECT_TRUE(Registrados("0000000061").isEmpty());

    // The produced files carry the version and are committed; new folders too.
    EXPECT_EQ(platform::files::readLines(kJanelas + "\\W1\\W1.js").mid(2), (QStringList{"", "//VERSAO 1.50.010", ""}));
    EXPECT_EQ(platform::files::readLines(kJanelas + "\\W1\\i18n\\W1.ini").mid(2), (QStringList{"", ";VERSAO 1.50.010", ""}));
    EXPECT_TRUE(platform::files::readLines(kJanelas + "\\WZ1\\WZ1.html").contains("<!-- VERSAO 1.50.010 -->"));
    EXPECT_TRUE(Saida("svn status " + kCopia + "\\products").trimmed().isEmpty()) << Saida("svn status " + kCopia).toStdString();
    EXPECT_EQ(Fase("0000000602"), "050");
}

TEST_F(JanelasTest, UnknownActivityStopsTheBuildWithAClearError)
{
    db().exec("DELETE FROM ATIVIDADE WHERE NRTAREFA = '0000000062'");
    ui.setHeadless(true);
    EXPECT_FALSE(patch::GeraSolicitacoes("00010000000601\r\n00010000000602", "0000000020", "P1501"));
    const QList<QString> mensagens = ui.messages();
    ASSERT_FALSE(mensagens.isEmpty());
    EXPECT_TRUE(mensagens.first().startsWith(QStringLiteral("Não foi possível consultar os arquivos da atividade 00001 da tarefa 0000000062")))
        << mensagens.first().toStdString();
    EXPECT_TRUE(Registrados("0000000062").isEmpty());
    EXPECT_EQ(Fase("0000000602"), "040");
}

TEST_F(JanelasTest, RewrittenButUnchangedFileIsRegisteredButNotStamped)
{
    TfrmGPatch tela;
    tela.Create();
    tela.stUserSubVersion = "svn_teste";
    tela.stVersao = "1.50.010";
    const QString js = kJanelas + "\\W1\\W1.js";
    const QString html = kJanelas + "\\W1\\W1.html";
    // The build rewrote both; the script kept the time it had before the build.
    const QDateTime antes = platform::files::modificationTime(js).addSecs(-30);
    platform::files::writeBytes(js, "var w = 2;\r\n");
    platform::files::setModificationTime(js, antes);
    platform::files::writeBytes(html, "<html>W1 novo</html>\r\n");
    platform::files::setModificationTime(html, antes.addSecs(10));
    tela.stlAntes = {js + "=" + TfrmGPatch::DataHoraTexto(antes), html + "=" + TfrmGPatch::DataHoraTexto(antes)};
    tela.ColetaSaidaDoStatus(Saida("svn status --xml " + kJanelas + "\\W1"), "000000000000012", "0000000062", "00001");
    ASSERT_EQ(tela.stlResultadoBuild.size(), 2) << tela.stlResultadoBuild.join('\n').toStdString();
    tela.ResultadosDoBuild();
    EXPECT_EQ(tela.inErros, 0);
    EXPECT_EQ(Registrados("0000000062").size(), 2);
    EXPECT_EQ(platform::files::readBytes(js), "var w = 2;\r\n");
    EXPECT_TRUE(platform::files::readLines(html).contains("<!-- VERSAO 1.50.010 -->"));
    const QString status = Saida("svn status " + kJanelas + "\\W1");
    EXPECT_TRUE(status.contains("W1.js") && !status.contains("W1.html")) << status.toStdString();
    tela.FormDestroy();
}
