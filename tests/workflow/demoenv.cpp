#include "demoenv.h"

#include "store/database.h"
#include "methods/embedded.h"
#include "tools/import.h"

#include "patch/frmgpatch.h"
#include "workflow/linhadecomando.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QDir>

void DemoWorkspaceTest::SetUp()
{
    // Patch generation moves the process to a folder of the workspace, which goes away with it.
    m_savedFolder = QDir::currentPath();
    m_savedMounts = platform::mounts();
    m_savedSettings = platform::settings::filePath();
    m_savedHost = host::hostSettings();
    ASSERT_TRUE(m_root.isValid());
    ui.setHeadless(true);
    m_uiScope = std::make_unique<HostUiScope>(ui);
    // The road's advances run on the command line, as `homologa --demo` runs them.
    const demo::Road road = [this](const demo::Workspace &built, const QStringList &step) {
        if (step.value(0) == u"verdict") {
            databaseFile = built.databaseFile;
            verdict(step.value(2), step.value(3));
            return;
        }
        host::loadHostSettings();
        TdmGrupSoliHom module;
        module.GeraSolicitacoes = patch::GeraSolicitacoes;
        std::FILE *out = std::tmpfile();
        const int status = LinhaDeComando(module, out, out).executa(step);
        std::fclose(out);
        if (status != 0)
            throw std::runtime_error(("homologa " + step.join(u' ') + ": " + ui.messages().join(u'|')).toStdString());
    };
    workspace = demo::prepare(
        m_root.path() + QStringLiteral("/demo"), true,
        [](const demo::Workspace &built) {
            server::Database db(server::DatabaseSpec::parse(built.databaseFile));
            server::importDocument(db, demo::importDocument(built.content, built.atStart));
        },
        {}, takesTheRoad() ? road : demo::Road());
    databaseFile = workspace.databaseFile;
    host::loadHostSettings();
    dm = openDataModule();
}

void DemoWorkspaceTest::TearDown()
{
    dm.reset();
    m_uiScope.reset();
    server::closeEmbedded();
    QDir::setCurrent(m_savedFolder);
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

void DemoWorkspaceTest::verdict(const QString &request, const QString &decision)
{
    int code = -1;
    const QString said = platform::Process::run(
        QStringLiteral("homologa-server verdict --db \"%1\" 0001 %2 %3").arg(databaseFile, request, decision), &code);
    ASSERT_EQ(code, 0) << said.toStdString();
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
