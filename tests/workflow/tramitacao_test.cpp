// The phase machine and the command line on demo workspaces: each transition with its
// question, checks, work and phase, declining and failing, and `homologa advance`.

#include "demoenv.h"

#include "database.h"
#include "import.h"

#include "host/consiste.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "workflow/linhadecomando.h"
#include "screens/groups/frmgrupsolihom.h"
#include "workflow/tramitacao.h"

#include <QAction>

#include <QCoreApplication>
#include <QProcess>
#include <QSettings>

#include <cstdio>

namespace files = platform::files;

namespace {

const QString kPendente = QStringLiteral("0000000001");     // "001", three requests
const QString kGerado = QStringLiteral("0000000003");       // "003", its patches generated
const QString kEncerrado = QStringLiteral("0000000005");    // "007"

}  // namespace

class PhaseMachineTest : public DemoWorkspaceTest {
protected:
    // The testers' verdicts on the pending group's requests, with the server's own command.
    void giveVerdicts()
    {
        for (const auto &[request, verdict] : {std::pair{"0000001001", "sem-erro"}, std::pair{"0000001002", "com-erro"},
                                               std::pair{"0000001003", "sem-erro"}}) {
            int code = -1;
            const QString said = platform::Process::run(QStringLiteral("homologa-server verdict --db \"%1\" 0001 %2 %3")
                                                            .arg(workspace.databaseFile, QString::fromLatin1(request),
                                                                 QString::fromLatin1(verdict)),
                                                        &code);
            ASSERT_EQ(code, 0) << said.toStdString();
        }
    }
    packet::Packet logs(const QString &code) { return packetOf(QStringLiteral("getLogTram"), {code}); }
    bool advance(const QString &code)
    {
        EXPECT_TRUE(dm->LocalizaGrupo(code));
        return Tramitacao(*dm).btfAvancaFaseClick();
    }
    bool shown(const QString &text) const { return ui.messages().contains(text); }
};

TEST_F(PhaseMachineTest, From001To002TheFilesAreTransferredAndTheLogStored)
{
    EXPECT_TRUE(advance(kPendente));
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    EXPECT_EQ(ui.messages().first(), QStringLiteral("Deseja transferir os arquivos deste grupo de solicitações para o "
                                                    "repositório de homologação?\r\n\r\nGrupo: 0000000001 - Correções de cadastro"));
    EXPECT_EQ(ui.messages().last(), QStringLiteral("Tramitação realizada com sucesso."));
    const packet::Packet stored = logs(kPendente);
    ASSERT_EQ(stored.rows.size(), 1);
    EXPECT_EQ(stored.rows[0][stored.fieldIndex(QStringLiteral("IDSTGRUPANT"))].toString(), QStringLiteral("001"));
    EXPECT_EQ(stored.rows[0][stored.fieldIndex(QStringLiteral("IDSTGRUPNOVO"))].toString(), QStringLiteral("002"));
    EXPECT_TRUE(stored.rows[0][stored.fieldIndex(QStringLiteral("TXLOGTRAM"))].toString().contains(
        QStringLiteral("Commit da revisão")));
    EXPECT_EQ(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + QStringLiteral("/ZQL/SRC/Cadastro/UCadastro.pas")),
              QString::fromUtf8(files::readBytes(QStringLiteral("C:\\Desenv\\ERP\\ZQL\\SRC\\Cadastro\\UCadastro.pas"))));
    EXPECT_TRUE(dm->stlLogTram.isEmpty());
}

TEST_F(PhaseMachineTest, DecliningAnyQuestionChangesNothing)
{
    const struct {
        const char *phase;
        const char *release;
    } phases[] = {{"001", ""}, {"002", ""}, {"003", "100001"}, {"004", "100001"}, {"005", "100001"}, {"006", "100001"}};
    for (const auto &p : phases) {
        SCOPED_TRACE(p.phase);
        setPhase(kPendente, QString::fromLatin1(p.phase), QString::fromLatin1(p.release));
        dm->LocalizaGrupo(kPendente);
        dm->MarcaGrupo();
        ui.clear();
        const int linesBefore = ui.logLines().size();
        ui.answer(mbNo);
        EXPECT_FALSE(advance(kPendente));
        EXPECT_EQ(phaseOnServer(kPendente), QString::fromLatin1(p.phase));
        EXPECT_EQ(ui.messages().size(), 1) << ui.messages().join(u'|').toStdString();
        EXPECT_EQ(ui.logLines().size(), linesBefore);
    }
    EXPECT_TRUE(logs(kPendente).rows.isEmpty());
}

TEST_F(PhaseMachineTest, From004To005TheTestPackageIsNamedByTheRelease)
{
    const struct {
        const char *release, *package;
    } cases[] = {{"501000", "Rv7_500999_501000.zip"}, {"012345", "Rv7_12344_012345.zip"}};
    for (const auto &c : cases) {
        setPhase(kGerado, QStringLiteral("004"), QString::fromLatin1(c.release));
        ui.clear();
        EXPECT_TRUE(advance(kGerado));
        EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("005"));
        EXPECT_TRUE(ui.messages().value(1).contains(QString::fromLatin1(c.package))) << ui.messages().value(1).toStdString();
        // Only the transfer stores a log.
        EXPECT_TRUE(logs(kGerado).rows.isEmpty());
    }
}

TEST_F(PhaseMachineTest, From005To006TheRequestsAreHandedOverAndTheRepositoryTagged)
{
    setPhase(kGerado, QStringLiteral("005"), QStringLiteral("100001"));
    EXPECT_TRUE(advance(kGerado));
    EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("006"));
    const QString tags = svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP"));
    EXPECT_TRUE(tags.startsWith(QStringLiteral("TST_"))) << tags.toStdString();
    EXPECT_TRUE(tags.trimmed().endsWith(QStringLiteral("_0000000003/"))) << tags.toStdString();
    EXPECT_EQ(tags.trimmed().size(), QStringLiteral("TST_20261207103000_0000000003/").size());
    // Every request is now the tests' responsibility.
    const packet::Packet requests = packetOf(QStringLiteral("GetSoli"), {kGerado});
    for (const packet::Row &row : requests.rows)
        EXPECT_EQ(row[requests.fieldIndex(QStringLiteral("NMOPERADOR"))].toString(), QStringLiteral("Responsável pelos testes"));
}

TEST_F(PhaseMachineTest, ATagThatCannotBeMadeDeletesNothingAndLeavesThePhase)
{
    demo::Content content = workspace.content;
    content.products[0].locations[2] = QStringLiteral("file:///C:/Repos/Homol/ERP");
    server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
    server::importDocument(db, demo::importDocument(content));
    setPhase(kGerado, QStringLiteral("005"), QStringLiteral("100001"));
    EXPECT_THROW(advance(kGerado), EAbort);
    EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("005"));
    EXPECT_FALSE(ui.logLines().join(u'\n').contains(QStringLiteral("svn del")));
    EXPECT_FALSE(shown(QStringLiteral("Tramitação realizada com sucesso.")));
}

// A HostUi that takes the server away once the tag has been made.
class ServerLostAfterTheTag : public ScriptedHostUi {
public:
    void logLine(const QString &line) override
    {
        ScriptedHostUi::logLine(line);
        if (line.contains(QStringLiteral("Commit da revisão")) && !m_lost) {
            m_lost = true;
            QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("host/server_host"), QStringLiteral("127.0.0.1"));
            settings.setValue(QStringLiteral("host/server_port"), 1);
            settings.sync();
            host::loadHostSettings();
        }
    }
    bool m_lost = false;
};

TEST_F(PhaseMachineTest, AFailureAfterTheTagDeletesIt)
{
    setPhase(kGerado, QStringLiteral("005"), QStringLiteral("100001"));
    ServerLostAfterTheTag lost;
    lost.setHeadless(true);
    {
        HostUiScope scope(lost);
        EXPECT_ANY_THROW(advance(kGerado));
    }
    EXPECT_TRUE(lost.m_lost);
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("host/server_host"), QString());
        settings.sync();
    }
    host::loadHostSettings();
    // The tag folder stays, the tag is gone; the phase was not written.
    EXPECT_EQ(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")), QString());
    EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("005"));
}

// ====================================================================== the command line

class CommandLineTest : public DemoWorkspaceTest {
protected:
    struct Run {
        int status;
        QString out, err;
    };
    Run run(const QStringList &arguments)
    {
        std::FILE *out = std::tmpfile();
        std::FILE *err = std::tmpfile();
        const int status = LinhaDeComando(*dm, out, err).executa(arguments);
        const auto text = [](std::FILE *file) {
            std::rewind(file);
            QByteArray bytes;
            char buffer[4096];
            size_t read = 0;
            while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                bytes.append(buffer, qsizetype(read));
            std::fclose(file);
            return QString::fromUtf8(bytes);
        };
        return {status, text(out), text(err)};
    }
};

TEST_F(CommandLineTest, GroupsListsEveryGroupClosedOnesIncluded)
{
    const Run groups = run({QStringLiteral("groups")});
    EXPECT_EQ(groups.status, 0);
    EXPECT_EQ(groups.out.count(u'\n'), 7) << groups.out.toStdString();
    EXPECT_TRUE(groups.out.contains(kEncerrado + QStringLiteral("  Versão inicial do cadastro")));
    EXPECT_TRUE(groups.out.contains(QStringLiteral("007 Encerrado")));
    const Run json = run({QStringLiteral("groups"), QStringLiteral("--json")});
    EXPECT_TRUE(json.out.contains(QStringLiteral("\"IDSTGRUPHOM\": \"007\"")));
}

TEST_F(CommandLineTest, AdvanceAnswersWithItsExitStatus)
{
    // Bad uses: nothing named, two groups outside the homologation, an unknown command.
    EXPECT_EQ(run({QStringLiteral("advance")}).status, 2);
    EXPECT_EQ(run({QStringLiteral("advance"), kPendente, kGerado, QStringLiteral("--yes")}).status, 2);
    EXPECT_EQ(run({QStringLiteral("promote"), kPendente}).status, 2);
    // A closed group, an unknown group, a declined question: not carried out.
    EXPECT_EQ(run({QStringLiteral("advance"), kEncerrado}).status, 1);
    const Run unknown = run({QStringLiteral("advance"), QStringLiteral("0000000099")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("0000000099")));
    ui.answer(mbNo);
    EXPECT_EQ(run({QStringLiteral("advance"), kPendente}).status, 1);
    // From "006" the groups named are the marked ones, each passing the marking rule: a
    // group whose modelling project is not homologated is refused.
    const Run blocked = run({QStringLiteral("advance"), QStringLiteral("0000000006"), QStringLiteral("--yes")});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(ui.messages().last().contains(QStringLiteral("ainda não tiveram seus projetos de modelagem homologados")));
    // Carried out; its log read back.
    EXPECT_EQ(run({QStringLiteral("advance"), kPendente, QStringLiteral("--yes")}).status, 0);
    const Run log = run({QStringLiteral("log"), kPendente});
    EXPECT_EQ(log.status, 0);
    EXPECT_TRUE(log.out.contains(QStringLiteral("001 -> 002")));
}

// The program itself, as a release team runs it.
TEST_F(CommandLineTest, TheProgramAdvancesAGroupWithoutAWindow)
{
    QProcess homologa;
    homologa.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa"));
    homologa.setArguments({QStringLiteral("--config"), workspace.settingsFile, QStringLiteral("advance"), kPendente,
                           QStringLiteral("--yes")});
    homologa.start();
    ASSERT_TRUE(homologa.waitForFinished(300000));
    const QString out = QString::fromUtf8(homologa.readAllStandardOutput());
    EXPECT_EQ(homologa.exitCode(), 0) << out.toStdString() << homologa.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Tramitação realizada com sucesso.")));
    EXPECT_TRUE(out.contains(QStringLiteral("Commit da revisão")));
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));

    homologa.setArguments({QStringLiteral("--config"), workspace.settingsFile, QStringLiteral("advance"), kEncerrado});
    homologa.start();
    ASSERT_TRUE(homologa.waitForFinished(60000));
    EXPECT_EQ(homologa.exitCode(), 1);
    EXPECT_FALSE(homologa.readAllStandardError().isEmpty());
}

// The screen's Avançar runs the same transition, and the screen shows the group's new phase.
TEST_F(PhaseMachineTest, TheScreensAdvanceCarriesTheGroupOn)
{
    TfrmGrupSoliHom screen;
    screen.resize(1280, 640);
    screen.Create();
    ASSERT_TRUE(screen.dm->LocalizaGrupo(kPendente));
    ASSERT_TRUE(screen.mnuAvancaFase->isEnabled());
    screen.mnuAvancaFase->trigger();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    EXPECT_TRUE(shown(QStringLiteral("Tramitação realizada com sucesso.")));
    ASSERT_TRUE(screen.dm->LocalizaGrupo(kPendente));
    EXPECT_EQ(screen.dm->statusGrupo(), QStringLiteral("002"));
    EXPECT_FALSE(screen.grab().isNull());
    if (const QByteArray shot = qgetenv("HOMOLOGA_SCREENSHOT"); !shot.isEmpty())
        screen.grab().save(QString::fromLocal8Bit(shot));
}

// From "SVN homologados atualizado" the patch is generated with the build tools' stand-ins:
// every artefact built, the scripts, report and menu dataset stamped and committed, one zip
// per artefact in each request's attachment folder, the group at "003" with its release.
TEST_F(PhaseMachineTest, From002To003ThePatchIsGeneratedAndAttached)
{
    ASSERT_TRUE(advance(kPendente));
    ASSERT_TRUE(advance(kPendente));
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("003"));
    for (const char *artefact : {"C:\\Homol\\ERP\\ZQL\\bin\\Cadastro.dll", "C:\\Homol\\ERP\\CLI\\bin\\Principal.exe",
                                 "C:\\Homol\\ERP\\CLI\\bin\\PKGComponentes.bpl"})
        EXPECT_TRUE(files::fileExists(QString::fromLatin1(artefact))) << artefact;
    EXPECT_TRUE(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + QStringLiteral("/SQL/SQLServer/ATU_0001.sql"))
                    .contains(QStringLiteral("EXEC ATUVEROBJ 'VW_CLIENTE_EMAIL','1.00.001';")));
    EXPECT_TRUE(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + QStringLiteral("/SRV/CDS/Menu.cds"))
                    .contains(QStringLiteral("DSCAPTION=\"1.00.001\"")));
    EXPECT_TRUE(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + QStringLiteral("/REL/Vendas.qr2"))
                    .endsWith(QStringLiteral("1.00.001#")));
    const struct {
        const char *request;
        QStringList names;
    } attached[] = {{"0000001001", {"Cadastro.dll.zip"}},
                    {"0000001002", {"ATU_0001.sql.zip", "Menu.cds.zip"}},
                    {"0000001003", {"PKGComponentes.bpl.zip", "Principal.exe.zip", "Vendas.qr2.zip"}}};
    for (const auto &request : attached) {
        const QString folder = QStringLiteral("C:\\Anexos\\") + QString::fromLatin1(request.request);
        const QStringList stamps = files::listDir(folder, QStringLiteral("*"), files::EntryKind::Dirs);
        ASSERT_EQ(stamps.size(), 1) << request.request;
        QStringList names = files::listDir(folder + u'\\' + stamps[0], QStringLiteral("*"), files::EntryKind::Files);
        names.sort(Qt::CaseInsensitive);
        EXPECT_EQ(names, request.names) << request.request;
    }
    ASSERT_TRUE(dm->LocalizaGrupo(kPendente));
    EXPECT_EQ(dm->grupo(QStringLiteral("CDRELEASEGHOM")), QStringLiteral("100001"));
}

// The metadata-driven web product: its window pages are built again by the window builder
// at the highest metadata release of the requests that carry them, every produced file
// registered for its activity with its new revision, and the version stamped into them.
TEST_F(PhaseMachineTest, ThePortalsWindowsAreBuiltAndRegistered)
{
    const QString portal = QStringLiteral("0000000007");
    ASSERT_TRUE(advance(portal)) << ui.messages().join(u'|').toStdString();
    EXPECT_EQ(phaseOnServer(portal), QStringLiteral("003"));
    const QString log = ui.logLines().join(u'\n');
    EXPECT_TRUE(log.contains(QStringLiteral("Gerando a window Clientes/Release metadados: 12...")));
    EXPECT_TRUE(log.contains(QStringLiteral("Gerando a wizard NovoPedido/Release metadados:")));
    const QString janelas = QStringLiteral("C:\\Homol\\PORTAL\\products\\quorvel\\sources\\generated\\windows\\");
    EXPECT_TRUE(files::readLines(janelas + QStringLiteral("Clientes\\Clientes.js")).contains(QStringLiteral("//VERSAO 1.00.001")));
    EXPECT_TRUE(svn(QStringLiteral("status ") + QStringLiteral("C:\\Homol\\PORTAL\\products")).trimmed().isEmpty());
    EXPECT_TRUE(svn(QStringLiteral("cat file:///C:/Repos/Homol/PORTAL/trunk/products/quorvel/sources/generated/windows/"
                                   "Clientes/Clientes.js"))
                    .contains(QStringLiteral("//VERSAO 1.00.001")));
}

// The whole road of one group, once: from "Pendente" to "Encerrado" with the real
// repositories, the build tools' stand-ins, real files and the server in the process; the
// testers' verdicts given with the server's own command; one request returned with error
// and its files rolled back, the others homologated into the homologated tree.
TEST_F(PhaseMachineTest, TheWholeRoadOfAGroup)
{
    const QString sql = QStringLiteral("SQL/SQLServer/ATU_0001.sql");
    const QString sqlBefore = svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + u'/' + sql);
    for (const char *phase : {"002", "003", "004", "005", "006"}) {
        ASSERT_TRUE(advance(kPendente)) << phase << ui.messages().join(u'|').toStdString();
        ASSERT_EQ(phaseOnServer(kPendente), QString::fromLatin1(phase));
    }
    // The pre-homologated tree holds the generated files; what was new is listed.
    const QString pre = QStringLiteral("C:\\PreHomologados\\ERP\\");
    for (const char *file : {"Bin\\Server\\CADASTRO.dll", "Bin\\Client\\PRINCIPAL.exe", "Bin\\Client\\PKGCOMPONENTES.bpl",
                             "Sql\\End_Conv\\SQLServer\\ATU_0001.SQL", "Ftp\\RelFtp\\VENDAS.QR2", "Bin\\Server\\Cds\\MENU.CDS"})
        EXPECT_TRUE(files::fileExists(pre + QString::fromLatin1(file))) << file;
    EXPECT_TRUE(files::fileExists(pre + QStringLiteral("Backup KMT\\0000000001\\NovosArquivos.Txt")));

    giveVerdicts();
    // The homologation from the command line, which marks the group named.
    std::FILE *out = std::tmpfile();
    EXPECT_EQ(LinhaDeComando(*dm, out, out).executa({QStringLiteral("advance"), kPendente, QStringLiteral("--yes")}), 0)
        << ui.messages().join(u'|').toStdString();
    std::fclose(out);
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("007"));

    // Both tags beside the trunk.
    const QString tags = svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP"));
    EXPECT_TRUE(tags.contains(QStringLiteral("TST_"))) << tags.toStdString();
    EXPECT_TRUE(tags.contains(QStringLiteral("HOM_"))) << tags.toStdString();
    // The homologated requests' files in the homologated tree; the returned one's not.
    const QString homologados = QStringLiteral("C:\\Homologados\\ERP\\");
    EXPECT_TRUE(files::fileExists(homologados + QStringLiteral("Bin\\Server\\CADASTRO.dll")));
    EXPECT_TRUE(files::fileExists(homologados + QStringLiteral("Bin\\Client\\PRINCIPAL.exe")));
    EXPECT_FALSE(files::fileExists(homologados + QStringLiteral("Sql\\End_Conv\\SQLServer\\ATU_0001.SQL")));
    // The returned request: its script back in the homologated repository as before the
    // transfer, and gone from the pre-homologated tree where it was new.
    EXPECT_EQ(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + u'/' + sql), sqlBefore);
    EXPECT_FALSE(files::fileExists(pre + QStringLiteral("Sql\\End_Conv\\SQLServer\\ATU_0001.SQL")));
    // The product's next patch is registered.
    const QString method = QStringLiteral("getReleaseProd");
    EXPECT_EQ(TdmGrupSoliHom::Lista(dm->ChamaServidor(method, {QStringLiteral("0000000010")}), method, 1)[0].toString(),
              QStringLiteral("100002"));
}

// Once the groups are closed the homologation has happened: when only the closing refresh
// fails, the homologation tag stays as the record of the release.
TEST_F(PhaseMachineTest, AFailedRefreshAfterTheHomologationKeepsItsTag)
{
    for (int phase = 1; phase <= 5; ++phase)
        ASSERT_TRUE(advance(kPendente)) << ui.messages().join(u'|').toStdString();
    giveVerdicts();
    dm->GetInitialData();
    ASSERT_TRUE(dm->LocalizaGrupo(kPendente));
    dm->MarcaGrupo();
    dm->AtualizaDados = [] { throw EHomologa(QStringLiteral("Falha ao ler os dados de novo.")); };
    EXPECT_THROW(advance(kPendente), EHomologa);
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("007"));
    EXPECT_TRUE(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")).contains(QStringLiteral("HOM_")));
}
