// The pre-homologated copy of a group of 500 files of 100 KiB, 50 of them executables that
// replace previous versions (backed up, with zip archives of the previous and the new
// version), against a plain shell script that does the same work with cp and zip.
//
// Both run on a temporary folder mounted as C:\; the group's list comes from the server
// embedded in the process, on a temporary SQLite file. Before every iteration the tree is
// put back as it was: the previous versions in place, no backup area, no archives.

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/settings.h"
#include "promotion/prehomologados.h"
#include "store/database.h"
#include "tools/import.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace files = platform::files;

namespace {

constexpr int kFiles = 500;
constexpr int kExecutables = kFiles / 10;
constexpr int kSize = 100 * 1024;
const QString kGroup = QStringLiteral("0000000001");

// Answers nothing and shows nothing: the copy's own work is what is timed.
class SilentUi : public HostUi {
public:
    int showMessage(const QString &, DialogType, int) override { return mbOK; }
    void showDetailError(const QString &, const QString &) override {}
    void showBusy(const QString &) override {}
    void hideBusy() override {}
    bool headless() const override { return true; }
};

struct World {
    QTemporaryDir dir;
    QString root;  // native folder mounted as C:\ .
    std::unique_ptr<TdmGrupSoliHom> dm;
    QString script;  // the shell script of the same work
};
World *world = nullptr;

bool isExecutable(int i) { return i % 10 == 0; }
QString number(int i) { return QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')); }

// Native paths of the trees, relative to the mounted root.
QString sourceOf(int i)
{
    return isExecutable(i) ? QStringLiteral("Hom/B/Cli/Bin/P%1.exe").arg(number(i)) : QStringLiteral("Hom/B/Rel/R%1.qr2").arg(number(i));
}
QString targetOf(int i)
{
    return isExecutable(i) ? QStringLiteral("PreHom/B/Bin/Client/P%1.exe").arg(number(i))
                           : QStringLiteral("PreHom/B/Ftp/RelFtp/R%1.QR2").arg(number(i));
}
QString previousOf(int i) { return QStringLiteral("Previous/P%1.exe").arg(number(i)); }

QByteArray content(quint32 seed)
{
    QByteArray bytes(kSize, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    // Half random, half text-like: an executable compresses to about half.
    for (int i = 0; i < kSize; ++i)
        bytes[i] = char(i % 2 ? generator.bounded(256) : 'A' + i % 26);
    return bytes;
}

void writeNative(const QString &relative, const QByteArray &bytes)
{
    const QString path = world->root + u'/' + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QByteArray document()
{
    QByteArray json = R"({"operators": [{"CDOPERADOR": "0001", "NMOPERADOR": "Operador", "IDEDITAGRUPO": "S"}],
"products": [{"CDPRODUTO": "0000000001", "CDARVPROD": "P501", "NMPRODUTO": "Bench", "release": "501023",
  "locations": ["", "C:\\Desenv\\B", "file:///r/trunk", "C:\\Hom\\B", "C:\\PreHom\\B\\", "C:\\Homologados\\B\\"]}],
"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "1", "DSREFESOLI": "Grande", "CDPRODUTO": "0000000001", "releasedFiles": [)";
    for (int i = 0; i < kFiles; ++i) {
        const QString path = isExecutable(i) ? QStringLiteral("C:\\\\Desenv\\\\B\\\\Cli\\\\Src\\\\P%1\\\\P%1.dpr").arg(number(i))
                                             : QStringLiteral("C:\\\\Desenv\\\\B\\\\Rel\\\\R%1.qr2").arg(number(i));
        json += (i ? ",\n" : "\n") + QStringLiteral(R"({"DSARQPATCH": "%1", "NRSEQPATCH": "%2"})").arg(path, number(i)).toUtf8();
    }
    json += R"(]}],
"groups": [{"CDGRUPHOMOL": "0000000001", "DSGRUPHOMOL": "Grande", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "003",
  "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "1"}]}]})";
    return json;
}

// The tree as the group found it: the previous versions of the executables, nothing else.
void resetTree()
{
    QDir(world->root + QStringLiteral("/PreHom")).removeRecursively();
    for (int i = 0; i < kFiles; i += 10) {
        const QString target = world->root + u'/' + targetOf(i);
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(world->root + u'/' + previousOf(i), target);
    }
}

// What the copy has to leave: 50 backups with their archives, 50 new archives, 450 new
// files listed.
bool tookThePath(bool listed)
{
    // The backups are kept under their paths in the tree (Bin/Client/...).
    const QString area = world->root + QStringLiteral("/PreHom/B/Backup KMT/") + kGroup + QStringLiteral("/00010000000001/Bin/Client");
    const int backups = int(QDir(area).entryList({QStringLiteral("*.exe")}, QDir::Files).size());
    const int oldZips = int(QDir(area).entryList({QStringLiteral("*.zip")}, QDir::Files).size());
    const int newZips =
        int(QDir(world->root + QStringLiteral("/PreHom/B/Ftp/ExeFtp")).entryList({QStringLiteral("*.zip")}, QDir::Files).size());
    const int copied = int(QDir(world->root + QStringLiteral("/PreHom/B/Ftp/RelFtp")).entryList(QDir::Files).size());
    bool ok = backups == kExecutables && oldZips == kExecutables && newZips == kExecutables && copied == kFiles - kExecutables;
    if (listed) {
        const QString list = QStringLiteral("C:\\PreHom\\B\\Backup KMT\\") + kGroup + QStringLiteral("\\NovosArquivos.Txt");
        ok = ok && files::readLines(list).size() == kFiles - kExecutables;
    }
    return ok;
}

void PreHomologados_500Files(benchmark::State &state)
{
    PreHomologados copia(*world->dm);
    for (auto _ : state) {
        state.PauseTiming();
        resetTree();
        state.ResumeTiming();
        try {
            copia.Atualiza_Pre_Homologados();
        } catch (...) {
            state.SkipWithError("the copy failed");
            return;
        }
        state.PauseTiming();
        if (!tookThePath(true)) {
            state.SkipWithError("the copy did not back up, copy and zip every file");
            return;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * qint64(kFiles) * kSize);
}

void ShellScript_cp_zip_500Files(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        resetTree();
        state.ResumeTiming();
        QProcess shell;
        shell.setWorkingDirectory(world->root);
        shell.start(QStringLiteral("bash"), {QStringLiteral("-e"), QStringLiteral("-c"), world->script});
        if (!shell.waitForFinished(600000) || shell.exitCode() != 0) {
            state.SkipWithError(("the script failed: " + shell.readAllStandardError()).constData());
            return;
        }
        state.PauseTiming();
        if (!tookThePath(false)) {
            state.SkipWithError("the script did not back up, copy and zip every file");
            return;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * qint64(kFiles) * kSize);
}

// The same work as a plain script: back up and zip the previous executables, copy every
// file, zip the new executables (one archive per file, dates kept).
QString shellScript()
{
    const QString area = QStringLiteral("\"PreHom/B/Backup KMT/%1/00010000000001/Bin/Client\"").arg(kGroup);
    QStringList lines{QStringLiteral("mkdir -p %1 PreHom/B/Ftp/ExeFtp PreHom/B/Ftp/RelFtp PreHom/B/Bin/Client").arg(area)};
    for (int i = 0; i < kFiles; i += 10) {
        const QString name = QFileInfo(targetOf(i)).fileName();
        lines << QStringLiteral("cp -p %1 %2/%3").arg(targetOf(i), area, name);
        lines << QStringLiteral("zip -q -j %1/%2.zip %3").arg(area, name, targetOf(i));
    }
    for (int i = 0; i < kFiles; ++i) {
        lines << QStringLiteral("cp -p %1 %2").arg(sourceOf(i), targetOf(i));
        if (isExecutable(i))
            lines << QStringLiteral("zip -q -j PreHom/B/Ftp/ExeFtp/%1.zip %2").arg(QFileInfo(sourceOf(i)).fileName(), sourceOf(i));
    }
    return lines.join(u'\n');
}

}  // namespace

BENCHMARK(PreHomologados_500Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ShellScript_cp_zip_500Files)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty()) {
        std::fprintf(stderr, "bench_trees: the zip program is missing (tools/install-deps)\n");
        return 1;
    }
    World state;
    world = &state;
    state.root = state.dir.filePath(QStringLiteral("c"));
    QDir().mkpath(state.root);

    platform::settings::setFilePath(state.dir.filePath(QStringLiteral("homologa.ini")));
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("server/database"), state.dir.filePath(QStringLiteral("bench.db")));
        settings.setValue(QStringLiteral("host/operator"), QStringLiteral("0001"));
        settings.setValue(QStringLiteral("host/branch"), QStringLiteral("0001"));
    }
    host::loadHostSettings();
    platform::MountTable mounts = platform::mounts();
    mounts.add(QStringLiteral("C:\\"), state.root);
    platform::setMounts(mounts);
    platform::ensureTempMount();
    {
        server::Database database(server::DatabaseSpec::parse(state.dir.filePath(QStringLiteral("bench.db"))));
        server::importDocument(database, document());
    }

    for (int i = 0; i < kFiles; ++i)
        writeNative(sourceOf(i), content(quint32(i)));
    for (int i = 0; i < kFiles; i += 10)
        writeNative(previousOf(i), content(quint32(1000 + i)));
    state.script = shellScript();

    SilentUi ui;
    HostUiScope scope(ui);
    state.dm = std::make_unique<TdmGrupSoliHom>();
    state.dm->GetInitialData();
    if (!state.dm->LocalizaGrupo(kGroup)) {
        std::fprintf(stderr, "bench_trees: the group was not imported\n");
        return 1;
    }
    state.dm->GetLocations(state.dm->grupo(QStringLiteral("CDPRODUTO")));

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    state.dm.reset();
    return 0;
}
