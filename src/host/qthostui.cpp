#include "qthostui.h"

#include "host/guard.h"
#include "host/operatortext.h"
#include "host/services.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

// ====================================================================== busy animation

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("frmShowAvi"));
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    m_timer->setInterval(60);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    hide();
}

void BusyIndicator::start(const QString &caption)
{
    m_caption = caption;
    const QFontMetrics metrics = fontMetrics();
    const int width = std::max(220, metrics.horizontalAdvance(caption) + 48);
    const int height = caption.isEmpty() ? 72 : 96;
    resize(width, height);
    if (QWidget *owner = parentWidget())
        move((owner->width() - width) / 2, (owner->height() - height) / 2);
    show();
    raise();
    m_timer->start();
    repaint();  // the caller blocks next; show the animation now
}

void BusyIndicator::stop()
{
    m_timer->stop();
    hide();
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(palette().mid().color());
    painter.setBrush(palette().window());
    painter.drawRoundedRect(frame, 6, 6);
    const QRectF wheel(width() / 2.0 - 16, 14, 32, 32);
    painter.setPen(QPen(palette().midlight().color(), 4));
    painter.drawEllipse(wheel);
    painter.setPen(QPen(palette().highlight().color(), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(wheel, -m_angle * 16, 100 * 16);
    if (!m_caption.isEmpty()) {
        painter.setPen(palette().windowText().color());
        painter.drawText(QRect(8, 54, width() - 16, height() - 60), Qt::AlignHCenter | Qt::AlignTop, m_caption);
    }
}

// ====================================================================== pick list

PickListDialog::PickListDialog(Dataset &dataset, const QString &caption, QWidget *parent)
    : QDialog(parent), m_dataset(dataset), m_start(dataset.GetBookmark())
{
    setObjectName(QStringLiteral("frmPesquisa"));
    setWindowTitle(caption);
    auto *layout = new QVBoxLayout(this);
    auto *searchLine = new QHBoxLayout;
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("edtPesquisa"));
    m_search->setPlaceholderText(QStringLiteral("Digite para procurar"));
    m_columns = new QComboBox(this);
    m_columns->setObjectName(QStringLiteral("cmbColuna"));
    searchLine->addWidget(m_search, 1);
    searchLine->addWidget(new QLabel(QStringLiteral("em"), this));
    searchLine->addWidget(m_columns);
    layout->addLayout(searchLine);
    m_source = new TDataSource(QStringLiteral("dtsPesquisa"), this, &dataset);
    m_grid = new TDBGrid(QStringLiteral("dbgPesquisa"), this);
    m_grid->setDataSource(m_source);
    m_grid->setReadOnly(true);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    QList<GridColumn> columns;
    for (const FieldDef &field : dataset.fieldDefs()) {
        if (field.visible)
            columns.append(GridColumn(field.name));
    }
    m_grid->setColumns(columns);
    m_columns->addItem(QStringLiteral("Todas as colunas"), QString());
    for (int column = 0; column < columns.size(); ++column)
        m_columns->addItem(m_grid->datasetModel()->headerData(column, Qt::Horizontal).toString(),
                           columns[column].fieldName);
    layout->addWidget(m_grid, 1);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblPesquisa"));
    m_status->setStyleSheet(QStringLiteral("color: #b00000;"));
    layout->addWidget(m_status);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("Confirmar"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnConfirmar"));
    QPushButton *cancel = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &PickListDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PickListDialog::reject);
    connect(m_search, &QLineEdit::textEdited, this, &PickListDialog::search);
    connect(m_search, &QLineEdit::returnPressed, this, &PickListDialog::accept);
    connect(m_columns, &QComboBox::currentIndexChanged, this, [this] { search(m_search->text()); });
    connect(m_grid, &QAbstractItemView::doubleClicked, this, &PickListDialog::accept);
    m_grid->OnTitleClick = [this](TDBGrid &, int column) { m_columns->setCurrentIndex(column + 1); };
    m_grid->fitColumnsToContent(480);
    resize(std::min(1000, std::max(420, m_grid->horizontalHeader()->length() + 60)), 420);
    m_dataset.First();
    m_search->setFocus();
}

PickListDialog::~PickListDialog() = default;

void PickListDialog::search(const QString &text)
{
    host::runGuarded([&] {
        const QString chosen = m_columns->currentData().toString();
        QList<int> fields;
        for (const GridColumn &column : m_grid->Columns()) {
            if (chosen.isEmpty() || column.fieldName == chosen)
                fields << m_dataset.fieldIndex(column.fieldName);
        }
        // The first row, in list order, where a searched column holds the text anywhere, as
        // the column shows it, without regard to case ("web" finds "Portal Web").
        const QString wanted = text.trimmed();
        int found = -1;
        for (int row = 0; row < m_dataset.RecordCount() && found < 0 && !wanted.isEmpty(); ++row) {
            for (int field : fields) {
                if (field >= 0 && m_dataset.displayText(m_dataset.gridRow(row), field).contains(wanted, Qt::CaseInsensitive)) {
                    found = row;
                    break;
                }
            }
        }
        if (found >= 0)
            m_dataset.setRecNo(found + 1);
        m_status->setText(found >= 0 || wanted.isEmpty()
                              ? QString()
                              : chosen.isEmpty()
                                  ? QStringLiteral("Nenhuma linha contém \"%1\".").arg(wanted)
                                  : QStringLiteral("Nenhuma linha contém \"%1\" em %2.").arg(wanted, m_columns->currentText()));
    });
}

void PickListDialog::accept()
{
    if (m_dataset.IsEmpty())
        return;
    QDialog::accept();
}

void PickListDialog::reject()
{
    host::runGuarded([&] {
        if (m_start && m_dataset.BookmarkValid(m_start))
            m_dataset.GotoBookmark(m_start);
    });
    QDialog::reject();
}

bool PickListDialog::choose() { return exec() == QDialog::Accepted; }

// ====================================================================== find dialog

FindDialog::FindDialog(Dataset &dataset, QWidget *parent) : QDialog(parent), m_dataset(dataset)
{
    setObjectName(QStringLiteral("frmProcurar"));
    setWindowTitle(QStringLiteral("Procurar"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_fields = new QComboBox(this);
    m_fields->setObjectName(QStringLiteral("cmbCampo"));
    for (const FieldDef &field : dataset.fieldDefs()) {
        if (field.visible)
            m_fields->addItem(field.label.isEmpty() ? field.name : field.label, field.name);
    }
    m_value = new QLineEdit(this);
    m_value->setObjectName(QStringLiteral("edtValor"));
    form->addRow(QStringLiteral("Campo:"), m_fields);
    form->addRow(QStringLiteral("Procurar:"), m_value);
    layout->addLayout(form);
    m_partial = new QCheckBox(QStringLiteral("Início do campo"), this);
    m_partial->setChecked(true);
    m_case = new QCheckBox(QStringLiteral("Diferenciar maiúsculas e minúsculas"), this);
    layout->addWidget(m_partial);
    layout->addWidget(m_case);
    m_status = new QLabel(this);
    layout->addWidget(m_status);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *next = buttons->addButton(QStringLiteral("Procurar"), QDialogButtonBox::ActionRole);
    next->setDefault(true);
    QPushButton *close = buttons->addButton(QStringLiteral("Fechar"), QDialogButtonBox::RejectRole);
    Q_UNUSED(close);
    layout->addWidget(buttons);
    connect(next, &QPushButton::clicked, this, [this] {
        if (findNext())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &FindDialog::reject);
}

bool FindDialog::findNext()
{
    const QString field = m_fields->currentData().toString();
    LocateOptions options = 0;
    if (m_partial->isChecked())
        options |= loPartialKey;
    if (!m_case->isChecked())
        options |= loCaseInsensitive;
    bool found = false;
    host::runGuarded([&] { found = Procurar::ProcuraProximo(m_dataset, field, m_value->text(), options); });
    m_status->setText(found ? QString() : QStringLiteral("Registro não encontrado."));
    m_found = m_found || found;
    return found;
}

// ====================================================================== the Qt HostUi

QtHostUi::QtHostUi(QWidget *mainWindow) : m_mainWindow(mainWindow)
{
    if (mainWindow)
        m_busy = new BusyIndicator(mainWindow);
}

QtHostUi::~QtHostUi() = default;

int QtHostUi::showMessage(const QString &text, DialogType type, int buttons)
{
    QMessageBox box(m_mainWindow);
    // A library's own words go to the details: the box says the Portuguese sentence.
    const host::OperatorMessage message =
        type == DialogType::Error ? host::splitTechnicalDetail(text) : host::OperatorMessage{text, {}};
    box.setText(message.sentence);
    if (!message.detail.isEmpty())
        box.setDetailedText(message.detail);
    switch (type) {
    case DialogType::Warning:
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QStringLiteral("Aviso"));
        break;
    case DialogType::Error:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(QStringLiteral("Erro"));
        break;
    case DialogType::Information:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Informação"));
        break;
    case DialogType::Confirmation:
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(QStringLiteral("Confirmação"));
        break;
    }
    const struct {
        MsgButton button;
        const char *text;
        QMessageBox::ButtonRole role;
    } all[] = {{mbYes, "Sim", QMessageBox::YesRole},
               {mbNo, "Não", QMessageBox::NoRole},
               {mbOK, "OK", QMessageBox::AcceptRole},
               {mbCancel, "Cancelar", QMessageBox::RejectRole}};
    QHash<QAbstractButton *, int> answers;
    for (const auto &entry : all) {
        if (buttons & entry.button)
            answers.insert(box.addButton(QString::fromUtf8(entry.text), entry.role), entry.button);
    }
    if (answers.isEmpty())
        answers.insert(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole), mbOK);
    box.exec();
    const int answer = answers.value(box.clickedButton(), 0);
    if (answer)
        return answer;
    // Closed with Esc or the title bar: the softest answer offered.
    if (buttons & mbCancel)
        return mbCancel;
    if (buttons & mbNo)
        return mbNo;
    return mbOK;
}

void QtHostUi::showDetailError(const QString &text, const QString &detail)
{
    QMessageBox box(m_mainWindow);
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(QStringLiteral("Erro"));
    box.setText(text);
    box.setDetailedText(detail);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

void QtHostUi::showBusy(const QString &caption)
{
    m_busyCaptions.append(caption);
    if (m_busy)
        m_busy->start(caption);
}

void QtHostUi::hideBusy()
{
    // An inner check that ends gives the animation back to the operation around it.
    if (m_busyCaptions.isEmpty())
        return;
    m_busyCaptions.removeLast();
    if (!m_busy)
        return;
    if (m_busyCaptions.isEmpty())
        m_busy->stop();
    else
        m_busy->start(m_busyCaptions.last());
}

bool QtHostUi::pickFromList(Dataset &dataset, const QString &caption)
{
    PickListDialog dialog(dataset, caption, m_mainWindow);
    return dialog.choose();
}

bool QtHostUi::findInDataset(Dataset &dataset)
{
    FindDialog dialog(dataset, m_mainWindow);
    dialog.exec();
    return dialog.found();
}
