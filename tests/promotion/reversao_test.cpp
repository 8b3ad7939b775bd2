// The rollback of a request's files: the pre-homologated tree from the backup of its copy,
// and the homologated repository, a real svn repository, back to the revisions recorded
// before the transfer.

#include "treesenv.h"

#include "promotion/prehomologados.h"
#include "promotion/reversao.h"

#include "methods/datasets.h"
#include "platform/files.h"
#include "platform/process.h"

#include <QDir>

#include <gtest/gtest.h>

namespace files = platform::files;

namespace {

class ReversaoPreHomologados : public TreesTest {
protected:
    void SetUp() override
    {
        TreesTest::SetUp();
        preparaCompilado();
        PreHomologados(grupo(kCompilado)).Atualiza_Pre_Homologados();
    }
};

// Group 0000000034: request 801 changed A.pas and added Novo.pas, request 802 changed B.pas.
// The transfer recorded their revisions before (2, 2 and "0") and committed revision 3.
class ReversaoRepositorio : public TreesTest {
protected:
    void SetUp() override
    {
        TreesTest::SetUp();
        files::forceDirectories(QStringLiteral("C:\\svn"));
        int codigo = -1;
        platform::Process::run(QStringLiteral("svnadmin create C:\\svn\\hom"), &codigo, 60000);
        ASSERT_EQ(codigo, 0);
        svn("mkdir --parents " + urlHomologados + "/Srv -m inicio");  // r1
        svn("checkout " + urlHomologados + " C:\\Hom\\P502 -q");
        escreve(kSrv + "A.pas", "a antigo");
        escreve(kSrv + "B.pas", "b antigo");
        svn("add " + kSrv + "A.pas " + kSrv + "B.pas -q");
        svn("commit C:\\Hom\\P502 -m anterior -q");  // r2

        registra({{kSrv + "A.pas", "2"}, {kSrv + "B.pas", revisaoDeB}, {kSrv + "Novo.pas", "0"}}, false);
        escreve(kSrv + "A.pas", "a transferido");
        escreve(kSrv + "B.pas", "b transferido");
        escreve(kSrv + "Novo.pas", "novo");
        svn("add " + kSrv + "Novo.pas -q");
        svn("commit C:\\Hom\\P502 -m \"Grupo de homologação: " + kRepositorio + "- Release: 3\" -q");  // r3
        registra({{"C:\\Desenv\\P502\\Srv\\A.pas", "3"}, {"C:\\Desenv\\P502\\Srv\\B.pas", "3"},
                  {"C:\\Desenv\\P502\\Srv\\Novo.pas", "3"}},
                 true);
    }

    // setVersArqHom as the transfer calls it: homologated paths with the revisions before,
    // then development paths with the revisions after.
    void registra(const QList<std::pair<QString, QString>> &arquivos, bool depois)
    {
        packet::Packet pacote;
        pacote.fields = server::ds::cdsArqModifAtu().fields;
        const auto coluna = [&](const char *nome) { return server::ds::cdsArqModifAtu().indexOf(QLatin1StringView(nome)); };
        for (const auto &[caminho, revisao] : arquivos) {
            packet::Row linha(pacote.fields.size(), QString());
            linha[coluna("DSDIRARQCHECKOU")] = caminho;
            linha[coluna(depois ? "CDRELEASEARQATU" : "CDRELEASEARQANT")] = revisao;
            pacote.rows.append(linha);
        }
        ok("setVersArqHom", args({kRepositorio, pacote.toJson()}));
    }

    QString head(const QString &arquivo) { return svn("cat " + urlHomologados + "/Srv/" + arquivo); }

    QString revisaoDeB = QStringLiteral("2");
    static inline const QString kSrv = QStringLiteral("C:\\Hom\\P502\\Srv\\");
};

}  // namespace

TEST(ReversaoComandos, CommandLinesAreTheRollbackTemplates)
{
    using C = Reversao::Comando;
    const struct {
        C comando;
        const char *revisao;
        const char *esperado;
    } casos[] = {
        // Back to the recorded revision (blanks around it removed), and to the newest one.
        {C::VoltaRevisao, " 12 ",
         R"(svn update --no-auth-cache -r"12" --username "svn_ana" --password "s" --force --ignore-externals --depth files --accept postpone "C:\Hom\A b.pas")"},
        {C::Atualiza, "12",
         R"(svn update --no-auth-cache --username "svn_ana" --password "s" --force --ignore-externals --depth files --accept postpone "C:\Hom\A b.pas")"},
        // The commit names the revision as it was stored.
        {C::Envia, " 12 ",
         R"(svn commit -m"KMT: Restaurando situação do release  12 " --no-auth-cache --username "svn_ana" --password "s" "C:\Hom\A b.pas")"},
        {C::Apaga, "0", R"(svn del --force --no-auth-cache --username "svn_ana" --password "s" "C:\Hom\A b.pas")"},
        {C::Situacao, "0", R"(svn status --no-auth-cache --username "svn_ana" --password "s" "C:\Hom\A b.pas")"},
    };
    for (const auto &caso : casos)
        EXPECT_EQ(Reversao::Linha(caso.comando, caso.revisao, R"(C:\Hom\A b.pas)", "svn_ana", "s"),
                  QString::fromUtf8(caso.esperado));
}

TEST_F(ReversaoPreHomologados, PreviousVersionsComeBackAndNewFilesGo)
{
    Reversao(grupo(kCompilado)).Volta_Backup_Pre_Homologados(kCompilado, lista({"501", "502", "503"}));
    confere({
        {R"(C:\PreHom\P501\Bin\Server\CALC.dll)", "calc antigo"},
        {R"(C:\PreHom\P501\Bin\Client\TELA.exe)", "tela antiga"},
        {R"(C:\PreHom\P501\Sql\End_Conv\Oracle\X1.SQL)", nullptr},
        // Client-specific files come back from the same backup.
        {R"(C:\PreHom\P501\Bin\Client\Clientes\ABC\Comp.bpl)", "comp antigo"},
        {R"(C:\PreHom\P501\Ftp\RelFtp\Especial\R2.QR2)", nullptr},
        {R"(C:\PreHom\P501\Ftp\RelFtp\VENDAS.QR2)", "vendas antigo"},
        // Two files of one name in two folders, each from its own backup.
        {R"(C:\PreHom\P501\Sql\End_Conv\Oracle\DUP.SQL)", "dup oracle antigo"},
        {R"(C:\PreHom\P501\Sql\End_Conv\SQLServer\DUP.SQL)", "dup sqlserver antigo"},
    });
    // The archives of the previous versions come back with them.
    EXPECT_EQ(abreZip(kP + "Ftp\\ExeFtp\\Tela.exe.zip").conteudo, "tela antiga");
}

TEST_F(ReversaoPreHomologados, ArchiveOfANewExecutableGoesWithIt)
{
    files::deleteFile(kArea + "00010000000502\\Bin\\Client\\Clientes\\ABC\\Comp.bpl");
    files::deleteFile(kArea + "00010000000502\\Bin\\Client\\Clientes\\ABC\\Comp.bpl.zip");
    files::writeLines(kArea + "NovosArquivos.Txt", novos(kArea) << kP + "Bin\\Client\\Clientes\\ABC\\Comp.bpl");
    Reversao(grupo(kCompilado)).Volta_Backup_Pre_Homologados(kCompilado, lista({"502"}));
    EXPECT_FALSE(existe(kP + "Bin\\Client\\Clientes\\ABC\\Comp.bpl"));
    EXPECT_FALSE(existe(kP + "Ftp\\ExeFtp\\Clientes\\ABC\\Comp.bpl.zip"));
}

// An area written by an earlier version keeps the previous versions flat, by file name. It
// is still read; where a request had two files of one name, it cannot tell whose the one
// backup is, and the rollback of that request is refused with both files left alone.
TEST_F(ReversaoPreHomologados, AreaOfTheFlatLayoutIsReadAndAnAmbiguousOneRefused)
{
    const struct {
        const char *solicitacao;
        const char *guardado;  // the keyed backup moved to the request's folder
        const char *arquivo;
        const char *esperado;
    } casos[] = {
        {"501", R"(Bin\Server\CALC.dll)", R"(C:\PreHom\P501\Bin\Server\CALC.dll)", "calc antigo"},
        {"502", R"(Ftp\RelFtp\VENDAS.QR2)", R"(C:\PreHom\P501\Ftp\RelFtp\VENDAS.QR2)", "vendas antigo"},
        // As the earlier version wrote it: the first of the two, under the shared name.
        {"503", R"(Sql\End_Conv\Oracle\DUP.SQL)", R"(C:\PreHom\P501\Sql\End_Conv\Oracle\DUP.SQL)", "dup oracle novo"},
    };
    for (const auto &caso : casos) {
        const QString pasta = kArea + item(caso.solicitacao) + "\\";
        const QString guardado = QString::fromUtf8(caso.guardado);
        ASSERT_TRUE(files::renameFile(pasta + guardado, pasta + NomeDoArquivo(guardado))) << caso.guardado;
    }
    PreHomologados::Apaga_Pasta(kArea + item("503") + "\\Sql");

    Reversao(grupo(kCompilado)).Volta_Backup_Pre_Homologados(kCompilado, lista({"501", "502"}));
    const QList<QString> mensagens = interrompe(ui, [&] {
        Reversao(grupo(kCompilado)).Volta_Backup_Pre_Homologados(kCompilado, lista({"503"}));
    });
    for (const auto &caso : casos)
        EXPECT_EQ(le(QString::fromUtf8(caso.arquivo)), caso.esperado) << caso.arquivo;
    EXPECT_EQ(le(kP + "Sql\\End_Conv\\SQLServer\\DUP.SQL"), "dup sqlserver novo");
    ASSERT_EQ(mensagens.size(), 1);
    EXPECT_TRUE(mensagens[0].contains("a solicitação 0000000503 tem 2 arquivos de nome DUP.SQL")) << mensagens[0].toStdString();
    EXPECT_TRUE(mensagens[0].contains(R"(C:\PreHom\P501\Sql\End_Conv\SQLServer\DUP.SQL)"));
}

// A backup that cannot be copied leaves the file it should have replaced.
TEST_F(ReversaoPreHomologados, FailedBackupCopyLeavesTheFile)
{
    files::deleteFile(kArea + "00010000000501\\Bin\\Client\\TELA.exe");
    Reversao reversao(grupo(kCompilado));
    alteraGrupo();
    const QList<QString> mensagens =
        interrompe(ui, [&] { reversao.Volta_Backup_Pre_Homologados(kCompilado, lista({"501"})); });
    confereDescartado();
    EXPECT_EQ(mensagens, QList<QString>{"Não foi possível realizar a cópia: C:\\PreHom\\P501\\Backup KMT\\0000000031\\"
                                        "00010000000501\\Bin\\Client\\TELA.exe para C:\\PreHom\\P501\\Bin\\Client\\TELA.exe. "
                                        "Motivo: o arquivo de origem não existe."});
    EXPECT_EQ(le(kP + "Bin\\Client\\TELA.exe"), "tela nova");
    EXPECT_EQ(le(kP + "Bin\\Server\\CALC.dll"), "calc antigo") << "files handled before stay rolled back";
}

TEST_F(ReversaoRepositorio, FilesReturnToTheirRecordedRevisionsAndAddedFilesAreDeleted)
{
    Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"801", "802"}));

    EXPECT_EQ(head("A.pas"), "a antigo");
    EXPECT_EQ(head("B.pas"), "b antigo");
    EXPECT_FALSE(svn("ls " + urlHomologados + "/Srv").contains("Novo.pas")) << "the deletion is committed";
    EXPECT_FALSE(existe(kSrv + "Novo.pas"));
    const QString log = svn("log -l 3 " + urlHomologados);
    EXPECT_EQ(log.count("KMT: Restaurando situação do release 2"), 2) << log.toStdString();
    EXPECT_EQ(log.count("KMT: Restaurando situação do release 0"), 1) << log.toStdString();

    // One box per request; the log is not cleared, so the second repeats the first.
    const QList<QString> caixas = ui.messages();
    ASSERT_EQ(caixas.size(), 2);
    EXPECT_TRUE(caixas[0].startsWith("Arquivo: C:\\Hom\\P502\\Srv\\A.pas\r")) << caixas[0].toStdString();
    EXPECT_TRUE(caixas[0].contains("Arquivo: C:\\Hom\\P502\\Srv\\Novo.pas\r"));
    EXPECT_FALSE(caixas[0].contains("B.pas"));
    EXPECT_TRUE(caixas[1].startsWith(caixas[0]));
    EXPECT_TRUE(caixas[1].contains("Arquivo: C:\\Hom\\P502\\Srv\\B.pas\r"));

    // Again: nothing left to commit, and the added file has nothing left to delete.
    ui.clear();
    Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"801"}));
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].contains("Não houve alterações\r\r")) << ui.messages()[0].toStdString();
    EXPECT_EQ(head("A.pas"), "a antigo");
}

// A deletion scheduled by an earlier rollback and never committed is committed now.
TEST_F(ReversaoRepositorio, ScheduledDeletionIsCommitted)
{
    svn("del --force " + kSrv + "Novo.pas -q");
    Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"801"}));
    EXPECT_FALSE(svn("ls " + urlHomologados + "/Srv").contains("Novo.pas"));
}

TEST_F(ReversaoRepositorio, FailedUpdateStopsWithTheFileNamed)
{
    // Without its administrative folder the working copy is none: svn skips the file.
    ASSERT_TRUE(QDir().rename(drive->nativePath("Hom/P502/.svn"), drive->nativePath("Hom/P502/.svn-fora")));
    const QList<QString> mensagens = interrompe(ui, [&] {
        Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"801"}));
    });
    ASSERT_FALSE(mensagens.isEmpty());
    EXPECT_EQ(mensagens.last(), Reversao::ErroAoVoltar(kSrv + "A.pas"));
    EXPECT_EQ(head("A.pas"), "a transferido");
}

// A file locked by someone else cannot be committed: the rollback stops at it.
TEST_F(ReversaoRepositorio, FailedCommitStopsWithTheFileNamed)
{
    svn("checkout " + urlHomologados + " C:\\Outra -q");
    svn("lock C:\\Outra\\Srv\\B.pas --username svn_outro -q");
    const QList<QString> mensagens = interrompe(ui, [&] {
        Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"801", "802"}));
    });
    ASSERT_FALSE(mensagens.isEmpty());
    EXPECT_EQ(mensagens.last(), Reversao::ErroAoVoltar(kSrv + "B.pas"));
    EXPECT_EQ(head("A.pas"), "a antigo") << "files handled before stay rolled back";
    EXPECT_EQ(head("B.pas"), "b transferido");
}

// A recorded revision that the repository does not have cannot be brought back.
class ReversaoRevisaoInexistente : public ReversaoRepositorio {
protected:
    void SetUp() override
    {
        revisaoDeB = QStringLiteral("99");
        ReversaoRepositorio::SetUp();
    }
};

TEST_F(ReversaoRevisaoInexistente, StopsWithTheFileNamed)
{
    const QList<QString> mensagens = interrompe(ui, [&] {
        Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"802"}));
    });
    // The client ends with a failure: the runner says so first, then the rollback names the file.
    ASSERT_EQ(mensagens.size(), 2);
    EXPECT_TRUE(mensagens.first().contains("terminou com o código de saída 1")) << mensagens.first().toStdString();
    EXPECT_EQ(mensagens.last(), Reversao::ErroAoVoltar(kSrv + "B.pas"));
}

// A "0" recorded for a file that the repository had before the transfer (a failed first
// attempt): the repository says so, and the file comes back instead of being deleted.
class ReversaoZeroDeArquivoExistente : public ReversaoRepositorio {
protected:
    void SetUp() override
    {
        revisaoDeB = QStringLiteral("0");
        ReversaoRepositorio::SetUp();
    }
};

TEST_F(ReversaoZeroDeArquivoExistente, TheFileComesBackAndStays)
{
    Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"802"}));
    EXPECT_EQ(head("B.pas"), "b antigo");
    EXPECT_TRUE(svn("log -l 1 " + urlHomologados).contains("KMT: Restaurando situação do release 2"));
}

// A commit of another group after this run's own is undone by the restore, which says so in
// the log shown and in the transition log; the group's own later commits (its stamps) are not
// mentioned.
TEST_F(ReversaoRepositorio, ANewerCommitOfAnotherGroupIsNamedWhenUndone)
{
    escreve(kSrv + "A.pas", "a carimbado");
    svn("commit C:\\Hom\\P502 -m Gerandoaversão:5.01.023 -q");  // r4
    escreve(kSrv + "A.pas", "a de outro grupo");
    svn("commit C:\\Hom\\P502 -m \"Grupo de homologação: 0000000099- Release: 7\" -q");  // r5
    Reversao(grupo(kRepositorio)).Volta_Arquivos_SVN_Homologados(kRepositorio, lista({"801"}));
    EXPECT_EQ(head("A.pas"), "a antigo");
    ASSERT_EQ(ui.messages().size(), 1);
    const QString aviso = QStringLiteral("Atenção: o arquivo C:\\Hom\\P502\\Srv\\A.pas foi alterado no repositório de "
                                         "homologação depois desta execução do grupo 0000000034, por revisão 5 (\"Grupo "
                                         "de homologação: 0000000099- Release: 7\"); a restauração desfaz essas alterações.");
    EXPECT_TRUE(ui.messages()[0].startsWith(aviso + u'\r')) << ui.messages()[0].toStdString();
    EXPECT_TRUE(dm->stlLogTram.contains(aviso));
}
