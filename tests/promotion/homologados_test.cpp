// The homologated update on real folders: the backup of what it replaces, the copy from the
// pre-homologated tree with the archives, the deletion of the backup, and a rerun after a
// failed homologation.

#include "treesenv.h"

#include "promotion/homologados.h"
#include "promotion/prehomologados.h"

#include "platform/files.h"

#include <gtest/gtest.h>

namespace files = platform::files;

namespace {

class AtualizacaoHomologados : public TreesTest {
protected:
    // The pre-homologated tree filled by its copy, and previous versions of three files in
    // the homologated tree (one read-only); its archives folder spelled "ExeFTP".
    void preparaHomologados()
    {
        preparaCompilado();
        PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();
        escreve(kD + "Bin\\Server\\CALC.dll", "calc homologado");
        files::setReadOnly(kD + "Bin\\Server\\CALC.dll", true);
        escreve(kD + "Bin\\Client\\TELA.exe", "tela homologada");
        escreve(kD + "Ftp\\ExeFTP\\TELA.exe.zip", "zip homologado");
        escreve(kD + "Bin\\Client\\Clientes\\ABC\\Comp.bpl", "comp homologado");
    }
};

}  // namespace

TEST_F(AtualizacaoHomologados, BackupThenCopyThenDeletionOfTheBackup)
{
    preparaHomologados();
    Homologados homologados(grupo(kCompilado));
    const QString solicitacoes = lista({"501", "502"});

    homologados.Grava_Backup_Homologados(kCompilado, solicitacoes);
    confere({
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000501\Bin\Server\CALC.dll)", "calc homologado"},
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000501\Bin\Client\TELA.exe)", "tela homologada"},
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000502\Bin\Client\Clientes\ABC\Comp.bpl)", "comp homologado"},
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000503\Sql\End_Conv\Oracle\DUP.SQL)", nullptr},
    });
    EXPECT_EQ(novos(kAreaHomologados), QStringList({R"(C:\Homologados\P501\Sql\End_Conv\Oracle\X1.SQL)",
                                                    R"(C:\Homologados\P501\Ftp\RelFtp\Especial\R2.QR2)",
                                                    R"(C:\Homologados\P501\Ftp\RelFtp\VENDAS.QR2)"}));

    homologados.Atualiza_Arq_Homologados(kCompilado, solicitacoes);
    confere({
        {R"(C:\Homologados\P501\Bin\Server\CALC.dll)", "calc novo"},
        {R"(C:\Homologados\P501\Bin\Client\TELA.exe)", "tela nova"},
        {R"(C:\Homologados\P501\Sql\End_Conv\Oracle\X1.SQL)", "x1 novo"},
        {R"(C:\Homologados\P501\Bin\Client\Clientes\ABC\Comp.bpl)", "comp novo"},
        {R"(C:\Homologados\P501\Ftp\RelFtp\Especial\R2.QR2)", "r2 novo"},
        {R"(C:\Homologados\P501\Ftp\RelFtp\VENDAS.QR2)", "vendas novo"},
        // Request 503 is not in the list.
        {R"(C:\Homologados\P501\Sql\End_Conv\Oracle\DUP.SQL)", nullptr},
    });
    // The archives go along: into the folder the tree already has, whatever its case.
    EXPECT_EQ(files::listDir(kD + "Ftp", "ExeF*"), QStringList{"ExeFTP"});
    EXPECT_EQ(abreZip(kD + "Ftp\\ExeFtp\\TELA.exe.zip").conteudo, "tela nova");
    EXPECT_EQ(abreZip(kD + "Ftp\\ExeFtp\\Clientes\\ABC\\Comp.bpl.zip").conteudo, "comp novo");

    homologados.Exclui_Backup_Homologados(kCompilado, {});
    EXPECT_FALSE(files::dirExists(kAreaHomologados));
    EXPECT_TRUE(files::dirExists(kD + "Backup KMT"));

    QStringList legendas;
    for (const ScriptedHostUi::Shown &mostrado : ui.shown()) {
        if (mostrado.kind == ScriptedHostUi::Shown::Kind::Busy && !legendas.contains(mostrado.text))
            legendas << mostrado.text;
    }
    EXPECT_TRUE(legendas.contains("Gravando backup dos arquivos homologados...")) << legendas.join('|').toStdString();
    EXPECT_TRUE(legendas.contains("Atualizando os arquivos homologados... (6 de 6)"));
    EXPECT_TRUE(legendas.contains("Excluindo backup dos arquivos homologados..."));
    EXPECT_FALSE(ui.busyVisible());
}

TEST_F(AtualizacaoHomologados, MissingArchiveIsReportedAfterTheFileIsCopied)
{
    preparaHomologados();
    files::deleteFile(kP + "Ftp\\ExeFtp\\Tela.exe.zip");
    Homologados homologados(grupo(kCompilado));
    alteraGrupo();
    const QList<QString> mensagens =
        interrompe(ui, [&] { homologados.Atualiza_Arq_Homologados(kCompilado, lista({"501"})); });
    confereDescartado();
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_EQ(mensagens[0], QStringLiteral("Não foi possível realizar a cópia: C:\\PreHom\\P501\\Ftp\\ExeFtp\\TELA.exe.zip "
                                           "para C:\\Homologados\\P501\\Ftp\\ExeFtp\\TELA.exe.zip. Motivo: o arquivo de "
                                           "origem não existe."));
    EXPECT_EQ(le(kD + "Bin\\Client\\TELA.exe"), "tela nova");
    EXPECT_EQ(le(kD + "Sql\\End_Conv\\Oracle\\X1.SQL"), "x1 novo");
}

TEST_F(AtualizacaoHomologados, RequestWithoutFilesChangesNothing)
{
    preparaHomologados();
    Homologados homologados(grupo(kCompilado));
    homologados.Grava_Backup_Homologados(kCompilado, lista({"504"}));
    homologados.Atualiza_Arq_Homologados(kCompilado, lista({"504"}));
    EXPECT_EQ(le(kD + "Bin\\Server\\CALC.dll"), "calc homologado");
    EXPECT_EQ(files::listDir(kAreaHomologados), QStringList{ExecucaoNaArvore::kMarcador}) << "the run's marker alone";
}

// A homologation that failed after it had replaced files; the next one must keep the
// versions from before the first.
TEST_F(AtualizacaoHomologados, RerunAfterAFailedHomologationKeepsTheTruePreviousVersions)
{
    preparaHomologados();
    files::deleteFile(kP + "Ftp\\RelFtp\\VENDAS.QR2");
    Homologados homologados(grupo(kCompilado));
    const QString solicitacoes = lista({"501", "502"});
    homologados.Grava_Backup_Homologados(kCompilado, solicitacoes);
    interrompe(ui, [&] { homologados.Atualiza_Arq_Homologados(kCompilado, solicitacoes); });
    ASSERT_EQ(le(kD + "Bin\\Server\\CALC.dll"), "calc novo");

    homologados.Grava_Backup_Homologados(kCompilado, solicitacoes);
    confere({
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000501\Bin\Server\CALC.dll)", "calc homologado"},
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000501\Sql\End_Conv\Oracle\X1.SQL)", nullptr},
    });
    EXPECT_EQ(novos(kAreaHomologados), QStringList({R"(C:\Homologados\P501\Sql\End_Conv\Oracle\X1.SQL)",
                                                    R"(C:\Homologados\P501\Ftp\RelFtp\Especial\R2.QR2)",
                                                    R"(C:\Homologados\P501\Ftp\RelFtp\VENDAS.QR2)"}));
}

TEST_F(AtualizacaoHomologados, BackupCopyFailureStopsBeforeTheTreeIsTouched)
{
    preparaHomologados();
    files::forceDirectories(kAreaHomologados + "00010000000501\\Bin\\Client\\TELA.exe\\x");
    Homologados homologados(grupo(kCompilado));
    const QList<QString> mensagens =
        interrompe(ui, [&] { homologados.Grava_Backup_Homologados(kCompilado, lista({"501"})); });
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].startsWith(
        QStringLiteral("Não foi possível realizar a cópia: C:\\Homologados\\P501\\Bin\\Client\\TELA.exe "
                       "para C:\\Homologados\\P501\\Backup KMT\\0000000031\\00010000000501\\Bin\\Client\\TELA.exe. "
                       "Motivo: erro do sistema (")))
        << mensagens[0].toStdString();
}

// The backup takes the files that the update replaces: for a web product, its web files.
TEST_F(AtualizacaoHomologados, WebProductBacksUpItsOwnFiles)
{
    escreve("C:\\PreHom\\P1501\\web\\index.php", "index novo");
    escreve("C:\\PreHom\\P1501\\zql\\bin\\portal.dll", "portal novo");
    escreve("C:\\Homologados\\P1501\\web\\index.php", "index homologado");
    Homologados homologados(grupo(kWeb));
    homologados.Grava_Backup_Homologados(kWeb, lista({"601"}));
    homologados.Atualiza_Arq_Homologados(kWeb, lista({"601"}));
    EXPECT_EQ(le("C:\\Homologados\\P1501\\Backup KMT\\0000000032\\00010000000601\\web\\index.php"), "index homologado");
    EXPECT_EQ(le("C:\\Homologados\\P1501\\web\\index.php"), "index novo");
    EXPECT_EQ(le("C:\\Homologados\\P1501\\zql\\bin\\portal.dll"), "portal novo");
}

// The Oracle and the SQL Server version of one script: each keeps its own backup in the
// homologated tree and gets its own new version.
TEST_F(AtualizacaoHomologados, SameNamedFilesInTwoFoldersKeepOneBackupEach)
{
    preparaHomologados();
    escreve(kD + "Sql\\End_Conv\\Oracle\\DUP.SQL", "dup oracle homologado");
    escreve(kD + "Sql\\End_Conv\\SQLServer\\DUP.SQL", "dup sqlserver homologado");
    Homologados homologados(grupo(kCompilado));
    homologados.Grava_Backup_Homologados(kCompilado, lista({"503"}));
    homologados.Atualiza_Arq_Homologados(kCompilado, lista({"503"}));
    confere({
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000503\Sql\End_Conv\Oracle\DUP.SQL)", "dup oracle homologado"},
        {R"(C:\Homologados\P501\Backup KMT\0000000031\00010000000503\Sql\End_Conv\SQLServer\DUP.SQL)",
         "dup sqlserver homologado"},
        {R"(C:\Homologados\P501\Sql\End_Conv\Oracle\DUP.SQL)", "dup oracle novo"},
        {R"(C:\Homologados\P501\Sql\End_Conv\SQLServer\DUP.SQL)", "dup sqlserver novo"},
    });
}
