#pragma once

// A demo workspace of its own for each test: real development and homologated Subversion
// repositories (trunk, branches, tags) mounted as the logical C:\, the sample product and
// its groups loaded into an embedded server database, a scripted HostUi that runs as the
// command line does (no window), and the data module on it.

#include "datamodule/dmgrupsolihom.h"
#include "demo/demo.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/paths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class DemoWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override;
    // True: the workspace is built as `homologa --demo` builds it, every group taken to its
    // phase by the road's real transitions (slow); false: written straight at its phase.
    virtual bool takesTheRoad() const { return false; }
    void TearDown() override;

    // A new data module on the workspace, loaded as the command line loads it.
    std::unique_ptr<TdmGrupSoliHom> openDataModule();
    // The data module of the test (opened by SetUp), standing on group `code`.
    TdmGrupSoliHom &group(const QString &code);

    // svn run on the workspace; the whole output (fails the test on a non-zero exit).
    QString svn(const QString &arguments);
    // The log messages of a repository path, newest first.
    QStringList logMessages(const QString &url);
    // A remote method's data on the workspace's server.
    packet::Packet packetOf(const QString &method, const QList<RemoteArg> &args);
    // The phase of a group as the server has it.
    QString phaseOnServer(const QString &code);
    // The testers' verdict on a request, with the server's own command.
    void verdict(const QString &request, const QString &decision);
    // Moves a group straight to a phase on the server (setup of later transitions).
    void setPhase(const QString &code, const QString &phase, const QString &release = {});

    static constexpr const char *kDevUrl = "file:///C:/Repos/Desenv/ERP/trunk";
    static constexpr const char *kHomUrl = "file:///C:/Repos/Homol/ERP/trunk";
    static constexpr const char *kDevRoot = "C:\\Desenv\\ERP";
    static constexpr const char *kHomRoot = "C:\\Homol\\ERP";

    ScriptedHostUi ui;
    demo::Workspace workspace;
    std::unique_ptr<TdmGrupSoliHom> dm;

private:
    QString databaseFile;
    QTemporaryDir m_root;
    platform::MountTable m_savedMounts;
    QString m_savedSettings;
    QString m_savedFolder;
    host::HostSettings m_savedHost;
    std::unique_ptr<HostUiScope> m_uiScope;
};
