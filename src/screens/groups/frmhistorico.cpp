#include "screens/groups/frmhistorico.h"

#include "host/datasource.h"
#include "host/dbgrid.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// One page: the list, what is said when it is empty, and the selected entry's text.
QWidget *pagina(QWidget *parent, TDBGrid *grid, QLabel *vazio, QPlainTextEdit *texto)
{
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    auto *split = new QSplitter(Qt::Vertical, page);
    split->addWidget(grid);
    split->addWidget(texto);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(vazio);
    layout->addWidget(split, 1);
    texto->setReadOnly(true);
    texto->setLineWrapMode(QPlainTextEdit::NoWrap);
    texto->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    vazio->setVisible(false);
    return page;
}

// The selected row's text follows the cursor of the list.
void segueCursor(Dataset &dataset, QPlainTextEdit *texto, const std::function<QString()> &doRegistro)
{
    const auto mostra = [&dataset, texto, doRegistro] { texto->setPlainText(dataset.IsEmpty() ? QString() : doRegistro()); };
    QObject::connect(&dataset, &Dataset::currentRowChanged, texto, mostra);
    QObject::connect(&dataset, &Dataset::layoutReset, texto, mostra);
    mostra();
}

}  // namespace

TfrmHistoricoGrupo::TfrmHistoricoGrupo(const QString &grupo, const packet::Packet &eventos, const packet::Packet &logs,
                                       const std::function<QString(const QString &)> &fase, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHistoricoGrupo"));
    setWindowTitle(QStringLiteral("Histórico do grupo %1").arg(grupo));
    resize(900, 560);
    cdsEventos.setData(eventos);
    cdsLogs.setData(logs);
    // Times as the operator writes them.
    for (Dataset *dataset : {&cdsEventos, &cdsLogs}) {
        for (const char *field : {"DTEVENTO", "DTLOGTRAM"}) {
            if (dataset->hasField(QString::fromLatin1(field)))
                dataset->fieldDef(QString::fromLatin1(field)).onGetText = [](const RowView &, const QVariant &value) {
                    const QDateTime time = QDateTime::fromString(Dataset::valueText(value), Qt::ISODate);
                    return time.isValid() ? time.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : Dataset::valueText(value);
                };
        }
    }
    // A log's phases are told by their names, as the group grid shows them.
    for (const char *field : {"IDSTGRUPANT", "IDSTGRUPNOVO"}) {
        if (cdsLogs.hasField(QString::fromLatin1(field)))
            cdsLogs.fieldDef(QString::fromLatin1(field)).onGetText = [fase](const RowView &, const QVariant &value) {
                const QString code = Dataset::valueText(value);
                return code + QStringLiteral(" - ") + fase(code);
            };
    }

    m_eventos = new TDataSource(QStringLiteral("dtsEventos"), this, &cdsEventos);
    m_logs = new TDataSource(QStringLiteral("dtsLogs"), this, &cdsLogs);
    dbgEventos = new TDBGrid(QStringLiteral("dbgEventos"), this);
    dbgEventos->setDataSource(m_eventos);
    dbgEventos->setColumns({GridColumn(QStringLiteral("DTEVENTO"), QStringLiteral("Data e hora")),
                            GridColumn(QStringLiteral("TPEVENTO"), QStringLiteral("Evento")),
                            GridColumn(QStringLiteral("NMOPERADOR"), QStringLiteral("Operador")),
                            GridColumn(QStringLiteral("NRSOLISERV"), QStringLiteral("Solicitação")),
                            GridColumn(QStringLiteral("DSANTES"), QStringLiteral("Antes")),
                            GridColumn(QStringLiteral("DSDEPOIS"), QStringLiteral("Depois")),
                            GridColumn(QStringLiteral("TXDETALHE"), QStringLiteral("Detalhe"))});
    dbgLogs = new TDBGrid(QStringLiteral("dbgLogs"), this);
    dbgLogs->setDataSource(m_logs);
    dbgLogs->setColumns({GridColumn(QStringLiteral("DTLOGTRAM"), QStringLiteral("Data e hora")),
                         GridColumn(QStringLiteral("CDOPERADOR"), QStringLiteral("Operador")),
                         GridColumn(QStringLiteral("IDSTGRUPANT"), QStringLiteral("Fase anterior")),
                         GridColumn(QStringLiteral("IDSTGRUPNOVO"), QStringLiteral("Fase nova"))});
    for (TDBGrid *grid : {dbgEventos, dbgLogs}) {
        grid->setReadOnly(true);
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    }

    memEvento = new QPlainTextEdit(this);
    memEvento->setObjectName(QStringLiteral("memEvento"));
    memLog = new QPlainTextEdit(this);
    memLog->setObjectName(QStringLiteral("memLog"));
    lblSemEventos = new QLabel(QStringLiteral("Nenhum evento foi registrado para o grupo %1.").arg(grupo), this);
    lblSemEventos->setObjectName(QStringLiteral("lblSemEventos"));
    lblSemLogs = new QLabel(QStringLiteral("Nenhum log de tramitação foi gravado para o grupo %1: um log é gravado quando "
                                           "uma tramitação executa comandos no repositório.")
                                .arg(grupo),
                            this);
    lblSemLogs->setObjectName(QStringLiteral("lblSemLogs"));
    lblSemLogs->setWordWrap(true);

    pgcHistorico = new QTabWidget(this);
    pgcHistorico->setObjectName(QStringLiteral("pgcHistorico"));
    pgcHistorico->addTab(pagina(pgcHistorico, dbgEventos, lblSemEventos, memEvento), QStringLiteral("Linha do tempo"));
    pgcHistorico->addTab(pagina(pgcHistorico, dbgLogs, lblSemLogs, memLog), QStringLiteral("Log de tramitação"));
    lblSemEventos->setVisible(cdsEventos.IsEmpty());
    lblSemLogs->setVisible(cdsLogs.IsEmpty());

    segueCursor(cdsEventos, memEvento, [this] {
        QString texto = cdsEventos.FieldByName(QStringLiteral("TXDETALHE")).AsString();
        const QString antes = cdsEventos.FieldByName(QStringLiteral("DSANTES")).AsString();
        const QString depois = cdsEventos.FieldByName(QStringLiteral("DSDEPOIS")).AsString();
        if (!antes.isEmpty() || !depois.isEmpty())
            texto = QStringLiteral("%1 → %2\n\n").arg(antes.isEmpty() ? QStringLiteral("—") : antes, depois) + texto;
        return texto;
    });
    segueCursor(cdsLogs, memLog, [this] { return cdsLogs.FieldByName(QStringLiteral("TXLOGTRAM")).AsString(); });
    // The newest entry first in view: the list ends with it.
    cdsEventos.Last();
    cdsLogs.Last();

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *fechar = buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
    fechar->setObjectName(QStringLiteral("btnFechar"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pgcHistorico, 1);
    layout->addWidget(buttons);
}
