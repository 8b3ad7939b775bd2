// The phase machine and the command line on demo workspaces: each transition with its
// question, checks, work and phase, declining and failing, and `homologa advance`.

#include "demoenv.h"

#include "store/database.h"
#include "tools/import.h"

#include "datamodule/travagrupo.h"
#include "host/consiste.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "patch/frmgpatch.h"
#include "workflow/linhadecomando.h"
#include "screens/groups/frmgrupsolihom.h"
#include "workflow/tramitacao.h"

#include <QAction>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
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

// The server goes away once the tag is made: nothing can be recorded, so nothing is undone
// either; the rerun recognises the tag its plan named and finishes with that one tag.
TEST_F(PhaseMachineTest, AFailureAfterTheTagLeavesItForTheRerun)
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
    const QString tag = svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")).trimmed();
    EXPECT_TRUE(tag.startsWith(QStringLiteral("TST_"))) << tag.toStdString();
    EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("005"));
    dm->GetInitialData();
    EXPECT_TRUE(advance(kGerado)) << ui.messages().join(u'|').toStdString();
    EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("006"));
    EXPECT_EQ(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")).trimmed(), tag);
}

// ====================================================================== one advance per group

// A lease that nobody holds any more.
static bool leaseFree(TdmGrupSoliHom &dm, const QString &code)
{
    return dm.ChamaServidor(QStringLiteral("getGroupLease"), {code}).toArray().isEmpty();
}

// Two operators on one group: the second's advance is refused before its question, naming
// the first; once the first has carried the group on, the second's stale read is refused too.
TEST_F(PhaseMachineTest, ASecondAdvanceOfAGroupInProgressIsRefusedAtOnce)
{
    const std::unique_ptr<TdmGrupSoliHom> other = openDataModule();
    ASSERT_TRUE(other->LocalizaGrupo(kPendente));
    {
        const TravaDeGrupos first(other->netGrupSoliHom, {kPendente}, QStringLiteral("001"));
        ui.clear();
        EXPECT_THROW(advance(kPendente), EAbort);
        ASSERT_EQ(ui.messages().size(), 1) << ui.messages().join(u'|').toStdString();
        EXPECT_TRUE(ui.messages()[0].startsWith(QStringLiteral("O grupo %1 está em tramitação pelo operador %2")
                                                    .arg(kPendente, Horvane::Operador())));
        EXPECT_TRUE(ui.messages()[0].contains(TravaDeGrupos::Estacao()));
    }
    EXPECT_TRUE(advance(kPendente));
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    EXPECT_TRUE(leaseFree(*dm, kPendente));
    ui.clear();
    EXPECT_THROW(Tramitacao(*other).btfAvancaFaseClick(), EAbort);
    EXPECT_TRUE(ui.messages().value(0).contains(QStringLiteral("está na fase 002, e não na fase 001")));
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
}

// Declined (DecliningAnyQuestionChangesNothing advances again after each), failed, or
// stopped by a refused check: the lease is given back.
TEST_F(PhaseMachineTest, AFailedAdvanceGivesTheLeaseBack)
{
    // The requests' patches were never generated: the check of 003 -> 004 stops it.
    setPhase(kPendente, QStringLiteral("003"), QStringLiteral("100001"));
    ui.clear();
    EXPECT_ANY_THROW(advance(kPendente));
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("003"));
    EXPECT_TRUE(leaseFree(*dm, kPendente));
}

// Patch generation outside an advance takes the lease itself: refused while an advance
// holds the group, before any request enters generation.
TEST_F(PhaseMachineTest, PatchGenerationTakesTheLeaseOfItsRequestsGroups)
{
    setPhase(kPendente, QStringLiteral("002"));
    ASSERT_TRUE(dm->LocalizaGrupo(kPendente));
    const QString product = dm->grupo(QStringLiteral("CDPRODUTO"));
    const QString tree = dm->grupo(QStringLiteral("CDARVPROD"));
    // An advance of another process: held on the server, not by this process.
    dm->ChamaServidor(QStringLiteral("takeGroupLease"),
                      {kPendente, QString(), QStringLiteral("000000000002"), QStringLiteral("outra-estacao")});
    ui.clear();
    EXPECT_THROW(patch::GeraSolicitacoes(QStringLiteral("00010000001001\r\n"), product, tree), EAbort);
    EXPECT_TRUE(ui.messages().value(0).contains(QStringLiteral("na estação outra-estacao desde")));
    // Still waiting for generation (040 once it entered).
    const packet::Packet requests = packetOf(QStringLiteral("GetSoli"), {kPendente});
    for (const packet::Row &row : requests.rows)
        EXPECT_EQ(row[requests.fieldIndex(QStringLiteral("CDFASETRAM"))].toString(), QStringLiteral("030"));
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

// A job run twice with --from advances once; a group at another phase is refused before
// anything is asked or done.
TEST_F(CommandLineTest, AdvanceFromAPhaseRefusesAGroupAtAnother)
{
    const Run refused = run({QStringLiteral("advance"), kPendente, QStringLiteral("--from"), QStringLiteral("003"),
                             QStringLiteral("--yes")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("o grupo %1 está na fase 001 \"Pendente\", e não na fase 003 \"Grupo "
                                                    "Gerado\" pedida; nada foi feito.")
                                         .arg(kPendente)))
        << refused.err.toStdString();
    EXPECT_TRUE(ui.messages().isEmpty());
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("001"));
    // Bad uses: a phase that is not one, --from on another command.
    EXPECT_EQ(run({QStringLiteral("advance"), kPendente, QStringLiteral("--from"), QStringLiteral("3")}).status, 2);
    EXPECT_EQ(run({QStringLiteral("log"), kPendente, QStringLiteral("--from"), QStringLiteral("001")}).status, 2);
    for (const int expected : {0, 1})
        EXPECT_EQ(run({QStringLiteral("advance"), kPendente, QStringLiteral("--from"), QStringLiteral("001"),
                       QStringLiteral("--yes")})
                      .status,
                  expected);
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
}

// The lease of a dead advance blocks the group until unlock breaks it, once confirmed.
TEST_F(CommandLineTest, UnlockBreaksADeadAdvancesLeaseOnceConfirmed)
{
    EXPECT_TRUE(run({QStringLiteral("unlock"), kPendente}).out.contains(QStringLiteral("não está em tramitação")));
    EXPECT_EQ(run({QStringLiteral("unlock"), QStringLiteral("0000000099")}).status, 2);  // a group that does not exist is a bad use
    // Taken as an advance takes it, by a process that then died.
    dm->ChamaServidor(QStringLiteral("takeGroupLease"),
                      {kPendente, QStringLiteral("001"), QStringLiteral("000000000002"), QStringLiteral("outra-estacao")});
    ui.clear();
    EXPECT_EQ(run({QStringLiteral("advance"), kPendente, QStringLiteral("--yes")}).status, 1);
    EXPECT_TRUE(ui.messages().value(0).contains(QStringLiteral("homologa unlock %1").arg(kPendente)));
    ui.answer(mbNo);
    EXPECT_EQ(run({QStringLiteral("unlock"), kPendente}).status, 1);
    EXPECT_TRUE(ui.messages().last().contains(QStringLiteral("na estação outra-estacao desde")));
    ui.answer(mbYes);
    const Run unlocked = run({QStringLiteral("unlock"), kPendente});
    EXPECT_EQ(unlocked.status, 0);
    EXPECT_TRUE(unlocked.out.contains(QStringLiteral("Grupo %1 liberado.").arg(kPendente)));
    EXPECT_EQ(run({QStringLiteral("advance"), kPendente, QStringLiteral("--yes")}).status, 0);
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
}

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

TEST_F(CommandLineTest, EveryUseAnswersWithItsExitStatus)
{
    const struct {
        QStringList arguments;
        int status;
        const char *said;  // in what was printed, output or errors
    } cases[] = {
        // The usage, without any data.
        {{"help"}, 0, "Uso: homologa"},
        {{"help", "advance"}, 0, "--send-back"},
        {{"advance", "--help"}, 0, "--check"},
        // Bad uses: an unknown command or option, a missing or malformed group, options in
        // conflict, a group that does not exist, several groups outside the homologation.
        {{"help", "promote"}, 2, "comando desconhecido \"promote\""},
        {{"promote", "1"}, 2, "comando desconhecido \"promote\""},
        {{"advance"}, 2, "falta o grupo"},
        {{"advance", "1", "--frobnicate"}, 2, "opção desconhecida \"--frobnicate\""},
        {{"groups", "--yes"}, 2, "opção desconhecida \"--yes\""},
        {{"advance", "1", "--check", "--yes"}, 2, "--check não faz nada"},
        {{"advance", "1x"}, 2, "\"1x\" não é um número de grupo"},
        {{"advance", "9999999999"}, 2, "o grupo 9999999999 não existe"},
        {{"log", "99"}, 2, "o grupo 0000000099 não existe"},
        {{"log", "1", "2"}, 2, "argumentos demais"},
        {{"advance", "1", "3", "--yes"}, 2, "só a homologação"},
        // Refusals: a closed group, a group the marking rule refuses (its modelling project
        // is not homologated), numbers zero-filled as the screen shows them.
        {{"advance", "5"}, 1, "o grupo 0000000005 está encerrado"},
        {{"advance", "6", "--yes"}, 1, "o grupo 0000000006 não pode ser marcado"},
        // Reading.
        {{"log", "1"}, 0, "O grupo 0000000001 não tem logs"},
        {{"groups"}, 0, "0000000005  Versão inicial do cadastro"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const Run done = run(c.arguments);
        EXPECT_EQ(done.status, c.status) << done.out.toStdString() << done.err.toStdString();
        EXPECT_TRUE((done.out + done.err).contains(QString::fromUtf8(c.said))) << done.out.toStdString() << done.err.toStdString();
    }
}

// Every question is written with the answer taken; declining says that nothing was done.
TEST_F(CommandLineTest, QuestionsAreWrittenWithTheirAnswers)
{
    const QString question = QStringLiteral("Deseja transferir os arquivos deste grupo de solicitações para o "
                                            "repositório de homologação?");
    ui.answer(mbNo);
    const Run declined = run({QStringLiteral("advance"), QStringLiteral("1")});
    EXPECT_EQ(declined.status, 1);
    EXPECT_EQ(ui.logLines().value(0), QStringLiteral("Resposta: n"));
    EXPECT_TRUE(declined.err.contains(QStringLiteral("Nada foi feito: o grupo 0000000001 continua na fase \"Pendente\"")))
        << declined.err.toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("001"));

    EXPECT_EQ(run({QStringLiteral("advance"), QStringLiteral("1"), QStringLiteral("--yes")}).status, 0);
    // The question names the group it acts on after its own text.
    EXPECT_TRUE(ui.logLines().contains(question + QStringLiteral("\n\nGrupo: 0000000001 - Correções de cadastro [s/n] s (--yes)")))
        << ui.logLines().join(u'\n').toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    const Run log = run({QStringLiteral("log"), kPendente});
    EXPECT_TRUE(log.out.contains(QStringLiteral("001 -> 002")));
}

// --check runs the transition's checks and tells what it would do, and does nothing.
TEST_F(CommandLineTest, CheckTellsWhatTheTransitionWouldDo)
{
    const Run passes = run({QStringLiteral("advance"), QStringLiteral("3"), QStringLiteral("--check")});
    EXPECT_EQ(passes.status, 0) << passes.err.toStdString();
    EXPECT_TRUE(passes.out.contains(QStringLiteral("Copiaria os arquivos gerados para C:\\PreHomologados\\ERP\\")))
        << passes.out.toStdString();
    // A group at "003" whose patches were never generated would be refused, with the reason.
    setPhase(kPendente, QStringLiteral("003"), QStringLiteral("100001"));
    const Run refused = run({QStringLiteral("advance"), QStringLiteral("1"), QStringLiteral("--check")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(ui.messages().last().contains(QStringLiteral("não foram geradas"))) << ui.messages().last().toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("nada foi feito")));
    EXPECT_EQ(phaseOnServer(kGerado), QStringLiteral("003"));
    EXPECT_FALSE(files::fileExists(QStringLiteral("C:\\PreHomologados\\ERP\\Ftp\\RelFtp\\VENDAS.QR2")));
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

// The program's own options, without a display, in a home of its own: the usage and every
// bad use are answered before anything is read or created, and nothing but Portuguese is said.
TEST_F(CommandLineTest, TheProgramsOptionsWithoutADisplay)
{
    QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/pasta");
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QStringList arguments;
        int status;
        const char *out;
        const char *err;
    } cases[] = {
        {{"--help"}, 0, "Uso: homologa", ""},
        {{"help"}, 0, "Uso: homologa", ""},
        {{"advance", "--help"}, 0, "--send-back", ""},
        {{"--frobnicate"}, 2, "", "opção desconhecida \"--frobnicate\""},
        {{"--config", "/nonexistent", "groups"}, 2, "", "\"/nonexistent\" não existe"},
        {{"--config", folder, "groups"}, 2, "", "é uma pasta"},
        {{"--config", workspace.settingsFile, "--demo", "groups"}, 2, "", "--config e --demo não vão juntos"},
        {{"--reset", "groups"}, 2, "", "--reset só vale com --demo"},
        {{"--svn-server", "groups"}, 2, "", "--svn-server só vale com --demo"},
        {{"--config", workspace.settingsFile, "advance", "9999999999"}, 2, "", "o grupo 9999999999 não existe"},
        {{"--config", workspace.settingsFile, "groups"}, 0, "0000000001  Correções de cadastro", ""},
        {{"--config", workspace.settingsFile, "where"}, 0, "Repositório de homologação: file:///C:/Repos/Homol/ERP/trunk = file:///", ""},
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("HOME"), home.path());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        QProcess homologa;
        homologa.setProcessEnvironment(environment);
        homologa.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa"));
        homologa.setArguments(c.arguments);
        homologa.start();
        ASSERT_TRUE(homologa.waitForFinished(60000));
        const QString out = QString::fromUtf8(homologa.readAllStandardOutput());
        const QString err = QString::fromUtf8(homologa.readAllStandardError());
        EXPECT_EQ(homologa.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(homologa.exitCode(), c.status) << out.toStdString() << err.toStdString();
        EXPECT_TRUE(out.contains(QString::fromUtf8(c.out))) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.err))) << err.toStdString();
        // Qt's start-up chatter never reaches the operator; the usage alone says nothing else.
        EXPECT_FALSE(err.contains(QStringLiteral("XDG_RUNTIME_DIR"))) << err.toStdString();
        if (c.arguments.contains(QStringLiteral("help")) || c.arguments.contains(QStringLiteral("--help"))) {
            EXPECT_EQ(err, QString());
        }
    }
    // Nothing was created in the home: no settings, no data folder, no database.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"pasta"});
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
                    {"0000001002", {"Menu.cds.zip", "SQL_Oracle_ATU_0001.sql.zip", "SQL_SQLServer_ATU_0001.sql.zip"}},
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
    // The returned request's script comes in an Oracle and a SQL Server version of one name:
    // each, in the repository and in both distribution trees, as it was before the road.
    const QString pre = QStringLiteral("C:\\PreHomologados\\ERP\\");
    const QString homologados = QStringLiteral("C:\\Homologados\\ERP\\");
    QStringList scripts;
    for (const char *banco : {"Oracle", "SQLServer"}) {
        const QString tree = QStringLiteral("Sql\\End_Conv\\%1\\ATU_0001.SQL").arg(QLatin1StringView(banco));
        scripts << svn(QStringLiteral("cat %1/SQL/%2/ATU_0001.sql").arg(QLatin1StringView(kHomUrl), QLatin1StringView(banco)))
                << QString::fromUtf8(files::readBytes(pre + tree)) << QString::fromUtf8(files::readBytes(homologados + tree));
    }
    ASSERT_NE(scripts[0], scripts[3]);
    for (const char *phase : {"002", "003", "004", "005", "006"}) {
        ASSERT_TRUE(advance(kPendente)) << phase << ui.messages().join(u'|').toStdString();
        ASSERT_EQ(phaseOnServer(kPendente), QString::fromLatin1(phase));
    }
    // The pre-homologated tree holds the generated files; what was new is listed.
    for (const char *file : {"Bin\\Server\\CADASTRO.dll", "Bin\\Client\\PRINCIPAL.exe", "Bin\\Client\\PKGCOMPONENTES.bpl",
                             "Sql\\End_Conv\\SQLServer\\ATU_0001.SQL", "Ftp\\RelFtp\\VENDAS.QR2", "Bin\\Server\\Cds\\MENU.CDS"})
        EXPECT_TRUE(files::fileExists(pre + QString::fromLatin1(file))) << file;
    EXPECT_TRUE(files::fileExists(pre + QStringLiteral("Backup KMT\\0000000001\\NovosArquivos.Txt")));

    giveVerdicts();
    // The homologation from the command line, which marks the group named.
    std::FILE *out = std::tmpfile();
    EXPECT_EQ(LinhaDeComando(*dm, out, out)
                  .executa({QStringLiteral("advance"), kPendente, QStringLiteral("--yes"), QStringLiteral("--send-back")}),
              0)
        << ui.messages().join(u'|').toStdString();
    std::fclose(out);
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("007"));

    // Both tags beside the trunk.
    const QString tags = svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP"));
    EXPECT_TRUE(tags.contains(QStringLiteral("TST_"))) << tags.toStdString();
    EXPECT_TRUE(tags.contains(QStringLiteral("HOM_"))) << tags.toStdString();
    // The homologated requests' files in the homologated tree; the returned one's not.
    EXPECT_TRUE(files::fileExists(homologados + QStringLiteral("Bin\\Server\\CADASTRO.dll")));
    EXPECT_TRUE(files::fileExists(homologados + QStringLiteral("Bin\\Client\\PRINCIPAL.exe")));
    // The returned request: both its scripts back, byte for byte, in the homologated
    // repository (as before the transfer) and in both trees.
    QStringList after;
    for (const char *banco : {"Oracle", "SQLServer"}) {
        const QString tree = QStringLiteral("Sql\\End_Conv\\%1\\ATU_0001.SQL").arg(QLatin1StringView(banco));
        after << svn(QStringLiteral("cat %1/SQL/%2/ATU_0001.sql").arg(QLatin1StringView(kHomUrl), QLatin1StringView(banco)))
              << QString::fromUtf8(files::readBytes(pre + tree)) << QString::fromUtf8(files::readBytes(homologados + tree));
    }
    EXPECT_EQ(after, scripts);
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

// ====================================================================== the demo as built

// The demo as `homologa --demo` builds it: every group taken to its phase by the real
// transitions, so that the group at "006" homologates with what the road left behind
// (trees, backups, tags, previous revisions).
class DemoRoadTest : public CommandLineTest {
protected:
    bool takesTheRoad() const override { return true; }
};

TEST_F(DemoRoadTest, TheGroupUnderTestHomologates)
{
    const QString group = QStringLiteral("0000000004");
    const struct {
        const char *group, *phase;
    } phases[] = {{"0000000001", "001"}, {"0000000002", "002"}, {"0000000003", "003"}, {"0000000004", "006"},
                  {"0000000005", "007"}, {"0000000006", "006"}, {"0000000007", "002"}};
    for (const auto &p : phases)
        EXPECT_EQ(phaseOnServer(QString::fromLatin1(p.group)), QString::fromLatin1(p.phase)) << p.group;
    // The closed group registered the patch the groups under test carry.
    ASSERT_TRUE(dm->LocalizaGrupo(group));
    EXPECT_EQ(dm->grupo(QStringLiteral("CDRELEASEGHOM")), QStringLiteral("100001"));

    // One request still under test: the check says so and the homologation would not go.
    const Run untested = run({QStringLiteral("advance"), group, QStringLiteral("--check")});
    EXPECT_EQ(untested.status, 1);
    EXPECT_TRUE(ui.messages().last().contains(QStringLiteral("0000001009 - Índice de pedidos por data")))
        << ui.messages().last().toStdString();

    verdict(QStringLiteral("0000001009"), QStringLiteral("sem-erro"));
    const Run check = run({QStringLiteral("advance"), group, QStringLiteral("--check")});
    EXPECT_EQ(check.status, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("solicitação 0000001009 - Índice de pedidos por data: seria homologada")))
        << check.out.toStdString();
    EXPECT_TRUE(check.out.contains(QStringLiteral("solicitação 0000001010 - Tela sobre com a versão: voltaria com erro")))
        << check.out.toStdString();
    EXPECT_TRUE(ui.logLines().last().endsWith(QStringLiteral("[s/n] s (--check; para fazer: --send-back)")))
        << ui.logLines().last().toStdString();

    // --yes does not answer the question that sends the other groups of the release back.
    const Run stopped = run({QStringLiteral("advance"), group, QStringLiteral("--yes")});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_TRUE(stopped.err.contains(QStringLiteral("repita com --send-back"))) << stopped.err.toStdString();
    EXPECT_EQ(phaseOnServer(group), QStringLiteral("006"));
    EXPECT_FALSE(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")).contains(QStringLiteral("HOM_") + group));

    const Run homologated = run({QStringLiteral("advance"), group, QStringLiteral("--yes"), QStringLiteral("--send-back")});
    EXPECT_EQ(homologated.status, 0) << homologated.err.toStdString() << ui.messages().join(u'|').toStdString();
    EXPECT_EQ(phaseOnServer(group), QStringLiteral("007"));
    EXPECT_EQ(phaseOnServer(QStringLiteral("0000000006")), QStringLiteral("001"));
    EXPECT_TRUE(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")).contains(QStringLiteral("HOM_")));
}
