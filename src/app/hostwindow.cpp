#include "hostwindow.h"

#include "host/errors.h"
#include "host/guard.h"
#include "host/hostapp.h"
#include "host/hostsettings.h"
#include "host/qthostui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QVariant>

HostWindow::HostWindow(const QString &modulePath, QWidget *parent) : QMainWindow(parent), m_modulePath(modulePath)
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Homologa"));
    m_area = new QMdiArea(this);
    m_area->setObjectName(QStringLiteral("mdiPrincipal"));
    m_area->setViewMode(QMdiArea::SubWindowView);
    setCentralWidget(m_area);

    QMenu *processes = menuBar()->addMenu(QStringLiteral("&Processos"));
    processes->setObjectName(QStringLiteral("mnuProcessos"));
    m_homologation = processes->addAction(QStringLiteral("Controle de Processo de Homologação"));
    m_homologation->setObjectName(QStringLiteral("mnuHomologacao"));
    connect(m_homologation, &QAction::triggered, this, [this] { openHomologation(); });
    processes->addSeparator();
    QAction *quit = processes->addAction(QStringLiteral("&Sair"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janela"));
    windows->addAction(QStringLiteral("&Cascata"), m_area, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("&Lado a lado"), m_area, &QMdiArea::tileSubWindows);

    m_status = new QLabel(this);
    statusBar()->addPermanentWidget(m_status);
    refreshStatus();
    // The module reads the server's address from the settings file before every connection:
    // the status bar follows the file, so that it names the server actually called.
    auto *statusTimer = new QTimer(this);
    connect(statusTimer, &QTimer::timeout, this, [this] {
        const host::HostSettings inForce = host::hostSettings();
        host::loadHostSettings();
        const host::HostSettings fromFile = host::hostSettings();
        host::hostSettings() = inForce;
        host::hostSettings().webUrl = fromFile.webUrl;
        host::hostSettings().webPort = fromFile.webPort;
        refreshStatus();
    });
    statusTimer->start(2000);

    m_ui = std::make_unique<QtHostUi>(this);
    setHostUi(m_ui.get());
    host::setMainWindow(this, m_area);
    resize(1280, 800);
}

HostWindow::~HostWindow()
{
    // Screens go before the host services they use.
    m_area->closeAllSubWindows();
    for (QWidget *child : m_area->subWindowList())
        delete child;
    host::setMainWindow(nullptr, nullptr);
    setHostUi(nullptr);
}

void HostWindow::closeEvent(QCloseEvent *event)
{
    m_area->closeAllSubWindows();
    for (const QMdiSubWindow *frame : m_area->subWindowList()) {
        if (frame->isVisible()) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

QString HostWindow::defaultModulePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/libhomologa-module.so");
}

void HostWindow::refreshStatus()
{
    const host::HostSettings &settings = host::hostSettings();
    const QString server = settings.webUrl.isEmpty() ? QStringLiteral("no processo")
                                                     : QStringLiteral("%1:%2").arg(settings.webUrl).arg(settings.webPort);
    m_status->setText(QStringLiteral("Operador: %1   Filial: %2   Servidor: %3")
                          .arg(settings.operador.isEmpty() ? QStringLiteral("-") : settings.operador,
                               settings.filial.isEmpty() ? QStringLiteral("-") : settings.filial, server));
}

void HostWindow::openHomologation()
{
    host::runGuarded([this] {
        if (!m_module.isLoaded()) {
            m_module.setFileName(m_modulePath);
            if (!m_module.load())
                throw EHomologa(QStringLiteral("Não foi possível carregar o módulo de homologação (%1):\n%2")
                                    .arg(m_modulePath, m_module.errorString()));
        }
        using Entry = void (*)(const QVariant &);
        auto entry = reinterpret_cast<Entry>(m_module.resolve("IniProc"));
        if (!entry)
            throw EHomologa(QStringLiteral("O módulo de homologação (%1) não tem o ponto de entrada IniProc.")
                                .arg(m_modulePath));
        const QVariant argument;
        entry(argument);
    });
}
