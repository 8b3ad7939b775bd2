// The transfer of a group from "Pendente" (working-copy update, the revisions found, the
// copy, compare and one commit per file) against a plain shell script that runs the same
// svn and copy work. Each side gets a demo workspace of its own whose group releases the
// same new files; the transfer must cost no more than 1.2 times the script.
//
// HOMOLOGA_BENCH_SHORT=1 transfers 10 files instead of 200.

#include "database.h"
#include "embedded.h"
#include "import.h"

#include "datamodule/dmgrupsolihom.h"
#include "demo/demo.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/copiatrabalho.h"
#include "promotion/transferencia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace files = platform::files;

namespace {

const QString kDevRoot = QStringLiteral("C:\\Desenv\\ERP");
const QString kHomRoot = QStringLiteral("C:\\Homol\\ERP");
const QString kHomUrl = QStringLiteral("file:///C:/Repos/Homol/ERP/trunk");

int fileCount() { return qEnvironmentVariableIsSet("HOMOLOGA_BENCH_SHORT") ? 10 : 200; }

QString svn(const QString &arguments)
{
    int code = -1;
    const QString output = platform::Process::run(QStringLiteral("svn ") + arguments, &code, 600000);
    if (code != 0)
        throw std::runtime_error(output.toStdString());
    return output;
}

// A demo workspace whose group 0000000001 releases `count` new files of one commit.
demo::Workspace prepareWorkspace(const QString &root, int count, QString *revision)
{
    demo::Workspace workspace = demo::prepare(root, true, [](const demo::Workspace &built) {
        server::Database db(server::DatabaseSpec::parse(built.databaseFile));
        server::importDocument(db, demo::importDocument(built.content));
    });
    host::loadHostSettings();
    const QString folder = kDevRoot + QStringLiteral("\\SRV\\BENCH");
    files::forceDirectories(folder);
    QByteArray text;
    for (int line = 0; line < 60; ++line)
        text += "  Linha de exemplo do arquivo do benchmark de transferencia.\r\n";
    for (int i = 0; i < count; ++i)
        files::writeBytes(folder + QStringLiteral("\\F%1.pas").arg(i, 4, 10, QLatin1Char('0')), text);
    svn(QStringLiteral("add --parents ") + folder);
    svn(QStringLiteral("commit -m \"Arquivos do benchmark\" ") + kDevRoot);
    *revision = svn(QStringLiteral("info --show-item revision file:///C:/Repos/Desenv/ERP/trunk")).trimmed();

    QString modified;
    for (int i = 0; i < count; ++i)
        modified += QStringLiteral(R"(%1{"DSDIRARQCHECKOU": "C:\\Desenv\\ERP\\SRV\\BENCH\\F%2.pas", "CDRELEASEARQANT": "%3", "CDRELEASEARQATU": "%3"})")
                        .arg(i ? QStringLiteral(",") : QString())
                        .arg(i, 4, 10, QLatin1Char('0'))
                        .arg(*revision);
    const QByteArray document = QStringLiteral(R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "0000001001",
        "DSREFESOLI": "Benchmark", "CDPRODUTO": "0000000010", "CDFASETRAM": "030", "CDASSUNTO": "00054",
        "modifiedFiles": [%1]}]})").arg(modified).toUtf8();
    server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
    server::importDocument(db, document);
    return workspace;
}

// The same work as the transfer, written the plain way.
QString scriptOf(int count, const QString &revision)
{
    const QString devRoot = files::nativePath(kDevRoot);
    const QString homRoot = files::nativePath(kHomRoot);
    const QString url = QStringLiteral("file://") + files::nativePath(QStringLiteral("C:\\Repos\\Desenv\\ERP\\trunk"));
    QString script = QStringLiteral("set -e\nexport LC_ALL=pt_BR.UTF-8\nS=\"svn --non-interactive --no-auth-cache\"\n");
    script += QStringLiteral("dev=\"%1\"; hom=\"%2\"; n=%3; rev=%4; url=\"%5\"\n").arg(devRoot, homRoot).arg(count).arg(revision, url);
    script += QStringLiteral(R"(
files=$(seq -f "F%04g.pas" 0 $((n-1)))
for f in $files; do $S info "$dev/SRV/BENCH/$f" > /dev/null; done
$S update --force --ignore-externals --depth infinity --accept postpone "$dev/SRV/BENCH/" > /dev/null
for f in $files; do
  $S resolve -R --depth infinity --accept mine-full "$dev/SRV/BENCH/$f" > /dev/null
  $S resolved -R "$dev/SRV/BENCH/$f" > /dev/null 2>&1
  $S export -r"$rev" --force --ignore-externals --depth infinity "$url/SRV/BENCH/$f" "$dev/SRV/BENCH/$f" > /dev/null
done
$S update --force --ignore-externals --depth infinity --accept postpone "$hom" > /dev/null
for f in $files; do $S info "$dev/SRV/BENCH/$f" > /dev/null; done
$S mkdir --parents "$hom/SRV/BENCH" > /dev/null
$S commit -m"Grupo de solicitações: 0000000001" "$hom/SRV/BENCH" > /dev/null
for f in $files; do
  cp "$dev/SRV/BENCH/$f" "$hom/SRV/BENCH/$f"
  cmp -s "$dev/SRV/BENCH/$f" "$hom/SRV/BENCH/$f"
  $S add "$hom/SRV/BENCH/$f" > /dev/null
  $S commit -m"Grupo de homologação: 0000000001- Release: $rev" "$hom/SRV/BENCH/$f" > /dev/null
done
for f in $files; do $S status -u -v "$dev/SRV/BENCH/$f" > /dev/null; done
)");
    return script;
}

int committedFiles(int count)
{
    return svn(QStringLiteral("ls ") + kHomUrl + QStringLiteral("/SRV/BENCH")).count(QStringLiteral(".pas")) == count
        ? count
        : -1;
}

void BM_TransferAgainstAShellScript(benchmark::State &state)
{
    const int count = fileCount();
    ScriptedHostUi ui;
    ui.setHeadless(true);
    HostUiScope scope(ui);
    double transferMs = 0;
    double scriptMs = 0;
    for (auto _ : state) {
        QTemporaryDir root;
        QString revision;
        try {
            prepareWorkspace(root.path() + QStringLiteral("/a"), count, &revision);
            {
                TdmGrupSoliHom dm;
                dm.GetInitialData();
                dm.GetUserPass();
                dm.LocalizaGrupo(QStringLiteral("0000000001"));
                QElapsedTimer timer;
                timer.start();
                CopiaTrabalho copia(dm);
                copia.VD_before_Atu_SVN_Hom();
                copia.Vd_Arquivos_Atualizados_Desenv();
                TransferenciaHomol(dm).Atualiza_SVN_Homologados();
                transferMs = double(timer.nsecsElapsed()) / 1e6;
            }
            if (committedFiles(count) != count) {
                state.SkipWithError("the transfer did not commit every file");
                return;
            }
            server::closeEmbedded();

            prepareWorkspace(root.path() + QStringLiteral("/b"), count, &revision);
            const QString scriptFile = root.path() + QStringLiteral("/transfer.sh");
            QFile file(scriptFile);
            file.open(QIODevice::WriteOnly);
            file.write(scriptOf(count, revision).toUtf8());
            file.close();
            QElapsedTimer timer;
            timer.start();
            int code = -1;
            const QString output = platform::Process::run(QStringLiteral("bash ") + scriptFile, &code, 1800000);
            scriptMs = double(timer.nsecsElapsed()) / 1e6;
            if (code != 0 || committedFiles(count) != count) {
                state.SkipWithError(("the script failed: " + output).toStdString().c_str());
                return;
            }
            server::closeEmbedded();
        } catch (const std::exception &error) {
            state.SkipWithError(error.what());
            return;
        }
        state.SetIterationTime(transferMs / 1000);
    }
    state.counters["files"] = count;
    state.counters["transfer_ms"] = transferMs;
    state.counters["script_ms"] = scriptMs;
    state.counters["ratio"] = transferMs / scriptMs;
}
BENCHMARK(BM_TransferAgainstAShellScript)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
