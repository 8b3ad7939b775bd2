// The host application's window: its menu opens the homologation screen through the
// module; a module that cannot be loaded is reported, not a crash.

#include "app/hostwindow.h"

#include "host/basescreens.h"
#include "host/hostapp.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "host/qthostui.h"
#include "support/testenv.h"

#include <QAction>
#include <QMdiArea>
#include <QLabel>
#include <QMdiSubWindow>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStatusBar>

#include <gtest/gtest.h>

TEST(HostWindow, MenuOpensTheHomologationScreenThroughTheModule)
{
    TemporarySettingsFile settings;  // the screen reads its server: an empty database of its own
    HostWindow window(QStringLiteral(HOMOLOGA_MODULE_PATH));
    EXPECT_EQ(&hostUi(), window.ui()) << "the window installs the host's dialogs";
    EXPECT_EQ(host::mainWindow(), &window);
    EXPECT_EQ(host::mdiArea(), window.mdiArea());
    EXPECT_EQ(window.homologationAction()->text(), "Controle de Processo de Homologação");
    window.show();

    ScriptedHostUi scripted;
    setHostUi(&scripted);
    window.homologationAction()->trigger();
    ASSERT_EQ(window.mdiArea()->subWindowList().size(), 1);
    QMdiSubWindow *frame = window.mdiArea()->subWindowList().first();
    EXPECT_EQ(frame->widget()->objectName(), "frmGrupSoliHom");
    EXPECT_TRUE(frame->isMaximized());
    window.homologationAction()->trigger();
    EXPECT_EQ(window.mdiArea()->subWindowList().size(), 1) << "the screen is created once";
    EXPECT_TRUE(scripted.messages().isEmpty()) << scripted.messages().join("; ").toStdString();
    setHostUi(window.ui());
}

// Closing the program asks each screen first: a row still being typed is asked about
// while the window is still there, and No keeps the program open with the row.
TEST(HostWindow, ClosingAsksBeforeAnythingDisappears)
{
    TemporarySettingsFile settings;
    HostWindow window(QStringLiteral(HOMOLOGA_MODULE_PATH));
    window.show();
    ScriptedHostUi scripted;
    setHostUi(&scripted);
    window.homologationAction()->trigger();
    ASSERT_EQ(window.mdiArea()->subWindowList().size(), 1);
    auto *screen = qobject_cast<TfrmPadraoGrid *>(window.mdiArea()->subWindowList().first()->widget());
    ASSERT_NE(screen, nullptr);
    Dataset *groups = screen->dbgPadrao->dataSet();
    groups->Append();
    groups->FieldByName("DSGRUPHOMOL").setAsString("Grupo novo");

    scripted.clear();
    scripted.answer(mbNo);
    EXPECT_FALSE(window.close());
    ASSERT_EQ(scripted.messages().size(), 1);
    EXPECT_TRUE(scripted.messages()[0].startsWith("Confirma o cancelamento das alterações?"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(screen->isVisible());
    EXPECT_EQ(groups->State(), dsInsert);
    EXPECT_EQ(groups->FieldByName("DSGRUPHOMOL").AsString(), "Grupo novo");

    scripted.answer(mbYes);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    setHostUi(window.ui());
}

TEST(HostWindow, AModuleThatCannotBeLoadedIsReported)
{
    for (const QString &path : {QStringLiteral("/nao/existe/libhomologa-module.so"), QStringLiteral(PLATFORM_LIBRARY_PATH)}) {
        HostWindow window(path);
        ScriptedHostUi scripted;
        setHostUi(&scripted);
        window.homologationAction()->trigger();
        ASSERT_EQ(scripted.messages().size(), 1) << path.toStdString();
        EXPECT_TRUE(scripted.messages().first().contains(path)) << scripted.messages().first().toStdString();
        EXPECT_TRUE(scripted.messages().first().startsWith("Não foi possível carregar o módulo")
                    || scripted.messages().first().contains("não tem o ponto de entrada IniProc"))
            << scripted.messages().first().toStdString();
        EXPECT_EQ(scripted.shown().first().type, DialogType::Error);
        EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty());
        setHostUi(window.ui());
    }
    EXPECT_EQ(host::mainWindow(), nullptr) << "a window that goes away takes its registration with it";
}

TEST(HostWindow, TheStatusBarFollowsTheServerOfTheSettingsFile)
{
    TemporarySettingsFile settings;
    settings.set(QStringLiteral("host/server_host"), QStringLiteral("homologa-a"));
    settings.set(QStringLiteral("host/server_port"), 8091);
    host::loadHostSettings();
    HostWindow window(QStringLiteral(HOMOLOGA_MODULE_PATH));
    const auto status = [&] {
        const QStringList texts = [&] {
            QStringList all;
            for (const QLabel *label : window.statusBar()->findChildren<QLabel *>())
                all << label->text();
            return all;
        }();
        return texts.join(' ');
    };
    EXPECT_TRUE(status().contains("Servidor: homologa-a:8091")) << status().toStdString();
    settings.set(QStringLiteral("host/server_host"), QStringLiteral("homologa-b"));
    QElapsedTimer waited;
    waited.start();
    while (!status().contains("Servidor: homologa-b:8091") && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(status().contains("Servidor: homologa-b:8091")) << status().toStdString();
    settings.set(QStringLiteral("host/server_host"), QString());
    host::loadHostSettings();
}
