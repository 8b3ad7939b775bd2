// The transfer of a group from "Pendente" (working-copy update, the revisions found, the
// copy, compare and one commit per file) against the minimal shell script that does the
// same repository work (the calls the work needs, not the product's). Each side gets a demo
// workspace of its own whose group releases the same new files.
//
// HOMOLOGA_BENCH_SHORT=1 transfers 10 files instead of 200.

#include "methods/embedded.h"
#include "store/database.h"
#include "tools/import.h"

#include "datamodule/dmgrupsolihom.h"
#include "demo/demo.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/copiatrabalho.h"
#include "promotion/transferencia.h"
#include "transferworld.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace files = platform::files;

namespace {

const QString kHomUrl = QStringLiteral("file:///C:/Repos/Homol/ERP/trunk");

using namespace transferworld;

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
            if (committedFiles(count, kHomUrl) != count) {
                state.SkipWithError("the transfer did not commit every file");
                return;
            }
            server::closeEmbedded();

            prepareWorkspace(root.path() + QStringLiteral("/b"), count, &revision);
            scriptMs = runScript(root.path(), minimalScript(count, revision,
                                                            {QStringLiteral("file://") + files::nativePath(QStringLiteral("C:\\Repos")), {}, {}}));
            if (committedFiles(count, kHomUrl) != count) {
                state.SkipWithError("the script did not commit every file");
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
