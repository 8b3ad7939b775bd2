#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QApplication>
#include <QDir>
#include <QLibrary>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QVariant>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    platform::settings::useCommandLine(argc, argv);
    platform::settings::loadMounts();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Homologa"));
    auto *area = new QMdiArea(&window);
    window.setCentralWidget(area);
    QMenu *menu = window.menuBar()->addMenu(QStringLiteral("&Processos"));
    menu->addAction(QStringLiteral("Controle de Processo de Homologação"), &window, [&window] {
        QLibrary module(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/libhomologa-module.so"));
        using Entry = void (*)(const QVariant &);
        auto entry = reinterpret_cast<Entry>(module.resolve("IniProc"));
        if (!entry) {
            QMessageBox::critical(&window, QStringLiteral("Homologa"),
                                  QStringLiteral("Não foi possível carregar o módulo: %1").arg(module.errorString()));
            return;
        }
        entry(QVariant());
    });
    window.resize(1200, 800);
    window.show();
    if (const QString problem = platform::missingLocaleMessage(); !problem.isEmpty())
        QMessageBox::warning(&window, QStringLiteral("Homologa"), problem);
    return app.exec();
}
