// The command runner against running the same commands directly: a script of 50
// `svn info` lines through ExecCommands with the window hidden, and the same 50 command
// lines started one after the other with the process layer. The runner must cost no
// more than a few percent on top of the children themselves.

#include "runner/frmexeccommands.h"

#include "platform/paths.h"
#include "platform/process.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// 50 lines, each benchmark 3 times for at least 5 s; 5 lines once in the short run that
// the tests make.
const bool kCurto = qEnvironmentVariableIsSet("HOMOLOGA_BENCH_SHORT");
const int kLinhas = kCurto ? 5 : 50;

// A working copy of a fresh repository on a mounted C:\, made once for every benchmark.
class Repositorio {
public:
    Repositorio()
    {
        platform::MountTable table;
        table.add("C:\\", m_dir.path());
        platform::setMounts(table);
        platform::ensureTempMount();
        platform::Process::run("svnadmin create C:\\repo");
        platform::Process::run("svn checkout file:///C:/repo C:\\wc --non-interactive -q");
        for (int i = 0; i < kLinhas; ++i)
            m_linhas.append("svn info C:\\wc --non-interactive");
    }
    const QStringList &linhas() const { return m_linhas; }

private:
    QTemporaryDir m_dir;
    QStringList m_linhas;
};

const Repositorio &repositorio()
{
    static const Repositorio instancia;
    return instancia;
}

void BM_SvnInfoPeloExecutor(benchmark::State &state)
{
    const QString script = repositorio().linhas().join("\r\n");
    for (auto _ : state) {
        const QVariantList resultado = runner::ExecCommands("Benchmark", script, false).toList();
        if (!resultado.value(0).toBool())
            state.SkipWithError("the script failed");
        benchmark::DoNotOptimize(resultado);
    }
    state.counters["linhas"] = kLinhas;
}
BENCHMARK(BM_SvnInfoPeloExecutor)->Unit(benchmark::kMillisecond)->MinTime(kCurto ? 0.01 : 5)->Repetitions(kCurto ? 1 : 3)->UseRealTime();

void BM_SvnInfoDireto(benchmark::State &state)
{
    const QStringList linhas = repositorio().linhas();
    for (auto _ : state) {
        QString saida;
        for (const QString &linha : linhas) {
            platform::Process processo;
            processo.start(linha);
            while (!processo.waitForFinished(100))
                saida += processo.readAvailable();
            saida += processo.readAvailable();
        }
        benchmark::DoNotOptimize(saida);
        if (!saida.contains("URL"))
            state.SkipWithError("svn info printed no working copy information");
    }
    state.counters["linhas"] = kLinhas;
}
BENCHMARK(BM_SvnInfoDireto)->Unit(benchmark::kMillisecond)->MinTime(kCurto ? 0.01 : 5)->Repetitions(kCurto ? 1 : 3)->UseRealTime();

}  // namespace
