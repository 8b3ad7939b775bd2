// The command runner against the real Subversion client: every condition that today's
// client can be brought to report, in repositories made with svnadmin in a folder
// mounted as C:\.

#include "runner/frmexeccommands.h"
#include "runner/analisesaida.h"

#include "platform/files.h"
#include "platform/process.h"

#include "janela.h"
#include "support/testenv.h"

#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>

#include <gtest/gtest.h>

using platform::Process;

namespace {

QString Mensagem(const char *key) { return runner::MensagensDoExecutor().Msg(QLatin1StringView(key)); }

void Roda(const QString &commandLine)
{
    int code = -1;
    const QString output = Process::run(commandLine, &code, 60000);
    ASSERT_EQ(code, 0) << commandLine.toStdString() << "\n" << output.toStdString();
}

// A repository with one committed file and two working copies of it, C:\wc and C:\wc2.
class RepositorioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Roda("svnadmin create C:\\repo");
        url = fileUrl(drive.nativePath("repo"));
        Roda(QString("svn checkout %1 C:\\wc --non-interactive -q").arg(url));
        platform::files::writeLines("C:\\wc\\a.txt", {"primeira"});
        Roda("svn add C:\\wc\\a.txt -q");
        Roda("svn commit C:\\wc -m inicial -q --non-interactive");
        Roda(QString("svn checkout %1 C:\\wc2 --non-interactive -q").arg(url));
        platform::files::forceDirectories("C:\\naowc");
    }

    // Runs a script in a hidden runner window: [outcome, output, messages shown].
    struct Execucao {
        bool resultado;
        QString saida;
        QList<QString> mensagens;
        QStringList vermelhas;
    };
    Execucao Executa(const QString &script)
    {
        DialogosGravados dialogos;
        TfrmExecCommands form;
        Execucao execucao{form.Executa(script), form.TextoDaSaida(), dialogos.ui.messages(), {}};
        for (int i = 0; i < form.lsbCommands->count(); ++i) {
            const QString item = form.lsbCommands->item(i)->text();
            if (runner::CorDoItem(form.msgPadrao, item) == runner::CorDaLinha::Vermelha)
                execucao.vermelhas.append(item);
        }
        return execucao;
    }

    MountedDrive drive;
    QString url;
};

}  // namespace

TEST_F(RepositorioTest, SuccessfulScriptReturnsTheWholeOutputWithoutShowingTheWindow)
{
    OperadorDaJanela operador;
    platform::files::writeLines("C:\\wc\\b.txt", {"nova"});
    const QVariantList resultado =
        runner::ExecCommands("Transferência",
                             QString("@TITLE Transferência\r\n"
                                     "svn add C:\\wc\\b.txt\r\n"
                                     "svn commit C:\\wc -m \"arquivo novo\" --non-interactive\r\n"
                                     "svn update C:\\wc2 --non-interactive\r\n"
                                     "svn lock C:\\wc2\\b.txt --username svn_eu --non-interactive\r\n"
                                     "svn unlock C:\\wc2\\b.txt --username svn_eu --non-interactive\r\n"
                                     "svn info C:\\wc2\\b.txt\r\n"),
                             false)
            .toList();
    const QString saida = resultado[1].toString();
    EXPECT_TRUE(resultado[0].toBool()) << saida.toStdString();
    EXPECT_EQ(operador.vezesMostrada(), 0);
    for (const char *texto : {"Commit da revisão 2.", "Atualizado para revisão 2.", "travado pelo usuário 'svn_eu'",
                              "destravado.", "Working Copy Root Path: C:\\wc2"})
        EXPECT_TRUE(saida.contains(QString::fromUtf8(texto), Qt::CaseInsensitive)) << texto << "\n" << saida.toStdString();
}

TEST_F(RepositorioTest, LockedWorkingCopy)
{
    // What an interrupted svn leaves behind: a lock row in the working copy's database.
    {
        QSqlDatabase banco = QSqlDatabase::addDatabase("QSQLITE", "wc");
        banco.setDatabaseName(drive.nativePath("wc/.svn/wc.db"));
        ASSERT_TRUE(banco.open());
        QSqlQuery trava(banco);
        ASSERT_TRUE(trava.exec("INSERT INTO wc_lock (wc_id, local_dir_relpath, locked_levels) VALUES (1, '', -1)"))
            << trava.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase("wc");

    const auto execucao = Executa("svn update C:\\wc --non-interactive\r\n@ECHO depois");
    EXPECT_FALSE(execucao.resultado) << execucao.saida.toStdString();
    EXPECT_EQ(execucao.mensagens, QList<QString>{Mensagem("ERRO_TRAVA_COPIA_DE_TRABALHO")});
    EXPECT_FALSE(execucao.saida.contains("depois"));
    EXPECT_FALSE(execucao.vermelhas.isEmpty());
}

TEST_F(RepositorioTest, LockHeldByAnotherUserAndTheCommitItStops)
{
    Roda("svn lock C:\\wc\\a.txt --username outro --non-interactive");
    auto execucao = Executa("svn lock C:\\wc2\\a.txt --username svn_eu --non-interactive");
    EXPECT_FALSE(execucao.resultado) << execucao.saida.toStdString();
    EXPECT_TRUE(execucao.saida.contains("já está travado pelo usuário")) << execucao.saida.toStdString();
    EXPECT_EQ(execucao.mensagens, QList<QString>{Mensagem("ERRO_GERAL")});
    EXPECT_TRUE(execucao.vermelhas.filter("já está travado").size() == 1) << execucao.vermelhas.join('\n').toStdString();

    platform::files::writeLines("C:\\wc2\\a.txt", {"alterada"});
    execucao = Executa("svn commit C:\\wc2 -m alteracao --username svn_eu --non-interactive");
    EXPECT_FALSE(execucao.resultado) << execucao.saida.toStdString();
    EXPECT_TRUE(execucao.saida.contains("Commit falhou")) << execucao.saida.toStdString();
    EXPECT_EQ(execucao.mensagens, QList<QString>{Mensagem("ERRO_GERAL")});
}

TEST_F(RepositorioTest, LockOfAnOutdatedFile)
{
    platform::files::writeLines("C:\\wc\\a.txt", {"segunda"});
    Roda("svn commit C:\\wc -m segunda -q --non-interactive");
    const auto execucao = Executa("svn lock C:\\wc2\\a.txt --username svn_eu --non-interactive");
    EXPECT_FALSE(execucao.resultado) << execucao.saida.toStdString();
    EXPECT_TRUE(execucao.saida.contains("Trava falhou: nova versão de")) << execucao.saida.toStdString();
    EXPECT_EQ(execucao.mensagens, QList<QString>{Mensagem("ERRO_GERAL")});
    EXPECT_FALSE(execucao.vermelhas.isEmpty());
}

TEST_F(RepositorioTest, NotAWorkingCopyNotVersionedAndSkipped)
{
    const struct {
        const char *script;
        const char *texto;
    } casos[] = {
        {"svn info C:\\naowc", "não é uma cópia de trabalho"},
        {"svn cleanup C:\\naowc", "não é um diretório de cópia de trabalho"},
        {"svn delete C:\\wc\\solto.txt", "não está sobre controle de versão"},
        {"svn update C:\\naowc --non-interactive", "Pulou"},
    };
    platform::files::writeLines("C:\\wc\\solto.txt", {"fora do controle"});
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.script);
        const auto execucao = Executa(QString("%1\r\n@ECHO depois").arg(caso.script));
        EXPECT_FALSE(execucao.resultado) << execucao.saida.toStdString();
        EXPECT_TRUE(execucao.saida.contains(QString::fromUtf8(caso.texto))) << execucao.saida.toStdString();
        EXPECT_FALSE(execucao.saida.contains("depois"));
        EXPECT_EQ(execucao.mensagens, QList<QString>{Mensagem("ERRO_GERAL")});
        EXPECT_FALSE(execucao.vermelhas.isEmpty());
    }
}

TEST_F(RepositorioTest, UnreachableServerIsRepeatedThenFails)
{
    quint16 porta = 0;
    {
        QTcpServer servidor;
        ASSERT_TRUE(servidor.listen(QHostAddress::LocalHost, 0));
        porta = servidor.serverPort();
    }
    const auto execucao =
        Executa(QString("svn info svn://127.0.0.1:%1/repo --non-interactive\r\n@ECHO depois").arg(porta));
    EXPECT_FALSE(execucao.resultado) << execucao.saida.toStdString();
    EXPECT_TRUE(execucao.saida.contains("Não foi possível conectar ao servidor")) << execucao.saida.toStdString();
    EXPECT_EQ(execucao.saida.count("Repetindo Execução"), TfrmExecCommands::kRepeticoesMaximas);
    EXPECT_FALSE(execucao.saida.contains("depois"));
    // The general error, then the repository and its cause.
    EXPECT_EQ(execucao.mensagens,
              QList<QString>{Mensagem("ERRO_GERAL") + QStringLiteral("\r\n\r\nO servidor do repositório svn://127.0.0.1:%1/repo "
                                                                   "recusou a conexão: nenhum serviço do Subversion "
                                                                   "atende nesse endereço. Confira a URL do produto e se "
                                                                   "o servidor está no ar, e repita a operação.")
                                                       .arg(porta)});
    EXPECT_FALSE(execucao.vermelhas.isEmpty());
}
