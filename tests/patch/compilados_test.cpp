// The build commands: which kind of artefact a project file yields, the exact command line
// of every branch as the compiler stand-in received it, where the artefact lands, and the
// build runner's judgement of what the compiler printed.

#include "patchenv.h"

#include "patch/frmgpatch.h"

#include "platform/files.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

const QString kDcc = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\bin\\dcc32.exe\" ");
const QString kLib = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\lib\";");
const QString kPkgs = QStringLiteral("_rtl;_vcl;_db;_hvk;_qr;_ger;_frm;_lib");
const QString kComp = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\Components\\Zql\";"
                                     "\"c:\\arquivos de programas\\borland\\delphi5\\Odac for Delphi 5\\Lib\";"
                                     "\"c:\\arquivos de programas\\borland\\delphi5\\Odac for Delphi 5\\Bin\";"
                                     "\"c:\\arquivos de programas\\borland\\delphi5\\Sdac for Delphi 5\\Lib\";"
                                     "\"c:\\arquivos de programas\\borland\\delphi5\\Sdac for Delphi 5\\Bin\";");
const QString kVcl = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\Source\\Vcl\";");

}  // namespace

TEST(GetPrefix, EachExtensionAndFolderGivesItsKind)
{
    const struct {
        const char *path;
        const char *type;
    } casos[] = {
        // packages by their name
        {"C:\\B\\CLI\\SRC\\PKG\\_Comp.dpk", "bpl"},
        {"C:\\B\\CLI\\SRC\\PKG\\pkg_abc.DPK", "pkg"},
        {"C:\\B\\CLI\\SRC\\PKG\\Componentes.dpk", ""},
        // projects by their folder
        {"C:\\B\\SRV\\SRC\\CAD\\Cad.dpr", "dll"},
        {"C:\\B\\SRV\\STD\\BIB\\Bib.dpr", "exe"},
        {"C:\\B\\ZQL\\SRC\\CAD\\Cad.dpr", "dll"},
        {"C:\\B\\ZQL\\STD\\BIB\\Bib.dpr", "exe"},
        {"C:\\B\\CLI\\SRC\\UTL\\QRDEXP\\Exp.dpr", "dll"},
        {"C:\\B\\CLI\\SRC\\Principal\\Principal.dpr", "exe"},
        // stamped files by their extension
        {"C:\\B\\REL\\V.qr2", "qr2"}, {"C:\\B\\SQL\\A.SQL", "sql"}, {"C:\\B\\M.cds", "cds"}, {"C:\\B\\a.php", "php"},
        {"C:\\B\\a.css", "css"}, {"C:\\B\\a.js", "js"}, {"C:\\B\\a.html", "html"}, {"C:\\B\\a.xml", "xml"},
        {"C:\\B\\a.twig", "twig"}, {"C:\\B\\a.ini", "ini"}, {"C:\\B\\a.rptdesign", "rptdesign"}, {"C:\\B\\a.asp", "asp"},
        // anything else is not generated
        {"C:\\B\\a.pas", ""}, {"C:\\B\\a.htm", ""}, {"C:\\B.D\\semextensao", ""},
    };
    for (const auto &caso : casos)
        EXPECT_EQ(TfrmGPatch::GetPrefix(QString::fromUtf8(caso.path)), QString::fromUtf8(caso.type)) << caso.path;
}

namespace {

class ComandosDeCompilacao : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.stDirBaseRep = QStringLiteral("C:\\B\\");
        platform::files::forceDirectories(QStringLiteral("C:\\B"));
    }
    // A project file whose first word says what it builds.
    void Projeto(const QString &path, const char *kind)
    {
        platform::files::forceDirectories(path.section(u'\\', 0, -2));
        platform::files::writeBytes(path, QByteArray(kind) + " X;\r\nbegin\r\nend.\r\n");
    }

    AmbienteDeGeracao ambiente;
    TfrmGPatch form;
};

}  // namespace

TEST_F(ComandosDeCompilacao, EveryBranchRunsItsExactCommandLineAndFindsItsArtefact)
{
    const QString b = QStringLiteral("C:\\B\\");
    const QString depura = QStringLiteral(" /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT ");
    const QString opcoes = QStringLiteral(" /$B- /Q /B /H- /W- /VR-");
    // The plain library form on the component folder, for a project path.
    const auto zql = [&](const QString &p) {
        const QString s = b + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;" + kVcl + kComp;
        return kDcc + p + " /$B- /$D- /Q /B /H- /W- /DVELKORA;ZQLCOMPS;MSWINDOWS /VR- /R" + kLib + s + " /E" + b + "Zql\\bin /U" + b
               + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + s + " /O" + b + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + s + " /I" + b
               + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + s + " /N" + b + "dcu";
    };
    const struct {
        const char *path;
        const char *kind;
        QStringList lines;     // every compile, in order
        const char *artefact;  // the generated-list entry, empty when none
    } casos[] = {
        // client package; a "_HC" package is compiled a second time without /B
        {"C:\\B\\CLI\\SRC\\PKG\\_COMP.DPK", "package",
         {kDcc + "C:\\B\\CLI\\SRC\\PKG\\_COMP.DPK /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT;BPLSERVER " + opcoes + " /R" + kLib + b
          + "cli\\src\\utl\\qrd\\noshared /LE" + b + "cli\\bin /LN" + b + "cli\\std\\dcp /U" + b + "cli\\std\\dcp /N" + b
          + "cli\\std\\dcp\\dcu"},
         "C:\\B\\cli\\bin\\_COMP.bpl"},
        {"C:\\B\\CLI\\SRC\\PKG\\_HCX.DPK", "package",
         {kDcc + "C:\\B\\CLI\\SRC\\PKG\\_HCX.DPK /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT;BPLSERVER " + opcoes + " /R" + kLib + b
              + "cli\\src\\utl\\qrd\\noshared /LE" + b + "cli\\bin /LN" + b + "cli\\std\\dcp /U" + b + "cli\\std\\dcp /N" + b
              + "cli\\std\\dcp\\dcu",
          kDcc + "C:\\B\\CLI\\SRC\\PKG\\_HCX.DPK /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT;BPLSERVER  /$B- /Q /H- /W- /VR- /R"
              + kLib + " /LE" + b + "cli\\bin /LN" + b + "cli\\std\\dcp /U" + b + "cli\\std\\dcp /N" + b + "cli\\std\\dcp\\dcu"},
         "C:\\B\\cli\\bin\\_HCX.bpl"},
        // server package
        {"C:\\B\\SRV\\SRC\\PKG\\_SRVP.DPK", "package",
         {kDcc + "C:\\B\\SRV\\SRC\\PKG\\_SRVP.DPK /$B- /$D- /Q /B /H- /W- /DVELKORA /VR- /R" + kLib + b
          + "cli\\src\\utl\\qrd\\noshared /LE" + b + "srv\\bin /LN" + b + "srv\\std\\dcp /U" + b + "srv\\std\\dcp"},
         "C:\\B\\srv\\bin\\_SRVP.bpl"},
        // PKG packages: with the runtime packages, without them, with _leh only
        {"C:\\B\\CLI\\SRC\\PKG\\Pkg_Abc.dpk", "package",
         {kDcc + "C:\\B\\CLI\\SRC\\PKG\\PKG_ABC.DPK" + depura + opcoes + " /LU" + kPkgs + " /R" + kLib + " /LE" + b + "cli\\bin /LN"
          + b + "cli\\std\\dcp /U" + b + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\Pkg_Abc.bpl"},
        {"C:\\B\\CLI\\SRC\\PKG\\PKG_QIR01.DPK", "package",
         {kDcc + "C:\\B\\CLI\\SRC\\PKG\\PKG_QIR01.DPK" + depura + opcoes + " /R" + kLib + " /LE" + b + "cli\\bin /LN" + b
          + "cli\\std\\dcp /U" + b + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\PKG_QIR01.bpl"},
        {"C:\\B\\CLI\\SRC\\PKG\\PKG_LEH00000.DPK", "package",
         {kDcc + "C:\\B\\CLI\\SRC\\PKG\\PKG_LEH00000.DPK" + depura + opcoes + " /LU_leh /R" + kLib + " /LE" + b + "cli\\bin /LN"
          + b + "cli\\std\\dcp /U" + b + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\PKG_LEH00000.bpl"},
        // programs
        {"C:\\B\\SRV\\STD\\BIB\\BIB.DPR", "program",
         {kDcc + "C:\\B\\SRV\\STD\\BIB\\BIB.DPR /$D+  /$B- /Q /B /H- /W- /DVELKORA /VR- /R" + kLib + " /E" + b + "\\srv\\std\\bib /N"
          + b + "\\srv\\std\\bib"},
         "C:\\B\\srv\\std\\bib\\BIB.EXE"},
        {"C:\\B\\CLI\\SRC\\CLI\\CLI.DPR", "program",
         {kDcc + "C:\\B\\CLI\\SRC\\CLI\\CLI.DPR /$B- /$D- /Q /B /H- /W- /DVELKORA /VR- /LU" + kPkgs + " /R" + kLib
          + " /EC:\\B\\CLI\\SRC\\CLI /U" + b + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\CLI\\SRC\\CLI\\CLI.EXE"},
        {"C:\\B\\CLI\\SRC\\MDQ\\MDQ.DPR", "program",
         {kDcc + "C:\\B\\CLI\\SRC\\MDQ\\MDQ.DPR" + depura + opcoes + " /R" + kLib + " /U" + b + "cli\\std\\dcp\\dcu; /E" + b
          + "cli\\bin /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\MDQ.EXE"},
        {"C:\\B\\CLI\\SRC\\QIR\\QIRTAB.DPR", "program",
         {kDcc + "C:\\B\\CLI\\SRC\\QIR\\QIRTAB.DPR" + depura + opcoes + " /R" + kLib + " /E" + b + "cli\\bin /U" + b
          + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\QIRTAB.EXE"},
        {"C:\\B\\CLI\\SRC\\LEH\\LEH.DPR", "program",
         {kDcc + "C:\\B\\CLI\\SRC\\LEH\\LEH.DPR" + depura + opcoes + " /LU_leh /R" + kLib + " /E" + b + "cli\\bin /U" + b
          + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\LEH.EXE"},
        {"C:\\B\\CLI\\SRC\\Principal\\Principal.dpr", "program",
         {kDcc + "C:\\B\\CLI\\SRC\\PRINCIPAL\\PRINCIPAL.DPR" + depura + opcoes + " /LU" + kPkgs + " /R" + kLib + " /E" + b
          + "cli\\bin /U" + b + "cli\\std\\dcp /N" + b + "dcu"},
         "C:\\B\\cli\\bin\\PRINCIPAL.EXE"},
        // libraries: the component folder, the old server folder (KOR_7), a DUV program, cli.dll, Ger.dll
        {"C:\\B\\ZQL\\SRC\\CAD\\CAD.DPR", "library",
         {kDcc + "C:\\B\\ZQL\\SRC\\CAD\\CAD.DPR /$B- /$D- /Q /B /H- /W- /DVELKORA;ZQLCOMPS;MSWINDOWS /VR- /R" + kLib + b
          + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;" + kVcl + kComp + " /E" + b + "Zql\\bin /U" + b
          + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + b + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;" + kVcl
          + kComp + " /O" + b + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + b + "Zql\\std\\bib\\funcoes;" + b
          + "Zql\\std\\bib\\funcoes\\noshared;" + kVcl + kComp + " /I" + b + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + b
          + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;" + kVcl + kComp + " /N" + b + "dcu"},
         "C:\\B\\Zql\\bin\\CAD.dll"},
        {"C:\\B\\SRV\\KOR_7\\FIN\\FIN.DPR", "library",
         {kDcc + "C:\\B\\SRV\\KOR_7\\FIN\\FIN.DPR /$B- /$D- /Q /B /H- /W- /DVELKORA /VR- /R" + kLib + " /E" + b + "Srv\\bin /U" + b
          + "Srv\\std\\bib;" + b + "Srv\\std\\lib; /O" + b + "Srv\\std\\bib;" + b + "Srv\\std\\lib; /I" + b + "Srv\\std\\bib;" + b
          + "Srv\\std\\lib; /N" + b + "dcu"},
         "C:\\B\\Srv\\bin\\FIN.dll"},
        {"C:\\B\\ZQL\\SRC\\DUV\\DUV.DPR", "program",
         {kDcc + "C:\\B\\ZQL\\SRC\\DUV\\DUV.DPR /$B- /$D- /Q /B /H- /W- /DVELKORA;ZQLCOMPS;MSWINDOWS /VR- /R" + kLib + b
          + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;" + kComp + " /E" + b + "Zql\\bin /U" + b
          + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + b + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;"
          + kComp + " /O" + b + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + b + "Zql\\std\\bib\\funcoes;" + b
          + "Zql\\std\\bib\\funcoes\\noshared;" + kComp + " /I" + b + "Zql\\std\\bib;" + b + "Zql\\std\\lib;" + b
          + "Zql\\std\\bib\\funcoes;" + b + "Zql\\std\\bib\\funcoes\\noshared;" + kComp + " /N" + b + "dcu"},
         "C:\\B\\Zql\\bin\\DUV.exe"},
        {"C:\\B\\SRV\\KOR_7\\CLI\\CLI.DPR", "library",
         {kDcc + "C:\\B\\SRV\\KOR_7\\CLI\\CLI.DPR /$B- /$D- /Q /B /H- /W- /DVELKORA /VR- /R" + kLib
          + " /EC:\\B\\SRV\\KOR_7\\CLI /U" + b + "Srv\\std\\bib; /O" + b + "Srv\\std\\bib; /I" + b + "Srv\\std\\bib; /N" + b + "dcu"},
         "C:\\B\\SRV\\KOR_7\\CLI\\CLI.dll"},
        // a report exporter and a server library outside KOR_7 are built on the component
        // folder; a server program (its header says so) is a .exe there
        {"C:\\B\\CLI\\SRC\\UTL\\QRDEXP\\QRDEXP.DPR", "library", {zql("C:\\B\\CLI\\SRC\\UTL\\QRDEXP\\QRDEXP.DPR")},
         "C:\\B\\Zql\\bin\\QRDEXP.dll"},
        {"C:\\B\\SRV\\SRC\\CAD\\CAD.DPR", "library", {zql("C:\\B\\SRV\\SRC\\CAD\\CAD.DPR")}, "C:\\B\\Zql\\bin\\CAD.dll"},
        {"C:\\B\\SRV\\SRC\\SRV_AGENDA\\SRV_AGENDA.DPR", "program", {zql("C:\\B\\SRV\\SRC\\SRV_AGENDA\\SRV_AGENDA.DPR")},
         "C:\\B\\Zql\\bin\\SRV_AGENDA.exe"},
        {"C:\\B\\SRV\\KOR_7\\GER\\GER.DPR", "library",
         {kDcc + "C:\\B\\SRV\\KOR_7\\GER\\GER.DPR /$B- /$D- /Q /B /H- /W- /DVELKORA;GERUNICA /VR- /R" + kLib + " /E" + b
          + "Srv\\bin /U" + b + "Srv\\std\\bib;" + b + "Srv\\std\\lib; /O" + b + "Srv\\std\\bib;" + b + "Srv\\std\\lib; /I" + b
          + "Srv\\std\\bib;" + b + "Srv\\std\\lib; /N" + b + "dcu"},
         "C:\\B\\Srv\\bin\\GER.dll"},
    };
    for (const auto &caso : casos) {
        const QString caminho = QString::fromUtf8(caso.path);
        SCOPED_TRACE(caso.path);
        Projeto(caminho, caso.kind);
        ambiente.esqueceChamadas();
        form.stlResult.clear();
        form.inErros = 0;
        ASSERT_TRUE(form.GeraPorTipo(TfrmGPatch::GetPrefix(caminho), caminho));
        const QList<QStringList> chamadas = ambiente.chamadas(QStringLiteral("dcc32"));
        ASSERT_EQ(chamadas.size(), caso.lines.size());
        for (qsizetype i = 0; i < chamadas.size(); ++i)
            EXPECT_EQ(chamadas[i], AmbienteDeGeracao::argumentosDe(caso.lines[i]))
                << "esperado: " << caso.lines[i].toStdString() << "\nrecebido: " << chamadas[i].join(u' ').toStdString();
        EXPECT_EQ(form.inErros, 0);
        ASSERT_EQ(form.stlResult, QStringList{QString::fromUtf8(caso.artefact)});
        EXPECT_TRUE(platform::files::fileExists(form.stlResult.first())) << caso.artefact;
        // The attachment looks for it where the build wrote it.
        EXPECT_EQ(form.ArtefatoGerado(caminho), form.stlResult.first());
    }
    // A stamped file is its own artefact, listed upper-cased; a file not generated is itself.
    EXPECT_EQ(form.ArtefatoGerado("C:\\B\\SQL\\Atu.sql"), "C:\\B\\SQL\\ATU.SQL");
    EXPECT_EQ(form.ArtefatoGerado("\\B\\Leia.txt"), "C:\\B\\Leia.txt");
}

// One archive per distinct artefact of a request, none taking another's place.
TEST_F(ComandosDeCompilacao, EachArtefactOfARequestGetsAnArchiveOfItsOwn)
{
    for (const char *arquivo : {"SQL\\Oracle\\A.sql", "SQL\\SQLServer\\A.sql", "REL\\V.qr2", "Clientes\\ABC\\REL\\V.qr2", "SQL_Oracle_A.sql"})
        Projeto(QStringLiteral("C:\\B\\") + QString::fromUtf8(arquivo), "--");
    const QString ora = "C:\\B\\SQL\\ORACLE\\A.SQL", sqlsrv = "C:\\B\\SQL\\SQLSERVER\\A.SQL", rel = "C:\\B\\REL\\V.QR2";
    const struct {
        QStringList artefatos, arquivos;
    } casos[] = {
        // a lone artefact (or one listed twice) keeps its name as on disk
        {{ora, "c:\\b\\sql\\oracle\\a.sql"}, {"A.sql.zip"}},
        // namesakes are told apart by their folders under the build copy, as on disk
        {{ora, sqlsrv, rel}, {"SQL_Oracle_A.sql.zip", "SQL_SQLServer_A.sql.zip", "V.qr2.zip"}},
        {{"C:\\B\\CLIENTES\\ABC\\REL\\V.QR2", rel}, {"Clientes_ABC_REL_V.qr2.zip", "REL_V.qr2.zip"}},
        // a name still taken by a lone artefact gets a number
        {{ora, sqlsrv, "C:\\B\\SQL_ORACLE_A.SQL"}, {"SQL_Oracle_A.sql~2.zip", "SQL_SQLServer_A.sql.zip", "SQL_Oracle_A.sql.zip"}},
    };
    for (const auto &caso : casos) {
        QStringList arquivos;
        for (const auto &[artefato, arquivo] : form.AnexosDaSolicitacao(caso.artefatos))
            arquivos << arquivo;
        EXPECT_EQ(arquivos, caso.arquivos) << caso.artefatos.join(u' ').toStdString();
    }
}

TEST_F(ComandosDeCompilacao, APackageNamedOtherwiseYieldsNothing)
{
    Projeto(QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\Componentes.dpk"), "package");
    EXPECT_FALSE(form.GeraPorTipo(TfrmGPatch::GetPrefix(QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\Componentes.dpk")),
                                  QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\Componentes.dpk")));
    EXPECT_TRUE(ambiente.chamadas(QStringLiteral("dcc32")).isEmpty());
}

TEST_F(ComandosDeCompilacao, AFailedCompileCountsOneErrorAndAddsNothing)
{
    platform::files::forceDirectories(QStringLiteral("C:\\B\\CLI\\SRC\\PKG"));
    platform::files::writeBytes(QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\_ERRADO.DPK"), "package X; FALHA_DE_COMPILACAO");
    form.GeraBPL(QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\_ERRADO.DPK"));
    EXPECT_EQ(form.inErros, 1);
    EXPECT_TRUE(form.stlResult.isEmpty());
    EXPECT_EQ(ambiente.chamadas(QStringLiteral("dcc32")).size(), 1);
    EXPECT_FALSE(platform::files::fileExists(QStringLiteral("C:\\B\\cli\\bin\\_ERRADO.bpl")));

    // A failing second pass of a "_HC" package is a failure of the run too.
    platform::files::writeBytes(QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\_HCX.DPK"), "package X; FALHA_SEM_B");
    form.GeraBPL(QStringLiteral("C:\\B\\CLI\\SRC\\PKG\\_HCX.DPK"));
    EXPECT_EQ(ambiente.chamadas(QStringLiteral("dcc32")).size(), 3);
    EXPECT_EQ(form.inErros, 2);
    form.stlResult.clear();

    // The compiler says it succeeded, but wrote elsewhere: the file at the artefact's place
    // is an old one, which must not be listed (and so attached) as the new build.
    platform::files::forceDirectories(QStringLiteral("C:\\B\\CLI\\SRC\\Principal"));
    platform::files::writeBytes(QStringLiteral("C:\\B\\CLI\\SRC\\Principal\\Principal.dpr"), "program X; SEM_ARTEFATO");
    platform::files::forceDirectories(QStringLiteral("C:\\B\\cli\\bin"));
    platform::files::writeBytes(QStringLiteral("C:\\B\\cli\\bin\\Principal.exe"), "antigo");
    form.GeraEXE(QStringLiteral("C:\\B\\CLI\\SRC\\Principal\\Principal.dpr"));
    EXPECT_EQ(form.inErros, 3);
    EXPECT_TRUE(form.stlResult.isEmpty());
}

TEST_F(ComandosDeCompilacao, ThePreviousArtefactIsMadeWritableFirst)
{
    Projeto(QStringLiteral("C:\\B\\CLI\\SRC\\Principal\\Principal.dpr"), "program");
    platform::files::forceDirectories(QStringLiteral("C:\\B\\cli\\bin"));
    platform::files::writeBytes(QStringLiteral("C:\\B\\cli\\bin\\Principal.exe"), "antigo");
    platform::files::setReadOnly(QStringLiteral("C:\\B\\cli\\bin\\Principal.exe"), true);
    form.GeraEXE(QStringLiteral("C:\\B\\CLI\\SRC\\Principal\\Principal.dpr"));
    EXPECT_EQ(form.inErros, 0) << form.lsbProgresso->item(form.lsbProgresso->count() - 2)->text().toStdString();
    EXPECT_TRUE(platform::files::readBytes(QStringLiteral("C:\\B\\cli\\bin\\Principal.exe")).startsWith("artefato"));
}

TEST_F(ComandosDeCompilacao, BuildRunnerJudgesWhatTheChildPrinted)
{
    platform::files::forceDirectories(QStringLiteral("C:\\B\\SRC"));
    platform::files::writeBytes(QStringLiteral("C:\\B\\SRC\\Grande.dpr"), "program Grande; SAIDA_GRANDE");
    platform::files::writeBytes(QStringLiteral("C:\\B\\SRC\\Error.dpr"), "program Error;");
    platform::files::writeBytes(QStringLiteral("C:\\B\\SRC\\Ok.dpr"), "program Ok;");
    const QString dcc = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\bin\\dcc32.exe\" ");

    // One MiB of output is read while the compiler runs and shown whole.
    EXPECT_TRUE(form.Execute(dcc + QStringLiteral("C:\\B\\SRC\\Grande.dpr"), form.lsbProgresso, true));
    EXPECT_GT(form.lsbProgresso->count(), 11000);
    EXPECT_TRUE(form.lsbProgresso->item(form.lsbProgresso->count() - 2)->text().contains("lines, 0.05 seconds"));
    EXPECT_EQ(form.inErros, 0);

    // "Error" anywhere, even in a file name, fails the command.
    EXPECT_FALSE(form.Execute(dcc + QStringLiteral("C:\\B\\SRC\\Error.dpr"), form.lsbProgresso, true));
    EXPECT_EQ(form.inErros, 1);
    // "Fatal" fails it.
    EXPECT_FALSE(form.Execute(dcc + QStringLiteral("C:\\B\\SRC\\Falta.dpr"), form.lsbProgresso, true));
    EXPECT_EQ(form.inErros, 2);
    // A program that cannot be started.
    form.lsbProgresso->clear();
    EXPECT_FALSE(form.Execute(QStringLiteral("naoexiste32 C:\\B\\SRC\\Ok.dpr"), form.lsbProgresso, true));
    EXPECT_EQ(form.inErros, 3);
    EXPECT_EQ(form.lsbProgresso->currentItem()->text(), "Error creating process naoexiste32 C:\\B\\SRC\\Ok.dpr");
    // Success, with the output in the log and nothing counted.
    form.lsbProgresso->clear();
    EXPECT_TRUE(form.Execute(dcc + QStringLiteral("C:\\B\\SRC\\Ok.dpr"), form.lsbProgresso, true));
    EXPECT_EQ(form.inErros, 3);
    EXPECT_TRUE(form.lsbProgresso->item(0)->text().startsWith("Borland Delphi"));
}

TEST_F(ComandosDeCompilacao, StandInsRefuseWhatTheRealToolsDoNotTake)
{
    platform::files::forceDirectories(QStringLiteral("C:\\B\\SRC"));
    platform::files::writeBytes(QStringLiteral("C:\\B\\SRC\\Ok.dpr"), "program Ok;");
    platform::files::writeBytes(QStringLiteral("C:\\B\\SRC\\v.rc"), "#define X 1\r\n");
    const QString dcc = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\bin\\dcc32.exe\" C:\\B\\SRC\\Ok.dpr");
    const QString builder = QStringLiteral("\"F:\\HORVANE\\Sistemas\\Bin\\WindowsBuilder.bat\" C:\\B\\products\\projects\\q\\builder\\build.php");
    const struct {
        QString linha;
        bool aceita;
        const char *texto;  // in the tool's last lines
    } casos[] = {
        // every option of the product's command lines is known
        {dcc + " /$D+ /$L+ /$YD /GD /DA;B /$B- /Q /B /H- /W- /VR- /LU_rtl;_vcl /R\"c:\\x y\";C:\\B /LEC:\\B\\o /LNC:\\B\\o /UC:\\B"
               " /NC:\\B\\dcu /EC:\\B\\o /OC:\\B /IC:\\B",
         true, "lines, 0.05 seconds"},
        {dcc + " /X", false, "Fatal: Invalid compiler switch: '/X'"},
        {dcc + " /$YX", false, "Fatal: Invalid compiler switch: '/$YX'"},
        {dcc + " /E", false, "Fatal: Invalid compiler switch: '/E'"},
        {dcc + " C:\\B\\SRC\\Ok.dpr", false, "Fatal: Too many project files"},
        {"brcc32 C:\\B\\SRC\\v.rc -foC:\\B\\SRC\\v.res", true, "Binding"},
        {"brcc32 C:\\B\\SRC\\v.rc -zz", false, "Error: Invalid switch: -zz"},
        {builder + " RELEASE_ID 12 X Tela", false, "[ERROR] Fatal: uso"},
        {builder + " RELEASE_ID doze W Tela", false, "[ERROR] Fatal: uso"},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.linha.toStdString());
        form.lsbProgresso->clear();
        EXPECT_EQ(form.Execute(caso.linha, form.lsbProgresso, true), caso.aceita);
        QStringList linhas;
        for (int i = 0; i < form.lsbProgresso->count(); ++i)
            linhas.append(form.lsbProgresso->item(i)->text());
        EXPECT_FALSE(linhas.filter(QString::fromUtf8(caso.texto)).isEmpty()) << linhas.join('\n').toStdString();
    }
}
