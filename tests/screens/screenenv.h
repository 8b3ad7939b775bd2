#pragma once

// The homologation screen against the server embedded in the test process: a fresh
// database loaded through the import (the server tests' sample plus the groups below), the
// module's settings in a temporary file, and a scripted HostUi.

#include "server/serverenv.h"
#include "support/testenv.h"

#include "host/hostsettings.h"
#include "host/hostui.h"
#include "screens/groups/frmgrupsolihom.h"

#include <memory>

// Groups of the sample products, one per situation the screen tells apart:
//   0000000001 P501 "001" requests 101, 102, 107 (107 releases a client-specific project and a web page)
//   0000000002 P501 "003" release 501023, request 105
//   0000000003 P501 "006" release 501023, request 106
//   0000000004 P501 "006" release 501023, request 103 (modelling project not homologated)
//   0000000005 P1501 "006" release 150010, request 201
//   0000000006 F301 "007" release 301002, request 301
//   0000000007 P501 "006" release 501023, request 108
// Operators: 0001 may edit groups, 0002 may not.
extern const QByteArray kScreenDocument;

// A temporary settings file that the host settings follow; the previous host settings are
// put back and the embedded server closed afterwards.
class TemporarySettings {
public:
    TemporarySettings();
    ~TemporarySettings();
    TemporarySettings(const TemporarySettings &) = delete;
    TemporarySettings &operator=(const TemporarySettings &) = delete;

    // Writes one value ("section/key") and reads the host settings again.
    void set(const QString &key, const QVariant &value);
    QString filePath(const QString &name) const { return m_file.filePath(name); }

private:
    host::HostSettings m_previousHost;
    TemporarySettingsFile m_file;
};

class ScreenTest : public ServerTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The screen, created as the module creates it (FormCreate), sized to show its grids.
    std::unique_ptr<TfrmGrupSoliHom> openScreen();
    // Points the module at a server that does not answer / back at the embedded one.
    void serverDown();
    void serverUp();

    ScriptedHostUi ui;
    std::unique_ptr<TemporarySettings> settings;

private:
    std::unique_ptr<HostUiScope> m_uiScope;
};

// The codes of the groups listed, in order; the field's values of a dataset's listed rows.
QStringList listed(Dataset &dataset, const QString &field);
// Moves the group list to a group.
void goToGroup(TfrmGrupSoliHom &screen, const QString &code);
