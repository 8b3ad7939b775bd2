// The working copies, the transfer to the homologated repository and the repository tags,
// against the real svn client on a demo workspace of each test's own.

#include "demoenv.h"

#include "store/database.h"
#include "tools/import.h"

#include "platform/files.h"
#include "promotion/copiatrabalho.h"
#include "promotion/transferencia.h"
#include "workflow/linhadecomando.h"
#include "workflow/tags.h"

#include <QFile>
#include <QTemporaryDir>

namespace files = platform::files;

namespace {

// The demo's pending group 0000000001 changes four files: a server unit, a client form and
// the Oracle and SQL Server versions of one script; each is committed on its own.
constexpr int kFilesOfThePendingGroup = 4;

int rowWhere(const packet::Packet &rows, const QString &field, const QString &value)
{
    const int column = rows.fieldIndex(field);
    for (int i = 0; i < rows.rows.size(); ++i) {
        if (rows.rows[i][column].toString() == value)
            return i;
    }
    return -1;
}

QStringList column(const packet::Packet &rows, const QString &field)
{
    QStringList values;
    for (const packet::Row &row : rows.rows)
        values << row[rows.fieldIndex(field)].toString();
    return values;
}

const QString kGroup = QStringLiteral("0000000001");

// Loads a fragment of the import document into the workspace's database.
void importInto(const demo::Workspace &workspace, const QByteArray &json)
{
    server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
    server::importDocument(db, json);
}

QByteArray requestEntry(const QString &number, const QString &extra)
{
    return QStringLiteral(R"({"CDFILIAL": "0001", "NRSOLISERV": "%1", "DSREFESOLI": "Solicitação %1",
        "CDPRODUTO": "0000000010", "CDFASETRAM": "030", "CDASSUNTO": "00054" %2})")
        .arg(number, extra)
        .toUtf8();
}

// An "svn" first on the search path that runs the real client, except on its Nth run of
// `subcommand`: then it does `act` (a shell command: fail with a message no phrase knows,
// kill itself, kill the real client in the middle of its work).
class SvnQueFalha {
public:
    SvnQueFalha(const char *subcommand, int nth, const char *act) : m_path(qgetenv("PATH"))
    {
        const QString script = QStringLiteral(
            "#!/bin/sh\n"
            "if [ \"$1\" = \"%1\" ]; then\n"
            "  n=$(( $(cat %2/count 2>/dev/null || echo 0) + 1 )); echo $n > %2/count\n"
            "  if [ $n -eq %3 ]; then %4\n  fi\n"
            "fi\n"
            "exec /usr/bin/svn \"$@\"\n")
                                   .arg(QString::fromLatin1(subcommand), m_dir.path())
                                   .arg(nth)
                                   .arg(QString::fromUtf8(act));
        QFile file(m_dir.filePath(QStringLiteral("svn")));
        file.open(QIODevice::WriteOnly);
        file.write(script.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + m_path);
    }
    ~SvnQueFalha() { qputenv("PATH", m_path); }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};

}  // namespace

class WorkingCopyTest : public DemoWorkspaceTest {
protected:
    // The transfer of the group from "Pendente", as 001->002 does it.
    void transfer()
    {
        group(kGroup);
        CopiaTrabalho copia(*dm);
        copia.VD_before_Atu_SVN_Hom();
        copia.Vd_Arquivos_Atualizados_Desenv();
        TransferenciaHomol(*dm).Atualiza_SVN_Homologados();
    }
    QString headRevision(const QString &url)
    {
        return svn(QStringLiteral("info --show-item revision ") + url).trimmed();
    }
    // Commits a new file into the development repository and answers its revision.
    QString commitNewDevFile(const QString &relative, const QByteArray &text)
    {
        const QString path = QString::fromLatin1(kDevRoot) + u'\\' + relative;
        files::forceDirectories(path.section(u'\\', 0, -2));
        files::writeBytes(path, text);
        svn(QStringLiteral("add --parents ") + path);
        svn(QStringLiteral("commit -m novo ") + QString::fromLatin1(kDevRoot));
        return headRevision(QString::fromLatin1(kDevUrl));
    }
};

TEST_F(WorkingCopyTest, TransferCommitsEveryFileOnItsOwnAndRecordsItsRevisions)
{
    const QString before = headRevision(QString::fromLatin1(kHomUrl));
    transfer();

    // Each file of the group is in the homologated repository as it was released.
    const QStringList paths{QStringLiteral("ZQL\\SRC\\Cadastro\\UCadastro.pas"),
                            QStringLiteral("SQL\\SQLServer\\ATU_0001.sql"),
                            QStringLiteral("SQL\\Oracle\\ATU_0001.sql"),
                            QStringLiteral("CLI\\SRC\\Principal\\UPrincipal.pas")};
    for (const QString &relative : paths) {
        const QString url = QString::fromLatin1(kHomUrl) + u'/' + QString(relative).replace(u'\\', u'/');
        EXPECT_EQ(svn(QStringLiteral("cat ") + url),
                  QString::fromUtf8(files::readBytes(QString::fromLatin1(kDevRoot) + u'\\' + relative)));
    }
    // One commit per file, each with the group and the file's released revision.
    const QStringList messages = logMessages(QString::fromLatin1(kHomUrl) + QStringLiteral("@HEAD"));
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)).toInt(), before.toInt() + 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(messages[i].startsWith(QStringLiteral("Grupo de homologação: 0000000001- Release: ")))
            << messages[i].toStdString();

    // The server has the revision of each file before and after the transfer.
    const packet::Packet versions = packetOf(QStringLiteral("getVersArqFonteHom"), {kGroup});
    ASSERT_EQ(versions.rows.size(), 4);
    for (const packet::Row &row : versions.rows) {
        EXPECT_TRUE(row[versions.fieldIndex(QStringLiteral("DSARQSVNHOMOL"))].toString().startsWith(
            QStringLiteral("C:\\Homol\\ERP\\")));
        EXPECT_GT(row[versions.fieldIndex(QStringLiteral("NRREVANTARQSVN"))].toString().toInt(), 0);
        EXPECT_FALSE(row[versions.fieldIndex(QStringLiteral("NRREVATUARQSVN"))].toString().isEmpty());
    }
    // The copy report lists every file copied; the transfer wrote the transition log.
    const QStringList report =
        files::readLines(TransferenciaHomol::arquivoDeRelatorio(kGroup, QStringLiteral("Correções de cadastro")));
    EXPECT_EQ(report.value(1), QStringLiteral("ARQUIVOS COPIADOS PARA O DIRETÓRIO DE HOMOLOGADOS - FASE 1 PARA FASE 2"));
    EXPECT_EQ(report.size(), 6);
    EXPECT_FALSE(dm->stlLogTram.isEmpty());
    EXPECT_TRUE(files::fileExists(CopiaTrabalho::arquivoDeRelatorio(kGroup, QStringLiteral("Correções de cadastro"))));
}

TEST_F(WorkingCopyTest, AFileInFoldersNewToTheHomologatedCopyIsAddedWithEachLevel)
{
    const QString revision = commitNewDevFile(QStringLiteral("SRV\\NOVO\\SUB\\Novo.pas"), "unit Novo;\r\n");
    importInto(workspace, "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"),
        QStringLiteral(R"(, "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\ERP\\SRV\\NOVO\\SUB\\Novo.pas",
           "CDRELEASEARQANT": "%1", "CDRELEASEARQATU": "%1"}])").arg(revision)) + "]}");
    dm = openDataModule();
    transfer();

    EXPECT_EQ(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + QStringLiteral("/SRV/NOVO/SUB/Novo.pas")),
              QStringLiteral("unit Novo;\r\n"));
    // Two folder commits (NOVO, then SUB) before the four files' commits.
    const QStringList messages = logMessages(QString::fromLatin1(kHomUrl) + QStringLiteral("@HEAD"));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(messages[i].startsWith(QStringLiteral("Grupo de homologação: 0000000001- Release: ")));
    EXPECT_EQ(messages[4], QStringLiteral("Grupo de solicitações: 0000000001"));
    EXPECT_EQ(messages[5], QStringLiteral("Grupo de solicitações: 0000000001"));
    // A file new to the homologated copy had no previous revision.
    const packet::Packet versions = packetOf(QStringLiteral("getVersArqFonteHom"), {kGroup});
    const int novo = rowWhere(versions, QStringLiteral("DSARQSVNHOMOL"), QStringLiteral("C:\\Homol\\ERP\\SRV\\NOVO\\SUB\\Novo.pas"));
    ASSERT_GE(novo, 0) << column(versions, QStringLiteral("DSARQSVNHOMOL")).join(u' ').toStdString();
    EXPECT_EQ(versions.rows[novo][versions.fieldIndex(QStringLiteral("NRREVANTARQSVN"))].toString(), QStringLiteral("0"));
}

// A conflict in either copy is settled before the transfer: one the development copy's
// update makes, one an earlier update left in it, one left in the homologated copy (settled
// when that copy is refreshed). Every row ends with the files committed and no conflict.
TEST_F(WorkingCopyTest, ConflictsInEitherCopyAreSettledBeforeTheTransfer)
{
    struct Case {
        const char *what;
        const char *root;
        const char *url;
        const char *file;
        bool leftBefore;
    };
    const Case cases[] = {
        {"made by the update", kDevRoot, kDevUrl, "ZQL\\SRC\\Cadastro\\UCadastro.pas", false},
        {"left in the development copy", kDevRoot, kDevUrl, "CLI\\SRC\\Principal\\UPrincipal.pas", true},
        {"left in the homologated copy", kHomRoot, kHomUrl, "SQL\\Oracle\\ATU_0001.sql", true},
    };
    const auto conflicts = [this](const QString &root) {
        QStringList found;
        for (const QString &line : svn(QStringLiteral("status ") + root).split(u'\n')) {
            if (line.size() > 7 && (line[0] == u'C' || line[1] == u'C' || line[6] == u'C'))
                found << line;
        }
        return found;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString root = QString::fromLatin1(c.root);
        const QString other = QStringLiteral("C:\\Outra%1").arg(&c - cases);
        // Someone else commits the file while this copy changes it too.
        svn(QStringLiteral("checkout -q %1 %2").arg(QString::fromLatin1(c.url), other));
        files::writeBytes(other + u'\\' + QString::fromLatin1(c.file), "de outra cópia\r\n");
        svn(QStringLiteral("commit -q -m outra ") + other);
        files::writeBytes(root + u'\\' + QString::fromLatin1(c.file), "alterado nesta cópia\r\n");
        if (c.leftBefore) {
            svn(QStringLiteral("update -q --accept postpone ") + root);
            ASSERT_FALSE(conflicts(root).isEmpty());
        }
        files::deleteFile(CopiaTrabalho::arquivoDeEstado());  // the homologated copy is due
        dm = openDataModule();
        ui.clear();
        transfer();
        for (const char *copy : {kDevRoot, kHomRoot}) {
            const QString left = conflicts(QString::fromLatin1(copy)).join(u'\n');
            EXPECT_TRUE(left.isEmpty()) << left.toStdString() << ui.messages().join(u'\n').toStdString();
        }
        const QString relative = QString::fromLatin1(c.file).replace(u'\\', u'/');
        EXPECT_EQ(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + u'/' + relative),
                  QString::fromUtf8(files::readBytes(QString::fromLatin1(kDevRoot) + u'\\' + QString::fromLatin1(c.file))));
    }
}

// A file removed from the development trunk after the revision the group releases: the
// update takes it out of the copy, its URL is still read through its folder, and the export
// at that revision stops the transfer with svn's own words on the path; nothing is committed.
TEST_F(WorkingCopyTest, AFileRemovedAfterItsReleaseStopsTheTransferWithItsPathAndNothingIsCommitted)
{
    const QString revision = commitNewDevFile(QStringLiteral("SRV\\Velho.pas"), "unit Velho;\r\n");
    svn(QStringLiteral("delete C:\\Desenv\\ERP\\SRV\\Velho.pas"));
    svn(QStringLiteral("commit -m removido C:\\Desenv\\ERP"));
    importInto(workspace, "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"),
        QStringLiteral(R"(, "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\ERP\\SRV\\Velho.pas",
           "CDRELEASEARQANT": "%1", "CDRELEASEARQATU": "%1"}])").arg(revision)) + "]}");
    dm = openDataModule();
    const QString before = headRevision(QString::fromLatin1(kHomUrl));
    EXPECT_THROW(transfer(), EAbort);
    const QString said = ui.messages().join(u'\n');
    EXPECT_TRUE(said.contains(QStringLiteral("Não foi possível atualizar os diretórios locais."))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("/ERP/trunk/SRV/Velho.pas"))) << said.toStdString();
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)), before);
}

// Each check stops with its text before any repository command runs.
TEST_F(WorkingCopyTest, EachCheckStopsBeforeAnyRepositoryCommand)
{
    struct Case {
        const char *what;
        QByteArray document;
        QString text;
    };
    const QString desenv = QStringLiteral("C:\\\\Desenv\\\\ERP\\\\");
    const QList<Case> cases = {
        {"a file without its revisions",
         "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"), QStringLiteral(R"(, "modifiedFiles": [
            {"DSDIRARQCHECKOU": "%1ZQL\\SRC\\Cadastro\\UCadastro.pas", "CDRELEASEARQANT": "", "CDRELEASEARQATU": "3"}])")
                                                                                 .arg(desenv)) + "]}",
         QStringLiteral("O(s) seguinte(s) arquivo(s) estão sem release:")},
        {"a file outside the product's working copy",
         "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"), QStringLiteral(R"(, "modifiedFiles": [
            {"DSDIRARQCHECKOU": "C:\\Outro\\X.pas", "CDRELEASEARQANT": "2", "CDRELEASEARQATU": "3"}])")) + "]}",
         QStringLiteral("As seguintes solicitações possuem arquivos liberados com versão diferente à versão informada "
                        "da solicitação:\r\n\r\n0000001001 - Arquivos modificados pertencem à versão diferente;")},
        {"a file of another group in progress",
         "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"), QStringLiteral(R"(, "modifiedFiles": [
            {"DSDIRARQCHECKOU": "%1CLI\\SRC\\PKG\\UComponentes.pas", "CDRELEASEARQANT": "2", "CDRELEASEARQATU": "3"}])")
                                                                                 .arg(desenv)) + "]}",
         QStringLiteral("A tramitação não pode ser realizada porque os seguintes arquivos estão incluídos em outros "
                        "grupos de homologação que já estão em andamento:\r\n\r\nC:\\Desenv\\ERP\\CLI\\SRC\\PKG\\"
                        "UComponentes.pas")},
        {"a dependency outside the group",
         "{\"requests\": [" + requestEntry(QStringLiteral("0000001099"), {}) + ", "
             + requestEntry(QStringLiteral("0000001001"),
                            QStringLiteral(R"(, "dependsOn": [{"CDFILIAL": "0001", "NRSOLISERV": "0000001099"}])"))
             + "]}",
         QStringLiteral("A tramitação não pode ser realizada porque as seguintes solicitações dependentes não estão "
                        "incluídas no grupo:\r\n\r\n0000001099 - Solicitação 0000001099")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        importInto(workspace, c.document);
        dm = openDataModule();
        group(kGroup);
        EXPECT_THROW(CopiaTrabalho(*dm).VD_before_Atu_SVN_Hom(), EAbort);
        ASSERT_FALSE(ui.messages().isEmpty());
        EXPECT_TRUE(ui.messages().last().startsWith(c.text)) << ui.messages().last().toStdString();
        EXPECT_TRUE(ui.logLines().isEmpty()) << ui.logLines().join(u'\n').toStdString();
        // Put the sample back for the next case (a dependency, the last case, stays).
        importInto(workspace, demo::importDocument(workspace.content));
    }
}

TEST_F(WorkingCopyTest, ALowerRevisionWaitingOutsideTheGroupStopsIt)
{
    importInto(workspace, "{\"requests\": [" + requestEntry(QStringLiteral("0000001097"), QStringLiteral(R"(, "modifiedFiles": [
            {"DSDIRARQCHECKOU": "C:\\Desenv\\ERP\\ZQL\\SRC\\Cadastro\\UCadastro.pas", "CDRELEASEARQANT": "1",
             "CDRELEASEARQATU": "2"}])")) + "]}");
    dm = openDataModule();
    group(kGroup);
    EXPECT_THROW(CopiaTrabalho(*dm).VD_before_Atu_SVN_Hom(), EAbort);
    ASSERT_FALSE(ui.shown().isEmpty());
    EXPECT_EQ(ui.shown().last().kind, ScriptedHostUi::Shown::Kind::DetailError);
    EXPECT_TRUE(ui.shown().last().text.startsWith(QStringLiteral("O grupo não poderá ser homologado pois existe(m) arquivo(s) "
                                                                 "com release inferior")));
    EXPECT_TRUE(ui.shown().last().detail.contains(QStringLiteral(" Solicitação: 0000001097 Arquivo: UCadastro.pas")))
        << ui.shown().last().detail.toStdString();
    EXPECT_TRUE(ui.logLines().isEmpty());
}

// A missing development working copy is checked out again from the product's first
// location and brought to the released revisions; without that location nothing runs.
TEST_F(WorkingCopyTest, AMissingWorkingCopyIsCheckedOutFromTheDevelopmentRepository)
{
    const QString before = headRevision(QString::fromLatin1(kHomUrl));
    ASSERT_TRUE(files::renameFile(QStringLiteral("C:\\Desenv\\ERP"), QStringLiteral("C:\\Desenv\\ERP.fora")));
    transfer();
    EXPECT_TRUE(files::dirExists(QStringLiteral("C:\\Desenv\\ERP\\.svn")));
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)).toInt(), before.toInt() + kFilesOfThePendingGroup);
    for (dm->cdsArqModifAtu->First(); !dm->cdsArqModifAtu->Eof(); dm->cdsArqModifAtu->Next())
        EXPECT_FALSE(dm->cdsArqModifAtu->FieldByName(QStringLiteral("DIRETORIO")).AsString().isEmpty());

    ASSERT_TRUE(files::renameFile(QStringLiteral("C:\\Desenv\\ERP"), QStringLiteral("C:\\Desenv\\ERP.fora2")));
    demo::Content content = workspace.content;
    content.products[0].locations[0] = QString();
    importInto(workspace, demo::importDocument(content));
    dm = openDataModule();
    const qsizetype linhas = ui.logLines().size();
    group(kGroup);
    EXPECT_THROW(CopiaTrabalho(*dm).VD_before_Atu_SVN_Hom(), EAbort);
    EXPECT_EQ(ui.messages().last(), QStringLiteral("A cópia de trabalho do desenvolvimento C:\\Desenv\\ERP não existe e o "
                                                   "produto não tem a URL do repositório do desenvolvimento cadastrada "
                                                   "(primeira locação)."));
    EXPECT_EQ(ui.logLines().size(), linhas);
}

// A homologated copy that is not there is checked out again at once, not at the next
// hourly refresh, and the transfer makes one revision per file.
TEST_F(WorkingCopyTest, AMissingHomologatedCopyIsCheckedOutAgainAtOnce)
{
    const QString before = headRevision(QString::fromLatin1(kHomUrl));
    CopiaTrabalho::boAtualiza_Copia_Homol();  // refreshed a moment ago
    ASSERT_TRUE(files::renameFile(QString::fromLatin1(kHomRoot), QStringLiteral("C:\\Homol\\ERP.fora")));
    transfer();
    EXPECT_TRUE(files::dirExists(QString::fromLatin1(kHomRoot) + QStringLiteral("\\.svn")));
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)).toInt(), before.toInt() + kFilesOfThePendingGroup);
}

// A status that cannot be read may hide the locks an interrupted run left: the cleanup runs.
TEST_F(WorkingCopyTest, ACopyWhoseStatusCannotBeReadIsCleanedUp)
{
    {
        SvnQueFalha falha("status", 1, "echo 'svn: E155037: Previous operation has not finished' >&2; exit 1");
        CopiaTrabalho(*dm).LiberaCopiasTravadas({QString::fromLatin1(kHomRoot)});
    }
    EXPECT_TRUE(dm->stlLogTram.join(u'\n').contains(QStringLiteral("não pôde ser lida"))) << dm->stlLogTram.join(u'\n').toStdString();
    EXPECT_EQ(svn(QStringLiteral("status -q ") + QString::fromLatin1(kHomRoot)), QString());
}

// A file missing from a homologated copy not refreshed yet is not new when the repository
// has it: its previous revision comes from the repository, never "0".
TEST_F(WorkingCopyTest, AFileMissingFromTheCopyButInTheRepositoryIsNotNew)
{
    const QString arquivo = QString::fromLatin1(kHomRoot) + QStringLiteral("\\SQL\\SQLServer\\ATU_0001.sql");
    ASSERT_TRUE(CopiaTrabalho::boAtualiza_Copia_Homol());  // the copy counts as refreshed now
    ASSERT_TRUE(files::deleteFile(arquivo));
    transfer();
    const packet::Packet versions = packetOf(QStringLiteral("getVersArqFonteHom"), {kGroup});
    const int linha = rowWhere(versions, QStringLiteral("DSARQSVNHOMOL"), arquivo);
    ASSERT_GE(linha, 0);
    EXPECT_GT(versions.rows[linha][versions.fieldIndex(QStringLiteral("NRREVANTARQSVN"))].toString().toInt(), 0);
}

// A file released at an older revision than the development head and not yet in the
// operator's copy reaches the homologated repository as released, never as the head.
TEST_F(WorkingCopyTest, AFileNotYetInTheCopyIsTransferredAtItsReleasedRevision)
{
    const QString released = commitNewDevFile(QStringLiteral("SRV\\Novo.pas"), "liberado\r\n");
    files::writeBytes(QString::fromLatin1(kDevRoot) + QStringLiteral("\\SRV\\Novo.pas"), "em desenvolvimento\r\n");
    svn(QStringLiteral("commit -m depois ") + QString::fromLatin1(kDevRoot));
    svn(QStringLiteral("update -r ") + QString::number(released.toInt() - 1) + u' ' + QString::fromLatin1(kDevRoot)
        + QStringLiteral("\\SRV\\Novo.pas"));
    ASSERT_FALSE(files::fileExists(QString::fromLatin1(kDevRoot) + QStringLiteral("\\SRV\\Novo.pas")));
    importInto(workspace, "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"),
        QStringLiteral(R"(, "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\ERP\\SRV\\Novo.pas",
           "CDRELEASEARQANT": "%1", "CDRELEASEARQATU": "%1"}])").arg(released)) + "]}");
    dm = openDataModule();
    transfer();
    EXPECT_EQ(svn(QStringLiteral("cat ") + QString::fromLatin1(kHomUrl) + QStringLiteral("/SRV/Novo.pas")),
              QStringLiteral("liberado\r\n"));
}

// Paths from the data that would leave the working copy, or split into several
// arguments, stop the advance before any command runs.
TEST_F(WorkingCopyTest, AnUnsafePathStopsBeforeAnyCommand)
{
    for (const char *path : {R"(C:\\Desenv\\ERP\\..\\..\\Homol\\ERP\\SRV\\A.pas)",
                             R"(C:\\Desenv\\ERP\\SRV\\q C:\\Homol\\ERP)"}) {
        SCOPED_TRACE(path);
        importInto(workspace, demo::importDocument(workspace.content));
        importInto(workspace, "{\"requests\": [" + requestEntry(QStringLiteral("0000001001"),
            QStringLiteral(R"(, "modifiedFiles": [{"DSDIRARQCHECKOU": "%1", "CDRELEASEARQANT": "2",
               "CDRELEASEARQATU": "2"}])").arg(QString::fromUtf8(path))) + "]}");
        dm = openDataModule();
        const qsizetype linhas = ui.logLines().size();
        group(kGroup);
        EXPECT_THROW(CopiaTrabalho(*dm).VD_before_Atu_SVN_Hom(), EAbort);
        ASSERT_FALSE(ui.messages().isEmpty());
        EXPECT_TRUE(ui.messages().last().startsWith(
            QStringLiteral("Os caminhos dos seguintes arquivos não podem ser usados nas cópias de trabalho "
                           "C:\\Desenv\\ERP e C:\\Homol\\ERP:")))
            << ui.messages().last().toStdString();
        EXPECT_EQ(ui.logLines().size(), linhas);
    }
}

// A link in the homologated copy that leads out of it, at a file, a folder or the copy's
// root: 001->002 stops before any command, naming it; nothing is written outside and
// nothing is committed.
TEST_F(WorkingCopyTest, ALinkOutOfTheHomologatedCopyStopsBeforeAnyCommand)
{
    QTemporaryDir fora;
    for (const char *relative : {"\\SQL\\Oracle\\ATU_0001.sql", "\\SQL\\Oracle", ""}) {
        SCOPED_TRACE(relative);
        const QString ligado = QString::fromLatin1(kHomRoot) + QString::fromUtf8(relative);
        const QString native = files::nativePath(ligado);
        const QString alvo = fora.path() + QStringLiteral("/alvo");
        ASSERT_TRUE(QFile::rename(native, alvo));
        ASSERT_TRUE(QFile::link(alvo, native));
        const QString before = headRevision(QString::fromLatin1(kHomUrl));
        const QString sql = QStringLiteral("C:\\Homol\\ERP\\SQL\\Oracle\\ATU_0001.sql");
        const QByteArray antes = files::readBytes(sql);
        const qsizetype linhas = ui.logLines().size();

        dm = openDataModule();
        EXPECT_THROW(transfer(), EAbort);
        ASSERT_FALSE(ui.messages().isEmpty());
        EXPECT_TRUE(ui.messages().last().contains(ligado + QStringLiteral(" é um link que leva para fora de C:\\Homol\\ERP")))
            << ui.messages().last().toStdString();
        EXPECT_EQ(ui.logLines().size(), linhas);
        EXPECT_EQ(files::readBytes(sql), antes);
        EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)), before);

        ASSERT_TRUE(QFile::remove(native));
        ASSERT_TRUE(QFile::rename(alvo, native));
    }
}

TEST_F(WorkingCopyTest, AGroupWithoutRequestsOrFilesIsNotTransferred)
{
    importInto(workspace, QByteArray("{\"requests\": [") + requestEntry(QStringLiteral("0000001098"), {})
                              + "], \"groups\": ["
                                "{\"CDGRUPHOMOL\": \"0000000008\", \"DSGRUPHOMOL\": \"Vazio\", \"CDPRODUTO\": \"0000000010\", "
                                "\"IDSTGRUPHOM\": \"001\", \"requests\": []},"
                                "{\"CDGRUPHOMOL\": \"0000000009\", \"DSGRUPHOMOL\": \"Sem arquivos\", \"CDPRODUTO\": "
                                "\"0000000010\", \"IDSTGRUPHOM\": \"001\", \"requests\": [{\"CDFILIAL\": \"0001\", "
                                "\"NRSOLISERV\": \"0000001098\"}]}]}");
    dm = openDataModule();
    const struct {
        const char *group, *text;
    } cases[] = {{"0000000008", "Não há solicitações cadastradas para este grupo."},
                 {"0000000009", "Não há arquivos a serem gerados para este grupo."}};
    for (const auto &c : cases) {
        group(QString::fromLatin1(c.group));
        EXPECT_THROW(CopiaTrabalho(*dm).VD_before_Atu_SVN_Hom(), EAbort);
        EXPECT_EQ(ui.messages().last(), QString::fromUtf8(c.text));
    }
    EXPECT_TRUE(ui.logLines().isEmpty());
}

TEST_F(WorkingCopyTest, TheHomologatedCopyIsRefreshedAtMostOnceAnHour)
{
    const QDateTime noite(QDate(2026, 3, 9), QTime(23, 30));
    // First use: no state file.
    EXPECT_TRUE(CopiaTrabalho::boAtualiza_Copia_Homol(noite));
    EXPECT_FALSE(CopiaTrabalho::boAtualiza_Copia_Homol(noite.addSecs(20 * 60)));  // 23:50, same hour
    // Across midnight: the first validation of a new day refreshes.
    EXPECT_TRUE(CopiaTrabalho::boAtualiza_Copia_Homol(QDateTime(QDate(2026, 3, 10), QTime(0, 10))));
    // 10:59 stored: 11:58 is 99 "minutes" later by the hhmm count, 12:00 is 141.
    EXPECT_TRUE(CopiaTrabalho::boAtualiza_Copia_Homol(QDateTime(QDate(2026, 3, 10), QTime(10, 59))));
    EXPECT_FALSE(CopiaTrabalho::boAtualiza_Copia_Homol(QDateTime(QDate(2026, 3, 10), QTime(11, 58))));
    EXPECT_TRUE(CopiaTrabalho::boAtualiza_Copia_Homol(QDateTime(QDate(2026, 3, 10), QTime(12, 0))));
    // The state file is a dataset file that holds the time of the last refresh.
    EXPECT_TRUE(QString::fromUtf8(files::readBytes(CopiaTrabalho::arquivoDeEstado())).contains(QStringLiteral("10/03/2026 12:00")));
    // A state file that holds no date is due at once (it would never be due otherwise).
    Dataset vazio;
    vazio.setFields({FieldDef(QStringLiteral("DTULTIMOUPDATE"), FieldType::String, 16)});
    vazio.CreateDataSet();
    vazio.SaveToFile(CopiaTrabalho::arquivoDeEstado());
    EXPECT_TRUE(CopiaTrabalho::boAtualiza_Copia_Homol(QDateTime(QDate(2026, 3, 10), QTime(12, 1))));
}

TEST(SvnOutput, TodaysClientIsReadForTheSameValues)
{
    const QString info = QStringLiteral("Caminho: C:\\Desenv\\ERP\\a.txt\r\nNome: a.txt\r\nURL: file:///C:/Repos/x/a.txt\r\n"
                                        "Relative URL: ^/x/a.txt\r\nRaiz do Repositório: file:///C:/Repos\r\n"
                                        "Revisão: 123456\r\nTipo de Nó: arquivo\r\n");
    EXPECT_EQ(CopiaTrabalho::UrlDoInfo(info), QStringLiteral("file:///C:/Repos/x/a.txt"));
    EXPECT_EQ(CopiaTrabalho::RevisaoDoInfo(info), QStringLiteral("123456"));
    EXPECT_EQ(CopiaTrabalho::RevisaoDoInfo(QStringLiteral("svn: aviso: W155010: não encontrado")), QString());

    // Seven status columns, the out-of-date column, then the working revision (six digits
    // would put a wrong number at fixed characters 10 to 17). A folder's status names other
    // files whose paths hold this one's: the file's own line is taken.
    const QStringList status{QStringLiteral("svn status -u -v C:\\Homol\\ERP\\a.txt"),
                             QStringLiteral("        *   123456   123400 ana          C:\\Homol\\ERP\\a.txt"),
                             QStringLiteral("                 7        7 root         C:\\Homol\\ERP\\b.txt.bak"),
                             QStringLiteral("                 2        2 root         C:\\Homol\\ERP\\b.txt"),
                             QStringLiteral("Status contra revisão: 123457")};
    EXPECT_EQ(TransferenciaHomol::RevisaoNoStatus(status, QStringLiteral("c:\\homol\\erp\\A.TXT")), QStringLiteral("123456"));
    EXPECT_EQ(TransferenciaHomol::RevisaoNoStatus(status, QStringLiteral("C:\\Homol\\ERP\\b.txt")), QStringLiteral("2"));
    EXPECT_EQ(TransferenciaHomol::RevisaoNoStatus(status, QStringLiteral("C:\\Homol\\ERP\\c.txt")), QString());
}

// ====================================================================== tags

TEST(TagLocations, FromTheRepositoryUrlAndTheWorkingCopy)
{
    const struct {
        const char *url, *desenv, *tagloc;
    } cases[] = {
        // trunk and branches: the tags folder beside them
        {"file:///r/prod/trunk", "C:\\Desenv\\WEB\\Prod", "\"file:///r/prod/tags/WEB\\Prod/T/\""},
        {"file:///r/prod/branches/x", "C:\\Src\\web", "\"file:///r/prod/tags/web/T/\""},
        // both: the whole URL
        {"file:///r/trunk/branches/x", "C:\\WEB", "\"file:///r/trunk/branches/x/tags/WEB/T/\""},
        // no WEB: the working copy's last folder, never a Windows path in a URL
        {"file:///r/prod/trunk/", "C:\\Desenv\\ERP\\", "\"file:///r/prod/tags/ERP/T/\""},
    };
    for (const auto &c : cases) {
        const TagsSvn::Locais locais =
            TagsSvn::LocaisDaTag(QString::fromUtf8(c.url), QString::fromUtf8(c.desenv), QStringLiteral("T"));
        EXPECT_EQ(locais.tagloc, QString::fromUtf8(c.tagloc)) << c.url;
    }
    EXPECT_EQ(TagsSvn::LocaisDaTag(QStringLiteral("file:///r/p/trunk"), QStringLiteral("C:\\D\\ERP"), QStringLiteral("T")).base,
              QStringLiteral("\"file:///r/p/trunk/\""));
}

class TagTest : public DemoWorkspaceTest {};

TEST_F(TagTest, TagsGoBesideTrunkAndASecondTagFindsItsFolderMade)
{
    group(kGroup);
    QString local;
    TagsSvn tags(*dm);
    EXPECT_EQ(tags.Gera_Tag_SVN(QStringLiteral("TST_1_0000000001"), &local),
              QStringLiteral("\"file:///C:/Repos/Homol/ERP/tags/ERP/TST_1_0000000001/\""));
    EXPECT_EQ(local, QStringLiteral("\"file:///C:/Repos/Homol/ERP/tags/ERP/TST_1_0000000001/\""));
    // The second tag finds the folder made by the first.
    EXPECT_NO_THROW(tags.Gera_Tag_SVN(QStringLiteral("TST_2_0000000002")));
    EXPECT_EQ(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")),
              QStringLiteral("TST_1_0000000001/\nTST_2_0000000002/\n"));
    EXPECT_EQ(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP")), QStringLiteral("branches/\ntags/\ntrunk/\n"));
    EXPECT_TRUE(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP/TST_1_0000000001")).contains(QStringLiteral("SRV/")));

    tags.Deleta_SVN(local);
    EXPECT_EQ(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")), QStringLiteral("TST_2_0000000002/\n"));
    // Nothing to delete for an empty location: no command runs.
    ui.logLines();
    const int lines = ui.logLines().size();
    tags.Deleta_SVN(QString());
    EXPECT_EQ(ui.logLines().size(), lines);
}

TEST_F(TagTest, TagsOfABranchGoBesideTheBranches)
{
    svn(QStringLiteral("copy file:///C:/Repos/Homol/ERP/trunk file:///C:/Repos/Homol/ERP/branches/v1 -m ramo"));
    demo::Content content = workspace.content;
    content.products[0].locations[2] = QStringLiteral("file:///C:/Repos/Homol/ERP/branches/v1");
    importInto(workspace, demo::importDocument(content));
    group(kGroup);
    TagsSvn(*dm).Gera_Tag_SVN(QStringLiteral("HOM_1_0000000001"));
    EXPECT_TRUE(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP/HOM_1_0000000001")).contains(QStringLiteral("SRV/")));
}

TEST_F(TagTest, ARepositoryUrlWithoutTrunkOrBranchesStopsBeforeAnyCommand)
{
    demo::Content content = workspace.content;
    content.products[0].locations[2] = QStringLiteral("file:///C:/Repos/Homol/ERP");
    importInto(workspace, demo::importDocument(content));
    group(kGroup);
    QString local;
    EXPECT_THROW(TagsSvn(*dm).Gera_Tag_SVN(QStringLiteral("TST_1"), &local), EAbort);
    EXPECT_EQ(ui.messages().last(), QStringLiteral("O diretório do subversion cadastrado para o produto ERP Exemplo, é "
                                                   "inválido: file:///C:/Repos/Homol/ERP"));
    EXPECT_TRUE(local.isEmpty());
    EXPECT_TRUE(ui.logLines().isEmpty());
}

// A file that cannot be copied stops the transfer before any commit; the copy report is
// written all the same. A path with a blank reaches the compare tool as one argument, so
// its copy compares equal.
TEST_F(WorkingCopyTest, ACopyFailureCommitsNothing)
{
    const QString spaced = QString::fromLatin1(kDevRoot) + QStringLiteral("\\SRV\\Com Espaco.pas");
    const QString folder = QString::fromLatin1(kDevRoot) + QStringLiteral("\\SRV\\Pasta.pas");
    files::writeBytes(spaced, "unit ComEspaco;\r\n");
    files::forceDirectories(folder);
    group(kGroup);
    dm->GetLocations(dm->grupo(QStringLiteral("CDPRODUTO")));
    dm->CarregaPacote(dm->cdsArqModifAtu, QStringLiteral("GetVersArqModif"), {kGroup});
    Dataset &arquivos = *dm->cdsArqModifAtu;
    for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
        arquivos.Edit();
        arquivos.FieldByName(QStringLiteral("DIRETORIO")).setAsString(arquivos.FieldByName(QStringLiteral("DSDIRARQCHECKOU")).AsString());
        arquivos.Post();
    }
    for (const QString &path : {spaced, folder}) {
        arquivos.Append();
        arquivos.FieldByName(QStringLiteral("DSDIRARQCHECKOU")).setAsString(path);
        arquivos.FieldByName(QStringLiteral("DIRETORIO")).setAsString(path);
        arquivos.FieldByName(QStringLiteral("CDRELEASEARQATU")).setAsString(QStringLiteral("1"));
        arquivos.Post();
    }
    const QString before = headRevision(QString::fromLatin1(kHomUrl));

    EXPECT_THROW(TransferenciaHomol(*dm).Troca_Arquivos_Desenv_Homol(), EAbort);
    // The copy's own reason follows the product's text.
    EXPECT_TRUE(ui.messages().last().startsWith(
        QStringLiteral("Os seguintes arquivos apresentaram erros na tentativa de copiá-los para o diretório de "
                       "homologados:\r\n")
        + folder + QStringLiteral(" - não foi possivel copiar o arquivo")))
        << ui.messages().last().toStdString();
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)), before);
    const QStringList report =
        files::readLines(TransferenciaHomol::arquivoDeRelatorio(kGroup, QStringLiteral("Correções de cadastro")));
    EXPECT_EQ(report.size(), 7) << report.join(u'\n').toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("C:\\Homol\\ERP\\SRV\\Com Espaco.pas")));

    // The retry without the faulty file: the file that the refused attempt copied but never
    // added is taken as new.
    arquivos.Last();
    arquivos.Delete();
    TransferenciaHomol(*dm).Atualiza_SVN_Homologados();
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)).toInt(), before.toInt() + kFilesOfThePendingGroup + 1);
    const packet::Packet versions = packetOf(QStringLiteral("getVersArqFonteHom"), {kGroup});
    const int novo = rowWhere(versions, QStringLiteral("DSARQSVNHOMOL"), QStringLiteral("C:\\Homol\\ERP\\SRV\\Com Espaco.pas"));
    ASSERT_GE(novo, 0);
    EXPECT_EQ(versions.rows[novo][versions.fieldIndex(QStringLiteral("NRREVANTARQSVN"))].toString(), QStringLiteral("0"));
}

// The transfer broken at its second commit (a client that fails with a message no phrase
// knows, one that dies, one killed in the middle of the commit with the working copy
// locked): nothing reports success, and a plain rerun with the real client ends the
// transfer with one revision per file, no commit made twice, the first previous revisions
// kept.
struct Interrupcao {
    const char *what;
    const char *act;
    const char *slowHook;  // the hook that takes its time, so the client dies inside the commit
    int committed;         // the commits that reached the repository
};

void PrintTo(const Interrupcao &caso, std::ostream *os) { *os << caso.what; }

class InterruptedTransferTest : public WorkingCopyTest, public ::testing::WithParamInterface<Interrupcao> {};

TEST_P(InterruptedTransferTest, APlainRerunFinishesIt)
{
    const Interrupcao &caso = GetParam();
    const QString before = headRevision(QString::fromLatin1(kHomUrl));
    const QString hook = QStringLiteral("C:\\Repos\\Homol\\hooks\\") + QString::fromLatin1(caso.slowHook);
    if (*caso.slowHook) {
        files::writeBytes(hook, "#!/bin/sh\nsleep 3\n");
        QFile::setPermissions(files::nativePath(hook), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    {
        SvnQueFalha falha("commit", 2, caso.act);
        EXPECT_THROW(transfer(), EAbort);
    }
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)).toInt(), before.toInt() + caso.committed);
    files::deleteFile(hook);

    dm = openDataModule();
    ui.clear();
    transfer();
    EXPECT_EQ(headRevision(QString::fromLatin1(kHomUrl)).toInt(), before.toInt() + kFilesOfThePendingGroup);
    if (*caso.slowHook) {
        EXPECT_TRUE(ui.logLines().join(u'\n').contains(QStringLiteral("estava travada por uma execução interrompida")));
    }
    const packet::Packet versions = packetOf(QStringLiteral("getVersArqFonteHom"), {kGroup});
    ASSERT_EQ(versions.rows.size(), kFilesOfThePendingGroup);
    for (const packet::Row &row : versions.rows) {
        const int anterior = row[versions.fieldIndex(QStringLiteral("NRREVANTARQSVN"))].toString().toInt();
        EXPECT_GT(anterior, 0);
        EXPECT_LE(anterior, before.toInt());
        EXPECT_GT(row[versions.fieldIndex(QStringLiteral("NRREVATUARQSVN"))].toString().toInt(), before.toInt());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Repository, InterruptedTransferTest,
    ::testing::Values(Interrupcao{"fails", "echo 'svn: E165001: Commit blocked by pre-commit hook' >&2; exit 1", "", 1},
                      Interrupcao{"dies", "kill -9 $$", "", 1},
                      Interrupcao{"killed inside the commit",
                                  "/usr/bin/svn \"$@\" & sleep 1; kill -9 $!; kill -9 $$", "pre-commit", 1},
                      // The commit is in the repository, the copy never learnt of it.
                      Interrupcao{"killed after the commit reached the repository",
                                  "/usr/bin/svn \"$@\" & sleep 1; kill -9 $!; kill -9 $$", "post-commit", 2}),
    [](const ::testing::TestParamInfo<Interrupcao> &info) {
        return QString::fromLatin1(info.param.what).replace(u' ', u'_').toStdString();
    });

// A tag script that fails is no tag: the transition that makes it does not go on.
TEST_F(TagTest, AFailingTagScriptIsNotASuccess)
{
    group(kGroup);
    {
        SvnQueFalha falha("copy", 1, "echo 'svn: E160020: Path already exists' >&2; exit 1");
        EXPECT_THROW(TagsSvn(*dm).Gera_Tag_SVN(QStringLiteral("TST_1_0000000001")), EAbort);
    }
    demo::Content content = workspace.content;
    content.products[0].locations[2] = QStringLiteral("file:///C:/Repos/Nenhum/ERP/trunk");
    importInto(workspace, demo::importDocument(content));
    group(kGroup);
    EXPECT_THROW(TagsSvn(*dm).Gera_Tag_SVN(QStringLiteral("TST_2_0000000001")), EAbort);
}

// A tag of the name asked for is an earlier run's of the same operation: recognised, not made
// again. Tags of other runs, the same group's included, are never touched.
TEST_F(TagTest, ATagOfTheSameNameIsRecognisedAndOthersStay)
{
    group(kGroup);
    TagsSvn tags(*dm);
    tags.Gera_Tag_SVN(QStringLiteral("TST_1_0000000001"));
    tags.Gera_Tag_SVN(QStringLiteral("TST_1_0000000002"));
    tags.Gera_Tag_SVN(QStringLiteral("HOM_1_0000000001"));
    tags.Gera_Tag_SVN(QStringLiteral("TST_2_0000000001"));
    const QString revisions = svn(QStringLiteral("info --show-item revision file:///C:/Repos/Homol"));
    tags.Gera_Tag_SVN(QStringLiteral("TST_2_0000000001"));
    EXPECT_EQ(svn(QStringLiteral("info --show-item revision file:///C:/Repos/Homol")), revisions);
    EXPECT_EQ(svn(QStringLiteral("ls file:///C:/Repos/Homol/ERP/tags/ERP")),
              QStringLiteral("HOM_1_0000000001/\nTST_1_0000000001/\nTST_1_0000000002/\nTST_2_0000000001/\n"));
}

// On the demo taken along the road: group 3 is sent back by the homologation of group 4,
// group 1's patch generation stamps the report both groups release, and group 3 goes the
// road again. Homologated with its report's request returned with error, group 3's rollback
// leaves the report as group 3's last run found it, group 1's stamp included.
class RollbackRoadTest : public WorkingCopyTest {
protected:
    bool takesTheRoad() const override { return true; }
    int advance(const QString &code, bool sendBack = false)
    {
        QStringList arguments{QStringLiteral("advance"), code, QStringLiteral("--yes")};
        if (sendBack)
            arguments << QStringLiteral("--send-back");
        std::FILE *out = std::tmpfile();
        std::FILE *err = std::tmpfile();
        const int status = LinhaDeComando(*dm, out, err).executa(arguments);
        std::fclose(out);
        std::fclose(err);
        return status;
    }
};

TEST_F(RollbackRoadTest, TheRollbackRestoresWhatTheGroupsLastRunFound)
{
    const QString report = QString::fromLatin1(kHomUrl) + QStringLiteral("/REL/Vendas.qr2");
    verdict(QStringLiteral("0000001009"), QStringLiteral("sem-erro"));
    ASSERT_EQ(advance(QStringLiteral("0000000004"), true), 0) << ui.messages().join(u'|').toStdString();
    ASSERT_EQ(phaseOnServer(QStringLiteral("0000000003")), QStringLiteral("001"));
    const QString before = svn(QStringLiteral("cat ") + report);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(advance(QStringLiteral("0000000001")), 0) << ui.messages().join(u'|').toStdString();
    const QString found = svn(QStringLiteral("cat ") + report);
    ASSERT_NE(found, before) << "group 1's patch stamps the report";

    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(advance(QStringLiteral("0000000003")), 0) << i << ui.messages().join(u'|').toStdString();
    ASSERT_EQ(phaseOnServer(QStringLiteral("0000000003")), QStringLiteral("006"));
    verdict(QStringLiteral("0000001006"), QStringLiteral("com-erro"));
    verdict(QStringLiteral("0000001007"), QStringLiteral("sem-erro"));
    ASSERT_EQ(advance(QStringLiteral("0000000003"), true), 0) << ui.messages().join(u'|').toStdString();
    // Group 3's own stamp of this release is undone with the rest; group 1's stays.
    EXPECT_EQ(svn(QStringLiteral("cat ") + report), found);
}
