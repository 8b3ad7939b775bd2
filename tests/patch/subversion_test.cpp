// The repository actions of patch generation against the real Subversion client: the
// framed output, the working-copy update, folders added to the repository and the
// revision read.

#include "patchenv.h"

#include "patch/frmgpatch.h"
#include "patch/mensagens.h"

#include "host/errors.h"
#include "platform/files.h"

#include <QDateTime>
#include <QListWidget>

#include <gtest/gtest.h>

namespace {

QStringList Itens(const QListWidget *list)
{
    QStringList linhas;
    for (int i = 0; i < list->count(); ++i)
        linhas.append(list->item(i)->text());
    return linhas;
}

class RepositorioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        url = CriaRepositorio(QStringLiteral("ERP"), QStringLiteral("C:\\Inicial"), {{"SRV\\a.txt", "a\r\n"}});
        form.stUserSubVersion = QStringLiteral("svn_teste");
        form.stPassSubVersion = QStringLiteral("segredo");
        form.stDirBaseRep = QStringLiteral("C:\\Homol\\ERP\\");
        form.stDirVss = url;
    }

    AmbienteDeGeracao ambiente;
    ScriptedHostUi ui;
    HostUiScope escopo{ui};
    TfrmGPatch form;
    QString url;
};

}  // namespace

TEST_F(RepositorioTest, WorkingCopyIsCheckedOutWhenMissingAndUpdatedWhenPresent)
{
    form.AtualizaCopiaDeTrabalho();
    EXPECT_TRUE(platform::files::fileExists(QStringLiteral("C:\\Homol\\ERP\\SRV\\a.txt"))) << Itens(form.lsbProgresso).join('\n').toStdString();
    QStringList log = Itens(form.lsbProgresso);
    EXPECT_EQ(log.first(), "REALIZANDO AÇÕES NO SUBVERSION ...");
    EXPECT_TRUE(log.contains(QStringLiteral("ATUALIZANDO DIRETÓRIOS DA CÓPIA DE TRABALHO ...  C:\\Homol\\ERP\\")));
    EXPECT_FALSE(log.contains(QStringLiteral("ATUALIZANDO VERSÃO DOS ARQUIVOS DA CÓPIA DE TRABALHO ...  ")));
    // The framed block: rule, caption, output, rule.
    const qsizetype legenda = log.indexOf(QStringLiteral("ATUALIZANDO DIRETÓRIOS DA CÓPIA DE TRABALHO ...  C:\\Homol\\ERP\\"));
    EXPECT_EQ(log[legenda - 1], QString(92, u'='));
    EXPECT_TRUE(log.mid(legenda).contains(QString(92, u'=')));

    // A change made elsewhere reaches the existing copy through cleanup and update.
    platform::files::writeBytes(QStringLiteral("C:\\Inicial\\SRV\\a.txt"), "b\r\n");
    Roda(QStringLiteral("svn commit C:\\Inicial -m mudanca -q --non-interactive"));
    form.lsbProgresso->clear();
    form.AtualizaCopiaDeTrabalho();
    log = Itens(form.lsbProgresso);
    EXPECT_TRUE(log.contains(QStringLiteral("ATUALIZANDO VERSÃO DOS ARQUIVOS DA CÓPIA DE TRABALHO ...  "))) << log.join('\n').toStdString();
    EXPECT_EQ(platform::files::readBytes(QStringLiteral("C:\\Homol\\ERP\\SRV\\a.txt")), "b\r\n");
    EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(RepositorioTest, KnownFailuresShowTheirMessageAndStopTheAction)
{
    const auto mensagens = patch::MensagensDaGeracao();
    // A lock held by someone else is told apart from the other failures.
    Roda(QStringLiteral("svn lock C:\\Inicial\\SRV\\a.txt --username outro --non-interactive"));
    Roda(QStringLiteral("svn checkout %1 C:\\Segunda -q --non-interactive").arg(url));
    EXPECT_THROW(form.ExecuteSubVersion(QStringLiteral("TRAVA"),
                                        QStringLiteral("svn lock --username svn_teste --password x C:\\Segunda\\SRV\\a.txt"),
                                        true, form.lsbProgresso),
                 EAbort);
    // A commit that fails.
    platform::files::writeBytes(QStringLiteral("C:\\Segunda\\SRV\\a.txt"), "c\r\n");
    EXPECT_THROW(form.ExecuteSubVersion(QStringLiteral("COMMIT"),
                                        QStringLiteral("svn commit -mx --username svn_teste --password x C:\\Segunda"), true,
                                        form.lsbProgresso),
                 EAbort);
    EXPECT_EQ(ui.messages(), (QList<QString>{mensagens.Msg("SUB_COPIATRAVADA"), mensagens.Msg("ERRO_AO_ATUALIZAR")}));
    // A client that cannot be started: a line, no dialog, no stop.
    EXPECT_FALSE(form.ExecuteSubVersion(QStringLiteral("X"), QStringLiteral("svnnaoexiste info"), true, form.lsbProgresso));
    EXPECT_EQ(form.lsbProgresso->currentItem()->text(), "ERRO AO CRIAR PROCESSO NO SUBVERSION");
    EXPECT_EQ(ui.messages().size(), 2);
}

TEST_F(RepositorioTest, MissingFoldersAreAddedFromTheTopDownOnlyWhereMissing)
{
    // The working copy is the whole drive, as on the build machine.
    const QString urlNativa = fileUrl(ambiente.drive.nativePath(QStringLiteral("Repos/ERP/ERP")));
    MountedDrive raiz;
    Roda(QStringLiteral("svn checkout %1 C:\\ -q --non-interactive").arg(urlNativa));
    platform::files::forceDirectories(QStringLiteral("C:\\SRV\\janelas\\nova"));
    platform::files::writeBytes(QStringLiteral("C:\\SRV\\janelas\\nova\\w.js"), "x\r\n");
    form.Cria_Diretorios(QStringLiteral("C:\\SRV\\janelas\\nova\\w.js"));
    const QStringList aux = Itens(form.lsbAux);
    const QStringList log = Itens(form.lsbProgresso);
    // (output that comes in several reads is framed once per read)
    EXPECT_GE(aux.count(QStringLiteral("VERIFICANDO EXISTÊNCIA DO ARQUIVO NO REPOSITÓRIO ... ")), 3) << aux.join('\n').toStdString();
    // SRV exists; janelas is added with what it holds, so nova is found afterwards.
    QStringList adicoes = log.filter(QStringLiteral("ADICIONANDO DIRETÓRIO "));
    adicoes.removeDuplicates();
    EXPECT_EQ(adicoes.size(), 1) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("ADICIONANDO DIRETÓRIO C:\\SRV\\janelas\\nova\\ NO REPOSITÓRIO ... ")));
    EXPECT_GE(log.filter(QStringLiteral("CONFIRMANDO INCLUSÃO DO DIRETÓRIO")).size(), 1);
    EXPECT_EQ(log.filter(QStringLiteral("Commit da revisão")).size(), 1) << log.join('\n').toStdString();
    EXPECT_GT(Revisao(QStringLiteral("C:\\SRV\\janelas\\nova")), 0);
    EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(RepositorioTest, RevisionReadTellsVersionedMissingAndUnreadable)
{
    form.stDirBaseRep = QStringLiteral("C:\\Inicial\\");
    EXPECT_EQ(form.LeRevisao(QStringLiteral("C:\\Inicial\\SRV\\a.txt")), QString::number(Revisao("C:\\Inicial\\SRV\\a.txt")));
    // Not in the repository ("was not found" in today's client's words).
    platform::files::writeBytes(QStringLiteral("C:\\Inicial\\SRV\\novo.txt"), "n\r\n");
    EXPECT_EQ(form.LeRevisao(QStringLiteral("C:\\Inicial\\SRV\\novo.txt")), "0");
    // Neither: the run cannot go on without the file's release.
    platform::files::forceDirectories(QStringLiteral("C:\\Fora"));
    platform::files::writeBytes(QStringLiteral("C:\\Fora\\x.txt"), "x");
    EXPECT_THROW(form.LeRevisao(QStringLiteral("C:\\Fora\\x.txt")), EAbort);
    EXPECT_EQ(ui.messages(), QList<QString>{"Não foi possível obter a release do arquivo C:\\Fora\\x.txt."});
}

TEST(AtualizacaoDaCopia, AtMostOnceAnHour)
{
    const QDateTime agora(QDate(2024, 5, 10), QTime(11, 58));
    const struct {
        const char *stored;
        QDateTime now;
        bool update;
    } casos[] = {
        {"10/05/2024 10:59", agora, false},                                       // 1158 - 1059 = 99
        {"10/05/2024 10:59", QDateTime(QDate(2024, 5, 10), QTime(12, 0)), true},  // 1200 - 1059 = 141
        {"10/05/2024 10:58", agora, false},                                       // exactly 100
        {"09/05/2024 23:59", QDateTime(QDate(2024, 5, 10), QTime(0, 1)), true},   // an earlier day
        {"11/05/2024 08:00", agora, false},                                       // a later day
        {"", agora, true},                                                        // nothing readable
    };
    for (const auto &caso : casos)
        EXPECT_EQ(TfrmGPatch::PrecisaAtualizar(QString::fromLatin1(caso.stored), caso.now), caso.update) << caso.stored;
}
