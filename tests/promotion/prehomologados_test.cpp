// The pre-homologated copy on real folders: the three product families, the backup area
// and its new-files list, the zip archives, and a rerun after a failed run.

#include "treesenv.h"

#include "tools/import.h"

#include "promotion/prehomologados.h"
#include "promotion/reversao.h"

#include "promotion/destino.h"
#include "platform/files.h"
#include "platform/process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace files = platform::files;

class CopiaPreHomologada : public TreesTest {};

TEST_F(CopiaPreHomologada, CompiledGroupIsCopiedWithBackupNewFilesAndArchives)
{
    preparaCompilado();
    PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();

    confere({
        // Every file of the group in its destination, the read-only one replaced.
        {R"(C:\PreHom\P501\Bin\Server\CALC.dll)", "calc novo"},
        {R"(C:\PreHom\P501\Bin\Client\TELA.exe)", "tela nova"},
        {R"(C:\PreHom\P501\Sql\End_Conv\Oracle\X1.SQL)", "x1 novo"},
        {R"(C:\PreHom\P501\Bin\Client\Clientes\ABC\Comp.bpl)", "comp novo"},
        // A client-specific record without a client segment: the destination the server sent.
        {R"(C:\PreHom\P501\Ftp\RelFtp\Especial\R2.QR2)", "r2 novo"},
        {R"(C:\PreHom\P501\Ftp\RelFtp\VENDAS.QR2)", "vendas novo"},
        {R"(C:\PreHom\P501\Sql\End_Conv\SQLServer\DUP.SQL)", "dup sqlserver novo"},
        // The previous versions, per request at their paths in the tree; two files of one
        // name keep one backup each.
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Bin\Server\CALC.dll)", "calc antigo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Bin\Client\TELA.exe)", "tela antiga"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Sql\End_Conv\Oracle\X1.SQL)", nullptr},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000502\Bin\Client\Clientes\ABC\Comp.bpl)", "comp antigo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000502\Ftp\RelFtp\VENDAS.QR2)", "vendas antigo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000503\Sql\End_Conv\Oracle\DUP.SQL)", "dup oracle antigo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000503\Sql\End_Conv\SQLServer\DUP.SQL)",
         "dup sqlserver antigo"},
    });
    EXPECT_FALSE(files::dirExists(kArea + "00010000000504")) << "a request without files";
    EXPECT_EQ(novos(kArea), QStringList({R"(C:\PreHom\P501\Sql\End_Conv\Oracle\X1.SQL)",
                                         R"(C:\PreHom\P501\Ftp\RelFtp\Especial\R2.QR2)"}));

    // Archives: new versions in Ftp\ExeFtp (client-specific ones below Clientes\<ccc>), the
    // previous ones in the backup; one entry each, with the file's content and date.
    struct CasoZip {
        const char *arquivo;
        const char *entrada;
        const char *conteudo;
        QDateTime data;
    };
    const CasoZip zips[] = {
        {R"(C:\PreHom\P501\Ftp\ExeFtp\Tela.exe.zip)", "Tela.exe", "tela nova", kData},
        {R"(C:\PreHom\P501\Ftp\ExeFtp\Clientes\ABC\Comp.bpl.zip)", "Comp.bpl", "comp novo", kData},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Bin\Client\TELA.exe.zip)", "TELA.exe", "tela antiga",
         kData.addDays(-10)},
    };
    for (const CasoZip &caso : zips) {
        const ArquivoZip zip = abreZip(QString::fromUtf8(caso.arquivo));
        ASSERT_TRUE(zip.aberto) << caso.arquivo;
        EXPECT_EQ(zip.nomes, QStringList{QString::fromUtf8(caso.entrada)}) << caso.arquivo;
        EXPECT_EQ(zip.conteudo, QByteArray(caso.conteudo)) << caso.arquivo;
        EXPECT_EQ(zip.metodo, 8) << "deflate" << caso.arquivo;
        EXPECT_EQ(zip.data, caso.data) << caso.arquivo;
        EXPECT_EQ(files::modificationTime(QString::fromUtf8(caso.arquivo)), caso.data) << caso.arquivo;
    }
    EXPECT_FALSE(existe(kP + "Ftp\\ExeFtp\\Calc.dll.zip")) << "only executables and packages";

    // More than a handful of files: how far it is, in the animation and on the command line.
    EXPECT_EQ(ui.progressTexts().last(), QStringLiteral("Atualizando os arquivos pré homologados... (8 de 8)"));
    EXPECT_FALSE(ui.busyVisible());
}

TEST_F(CopiaPreHomologada, MissingFilesAreReportedTogetherAfterTheOthersAreCopied)
{
    preparaCompilado();
    files::deleteFile(kH + "Rel\\Vendas.qr2");
    files::deleteFile(kH + "Sql\\Oracle\\X1.sql");
    PreHomologados copia(grupo(kCompilado));
    alteraGrupo();
    const QList<QString> mensagens = interrompe(ui, [&] { copia.Atualiza_Pre_Homologados(); });
    confereDescartado();
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_EQ(mensagens[0], QStringLiteral("Não foi possível localizar o arquivo: C:\\Hom\\P501\\Sql\\Oracle\\X1.sql\r\n"
                                           "Não foi possível localizar o arquivo: C:\\Hom\\P501\\Rel\\Vendas.qr2"));
    EXPECT_EQ(le(kP + "Bin\\Client\\TELA.exe"), "tela nova");
    EXPECT_FALSE(ui.busyVisible());
}

// A first run that replaced files and then failed; the rerun must not take the files it
// replaced for the previous versions, and a rollback must bring back what was there first.
TEST_F(CopiaPreHomologada, RerunAfterAFailedRunKeepsTheTruePreviousVersions)
{
    preparaCompilado();
    files::deleteFile(kH + "Rel\\Vendas.qr2");
    interrompe(ui, [&] { PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados(); });
    ASSERT_EQ(le(kP + "Bin\\Server\\CALC.dll"), "calc novo");

    escreve(kH + "Rel\\Vendas.qr2", "vendas novo");
    escreve(kH + "Srv\\Bin\\Calc.dll", "calc regerado", kData);
    PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();

    confere({
        {R"(C:\PreHom\P501\Bin\Server\CALC.dll)", "calc regerado"},
        {R"(C:\PreHom\P501\Ftp\RelFtp\VENDAS.QR2)", "vendas novo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Bin\Server\CALC.dll)", "calc antigo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Bin\Client\TELA.exe)", "tela antiga"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000502\Ftp\RelFtp\VENDAS.QR2)", "vendas antigo"},
        {R"(C:\PreHom\P501\Backup KMT\0000000031\00010000000501\Sql\End_Conv\Oracle\X1.SQL)", nullptr},
    });
    EXPECT_EQ(novos(kArea), QStringList({R"(C:\PreHom\P501\Sql\End_Conv\Oracle\X1.SQL)",
                                         R"(C:\PreHom\P501\Ftp\RelFtp\Especial\R2.QR2)"}));
    EXPECT_EQ(abreZip(kArea + "00010000000501\\Bin\\Client\\TELA.exe.zip").conteudo, "tela antiga");

    Reversao(grupo(kCompilado)).Volta_Backup_Pre_Homologados(kCompilado, lista({"501", "502"}));
    confere({
        {R"(C:\PreHom\P501\Bin\Server\CALC.dll)", "calc antigo"},
        {R"(C:\PreHom\P501\Ftp\RelFtp\VENDAS.QR2)", "vendas antigo"},
        {R"(C:\PreHom\P501\Sql\End_Conv\Oracle\X1.SQL)", nullptr},
    });
}

// A file whose previous version cannot be saved is not replaced, and its backup is tried
// again by the next run.
TEST_F(CopiaPreHomologada, AFileWhoseBackupFailedIsNotReplaced)
{
    preparaCompilado();
    // A folder where the backup file should go: the copy cannot write it.
    files::forceDirectories(kArea + "00010000000502\\Ftp\\RelFtp\\VENDAS.QR2\\x");
    const QList<QString> mensagens = interrompe(ui, [&] { PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados(); });
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].startsWith(QStringLiteral("Não foi possível realizar a cópia: C:\\PreHom\\P501\\Ftp\\RelFtp\\VENDAS.QR2 para ")))
        << mensagens[0].toStdString();
    EXPECT_EQ(le(kP + "Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
    EXPECT_EQ(le(kP + "Bin\\Server\\CALC.dll"), "calc novo");

    PreHomologados::Apaga_Pasta(kArea + "00010000000502\\Ftp\\RelFtp\\VENDAS.QR2");
    PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();
    EXPECT_EQ(le(kArea + "00010000000502\\Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
    EXPECT_EQ(le(kP + "Ftp\\RelFtp\\VENDAS.QR2"), "vendas novo");
}

// One file replaced by two requests whose second backup fails (no room): neither request's
// copy replaces it, and the rerun takes that backup from the first one, the original, never
// from the tree as it stands.
TEST_F(CopiaPreHomologada, AFileOfTwoRequestsIsBackedUpOnceFromTheOriginal)
{
    server::importDocument(db(), R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "504", "DSREFESOLI": "Solicitação",
        "CDPRODUTO": "0000000021", "releasedFiles": [{"DSARQPATCH": "C:\\Desenv\\P501\\Rel\\Vendas.qr2",
        "NRSEQPATCH": "001", "IDARQESPECLIE": "N", "DSDIRDESTARQ": ""}]}]})");
    preparaCompilado();
    files::forceDirectories(kArea + "00010000000504\\Ftp\\RelFtp\\VENDAS.QR2\\x");
    interrompe(ui, [&] { PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados(); });
    EXPECT_EQ(le(kP + "Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
    EXPECT_EQ(le(kP + "Bin\\Server\\CALC.dll"), "calc novo") << "the other requests are copied";

    PreHomologados::Apaga_Pasta(kArea + "00010000000504\\Ftp\\RelFtp\\VENDAS.QR2");
    escreve(kP + "Ftp\\RelFtp\\VENDAS.QR2", "vendas novo");  // as a run that copied it would leave it
    PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();
    EXPECT_EQ(le(kArea + "00010000000504\\Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
    EXPECT_EQ(le(kArea + "00010000000502\\Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
}

// The families: what is copied from where, and what the copy adds.
TEST_F(CopiaPreHomologada, WebAndFormSettingProductsUseTheirOwnListsAndPaths)
{
    escreve("C:\\Hom\\P1501\\web\\index.php", "index novo");
    escreve("C:\\Hom\\P1501\\zql\\bin\\portal.dll", "portal novo");
    escreve("C:\\PreHom\\P1501\\web\\index.php", "index antigo");
    PreHomologados(grupo(kWeb)).Atualiza_Pre_Homologados_Asp();
    EXPECT_EQ(le("C:\\PreHom\\P1501\\web\\index.php"), "index novo");
    EXPECT_EQ(le("C:\\PreHom\\P1501\\zql\\bin\\portal.dll"), "portal novo");
    EXPECT_EQ(le("C:\\PreHom\\P1501\\Backup KMT\\0000000032\\00010000000601\\web\\index.php"), "index antigo");
    EXPECT_EQ(files::readLines("C:\\PreHom\\P1501\\Backup KMT\\0000000032\\NovosArquivos.Txt"),
              QStringList{"C:\\PreHom\\P1501\\zql\\bin\\portal.dll"});

    const QString temporaria = TempDir() + "\\" + kFormulario;
    PreHomologados::Apaga_Pasta(temporaria);
    escreve("C:\\Hom\\F301\\forms\\a.frm", "form novo");
    PreHomologados(grupo(kFormulario)).Atualiza_Pre_Homologados_SetForms();
    EXPECT_EQ(le("C:\\PreHom\\F301\\forms\\a.frm"), "form novo");
    EXPECT_EQ(le(temporaria + "\\forms\\a.frm"), "form novo") << "the staging copy";
    EXPECT_TRUE(files::listDir("C:\\PreHom\\F301", "*.zip").isEmpty());
    PreHomologados::Apaga_Pasta(temporaria);

    // The phase machine's choice by product tree code, first match wins.
    const std::pair<const char *, Familia> familias[] = {
        {"P501", Familia::Compilados}, {"XP6", Familia::Compilados}, {"P15P5", Familia::Compilados},
        {"P1501", Familia::Web},       {"F301", Familia::Formularios}, {"", Familia::Formularios}};
    for (const auto &[arvore, familia] : familias)
        EXPECT_EQ(FamiliaDoProduto(arvore), familia) << arvore;
}

TEST_F(CopiaPreHomologada, ArchiveIsNamedAfterTheWholeFileNameAndFolderIsCreated)
{
    escreve("C:\\Pre\\Bin\\Client\\X.exe", QByteArray(5000, 'x'), kData);
    PreHomologados(*dm).Gera_Zip("C:\\Pre\\Bin\\Client\\X.exe", "C:\\Pre\\Novo\\Ftp\\ExeFtp");
    const ArquivoZip zip = abreZip("C:\\Pre\\Novo\\Ftp\\ExeFtp\\X.exe.zip");
    ASSERT_TRUE(zip.aberto);
    EXPECT_EQ(zip.nomes, QStringList{"X.exe"});
    EXPECT_EQ(zip.conteudo, QByteArray(5000, 'x'));
    EXPECT_LT(files::fileSize("C:\\Pre\\Novo\\Ftp\\ExeFtp\\X.exe.zip"), 1000) << "deflated";

    // A file that is not there: the archive cannot be written, and the operation stops.
    const QList<QString> mensagens = interrompe(ui, [&] { PreHomologados(*dm).Gera_Zip("C:\\Pre\\Falta.exe", "C:\\Pre\\"); });
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].startsWith("Não foi possível gerar o arquivo compactado C:\\Pre\\Falta.exe.zip."))
        << mensagens[0].toStdString();
}

TEST_F(CopiaPreHomologada, FolderIsDeletedWithEverythingBelowIt)
{
    escreve("C:\\Apagar\\a.txt", "a");
    escreve("C:\\Apagar\\Sub\\Sub2\\b.txt", "b");
    files::setReadOnly("C:\\Apagar\\Sub\\Sub2\\b.txt", true);
    escreve("C:\\Fica\\c.txt", "c");
    PreHomologados::Apaga_Pasta("C:\\Apagar");
    EXPECT_FALSE(files::dirExists("C:\\Apagar"));
    EXPECT_TRUE(existe("C:\\Fica\\c.txt"));
    PreHomologados::Apaga_Pasta("C:\\NaoExiste");  // nothing to do, no failure
}

// A run that stopped half way (here: ended by a missing file, with the partial copy a kill
// leaves beside a file it was replacing). The rerun removes the partial copy, says on the
// screen and in the group's log that it completes the stopped run, and ends with every file
// in place and nothing left to announce.
TEST_F(CopiaPreHomologada, RunStoppedHalfWayIsAnnouncedAndCompleted)
{
    preparaCompilado();
    files::deleteFile(kH + "Rel\\Vendas.qr2");
    interrompe(ui, [&] { PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados(); });
    const QString parcial = kP + "Ftp\\RelFtp\\VENDAS.QR2" + files::partialCopySuffix();
    escreve(parcial, "vendas no");
    escreve(kH + "Rel\\Vendas.qr2", "vendas novo");
    ui.clear();

    PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();
    EXPECT_FALSE(existe(parcial));
    EXPECT_EQ(le(kP + "Ftp\\RelFtp\\VENDAS.QR2"), "vendas novo");
    EXPECT_EQ(le(kArea + "00010000000502\\Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("A execução anterior da cópia dos arquivos pré homologados do grupo 0000000031, "
                                            "iniciada em "))
        << ui.messages()[0].toStdString();
    EXPECT_TRUE(ui.messages()[0].endsWith("Cópia incompleta removida: " + parcial));
    EXPECT_EQ(dm->stlLogTram, QStringList{ui.messages()[0]});

    ui.clear();
    PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();
    EXPECT_TRUE(ui.messages().isEmpty()) << "the completed run left nothing to announce";
}

// A full disk under the pre-homologated tree (a small tmpfs): the copy says why it failed,
// the file keeps its previous version and no partial copy stays in the tree.
TEST_F(CopiaPreHomologada, FullDiskIsNamedAndLeavesNoPartialCopy)
{
    const QString pasta = drive->nativePath(QStringLiteral("PreHom/P501"));
    QDir().mkpath(pasta);
    int codigo = -1;
    const QString saida = platform::Process::run("mount -t tmpfs -o size=256k tmpfs " + pasta, &codigo, 30000);
    if (codigo != 0)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << saida.toStdString();
    struct Desmonta {
        QString pasta;
        ~Desmonta() { platform::Process::run("umount " + pasta, nullptr, 30000); }
    } desmonta{pasta};

    preparaCompilado();
    escreve(kH + "Rel\\Vendas.qr2", QByteArray(1024 * 1024, 'v'));
    const QList<QString> mensagens = interrompe(ui, [&] { PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados(); });
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].contains("Não foi possível realizar a cópia: C:\\Hom\\P501\\Rel\\Vendas.qr2 para "
                                      "C:\\PreHom\\P501\\Ftp\\RelFtp\\VENDAS.QR2. Motivo: não há espaço livre no disco "
                                      "de destino ("))
        << mensagens[0].toStdString();
    EXPECT_EQ(le(kP + "Ftp\\RelFtp\\VENDAS.QR2"), "vendas antigo");
    EXPECT_EQ(files::listDir(kP + "Ftp\\RelFtp", "*" + files::partialCopySuffix()), QStringList());
    EXPECT_EQ(le(kP + "Bin\\Server\\CALC.dll"), "calc novo") << "the others are copied";
}

// A tree without its location is named in the operator's words, accents included.
TEST_F(CopiaPreHomologada, ATreeWithoutItsLocationIsNamed)
{
    const QList<QString> mensagens = interrompe(ui, [] { RaizDaArvore(QString(), "pré homologados", "0000000021"); });
    EXPECT_EQ(mensagens, QList<QString>{"O diretório dos arquivos pré homologados do produto 0000000021 não está configurado."});
}

// A folder of the tree that a link takes outside it: the copy stops before creating or
// copying anything, naming the link; nothing outside is written.
TEST_F(CopiaPreHomologada, ALinkOutOfTheTreeStopsBeforeAnyCopy)
{
    preparaCompilado();
    QTemporaryDir fora;
    const QString ftp = drive->nativePath(QStringLiteral("PreHom/P501/Ftp"));
    ASSERT_TRUE(QDir().rename(ftp, fora.path() + "/Ftp"));
    ASSERT_TRUE(QFile::link(fora.path() + "/Ftp", ftp));
    const QList<QString> mensagens = interrompe(ui, [&] { PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados(); });
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].contains("C:\\PreHom\\P501\\Ftp\\RelFtp\\VENDAS.QR2 - C:\\PreHom\\P501\\Ftp é um link que leva "
                                      "para fora de C:\\PreHom\\P501\\"))
        << mensagens[0].toStdString();
    EXPECT_EQ(le(kP + "Bin\\Server\\CALC.dll"), "calc antigo");
    QFile vendas(fora.path() + "/Ftp/RelFtp/VENDAS.QR2");
    ASSERT_TRUE(vendas.open(QIODevice::ReadOnly));
    EXPECT_EQ(vendas.readAll(), "vendas antigo");
    EXPECT_FALSE(existe(kArea));
}
