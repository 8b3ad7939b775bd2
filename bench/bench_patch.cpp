// Patch generation of 300 programs with the compiler stand-in, against the same 300
// compiler calls made directly with the process layer, each made again right after the file
// that made it. The driver's own share (the run's time less the compilers' time) is reported
// as driver_pct and must stay under 10%: above it the full run fails. The short run of
// `make test`, a few files beside other tests on a shared machine, reports it only: its
// paths (every program built, one compiler call per file) are what it checks.
//
// The run is the file loop of the patch screen: the log lines of each file, the type,
// the generator (writable artefact, command line, build runner, generated list) and the
// progress step; the server calls around it are not part of it.

#include "patch/frmgpatch.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProgressBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kArquivos = 300;
constexpr double kMaxDriverPct = 10;

class Produto {
public:
    Produto()
    {
        platform::MountTable table;
        table.add("C:\\", m_dir.path());
        table.add("C:\\arquivos de programas\\borland\\delphi5", platform::toolsDir() + "/delphi5");
        platform::setMounts(table);
        platform::ensureTempMount();
        for (int i = 0; i < kArquivos; ++i) {
            const QString pasta = QStringLiteral("C:\\B\\CLI\\SRC\\P%1").arg(i, 3, 10, QLatin1Char('0'));
            platform::files::forceDirectories(pasta);
            platform::files::writeBytes(pasta + QStringLiteral("\\P%1.dpr").arg(i, 3, 10, QLatin1Char('0')),
                                        "program P;\r\nbegin\r\nend.\r\n");
            m_arquivos.append(pasta + QStringLiteral("\\P%1.dpr").arg(i, 3, 10, QLatin1Char('0')));
        }
        m_log = m_dir.filePath("standins.log");
    }
    const QStringList &arquivos() const { return m_arquivos; }
    const QString &log() const { return m_log; }

private:
    QTemporaryDir m_dir;
    QStringList m_arquivos;
    QString m_log;
};

Produto &produto()
{
    static Produto instancia;
    return instancia;
}

// The compiler calls exactly as the stand-in received them, as command lines.
QStringList ChamadasGravadas(const QString &log)
{
    QStringList linhas;
    QFile arquivo(log);
    if (!arquivo.open(QIODevice::ReadOnly))
        return linhas;
    const QString programa = platform::toolsDir() + "/delphi5/bin/dcc32.exe";
    for (const QByteArray &linha : arquivo.readAll().split('\n')) {
        const QJsonArray chamada = QJsonDocument::fromJson(linha).array();
        if (chamada.isEmpty())
            continue;
        QString comando = u'"' + programa + u'"';
        for (qsizetype i = 1; i < chamada.size(); ++i)
            comando += QStringLiteral(" \"") + chamada.at(i).toString() + u'"';
        linhas.append(comando);
    }
    return linhas;
}

// Runs `comando` as the process layer runs any child, reading what it prints.
void ChamaDireto(const QString &comando)
{
    platform::Process processo;
    processo.start(comando, platform::Process::Output::StdOutOnly);
    QString saida;
    while (!processo.waitForFinished(100))
        saida += processo.readAvailable();
    saida += processo.readAvailable();
    benchmark::DoNotOptimize(saida);
}

void BM_GeracaoDe300Programas(benchmark::State &state)
{
    Produto &p = produto();
    const QByteArray logDoDriver = p.log().toLocal8Bit(), logDireto = (p.log() + QStringLiteral(".direto")).toLocal8Bit();
    double driver = 0, compiladores = 0;
    for (auto _ : state) {
        QFile::remove(p.log());
        TfrmGPatch form;
        form.stDirBaseRep = "C:\\B\\";
        form.pgbProgresso->setRange(0, kArquivos + 1);
        QElapsedTimer relogio;
        double total = 0;
        qsizetype feitas = 0;
        // Each file's step, then at once the compiler call it made, made again directly: a
        // slower spell of the machine falls on both. Both sides write a new artefact (a new
        // file costs the file system more than a rewrite), and the stand-in records its calls
        // on both.
        for (const QString &arquivo : p.arquivos()) {
            qputenv("HOMOLOGA_STANDIN_LOG", logDoDriver);
            relogio.start();
            form.Loga(QString(92, u'='));
            form.Loga("Gerando " + arquivo + "...");
            form.Loga(QString(92, u'='));
            form.Loga(QString());
            form.GeraPorTipo(TfrmGPatch::GetPrefix(arquivo), arquivo);
            form.AvancaProgresso();
            total += double(relogio.nsecsElapsed()) / 1e6;
            const QStringList chamadas = ChamadasGravadas(p.log());
            if (form.stlResult.isEmpty() || chamadas.size() != feitas + 1)
                break;
            platform::files::deleteFile(form.stlResult.last());
            qputenv("HOMOLOGA_STANDIN_LOG", logDireto);
            relogio.start();
            ChamaDireto(chamadas.last());
            compiladores += double(relogio.nsecsElapsed()) / 1e6;
            feitas = chamadas.size();
        }
        qunsetenv("HOMOLOGA_STANDIN_LOG");
        if (form.inErros != 0 || form.stlResult.size() != kArquivos) {
            state.SkipWithError("the run did not build every program");
            break;
        }
        if (feitas != kArquivos) {
            state.SkipWithError("the compiler stand-in was not called once per file");
            break;
        }
        driver += total;
        state.SetIterationTime(total / 1000.0);
    }
    state.counters["arquivos"] = kArquivos;
    state.counters["run_ms"] = benchmark::Counter(driver, benchmark::Counter::kAvgIterations);
    state.counters["compilers_ms"] = benchmark::Counter(compiladores, benchmark::Counter::kAvgIterations);
    const double share = driver > 0 ? (driver - compiladores) * 100.0 / driver : 0;
    state.counters["driver_pct"] = share;
    if (share > kMaxDriverPct && qEnvironmentVariableIsEmpty("HOMOLOGA_BENCH_SHORT")) {
        const QByteArray why = QStringLiteral("the driver's share is %1%, above %2%").arg(share, 0, 'f', 1).arg(kMaxDriverPct).toUtf8();
        state.SkipWithError(why.constData());
    }
}
BENCHMARK(BM_GeracaoDe300Programas)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace
