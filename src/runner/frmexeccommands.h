#pragma once

// The command runner (screen "VOP42001"): runs a script of command lines one after the
// other as child processes, shows what they print coloured by what it says, and stops
// at the first line whose output holds a known Subversion failure.
//
// A script line is "@TITLE <text>" (a framed title), "@ECHO <text>" (one line of text)
// or a command line, started without a command interpreter. The window stays
// responsive while a child runs: pending window events are processed after every wait
// of at most 100 ms.

#include "host/messages.h"

#include <QDialog>
#include <QString>
#include <QVariant>

class QLabel;
class QListWidget;
class QPainter;
class QProgressBar;
class QPushButton;
class QRect;

namespace platform {
class Process;
}

class TfrmExecCommands : public QDialog {
    Q_OBJECT

public:
    // A server that stays unreachable: the command is repeated at most this many times,
    // then the line fails.
    static constexpr int kRepeticoesMaximas = 3;

    explicit TfrmExecCommands(QWidget *parent = nullptr);
    ~TfrmExecCommands() override;

    // Runs every line of `script` into lsbCommands until one fails; true when all succeeded.
    // An empty script runs nothing and succeeds.
    bool Executa(const QString &script);
    // Runs one line. The output is read, shown and inspected only when `output` is given
    // and `capture` is true.
    bool Execute(const QString &commandLine, QListWidget *output, bool capture);
    // Starts the run of the stored script, once, when the window first becomes active.
    void FormActivate();
    // Draws one item of the output list: failures red, completed actions blue; `aviso`
    // marks a line that reads as a failure on a step that succeeded (a warning).
    void lsbCommandsDrawItem(QPainter *painter, const QRect &rect, const QString &text, bool aviso = false) const;
    // An item of the output list holds this role when it is such a warning.
    static constexpr int kPapelAviso = Qt::UserRole + 1;

    void setScript(const QString &script) { m_script = script; }
    const QString &script() const { return m_script; }
    // False until a run stores its outcome.
    bool resultado() const { return m_resultado; }
    void setResultado(bool resultado) { m_resultado = resultado; }
    // The window shown after a run only shows its output: activation runs nothing.
    void RemoveAtivacao() { m_ativacaoPendente = false; }
    // The whole output list, every line followed by CR LF.
    QString TextoDaSaida() const;

    QLabel *lblCodigoTela = nullptr;
    QListWidget *lsbCommands = nullptr;
    QProgressBar *pgbCommands = nullptr;
    QPushButton *btnOk = nullptr;
    TMessages msgPadrao;

public slots:
    void reject() override;

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    enum class FimDoProcesso { Terminou, ServidorInacessivel };

    FimDoProcesso Acompanha(platform::Process &processo, const QString &commandLine, QListWidget *output,
                            bool capture);
    void PedeExecucao();
    static void MostraLinhas(QListWidget *output, const QStringList &lines);
    void MarcaAvisos(QListWidget *output, int primeiraLinha) const;

    QString m_script;
    QString m_saidaDaLinha;  // what the running line printed last
    bool m_resultado = false;
    bool m_ativacaoPendente = true;
    bool m_executando = false;
};

// The runner window of the call in progress; null between calls.
extern "C" Q_DECL_EXPORT TfrmExecCommands *frmExecCommands;

namespace runner {

// Runs a command script in a runner window titled `caption` and returns
// [all lines succeeded (bool), the whole output (text)]. With `show` true the window is
// shown while the script runs and the operator closes it; with `show` false it is shown
// only when a line failed, so that the operator sees what happened.
QVariant ExecCommands(const QString &caption, const QString &script, bool show);

}  // namespace runner

namespace runner {

// What a script run gave: whether every line succeeded, and the whole output.
struct ResultadoScript {
    bool ok = false;
    QString saida;
};
// ExecCommands with its answer unpacked.
ResultadoScript ExecutaScript(const QString &caption, const QString &script, bool show);

}  // namespace runner
