#include "demoenv.h"

#include "database.h"
#include "embedded.h"
#include "import.h"

#include "patch/frmgpatch.h"
#include "platform/process.h"
#include "platform/settings.h"

void DemoWorkspaceTest::SetUp()
{
    m_savedMounts = platform::mounts();
    m_savedSettings = platform::settings::filePath();
    m_savedHost = host::hostSettings();
    ASSERT_TRUE(m_root.isValid());
    workspace = demo::prepare(m_root.path() + QStringLiteral("/demo"), true, [](const demo::Workspace &built) {
        server::Database db(server::DatabaseSpec::parse(built.databaseFile));
        server::importDocument(db, demo::importDocument(built.content));
    });
    host::loadHostSettings();
    ui.setHeadless(true);
    m_uiScope = std::make_unique<HostUiScope>(ui);
    dm = openDataModule();
}

void DemoWorkspaceTest::TearDown()
{
    dm.reset();
    m_uiScope.reset();
    server::closeEmbedded();
    platform::setMounts(m_savedMounts);
    platform::settings::setFilePath(m_savedSettings);
    host::hostSettings() = m_savedHost;
}

std::unique_ptr<TdmGrupSoliHom> DemoWorkspaceTest::openDataModule()
{
    auto module = std::make_unique<TdmGrupSoliHom>();
    module->GeraSolicitacoes = patch::GeraSolicitacoes;
    module->GetInitialData();
    module->GetUserPass();
    return module;
}

TdmGrupSoliHom &DemoWorkspaceTest::group(const QString &code)
{
    EXPECT_TRUE(dm->LocalizaGrupo(code)) << code.toStdString();
    return *dm;
}

QString DemoWorkspaceTest::svn(const QString &arguments)
{
    int code = -1;
    const QString output = platform::Process::run(QStringLiteral("svn ") + arguments, &code, 120000);
    EXPECT_EQ(code, 0) << arguments.toStdString() << "\n" << output.toStdString();
    return output;
}

QStringList DemoWorkspaceTest::logMessages(const QString &url)
{
    QStringList messages;
    const QStringList lines = svn(QStringLiteral("log --xml ") + url).split(u'\n');
    for (const QString &line : lines) {
        const qsizetype start = line.indexOf(QStringLiteral("<msg>"));
        if (start >= 0)
            messages << line.mid(start + 5, line.indexOf(QStringLiteral("</msg>")) - start - 5);
    }
    return messages;
}

packet::Packet DemoWorkspaceTest::packetOf(const QString &method, const QList<RemoteArg> &args)
{
    return TdmGrupSoliHom::Pacote(dm->ChamaServidor(method, args), method);
}

void DemoWorkspaceTest::setPhase(const QString &code, const QString &phase, const QString &release)
{
    // Straight into the database: the server moves a group one phase at a time.
    {
        server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
        db.ensureOpen();
        db.exec(QStringLiteral("UPDATE GRUPOHOMOL SET IDSTGRUPHOM = ?, CDRELEASEGHOM = ? WHERE CDGRUPHOMOL = ?"),
                {phase, release, code});
    }
    dm->GetInitialData();
    ASSERT_TRUE(dm->LocalizaGrupo(code));
}

QString DemoWorkspaceTest::phaseOnServer(const QString &code)
{
    const packet::Packet groups = packetOf(QStringLiteral("getGrupo"), {QString()});
    for (const packet::Row &row : groups.rows) {
        if (row[groups.fieldIndex(QStringLiteral("CDGRUPHOMOL"))].toString() == code)
            return row[groups.fieldIndex(QStringLiteral("IDSTGRUPHOM"))].toString();
    }
    return {};
}
