#include "datamoduleenv.h"

#include "methods/embedded.h"

void DataModuleServerTest::SetUp()
{
    ServerTest::SetUp();
    if (IsSkipped())
        return;
    m_previousHost = host::hostSettings();
    m_settings = std::make_unique<TemporarySettingsFile>();
    m_settings->set(QStringLiteral("server/database"), database().text());
    m_settings->set(QStringLiteral("host/operator"), QStringLiteral("0001"));
    m_settings->set(QStringLiteral("host/branch"), kBranch);
    m_settings->set(QStringLiteral("host/keep_connected"), false);
    host::loadHostSettings();
    drive = std::make_unique<MountedDrive>();
    ui.setHeadless(true);
    m_uiScope = std::make_unique<HostUiScope>(ui);
    dm = std::make_unique<TdmGrupSoliHom>();
    dm->UsuarioSVN = QStringLiteral("svn_teste");
    dm->SenhaSVN = QStringLiteral("segredo");
}

void DataModuleServerTest::TearDown()
{
    dm.reset();
    m_uiScope.reset();
    drive.reset();
    server::closeEmbedded();
    m_settings.reset();
    host::hostSettings() = m_previousHost;
    ServerTest::TearDown();
}
