// The command runner on small scripts: directives, output blocks, every failure text,
// the repetition on an unreachable server, and the window in its two modes. The
// failure texts come from `printtext`, a child that prints what it is told to.

#include "runner/frmexeccommands.h"
#include "runner/analisesaida.h"
#include "support/testenv.h"

#include "janela.h"

#include <QDir>
#include <QScrollBar>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using runner::Condicao;
using runner::CorDaLinha;

namespace {

QStringList Itens(const QListWidget &list)
{
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items.append(list.item(i)->text());
    return items;
}

QString MensagemDoExecutor(const char *key) { return runner::MensagensDoExecutor().Msg(QLatin1StringView(key)); }

}  // namespace

TEST(RoteiroDeComandos, ScriptIsSplitAtEveryKindOfLineBreak)
{
    EXPECT_EQ(runner::LinhasDoTexto("a\r\nb\rc\nd\r\n"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(runner::LinhasDoTexto("a\n\nb"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(runner::LinhasDoTexto("a\r\n\r\n"), (QStringList{"a", ""}));
    EXPECT_EQ(runner::LinhasDoTexto("\n"), QStringList{""});
    EXPECT_TRUE(runner::LinhasDoTexto("").isEmpty());
}

TEST(InspecaoDaSaida, FailureTextsAreFoundInTheirOrder)
{
    // Every text through a real child: EveryFailureTextFailsTheLineWithItsMessage. Here the
    // order, the case and the forms of today's client.
    const TMessages mensagens = runner::MensagensDoExecutor();
    const struct {
        const char *saida;
        Condicao condicao;
    } casos[] = {
        {"svn: aviso: Cópia de trabalho 'C:\\wc' travada", Condicao::CopiaTravada},
        {"svn: warning: W155004: Cópia de trabalho 'C:\\wc'\ntravada", Condicao::CopiaTravada},
        // "travada" alone is no locked working copy, and the check minds case.
        {"a revisão travada", Condicao::Nenhuma},
        {"svn: aviso: cópia de trabalho travada", Condicao::Nenhuma},
        {"commit falhou", Condicao::Nenhuma},
        {"Errors: 0", Condicao::Nenhuma},
        {"svn: E155000: Falhou ao adicionar diretório 'X': objeto", Condicao::ErroGeral},
        {"svn: E170013: não foi possível conectar-se ao servidor", Condicao::ServidorInacessivel},
        {"svn: E000111: Não foi possível conectar ao servidor '127.0.0.1': Conexão recusada", Condicao::ServidorInacessivel},
        {"svn: E170013: Unable to connect to a repository at URL 'svn://127.0.0.1:1/r'", Condicao::ServidorInacessivel},
        // First match wins.
        {"Commit falhou\nnão foi possível conectar-se ao servidor", Condicao::ErroGeral},
        {"Commit falhou\nrode 'svn cleanup' para remover travas", Condicao::CopiaTravada},
        {"'a.txt' travado pelo usuário 'svn_eu'.", Condicao::Nenhuma},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.saida);
        EXPECT_EQ(runner::InspecionaSaida(mensagens, QString::fromUtf8(caso.saida)), caso.condicao);
    }
}

TEST(InspecaoDaSaida, ItemsAreColouredByWhatTheySay)
{
    const TMessages mensagens = runner::MensagensDoExecutor();
    const struct {
        const char *linha;
        CorDaLinha cor;
    } casos[] = {
        {"Fatal", CorDaLinha::Vermelha},
        {"Lock failed: newer version of 'a'", CorDaLinha::Vermelha},
        {"svn: warning: W160042: Trava falhou: nova versão de '/a.txt' existe", CorDaLinha::Vermelha},
        {"svn: E000111: Não foi possível conectar ao servidor '127.0.0.1'", CorDaLinha::Vermelha},
        {"svn: E155004: Run 'svn cleanup' to remove locks", CorDaLinha::Vermelha},
        {"svn: warning: W155004: Cópia de trabalho 'C:\\wc' travada", CorDaLinha::Vermelha},
        {"Caminho '/a.txt' já está travado pelo usuário 'outro'", CorDaLinha::Vermelha},
        {"svn: E200009: Commit falhou (detalhes a seguir):", CorDaLinha::Vermelha},
        {"Pulou 'x'", CorDaLinha::Vermelha},
        // "423 Locked" is found by the inspection but not coloured; "Error" needs no colon here.
        {"Servidor enviou valor de retorno inválido (423 Locked)", CorDaLinha::Padrao},
        {"Errors: 0", CorDaLinha::Vermelha},
        {"Atualizado para revisão 3.", CorDaLinha::Azul},
        {"Na revisão 3.", CorDaLinha::Azul},
        {"'a.txt' destravado.", CorDaLinha::Azul},
        {"'a.txt' travado pelo usuário 'svn_eu'.", CorDaLinha::Azul},
        {"Gerado cópia de trabalho para revisão 1.", CorDaLinha::Azul},
        {"Commit da revisão 2.", CorDaLinha::Azul},
        {"Resultado :", CorDaLinha::Padrao},
        {"A         C:\\wc\\a.txt", CorDaLinha::Padrao},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.linha);
        EXPECT_EQ(runner::CorDoItem(mensagens, QString::fromUtf8(caso.linha)), caso.cor);
    }
    EXPECT_EQ(runner::CorDoItem(mensagens, "Fatal", Qt::green), QColor(255, 0, 0));
    EXPECT_EQ(runner::CorDoItem(mensagens, "Na revisão 1.", Qt::green), QColor(0, 0, 255));
    EXPECT_EQ(runner::CorDoItem(mensagens, "texto", Qt::green), QColor(Qt::green));
}

TEST(ExecutorDeComandos, DirectivesAndOutputBlocks)
{
    DialogosGravados dialogos;
    TfrmExecCommands form;
    EXPECT_TRUE(form.Executa("@TITLE  Atualização\r\n@ECHO\r\n@echo Olá\r\nprinttext ok\r\nprinttext \"linha @echo\""));
    const QString regua(239, '=');
    EXPECT_EQ(Itens(*form.lsbCommands), (QStringList{regua, "", " Atualização", "", regua, "", "", "Olá",
                                                     "Resultado :", "ok", "", "linha @echo", ""}));
    EXPECT_EQ(form.lsbCommands->currentRow(), form.lsbCommands->count() - 1);
    EXPECT_EQ(form.pgbCommands->value(), 100);
    EXPECT_TRUE(form.btnOk->isEnabled());
    EXPECT_TRUE(dialogos.ui.messages().isEmpty());
    EXPECT_EQ(form.TextoDaSaida().count("\r\n"), form.lsbCommands->count());

    TfrmExecCommands vazio;
    EXPECT_TRUE(vazio.Executa(""));
    EXPECT_EQ(vazio.lsbCommands->count(), 0);
}

// What the operator reads: whole lines (underscores included), native folders in their
// logical form, and a step that succeeded showing its alarming lines as warnings.
TEST(ExecutorDeComandos, LinesAsTheOperatorReadsThem)
{
    DialogosGravados dialogos;
    {
        // A child that writes paths relative to its folder, as Subversion names what it sends.
        MountedDrive drive;
        const QString antes = QDir::currentPath();
        const auto volta = qScopeGuard([&] { QDir::setCurrent(antes); });
        QDir::setCurrent(QDir::tempPath());
        const QString relativa = QDir::current().relativeFilePath(drive.native());
        TfrmExecCommands form;
        EXPECT_TRUE(form.Executa(QString(R"(printtext C:\Homol\ERP\A.pas "Enviando %1/Homol/ERP/A.pas" "Enviando %1x/A")")
                                     .arg(relativa)));
        const QStringList itens = Itens(*form.lsbCommands);
        for (const QString &linha : {QString("C:\\Homol\\ERP\\A.pas"), QString("Enviando C:\\Homol\\ERP\\A.pas"),
                                     "Enviando " + relativa + "x/A"})
            EXPECT_TRUE(itens.contains(linha)) << linha.toStdString() << "\n" << itens.join('\n').toStdString();
        EXPECT_TRUE(form.TextoDaSaida().contains("Enviando C:\\Homol\\ERP\\A.pas\r\n"));
    }

    TfrmExecCommands form;
    EXPECT_TRUE(form.Executa("printtext ErrorHandler.pas\r\nprinttext \"svn: warning: W200005: não versionado\"\r\n"
                             "@ECHO ErrorHandler.pas"));
    const QStringList itens = Itens(*form.lsbCommands);
    for (int row = 0; row < form.lsbCommands->count(); ++row) {
        const bool aviso = form.lsbCommands->item(row)->data(TfrmExecCommands::kPapelAviso).toBool();
        const bool esperado = row < form.lsbCommands->count() - 1 && (itens[row].startsWith("ErrorHandler") || itens[row].contains("warning"));
        EXPECT_EQ(aviso, esperado) << itens[row].toStdString();
    }
    EXPECT_GT(form.lsbCommands->sizeHintForRow(0), form.lsbCommands->fontMetrics().lineSpacing());

    // A line longer than the others around it is reached by the horizontal scroll to its end.
    TfrmExecCommands largo;
    largo.show();
    const QString longa = "@ECHO Atualizando versão do arquivo " + QString(300, 'X') + " para a revisão 14.";
    EXPECT_TRUE(largo.Executa("@ECHO curta\r\n" + longa + "\r\n@ECHO fim"));
    QApplication::processEvents();
    QScrollBar *barra = largo.lsbCommands->horizontalScrollBar();
    EXPECT_GE(barra->maximum() + largo.lsbCommands->viewport()->width(),
              largo.lsbCommands->fontMetrics().horizontalAdvance(longa.mid(6)));
}

TEST(ExecutorDeComandos, FirstFailingLineEndsTheScript)
{
    DialogosGravados dialogos;
    TfrmExecCommands form;
    EXPECT_FALSE(form.Executa("printtext \"svn: E200009: Commit falhou (detalhes a seguir):\"\n@ECHO depois\nprinttext depois"));
    EXPECT_EQ(form.pgbCommands->value(), 100);
    EXPECT_FALSE(Itens(*form.lsbCommands).contains("depois"));
    EXPECT_EQ(dialogos.ui.messages(), QList<QString>{MensagemDoExecutor("ERRO_GERAL")});
    EXPECT_TRUE(form.btnOk->isEnabled());
}

TEST(ExecutorDeComandos, EveryFailureTextFailsTheLineWithItsMessage)
{
    const QString copiaTravada = MensagemDoExecutor("ERRO_TRAVA_COPIA_DE_TRABALHO");
    const QString erroGeral = MensagemDoExecutor("ERRO_GERAL");
    const struct {
        const char *texto;
        QString mensagem;  // empty: the line succeeds
    } casos[] = {
        {"svn: rode 'svn cleanup' para remover travas (digite 'svn help cleanup' para detalhes)", copiaTravada},
        {"svn: E155004: Run 'svn cleanup' to remove locks (type 'svn help cleanup' for details)", copiaTravada},
        {"svn: warning: W155004: Cópia de trabalho 'wc' travada", copiaTravada},
        {"svn: E155007: 'x' não é uma cópia de trabalho", erroGeral},
        {"'x' como para leitura e escrita: Acesso negado.", erroGeral},
        {"svn: E155000: Falhou ao adicionar diretório 'x': objeto", erroGeral},
        {"Não foi possível setar o arquivo 'x'", erroGeral},
        {"O sistema não pode encontrar o caminho especificado.", erroGeral},
        {"Servidor enviou valor de retorno inválido (423 Locked)", erroGeral},
        {"Não foi possível abrir o arquivo 'x'", erroGeral},
        {"não foi possível abrir o arquivo 'x'", erroGeral},
        {"svn: warning: W160042: Trava falhou: nova versão de '/a.txt' existe", erroGeral},
        {"Lock failed: newer version of '/a.txt' exists", erroGeral},
        {"svn: warning: W160035: Caminho '/a.txt' já está travado pelo usuário 'outro'", erroGeral},
        {"Path '/a.txt' is already locked by user 'outro'", erroGeral},
        {"svn: E155007: 'x' não é um diretório de cópia de trabalho", erroGeral},
        {"svn: E200005: 'x' não está sobre controle de versão", erroGeral},
        {"Pulou 'x'", erroGeral},
        {"svn: E200009: Commit falhou (detalhes a seguir):", erroGeral},
        {"Fatal", erroGeral},
        {"Erro: disco cheio", erroGeral},
        {"Erro ao gravar", erroGeral},
        {"Error: disk full", erroGeral},
        {"Error 5", erroGeral},
        {"a revisão travada", {}},
        {"'a.txt' travado pelo usuário 'svn_eu'.", {}},
        {"Commit da revisão 2.", {}},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.texto);
        DialogosGravados dialogos;
        TfrmExecCommands form;
        const bool falha = !caso.mensagem.isEmpty();
        EXPECT_EQ(form.Executa(QStringLiteral("printtext \"%1\"\n@ECHO seguinte").arg(QString::fromUtf8(caso.texto))),
                  !falha);
        EXPECT_EQ(dialogos.ui.messages(), falha ? QList<QString>{caso.mensagem} : QList<QString>{});
        EXPECT_EQ(Itens(*form.lsbCommands).contains("seguinte"), !falha);
    }
}

// A child is judged by how it ended as well as by what it printed: the runner's message
// comes first, then how the child ended and what it printed last.
TEST(ExecutorDeComandos, AChildThatEndsBadlyFailsWhateverItPrinted)
{
    const QString erroGeral = MensagemDoExecutor("ERRO_GERAL");
    const struct {
        const char *linha;
        const char *fim;  // how the message says the child ended; null: the line succeeds
        const char *texto;
    } casos[] = {
        {"sh -c \"echo 'svn: E175002: Unexpected HTTP status 500'; exit 1\"", "terminou com o código de saída 1",
         "svn: E175002: Unexpected HTTP status 500"},
        {"sh -c \"echo 'Commit da revisão 2.'; exit 3\"", "terminou com o código de saída 3", "Commit da revisão 2."},
        {"sh -c \"echo meio; kill -9 $$\"", "foi interrompido pelo sinal 9", "meio"},
        {"sh -c \"exit 2\"", "terminou com o código de saída 2", ""},
        {"sh -c \"echo 'tudo certo'; exit 0\"", nullptr, ""},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.linha);
        DialogosGravados dialogos;
        TfrmExecCommands form;
        EXPECT_EQ(form.Executa(QString::fromUtf8(caso.linha) + "\n@ECHO seguinte"), caso.fim == nullptr);
        EXPECT_EQ(Itens(*form.lsbCommands).contains("seguinte"), caso.fim == nullptr);
        if (!caso.fim) {
            EXPECT_TRUE(dialogos.ui.messages().isEmpty());
            continue;
        }
        ASSERT_EQ(dialogos.ui.messages().size(), 1);
        const QString mensagem = dialogos.ui.messages().first();
        EXPECT_TRUE(mensagem.startsWith(erroGeral + "\r\n\r\nO programa \"sh\" " + caso.fim)) << mensagem.toStdString();
        EXPECT_TRUE(mensagem.endsWith(caso.texto)) << mensagem.toStdString();
    }
}

TEST(ExecutorDeComandos, LinesThatCannotStartFail)
{
    DialogosGravados dialogos;
    TfrmExecCommands form;
    EXPECT_FALSE(form.Executa("@ECHO antes\n\n@ECHO depois"));
    EXPECT_EQ(Itens(*form.lsbCommands), (QStringList{"antes", "Erro ao executar comando "}));
    EXPECT_EQ(form.pgbCommands->value(), 100);

    QListWidget saida;
    EXPECT_FALSE(form.Execute("programa_que_nao_existe --password segredo C:\\x", &saida, true));
    EXPECT_FALSE(form.Execute("svn_que_nao_existe info", &saida, true));
    EXPECT_EQ(Itens(saida), (QStringList{"Erro ao executar comando programa_que_nao_existe --password **** C:\\x",
                                         "ERRO AO EXECUTAR PROCESSO NO SUBVERSION, VERIFIQUE SE O SUBVERSION FOI "
                                         "INSTALADO CORRETAMENTE"}));
    // No dialog: the line in the list says it all.
    EXPECT_TRUE(dialogos.ui.messages().isEmpty());
}

TEST(ExecutorDeComandos, UnreachableServerIsRepeatedAtMostThreeTimes)
{
    DialogosGravados dialogos;
    for (const char *texto : {"svn: E170013: não foi possível conectar-se ao servidor",
                              "svn: E000111: Não foi possível conectar ao servidor '127.0.0.1': Conexão recusada"}) {
        SCOPED_TRACE(texto);
        dialogos.ui.clear();
        TfrmExecCommands form;
        EXPECT_FALSE(form.Executa(QStringLiteral("printtext \"%1\"").arg(QString::fromUtf8(texto))));
        const QStringList itens = Itens(*form.lsbCommands);
        EXPECT_EQ(itens.count("Repetindo Execução"), TfrmExecCommands::kRepeticoesMaximas);
        EXPECT_EQ(itens.count("Resultado :"), TfrmExecCommands::kRepeticoesMaximas + 1);
        EXPECT_EQ(dialogos.ui.messages(), QList<QString>{MensagemDoExecutor("ERRO_GERAL")});
    }

    // A server that answers on the second try: the line succeeds.
    QTemporaryDir pasta;
    const QString marca = pasta.filePath("tentou");
    TfrmExecCommands form;
    dialogos.ui.clear();
    EXPECT_TRUE(form.Executa(QStringLiteral("sh -c \"if [ -e %1 ]; then echo 'Na revisão 3.'; else touch %1; "
                                            "echo 'não foi possível conectar-se ao servidor'; fi\"")
                                 .arg(marca)));
    EXPECT_EQ(Itens(*form.lsbCommands).count("Repetindo Execução"), 1);
    EXPECT_TRUE(Itens(*form.lsbCommands).contains("Na revisão 3."));
    EXPECT_TRUE(dialogos.ui.messages().isEmpty());
}

TEST(ExecutorDeComandos, FailureTextSplitAcrossTwoReadsIsFound)
{
    DialogosGravados dialogos;
    TfrmExecCommands form;
    EXPECT_FALSE(form.Executa("printtext \"--part=svn: E200009: Commit fal\" --sleep=400 \"hou (detalhes a seguir):\""));
    // Two reads, two blocks: neither holds the whole text.
    EXPECT_EQ(Itens(*form.lsbCommands).count("Resultado :"), 2);
    EXPECT_EQ(dialogos.ui.messages(), QList<QString>{MensagemDoExecutor("ERRO_GERAL")});

    // The code of today's client may be cut too.
    TfrmExecCommands codigo;
    dialogos.ui.clear();
    EXPECT_FALSE(codigo.Executa("printtext \"--part=svn: warn\" --sleep=400 \"ing: W155004: Cópia de trabalho 'wc' travada\""));
    EXPECT_EQ(dialogos.ui.messages(), QList<QString>{MensagemDoExecutor("ERRO_TRAVA_COPIA_DE_TRABALHO")});
}

TEST(ExecutorDeComandos, FailedLineDoesNotLeaveItsChildRunning)
{
    // The child is gone before the operator reads the error: it must not go on working meanwhile.
    class AoMostrarErro : public ScriptedHostUi {
    public:
        std::function<void()> verifica;
        int showMessage(const QString &text, DialogType type, int buttons) override
        {
            verifica();
            return ScriptedHostUi::showMessage(text, type, buttons);
        }
    } dialogos;
    setHostUi(&dialogos);
    const auto restaura = qScopeGuard([] { setHostUi(nullptr); });

    TfrmExecCommands form;
    QString pid;
    bool vivoNoErro = true;
    dialogos.verifica = [&] {
        for (const QString &item : Itens(*form.lsbCommands)) {
            if (item.startsWith("pid "))
                pid = item.mid(4);
        }
        vivoNoErro = QFileInfo::exists("/proc/" + pid);
    };
    EXPECT_FALSE(form.Executa("printtext --pid \"Commit falhou\" --sleep=60000"));
    ASSERT_EQ(dialogos.messages().size(), 1);
    ASSERT_FALSE(pid.isEmpty());
    EXPECT_FALSE(vivoNoErro) << "the child " << pid.toStdString() << " still ran when the error was shown";
    EXPECT_FALSE(QFileInfo::exists("/proc/" + pid));
}

TEST(ExecutorDeComandos, WindowEventsAreProcessedWhileAChildRuns)
{
    DialogosGravados dialogos;
    TfrmExecCommands form;
    int ticks = 0;
    QTimer relogio;
    QObject::connect(&relogio, &QTimer::timeout, [&ticks] { ++ticks; });
    relogio.start(10);
    EXPECT_TRUE(form.Execute("printtext --sleep=700 fim", form.lsbCommands, true));
    // A wait of at most 100 ms between two looks at the child: several rounds of events.
    EXPECT_GE(ticks, 5);
}

TEST(ExecCommands, HiddenSuccessfulScriptNeverShowsTheWindow)
{
    DialogosGravados dialogos;
    OperadorDaJanela operador;
    const QVariantList resultado = runner::ExecCommands("Atualizando", "@ECHO a\nprinttext b", false).toList();
    ASSERT_EQ(resultado.size(), 2);
    EXPECT_TRUE(resultado[0].toBool());
    EXPECT_EQ(resultado[1].toString(), "a\r\nResultado :\r\nb\r\n\r\n");
    EXPECT_EQ(operador.vezesMostrada(), 0);
    EXPECT_EQ(frmExecCommands, nullptr);
}

TEST(ExecCommands, HiddenFailingScriptShowsItsOutputOnce)
{
    DialogosGravados dialogos;
    QImage imagem;
    bool okHabilitado = false;
    OperadorDaJanela operador([&](QDialog &janela) {
        okHabilitado = janela.findChild<QPushButton *>("btnOk")->isEnabled();
        imagem = janela.grab().toImage();
        EXPECT_EQ(&janela, frmExecCommands);
    });
    const QVariantList resultado =
        runner::ExecCommands("Atualizando", "@ECHO início\nprinttext \"Na revisão 3.\"\nprinttext \"svn: E200009: Commit falhou (detalhes a seguir):\"\n@ECHO fim", false)
            .toList();
    EXPECT_FALSE(resultado[0].toBool());
    EXPECT_EQ(operador.vezesMostrada(), 1);
    EXPECT_TRUE(okHabilitado);
    // Shown after the run, the window does not run the script again.
    EXPECT_EQ(resultado[1].toString().count("início"), 1);
    EXPECT_FALSE(resultado[1].toString().contains("fim"));

    // What the operator sees: the failure in red, the completed update in blue.
    ASSERT_FALSE(imagem.isNull());
    if (const QByteArray destino = qgetenv("HOMOLOGA_RUNNER_SCREENSHOT"); !destino.isEmpty())
        imagem.save(QString::fromLocal8Bit(destino));
    bool vermelho = false, azul = false;
    for (int y = 0; y < imagem.height(); ++y) {
        for (int x = 0; x < imagem.width(); ++x) {
            const QRgb pixel = imagem.pixel(x, y);
            vermelho |= pixel == qRgb(255, 0, 0);
            azul |= pixel == qRgb(0, 0, 255);
        }
    }
    EXPECT_TRUE(vermelho);
    EXPECT_TRUE(azul);
}

TEST(ExecCommands, ShownWindowRunsOnActivationAndClosesOnlyAfterTheRun)
{
    DialogosGravados dialogos;
    QString titulo;
    OperadorDaJanela operador([&](QDialog &janela) { titulo = janela.windowTitle(); },
                              // Escape while the script runs must not close the window.
                              [](QDialog &janela) { janela.reject(); });
    const QVariantList resultado = runner::ExecCommands("Gerando tag", "@ECHO a\nprinttext --sleep=300 b", true).toList();
    EXPECT_TRUE(resultado[0].toBool());
    EXPECT_EQ(resultado[1].toString(), "a\r\nResultado :\r\nb\r\n\r\n");
    EXPECT_EQ(titulo, "Gerando tag");
    EXPECT_TRUE(operador.vistaExecutando());
    EXPECT_EQ(operador.vezesMostrada(), 1);

    TfrmExecCommands form;
    EXPECT_EQ(form.size(), QSize(660, 528));
    EXPECT_EQ(form.lblCodigoTela->text(), "VOP42001");
    EXPECT_FALSE(form.resultado());
}
