// The independence test of the homologation over one whole group, as the homologation runs
// it: every request validated without error asks Soli_Independente, which reads the group's
// files to generate and groupings once from the in-process server and answers from the
// group's indexes. Two groups: 500 requests with 5,000 files and 1,000 with 10,000 (eight
// modified and two released files each, some shared by pairs and blocks of requests, and a
// grouping per block of ten); the second should cost about twice the first.
//
// Each run is checked against a plain scan of the group's lists that follows the rule as
// written (shared files and groupings whose requests must all be in "005" or "006"), and
// must have built the group's indexes exactly once.

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/settings.h"
#include "store/database.h"
#include "tools/import.h"
#include "workflow/homologacao.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <utility>

namespace {

// The short run of the tests (HOMOLOGA_BENCH_SHORT) uses 50 and 100 requests.
const bool kCurto = qEnvironmentVariableIsSet("HOMOLOGA_BENCH_SHORT");
const int kPequeno = kCurto ? 50 : 500;
const int kGrande = kCurto ? 100 : 1000;
const QString kGrupoPequeno = QStringLiteral("0000000001");
const QString kGrupoGrande = QStringLiteral("0000000002");

QString codigo(int numero) { return QStringLiteral("%1").arg(numero, 10, 10, QLatin1Char('0')); }

// Request r (1-based, across both groups) of a group: tested with error every 17th, not
// yet tested every 23rd, otherwise validated without error.
QString fase(int r)
{
    if (r % 17 == 0)
        return QStringLiteral("070");
    if (r % 23 == 0)
        return QStringLiteral("060");
    return QStringLiteral("080");
}

QByteArray documento()
{
    QByteArray json;
    json += R"({"operators": [{"CDOPERADOR": "0001", "NMOPERADOR": "Operador", "IDEDITAGRUPO": "S"}],
"products": [{"CDPRODUTO": "0000000001", "CDARVPROD": "P501", "NMPRODUTO": "Retaguarda", "release": "501023",
  "locations": ["", "C:\\Desenv\\P501", "file:///r/trunk", "C:\\Hom\\P501", "C:\\Pre\\", "C:\\Homol\\"]}],
"requests": [)";
    const int total = kPequeno + kGrande;
    for (int r = 1; r <= total; ++r) {
        const QByteArray n = codigo(r).toLatin1();
        const QByteArray r2 = QByteArray::number(r / 2), r5 = QByteArray::number(r / 5), r4 = QByteArray::number(r / 4);
        json += r > 1 ? ",\n" : "\n";
        json += R"({"CDFILIAL": "0001", "NRSOLISERV": ")" + n + R"(", "DSREFESOLI": "Solicitação", "CDPRODUTO": "0000000001", )"
            + R"("CDFASETRAM": ")" + fase(r).toLatin1() + R"(", "modifiedFiles": [)";
        for (int f = 0; f < 6; ++f)
            json += (f ? "," : "") + QByteArray(R"({"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\U)") + n + '_'
                + QByteArray::number(f) + R"(.pas"})";
        // Shared by pairs and by blocks of five, written in another case by every other request.
        json += R"(,{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Par)" + r2 + R"(.pas"})";
        json += QByteArray(R"(,{"DSDIRARQCHECKOU": ")") + (r % 2 ? "c:\\\\desenv\\\\p501\\\\srv\\\\bloco" : "C:\\\\Desenv\\\\P501\\\\Srv\\\\Bloco")
            + r5 + R"(.PAS"})";
        json += R"(], "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Srv\\P)" + n + R"(.dpr", "NRSEQPATCH": "001"},)";
        json += R"({"DSARQPATCH": "\\Desenv\\P501\\Srv\\G)" + r4 + R"(.dpk", "NRSEQPATCH": "002"}]})";
    }
    json += "],\n\"groupings\": [";
    for (int b = 0; b < total / 10; ++b) {
        json += b ? ",\n" : "\n";
        json += R"({"NRSEQAGRUPASOLI": ")" + codigo(b + 1).toLatin1() + R"(", "members": [)";
        for (int m = 0; m < 3; ++m)
            json += (m ? "," : "") + QByteArray(R"({"CDFILIAL": "0001", "NRSOLISERV": ")") + codigo(b * 10 + 1 + m * 3).toLatin1()
                + "\"}";
        json += "]}";
    }
    json += "],\n\"groups\": [";
    for (int g = 0; g < 2; ++g) {
        const int primeira = g == 0 ? 1 : kPequeno + 1;
        const int ultima = g == 0 ? kPequeno : kPequeno + kGrande;
        json += g ? ",\n" : "\n";
        json += R"({"CDGRUPHOMOL": ")" + (g == 0 ? kGrupoPequeno : kGrupoGrande).toLatin1()
            + R"(", "DSGRUPHOMOL": "Grupo", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "006", "CDRELEASEGHOM": "501023", "requests": [)";
        for (int r = primeira; r <= ultima; ++r)
            json += (r > primeira ? "," : "") + QByteArray(R"({"CDFILIAL": "0001", "NRSOLISERV": ")") + codigo(r).toLatin1() + "\"}";
        json += "]}";
    }
    json += "]}";
    return json;
}

struct Ambiente {
    QTemporaryDir dir;
    std::unique_ptr<TdmGrupSoliHom> dm;
    ScriptedHostUi ui;
};
Ambiente *ambiente = nullptr;

QString valor(const Dataset &dataset, int row, const char *campo)
{
    return Dataset::valueText(dataset.gridRow(row).value(dataset.fieldIndex(QLatin1StringView(campo))));
}

// The rule as written, by plain scans of the group's lists (no index): the requests of the
// group validated without error that are independent.
int independentesPorVarredura(TdmGrupSoliHom &dm, const QString &grupo)
{
    Dataset &soli = *dm.cdsSoli;
    QHash<QString, QString> status;
    for (int i = 0; i < soli.RecordCount(); ++i)
        status.insert(valor(soli, i, "NRSOLISERV"), valor(soli, i, "IDSTSOLIGRUP"));
    auto ok = [&](const QString &n) { return status.value(n) == u"005" || status.value(n) == u"006"; };

    dm.CarregaPacote(dm.cdsArqSoli, QStringLiteral("getArqSoli"), {grupo});
    dm.CarregaPacote(dm.cdsAgrupaSoli, QStringLiteral("getAgrupaSoli"), {grupo});
    // file (upper case) -> requests of its records, from each list.
    auto porArquivo = [](Dataset &lista, const char *campo) {
        QHash<QString, QStringList> mapa;
        for (int i = 0; i < lista.RecordCount(); ++i)
            mapa[valor(lista, i, campo).toUpper()].append(valor(lista, i, "NRSOLISERV"));
        return mapa;
    };
    const QHash<QString, QStringList> modificados = porArquivo(*dm.cdsArq, "DSDIRARQCHECKOU");
    const QHash<QString, QStringList> gerados = porArquivo(*dm.cdsArqSoli, "DSARQPATCH");
    const QHash<QString, QStringList> agrupamentos = porArquivo(*dm.cdsAgrupaSoli, "NRSEQAGRUPASOLI");

    int independentes = 0;
    for (int i = 0; i < soli.RecordCount(); ++i) {
        const QString n = valor(soli, i, "NRSOLISERV");
        if (status.value(n) != u"005")
            continue;
        bool livre = true;
        for (const auto *mapa : {&modificados, &gerados}) {
            for (auto it = mapa->cbegin(); livre && it != mapa->cend(); ++it) {
                if (it->size() >= 2 && it->contains(n))
                    livre = std::all_of(it->cbegin(), it->cend(), ok);
            }
        }
        for (auto it = agrupamentos.cbegin(); livre && it != agrupamentos.cend(); ++it) {
            if (it->contains(n))
                livre = std::all_of(it->cbegin(), it->cend(), ok);
        }
        independentes += livre ? 1 : 0;
    }
    return independentes;
}

void BM_Independencia(benchmark::State &state, const QString &grupo, int solicitacoes)
{
    TdmGrupSoliHom &dm = *ambiente->dm;
    if (!dm.LocalizaGrupo(grupo)) {
        state.SkipWithError("group not found");
        return;
    }
    dm.cdsGrupoAfterScroll();
    if (dm.cdsSoli->RecordCount() != solicitacoes || dm.cdsArq->RecordCount() != solicitacoes * 8) {
        state.SkipWithError("the group does not hold the requests and files it should");
        return;
    }
    const int esperado = independentesPorVarredura(dm, grupo);

    for (auto _ : state) {
        Homologacao homologacao(dm);
        int testadas = 0, independentes = 0;
        Dataset &soli = *dm.cdsSoli;
        for (int i = 0; i < soli.RecordCount(); ++i) {
            if (valor(soli, i, "IDSTSOLIGRUP") != u"005")
                continue;
            ++testadas;
            independentes += homologacao.Soli_Independente(grupo, valor(soli, i, "CDFILIAL"), valor(soli, i, "NRSOLISERV"));
        }
        if (homologacao.indicesMontados() != 1) {
            state.SkipWithError("the group's indexes were not built exactly once");
            return;
        }
        if (independentes != esperado) {
            state.SkipWithError("the indexed test disagrees with the plain scan");
            return;
        }
        state.counters["testadas"] = testadas;
        state.counters["independentes"] = independentes;
    }
    state.counters["arquivos"] = solicitacoes * 10;
}

// The two reads alone (the files to generate and the groupings of the group), to tell the
// server's share of the test from the indexes'.
void BM_Leituras(benchmark::State &state, const QString &grupo, int solicitacoes)
{
    TdmGrupSoliHom &dm = *ambiente->dm;
    for (auto _ : state) {
        dm.CarregaPacote(dm.cdsArqSoli, QStringLiteral("getArqSoli"), {grupo});
        dm.CarregaPacote(dm.cdsAgrupaSoli, QStringLiteral("getAgrupaSoli"), {grupo});
        if (dm.cdsArqSoli->RecordCount() != solicitacoes * 2) {
            state.SkipWithError("the group's files to generate were not read");
            return;
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    Ambiente env;
    ambiente = &env;
    platform::settings::setFilePath(env.dir.filePath(QStringLiteral("homologa.ini")));
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("server/database"), env.dir.filePath(QStringLiteral("homologa.db")));
        settings.setValue(QStringLiteral("host/operator"), QStringLiteral("0001"));
    }
    host::loadHostSettings();
    {
        server::Database db(server::DatabaseSpec::parse(env.dir.filePath(QStringLiteral("homologa.db"))));
        server::importDocument(db, documento());
    }
    HostUiScope scope(env.ui);
    env.dm = std::make_unique<TdmGrupSoliHom>();
    env.dm->GetInitialData();

    for (const auto &[grupo, solicitacoes] : {std::pair{kGrupoPequeno, kPequeno}, std::pair{kGrupoGrande, kGrande}}) {
        const std::string tamanho = std::to_string(solicitacoes) + "_solicitacoes_" + std::to_string(solicitacoes * 10) + "_arquivos";
        benchmark::RegisterBenchmark(("Independencia/" + tamanho).c_str(), BM_Independencia, grupo, solicitacoes)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Leituras/" + tamanho).c_str(), BM_Leituras, grupo, solicitacoes)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    env.dm.reset();
    return 0;
}
