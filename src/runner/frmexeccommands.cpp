#include "frmexeccommands.h"

#include "analisesaida.h"

#include "host/consiste.h"
#include "host/errors.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

TfrmExecCommands *frmExecCommands = nullptr;

namespace {

const QString kFimDeLinha = QStringLiteral("\r\n");
constexpr int kAlturaDoItem = 13;
// The longest wait between two looks at the child: window events are processed at least
// this often while it runs.
constexpr int kEsperaMaximaMs = 100;
// How much of the previous read is searched again with the next one, so that a failure
// text cut between two reads is still found: more than the longest text searched for,
// with room for an error code.
constexpr qsizetype kCaudaDaLeitura = 256;
// How much of what a failed child printed last follows the runner's message.
constexpr qsizetype kTextoDoFilhoNaMensagem = 1500;

// Every failure ends with the default cursor, whatever the caller had set.
void RestauraCursor()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

class DesenhoDaSaida : public QStyledItemDelegate {
public:
    DesenhoDaSaida(const TfrmExecCommands *form, QObject *parent) : QStyledItemDelegate(parent), m_form(form) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        m_form->lsbCommandsDrawItem(painter, option.rect, index.data().toString(),
                                    index.data(TfrmExecCommands::kPapelAviso).toBool());
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // Never lower than the font's line: underscores and descenders sit at its bottom.
        return {option.fontMetrics.horizontalAdvance(index.data().toString()) + 24,
                std::max(kAlturaDoItem, option.fontMetrics.lineSpacing() + 2)};
    }

private:
    const TfrmExecCommands *m_form;
};

}  // namespace

TfrmExecCommands::TfrmExecCommands(QWidget *parent) : QDialog(parent), msgPadrao(runner::MensagensDoExecutor())
{
    setObjectName(QStringLiteral("frmExecCommands"));
    resize(660, 528);
    if (const QScreen *tela = QGuiApplication::primaryScreen())
        move(tela->availableGeometry().center() - rect().center());

    lsbCommands = new QListWidget(this);
    lsbCommands->setObjectName(QStringLiteral("lsbCommands"));
    QFont fonte = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fonte.setPixelSize(11);
    lsbCommands->setFont(fonte);
    // Every line as wide as its text, so that the horizontal scroll reaches the end of the
    // longest one (one size for all would be the first line's).
    lsbCommands->setUniformItemSizes(false);
    lsbCommands->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    lsbCommands->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lsbCommands->setItemDelegate(new DesenhoDaSaida(this, lsbCommands));

    lblCodigoTela = new QLabel(QStringLiteral("VOP42001"), this);
    lblCodigoTela->setObjectName(QStringLiteral("lblCodigoTela"));
    pgbCommands = new QProgressBar(this);
    pgbCommands->setObjectName(QStringLiteral("pgbCommands"));
    pgbCommands->setRange(0, 100);
    pgbCommands->setValue(0);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto *barra = new QHBoxLayout;
    barra->addWidget(lblCodigoTela);
    barra->addWidget(pgbCommands, 1);
    barra->addWidget(btnOk);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lsbCommands, 1);
    layout->addLayout(barra);
}

TfrmExecCommands::~TfrmExecCommands() = default;

void TfrmExecCommands::MostraLinhas(QListWidget *output, const QStringList &lines)
{
    if (!output)
        return;
    // Native paths arrive in their logical form already: the process layer writes them back.
    for (const QString &line : lines)
        new QListWidgetItem(line, output);
    output->setCurrentRow(output->count() - 1);
    // Without a window (the command line) the operator reads the lines as they come.
    if (hostUi().headless()) {
        for (const QString &line : lines)
            hostUi().logLine(line);
    }
}

void TfrmExecCommands::MarcaAvisos(QListWidget *output, int primeiraLinha) const
{
    // What a step that succeeded printed as a failure (or Subversion's own warnings) is a
    // warning: the step did what it was asked.
    if (!output)
        return;
    for (int row = primeiraLinha; row < output->count(); ++row) {
        QListWidgetItem *item = output->item(row);
        const QString text = item->text();
        if (runner::CorDoItem(msgPadrao, text) == runner::CorDaLinha::Vermelha
            || text.contains(QLatin1StringView("warning"), Qt::CaseInsensitive)
            || text.contains(QLatin1StringView("svn: aviso"), Qt::CaseInsensitive)) {
            item->setData(kPapelAviso, true);
            item->setToolTip(QStringLiteral("Aviso: a etapa terminou com sucesso."));
        }
    }
}

bool TfrmExecCommands::Executa(const QString &script)
{
    m_executando = true;
    const auto fim = qScopeGuard([this] {
        m_executando = false;
        btnOk->setEnabled(true);
    });
    QCoreApplication::processEvents();
    const QStringList linhas = runner::LinhasDoTexto(script);
    bool resultado = true;
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        if (resultado)
            resultado = Execute(linhas[i], lsbCommands, true);
        pgbCommands->setValue(int((i + 1) * 100 / linhas.size()));
        QCoreApplication::processEvents();
    }
    return resultado;
}

bool TfrmExecCommands::Execute(const QString &commandLine, QListWidget *output, bool capture)
{
    const QString upper = commandLine.toUpper();
    if (upper.startsWith(QLatin1StringView("@TITLE"))) {
        const QString regua(239, u'=');
        MostraLinhas(output, runner::LinhasDoTexto(regua + kFimDeLinha + kFimDeLinha + commandLine.mid(7) + kFimDeLinha
                                                   + kFimDeLinha + regua + kFimDeLinha + kFimDeLinha));
        return true;
    }
    if (upper.startsWith(QLatin1StringView("@ECHO"))) {
        MostraLinhas(output, {commandLine.mid(6)});
        return true;
    }

    platform::Process processo;
    const int primeiraLinha = output ? output->count() : 0;
    try {
        for (int repeticao = 0;; ++repeticao) {
            try {
                processo.start(commandLine);
            } catch (const platform::PlatformError &) {
                MostraLinhas(output, {upper.contains(QLatin1StringView("SVN"))
                                          ? QStringLiteral("ERRO AO EXECUTAR PROCESSO NO SUBVERSION, VERIFIQUE SE O "
                                                           "SUBVERSION FOI INSTALADO CORRETAMENTE")
                                          : QStringLiteral("Erro ao executar comando ")
                                                + platform::cmdline::maskPasswords(commandLine)});
                Abort();
            }
            if (Acompanha(processo, commandLine, output, capture) == FimDoProcesso::Terminou) {
                // The child is judged by how it ended too: a failure whose text none of
                // the phrases knows (another language, a crash, a signal) still fails.
                const QString falha = processo.failure();
                if (falha.isEmpty()) {
                    MarcaAvisos(output, primeiraLinha);
                    return true;
                }
                MostraLinhas(output, {falha});
                QString mensagem = msgPadrao.Msg(QStringLiteral("ERRO_GERAL")) + kFimDeLinha + kFimDeLinha + falha;
                if (const QString texto = m_saidaDaLinha.trimmed(); !texto.isEmpty())
                    mensagem += kFimDeLinha + texto;
                Consiste::MensErro(mensagem, true);
            }
            const QString causa = processo.repositoryProblem();
            processo.terminate();
            // A server that stays unreachable would otherwise be asked forever.
            if (repeticao == kRepeticoesMaximas)
                Consiste::MensErro(causa.isEmpty() ? msgPadrao.Msg(QStringLiteral("ERRO_GERAL"))
                                                   : msgPadrao.Msg(QStringLiteral("ERRO_GERAL")) + kFimDeLinha + kFimDeLinha + causa,
                                   true);
            MostraLinhas(output, {QStringLiteral("Repetindo Execução")});
        }
    } catch (const EAbort &) {
    } catch (const std::exception &erro) {
        MostraLinhas(output, {QString::fromUtf8(erro.what())});
    }
    // The line has failed: its child must not go on changing the working copy.
    processo.terminate();
    RestauraCursor();
    return false;
}

TfrmExecCommands::FimDoProcesso TfrmExecCommands::Acompanha(platform::Process &processo, const QString &commandLine,
                                                            QListWidget *output, bool capture)
{
    const bool semCabecalho = commandLine.toUpper().contains(QLatin1StringView("@ECHO"));
    m_saidaDaLinha.clear();
    QString cauda;
    bool terminou = false;
    while (!terminou) {
        // Returns as soon as the child ends: a short command is never held for the full wait.
        terminou = processo.waitForFinished(kEsperaMaximaMs);
        QCoreApplication::processEvents();
        if (!output || !capture)
            continue;
        const QString texto = processo.readAvailable();
        if (texto.isEmpty())
            continue;
        MostraLinhas(output, runner::LinhasDoTexto(semCabecalho ? texto + kFimDeLinha
                                                                : QStringLiteral("Resultado :") + kFimDeLinha + texto
                                                                      + kFimDeLinha));
        m_saidaDaLinha = (m_saidaDaLinha + texto).right(kTextoDoFilhoNaMensagem);
        const QString lido = cauda + texto;
        switch (runner::InspecionaSaida(msgPadrao, lido)) {
        case runner::Condicao::CopiaTravada:
            processo.terminate();
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("ERRO_TRAVA_COPIA_DE_TRABALHO")), true);
            break;
        case runner::Condicao::ErroGeral: {
            // A repository that could not be reached or refused the user is named with its cause.
            const QString causa = processo.repositoryProblem();
            processo.terminate();
            Consiste::MensErro(causa.isEmpty() ? msgPadrao.Msg(QStringLiteral("ERRO_GERAL"))
                                               : msgPadrao.Msg(QStringLiteral("ERRO_GERAL")) + kFimDeLinha + kFimDeLinha + causa,
                               true);
            break;
        }
        case runner::Condicao::ServidorInacessivel:
            return FimDoProcesso::ServidorInacessivel;
        case runner::Condicao::Nenhuma:
            break;
        }
        cauda = lido.right(kCaudaDaLeitura);
    }
    return FimDoProcesso::Terminou;
}

void TfrmExecCommands::FormActivate()
{
    if (!m_ativacaoPendente)
        return;
    m_ativacaoPendente = false;
    btnOk->setEnabled(false);
    m_resultado = Executa(m_script);
}

void TfrmExecCommands::PedeExecucao()
{
    // The run starts from the event loop, not inside the event that activated the window.
    if (m_ativacaoPendente)
        QMetaObject::invokeMethod(this, [this] { FormActivate(); }, Qt::QueuedConnection);
}

void TfrmExecCommands::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        PedeExecucao();
}

void TfrmExecCommands::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Some window systems never activate a window they did not focus: showing is enough.
    PedeExecucao();
}

void TfrmExecCommands::closeEvent(QCloseEvent *event)
{
    if (m_executando) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmExecCommands::reject()
{
    // Escape does not close the window while a script runs; OK is disabled then too.
    if (!m_executando)
        QDialog::reject();
}

void TfrmExecCommands::lsbCommandsDrawItem(QPainter *painter, const QRect &rect, const QString &text, bool aviso) const
{
    const QPalette &cores = lsbCommands->palette();
    painter->save();
    painter->fillRect(rect, cores.color(QPalette::Base));
    painter->setPen(aviso ? QColor(176, 96, 0) : runner::CorDoItem(msgPadrao, text, cores.color(QPalette::Text)));
    painter->setFont(lsbCommands->font());
    painter->drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      aviso ? QStringLiteral("(aviso) ") + text : text);
    painter->restore();
}

QString TfrmExecCommands::TextoDaSaida() const
{
    QString texto;
    for (int i = 0; i < lsbCommands->count(); ++i)
        texto += lsbCommands->item(i)->text() + kFimDeLinha;
    return texto;
}

namespace runner {

QVariant ExecCommands(const QString &caption, const QString &script, bool show)
{
    const auto form = std::make_unique<TfrmExecCommands>();
    frmExecCommands = form.get();
    const auto esquece = qScopeGuard([] { frmExecCommands = nullptr; });
    form->setScript(script);
    form->setWindowTitle(caption);
    QCoreApplication::processEvents();
    if (hostUi().headless()) {
        // No window: the script runs at once and its lines are printed as they come.
        hostUi().logLine(caption);
        form->setResultado(form->Executa(script));
    } else if (show) {
        form->exec();
    } else {
        form->setResultado(form->Executa(script));
        if (!form->resultado()) {
            form->RemoveAtivacao();
            form->exec();
        }
    }
    QCoreApplication::processEvents();
    return QVariantList{form->resultado(), form->TextoDaSaida()};
}

}  // namespace runner

namespace runner {

ResultadoScript ExecutaScript(const QString &caption, const QString &script, bool show)
{
    const QVariantList answer = ExecCommands(caption, script, show).toList();
    return {answer.value(0).toBool(), answer.value(1).toString()};
}

}  // namespace runner
