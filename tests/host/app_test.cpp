// The host application's window: its menu opens the homologation screen through the
// module; a module that cannot be loaded is reported, not a crash.

#include "app/hostwindow.h"

#include "host/hostapp.h"
#include "host/hostui.h"
#include "host/qthostui.h"
#include "support/testenv.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

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
