#pragma once

// The data module on the server embedded in the test process: a fresh database (see
// ServerTest), settings in a temporary file pointing at it with operator 0001, a
// temporary folder mounted as C:\, a scripted HostUi that runs scripts without a window,
// and a data module with test credentials. Suites import their own documents on top.

#include "serverenv.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "support/testenv.h"

#include <memory>

class DataModuleServerTest : public ServerTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<MountedDrive> drive;
    ScriptedHostUi ui;
    std::unique_ptr<TdmGrupSoliHom> dm;

private:
    host::HostSettings m_previousHost;
    std::unique_ptr<TemporarySettingsFile> m_settings;
    std::unique_ptr<HostUiScope> m_uiScope;
};

// Runs `action` and answers the texts shown when it stopped with the silent stop; fails the
// test when it did not stop.
template <typename Action>
QList<QString> interrompe(ScriptedHostUi &ui, Action action)
{
    ui.clear();
    try {
        action();
    } catch (const EAbort &) {
        return ui.messages();
    }
    ADD_FAILURE() << "the operation did not stop";
    return ui.messages();
}
