// Resolution of logical paths and splitting of command lines: both run for every file
// and every command the module touches.

#include "platform/paths.h"
#include "platform/process.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

static void BM_ResolveExistingPath(benchmark::State &state)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/Hom/Srv/Fontes");
    platform::MountTable table;
    table.add("C:\\", dir.path());
    table.add("C:\\Windows\\Temp", QDir::tempPath());
    for (auto _ : state)
        benchmark::DoNotOptimize(table.toNative("C:\\HOM\\SRV\\FONTES\\Unit1.pas"));
    // The path must have been found in the folders' own case, not merely kept as written.
    if (!table.toNative("C:\\HOM\\SRV\\FONTES\\Unit1.pas").endsWith("/Hom/Srv/Fontes/Unit1.pas"))
        state.SkipWithError("the existing folders were not found");
}
BENCHMARK(BM_ResolveExistingPath);

static void BM_ResolveExistingPathInItsOwnCase(benchmark::State &state)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/Hom/Srv/Fontes");
    platform::MountTable table;
    table.add("C:\\", dir.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(table.toNative("C:\\Hom\\Srv\\Fontes"));
}
BENCHMARK(BM_ResolveExistingPathInItsOwnCase);

static void BM_SplitAndMapCommandLine(benchmark::State &state)
{
    platform::MountTable table;
    table.add("C:\\", "/nonexistent/c");
    const QString line = R"(dcc32.exe -B -Q "C:\B\cli\Projeto Um.dpr" -UC:\B\dcu;C:\B\lib -EC:\B\bin -foC:\B\res\versao.res)";
    for (auto _ : state) {
        const QStringList words = platform::cmdline::split(line);
        for (const QString &word : words)
            benchmark::DoNotOptimize(platform::cmdline::mapArgument(word, table));
    }
}
BENCHMARK(BM_SplitAndMapCommandLine);

BENCHMARK_MAIN();
