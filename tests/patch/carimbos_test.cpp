// Version stamps against a real repository: every stamp is written under lock, revert,
// unlock and commit, and stamping again replaces the old stamp.

#include "patchenv.h"

#include "patch/frmgpatch.h"
#include "patch/mensagens.h"
#include "patch/textodoarquivo.h"

#include "host/dataset.h"
#include "platform/files.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

const QString kCopia = QStringLiteral("C:\\Homol\\ERP");

// Windows-1252, with the byte the code page leaves undefined (81).
const QByteArray kPrecoSql = "-- Pre\xe7o da promo\xe7\xe3o \x93" "especial\x94 em \x80 \x81\r\n"
                             "CREATE OR REPLACE FUNCTION Preco RETURN NUMBER IS\r\nBEGIN RETURN 0; END;\r\n/\r\n";
const QByteArray kMenu1252 =
    "<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>\r\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
    "<FIELD attrname=\"CDMENUITEM\" fieldtype=\"string\" WIDTH=\"20\"/><FIELD attrname=\"DSCAPTION\" fieldtype=\"string\" "
    "WIDTH=\"60\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW CDMENUITEM=\"REL\" DSCAPTION=\"Relat\xf3rios de pre\xe7os\"/>"
    "<ROW CDMENUITEM=\"CAD\" DSCAPTION=\"Cadastro\"/></ROWDATA></DATAPACKET>\r\n";

class CarimboTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CriaRepositorio(QStringLiteral("ERP"), kCopia,
                        {{"SQL\\Oracle\\Proc.sql", "create or replace Procedure Atualiza_Cliente(p IN NUMBER) IS\r\nBEGIN\r\n"
                                                   "  NULL;\r\nEND;\r\n/\r\n"},
                         {"SQL\\SQLServer\\Vw.sql", "-- pedidos\r\nCREATE VIEW vw_Pedidos AS\r\nSELECT 1 AS X\r\nGO\r\n"},
                         {"SQL\\Oracle\\Alter.sql", "ALTER TABLE CLIENTE ADD (DSEMAIL VARCHAR2(100));\r\n"},
                         {"REL\\Vendas.qr2", "QR2\r\nTITULO=Vendas\r\n"},
                         {"CDS\\Menu.cds",
                          "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                          "<FIELD attrname=\"CDMENUITEM\" fieldtype=\"string\" WIDTH=\"20\"/>"
                          "<FIELD attrname=\"DSCAPTION\" fieldtype=\"string\" WIDTH=\"60\"/></FIELDS><PARAMS/></METADATA>"
                          "<ROWDATA><ROW CDMENUITEM=\"CADASTRO\" DSCAPTION=\"Cadastro\"/></ROWDATA></DATAPACKET>"},
                         {"WEB\\index.php", "<?php\r\necho 1;\r\n\r\n//VERSAO 1.00.000\r\n\r\n//VERSAO 0.99.000\r\nlinha depois\r\n"},
                         {"WEB\\conf.ini", "[geral]\r\nnome=x\r\n"},
                         {"WEB\\base.twig", "{% block a %}{% endblock %}\r\n"},
                         {"WEB\\ajuda.html", "<html></html>\r\n\r\n<!-- VERSAO 1.00.000 -->\r\n\r\n"},
                         {"WEB\\pagina.asp", "<% Response.Write(1) %>\r\n"},
                         // Portuguese text as the software house's files hold it
                         {"SQL\\Oracle\\Preco.sql", kPrecoSql},
                         {"SQL\\SQLServer\\Acao.sql", "\xEF\xBB\xBF-- A\xC3\xA7\xC3\xA3o\r\nCREATE VIEW vw_Acao AS SELECT 1 AS X\r\nGO\r\n"},
                         {"WEB\\acao.php", "<?php\r\n// A\xC3\xA7\xC3\xA3o \xE2\x82\xAC\r\necho 1;\r\n"},
                         {"WEB\\regiao.ini", "[regi\xe3o]\nnome=S\xe3o Paulo"},
                         {"REL\\Precos.qr2", "QR2\r\nTITULO=Pre\xe7os\r\n"},
                         {"WEB\\antigo.css", "body{}\rp{}\r"},
                         {"CDS\\Menu1252.cds", kMenu1252}});
        form.stDirBaseRep = kCopia + u'\\';
        form.stUserSubVersion = QStringLiteral("svn_teste");
        form.stPassSubVersion = QStringLiteral("segredo");
        form.stVersao = QStringLiteral("1.00.002");
    }

    QStringList Linhas(const QString &relative) { return platform::files::readLines(kCopia + u'\\' + relative); }
    // Nothing left locked or uncommitted in the working copy.
    void CopiaLimpa()
    {
        const QString status = Saida(QStringLiteral("svn status --xml -u ") + kCopia);
        EXPECT_FALSE(status.contains(QLatin1StringView("<lock>"))) << status.toStdString();
        EXPECT_FALSE(status.contains(QLatin1StringView("item=\"modified\""))) << status.toStdString();
    }
    QString Log() const
    {
        QStringList linhas;
        for (int i = 0; i < form.lsbProgresso->count(); ++i)
            linhas.append(form.lsbProgresso->item(i)->text());
        return linhas.join(u'\n');
    }

    AmbienteDeGeracao ambiente;
    ScriptedHostUi ui;
    HostUiScope escopo{ui};
    TfrmGPatch form;
};

}  // namespace

TEST_F(CarimboTest, OracleProcedureIsStampedOnceAndRestampedInPlace)
{
    const QString arquivo = kCopia + QStringLiteral("\\SQL\\Oracle\\Proc.sql");
    const int antes = Revisao(arquivo);
    form.GeraSql(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    EXPECT_EQ(Linhas("SQL\\Oracle\\Proc.sql").mid(5),
              (QStringList{"", "-- VERSAO --", "BEGIN ATUVEROBJ('ATUALIZA_CLIENTE','1.00.002'); END;", "/", ""}));
    EXPECT_GT(Revisao(arquivo), antes);
    EXPECT_EQ(form.stlResult, QStringList{arquivo.toUpper()});
    CopiaLimpa();
    // (a revert of an unchanged file prints nothing, so it shows no block)
    for (const char *texto : {"BLOQUEANDO O ARQUIVO ...  ", "DESBLOQUEANDO ARQUIVO ...  ", "ENVIANDO ARQUIVO ATUALIZADO ...  "})
        EXPECT_TRUE(Log().contains(QString::fromUtf8(texto) + arquivo)) << texto;

    form.stVersao = QStringLiteral("1.00.003");
    form.GeraSql(arquivo);
    const QStringList linhas = Linhas("SQL\\Oracle\\Proc.sql");
    EXPECT_EQ(linhas.count("-- VERSAO --"), 1);
    EXPECT_EQ(linhas.mid(5), (QStringList{"", "-- VERSAO --", "BEGIN ATUVEROBJ('ATUALIZA_CLIENTE','1.00.003'); END;", "/", ""}));
    CopiaLimpa();
}

TEST_F(CarimboTest, SqlServerViewGetsTheExecForm)
{
    const QString arquivo = kCopia + QStringLiteral("\\SQL\\SQLServer\\Vw.sql");
    form.GeraSql(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    EXPECT_EQ(Linhas("SQL\\SQLServer\\Vw.sql").mid(4),
              (QStringList{"", "-- VERSAO --", "EXEC ATUVEROBJ 'VW_PEDIDOS','1.00.002';", "GO", ""}));
    form.stVersao = QStringLiteral("1.00.003");
    form.GeraSql(arquivo);
    EXPECT_EQ(Linhas("SQL\\SQLServer\\Vw.sql").mid(4),
              (QStringList{"", "-- VERSAO --", "EXEC ATUVEROBJ 'VW_PEDIDOS','1.00.003';", "GO", ""}));
    CopiaLimpa();
}

TEST_F(CarimboTest, ScriptWithoutCreationIsNeitherChangedNorCommittedButCounted)
{
    const QString arquivo = kCopia + QStringLiteral("\\SQL\\Oracle\\Alter.sql");
    const int antes = Revisao(arquivo);
    const QByteArray conteudo = platform::files::readBytes(arquivo);
    form.GeraSql(arquivo);
    EXPECT_EQ(form.inErros, 0);
    EXPECT_EQ(platform::files::readBytes(arquivo), conteudo);
    EXPECT_EQ(Revisao(arquivo), antes);
    EXPECT_EQ(form.stlResult, QStringList{arquivo.toUpper()});
    EXPECT_FALSE(Log().contains(QStringLiteral("ENVIANDO ARQUIVO ATUALIZADO")));
    CopiaLimpa();
}

TEST_F(CarimboTest, ReportStampedTwiceEndsWithOneStamp)
{
    const QString arquivo = kCopia + QStringLiteral("\\REL\\Vendas.qr2");
    const QByteArray original = platform::files::readBytes(arquivo);
    form.GeraQr2(arquivo);
    form.stVersao = QStringLiteral("1.00.003");
    form.GeraQr2(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    EXPECT_EQ(platform::files::readBytes(arquivo), original + "1.00.003#");
    CopiaLimpa();
}

TEST_F(CarimboTest, VersionTooLongForTheReportStampIsCountedAndTheReportLeftAlone)
{
    const QString arquivo = kCopia + QStringLiteral("\\REL\\Vendas.qr2");
    const QByteArray original = platform::files::readBytes(arquivo);
    form.stVersao = QStringLiteral("10.00.002");
    form.GeraQr2(arquivo);
    EXPECT_EQ(form.inErros, 1);
    EXPECT_EQ(platform::files::readBytes(arquivo), original);
    EXPECT_TRUE(Log().contains(QStringLiteral("Error: A versão 10.00.002 não cabe"))) << Log().toStdString();
    EXPECT_TRUE(form.stlResult.isEmpty());
    CopiaLimpa();
}

TEST_F(CarimboTest, MenuDatasetGainsItsVersionItemOnce)
{
    const QString arquivo = kCopia + QStringLiteral("\\CDS\\Menu.cds");
    form.GeraCds(arquivo);
    form.stVersao = QStringLiteral("1.00.003");
    form.GeraCds(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    Dataset menu;
    menu.LoadFromFile(arquivo);
    ASSERT_EQ(menu.RecordCount(), 2);
    ASSERT_TRUE(menu.Locate(QStringLiteral("CDMENUITEM"), QStringLiteral("VERSAO")));
    EXPECT_EQ(menu.FieldByName(QStringLiteral("DSCAPTION")).AsString(), QStringLiteral("1.00.003"));
    EXPECT_FALSE(platform::files::readBytes(arquivo).contains("RowState"));
    CopiaLimpa();
}

TEST_F(CarimboTest, WebFilesEndWithExactlyOneStampBetweenEmptyLines)
{
    const struct {
        const char *relative;
        void (TfrmGPatch::*generator)(const QString &, bool);
        QStringList ends;
    } casos[] = {
        // old stamps and the lines after them go
        {"WEB\\index.php", &TfrmGPatch::GeraPhp, {"<?php", "echo 1;", "", "//VERSAO 1.00.002", ""}},
        {"WEB\\conf.ini", &TfrmGPatch::GeraIni, {"[geral]", "nome=x", "", ";VERSAO 1.00.002", ""}},
        {"WEB\\base.twig", &TfrmGPatch::GeraTwig, {"{% block a %}{% endblock %}", "", "{# VERSAO 1.00.002 #}", ""}},
        // a file that already ends with empty line, stamp, empty line
        {"WEB\\ajuda.html", &TfrmGPatch::GeraHtml, {"<html></html>", "", "<!-- VERSAO 1.00.002 -->", ""}},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.relative);
        const QString arquivo = kCopia + u'\\' + QString::fromUtf8(caso.relative);
        (form.*caso.generator)(arquivo, false);
        EXPECT_EQ(Linhas(QString::fromUtf8(caso.relative)), caso.ends);
        // Stamping again changes nothing but the version.
        (form.*caso.generator)(arquivo, false);
        EXPECT_EQ(Linhas(QString::fromUtf8(caso.relative)), caso.ends);
    }
    form.GeraAsp(kCopia + QStringLiteral("\\WEB\\pagina.asp"));
    EXPECT_EQ(Linhas("WEB\\pagina.asp"), (QStringList{"<% Response.Write(1) %>", "", "<% 'VERSAO 1.00.002 %>", ""}));
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    EXPECT_EQ(form.stlResult.size(), 9);
    CopiaLimpa();
}

TEST_F(CarimboTest, FileLockedByAnotherUserIsCountedWithTheLockMessage)
{
    const QString arquivo = kCopia + QStringLiteral("\\SQL\\Oracle\\Proc.sql");
    Roda(QStringLiteral("svn lock %1 --username outro --non-interactive").arg(arquivo));
    const QByteArray conteudo = platform::files::readBytes(arquivo);
    form.GeraSql(arquivo);
    const QString texto = patch::MensagensDaGeracao().Msg(QStringLiteral("SUB_COPIATRAVADA"));
    EXPECT_EQ(form.inErros, 1);
    EXPECT_EQ(ui.messages(), QList<QString>{texto});
    EXPECT_TRUE(Log().contains(QStringLiteral("Error: ") + texto)) << Log().toStdString();
    EXPECT_EQ(platform::files::readBytes(arquivo), conteudo);
    EXPECT_TRUE(form.stlResult.isEmpty());
}

TEST_F(CarimboTest, AStampChangesOnlyItsOwnBytes)
{
    const auto sql = [&](const QString &f) { form.GeraSql(f); };
    const struct {
        const char *relative;
        std::function<void(const QString &)> gera;
        QByteArray acrescimo;  // what the stamp adds at the end; every byte before stays
    } casos[] = {
        // Windows-1252 and UTF-8 with its byte-order mark, CRLF
        {"SQL\\Oracle\\Preco.sql", sql, "\r\n-- VERSAO --\r\nBEGIN ATUVEROBJ('PRECO','1.00.002'); END;\r\n/\r\n\r\n"},
        {"SQL\\SQLServer\\Acao.sql", sql, "\r\n-- VERSAO --\r\nEXEC ATUVEROBJ 'VW_ACAO','1.00.002';\r\nGO\r\n\r\n"},
        // UTF-8 without a mark; Windows-1252 with LF and no end on its last line
        {"WEB\\acao.php", [&](const QString &f) { form.GeraPhp(f, false); }, "\r\n//VERSAO 1.00.002\r\n\r\n"},
        {"WEB\\regiao.ini", [&](const QString &f) { form.GeraIni(f, false); }, "\n\n;VERSAO 1.00.002\n\n"},
        {"REL\\Precos.qr2", [&](const QString &f) { form.GeraQr2(f); }, "1.00.002#"},
        // CR alone ends each line: the lines are found, and new ones end the same way
        {"WEB\\antigo.css", [&](const QString &f) { form.GeraCss(f, false); }, "\r//VERSAO 1.00.002\r\r"},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.relative);
        const QString arquivo = kCopia + u'\\' + QString::fromUtf8(caso.relative);
        const QByteArray original = platform::files::readBytes(arquivo);
        caso.gera(arquivo);
        EXPECT_EQ(platform::files::readBytes(arquivo), original + caso.acrescimo);
    }
    // Stamped again, only the version changes in place.
    form.stVersao = QStringLiteral("1.00.003");
    form.GeraSql(kCopia + "\\SQL\\Oracle\\Preco.sql");
    EXPECT_EQ(platform::files::readBytes(kCopia + "\\SQL\\Oracle\\Preco.sql"),
              kPrecoSql + "\r\n-- VERSAO --\r\nBEGIN ATUVEROBJ('PRECO','1.00.003'); END;\r\n/\r\n\r\n");
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    CopiaLimpa();
    // A character the file's code page lacks is refused, not written as something else.
    EXPECT_THROW(patch::TextoDoArquivo::ParaWindows1252(QStringLiteral("→")), EHomologa);
}

TEST_F(CarimboTest, MenuDatasetKeepsItsRowsTextsAndDeclaredEncoding)
{
    const QString arquivo = kCopia + QStringLiteral("\\CDS\\Menu1252.cds");
    form.GeraCds(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    const QByteArray bytes = platform::files::readBytes(arquivo);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>\r\n")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("DSCAPTION=\"Relat\xf3rios de pre\xe7os\""));
    EXPECT_TRUE(bytes.contains("CDMENUITEM=\"CAD\" DSCAPTION=\"Cadastro\""));
    EXPECT_TRUE(bytes.contains("CDMENUITEM=\"VERSAO\" DSCAPTION=\"1.00.002\""));
    EXPECT_EQ(bytes.count("<ROW "), 3);
    CopiaLimpa();
}

// A run interrupted between the lock and the commit left this operator's lock and a
// half-done stamp: the next run releases the lock, reverts the change and stamps once.
TEST_F(CarimboTest, ALockThisOperatorLeftIsReleasedBeforeStampingAgain)
{
    const QString arquivo = kCopia + QStringLiteral("\\REL\\Vendas.qr2");
    Roda(QStringLiteral("svn lock %1 --username svn_teste --non-interactive").arg(arquivo));
    platform::files::writeBytes(arquivo, "QR2\r\nTITULO=Vendas\r\nmeio carimbo");
    form.GeraQr2(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    EXPECT_TRUE(ui.messages().isEmpty());
    EXPECT_TRUE(Log().contains(QStringLiteral("foi liberada e sua alteração desfeita"))) << Log().toStdString();
    EXPECT_EQ(platform::files::readBytes(arquivo), QByteArray("QR2\r\nTITULO=Vendas\r\n1.00.002#"));
    CopiaLimpa();
}

// A stamp whose commit reached the repository while this copy never learnt of it (the run
// killed after the commit): the rerun brings the copy up to date and stamps once more with
// nothing left to commit, instead of failing on the lock.
TEST_F(CarimboTest, AStampAlreadyInTheRepositoryIsNotCommittedAgain)
{
    const QString arquivo = kCopia + QStringLiteral("\\REL\\Vendas.qr2");
    const QString outra = QStringLiteral("C:\\Outra");
    Roda(QStringLiteral("svn checkout file:///C:/Repos/ERP/ERP %1 --non-interactive -q").arg(outra));
    platform::files::writeBytes(outra + QStringLiteral("\\REL\\Vendas.qr2"), "QR2\r\nTITULO=Vendas\r\n1.00.002#");
    Roda(QStringLiteral("svn commit %1 -mGerandoaversão:1.00.002 --non-interactive -q").arg(outra));
    platform::files::writeBytes(arquivo, "QR2\r\nTITULO=Vendas\r\n1.00.002#");

    form.GeraQr2(arquivo);
    EXPECT_EQ(form.inErros, 0) << Log().toStdString();
    EXPECT_TRUE(ui.messages().isEmpty());
    EXPECT_TRUE(Log().contains(QStringLiteral("já estava no repositório (revisão 3)"))) << Log().toStdString();
    EXPECT_EQ(platform::files::readBytes(arquivo), QByteArray("QR2\r\nTITULO=Vendas\r\n1.00.002#"));
    Roda(QStringLiteral("svn update %1 --non-interactive -q").arg(outra));
    EXPECT_EQ(Saida(QStringLiteral("svn info --show-item last-changed-revision ") + outra).trimmed(), QStringLiteral("3"));
    CopiaLimpa();
}
