// The dataset on 50,000 rows against a plain std::vector of texts holding the same data:
// every operation of the dataset should stay within a small factor of the plain scan.

#include "host/dataset.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// 50,000 rows; 5,000 in the short run that the tests make.
const int kRows = qEnvironmentVariableIsSet("HOMOLOGA_BENCH_SHORT") ? 5000 : 50000;
using packet::FieldType;

const QList<packet::Field> &fields()
{
    static const QList<packet::Field> list = {
        {"CDFILIAL", FieldType::String, 4},     {"NRSOLISERV", FieldType::String, 10},
        {"CDGRUPHOMOL", FieldType::String, 10}, {"IDSTSOLIGRUP", FieldType::String, 3},
        {"DSREFESOLI", FieldType::String, 60},  {"TXOBSOLIGER", FieldType::String, 250},
        {"NMOPERADOR", FieldType::String, 40},  {"IDHOMOLSOL", FieldType::String, 1},
        {"IDENCSOLPATCREG", FieldType::String, 1}, {"IDRETSOLERROPRO", FieldType::String, 1},
        {"CDFASETRAM", FieldType::String, 3},   {"CDASSUNTO", FieldType::String, 5}};
    return list;
}

const packet::Packet &generatedPacket()
{
    static const packet::Packet data = [] {
        packet::Packet p;
        p.fields = fields();
        p.rows.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            p.rows.append({QString("%1").arg(i % 7 + 1, 4, 10, QChar('0')), QString("%1").arg(i, 10, 10, QChar('0')),
                           QString("%1").arg(i / 10, 10, 10, QChar('0')), QString("%1").arg(i % 8, 3, 10, QChar('0')),
                           QString("Referência da solicitação %1").arg(i), QString("Observação geral %1").arg(i),
                           QString("Operador %1").arg(i % 50), QString(i % 3 == 0 ? "S" : "N"), QString("N"),
                           QString("N"), QString("00%1").arg(i % 9), QString("000%1").arg(i % 90, 2, 10, QChar('0'))});
        }
        return p;
    }();
    return data;
}

// Packets reach the dataset decoded from the server's JSON: rows allocated one after the other.
const packet::Packet &samplePacket()
{
    static const packet::Packet data =
        packet::Packet::fromJson(QJsonDocument::fromJson(QJsonDocument(generatedPacket().toJson()).toJson()).object());
    return data;
}

using PlainRows = std::vector<std::vector<QString>>;

const PlainRows &plainRows()
{
    static const PlainRows rows = [] {
        PlainRows out;
        out.reserve(kRows);
        for (const packet::Row &row : samplePacket().rows) {
            std::vector<QString> values;
            values.reserve(size_t(row.size()));
            for (const QVariant &value : row)
                values.push_back(value.toString());
            out.push_back(std::move(values));
        }
        return out;
    }();
    return rows;
}

void defineFields(Dataset &dataset)
{
    for (const packet::Field &field : fields())
        dataset.addField({field.name, field.type, field.size});
}

std::unique_ptr<Dataset> makeLoaded()
{
    auto dataset = std::make_unique<Dataset>();
    defineFields(*dataset);
    dataset->setData(samplePacket());
    return dataset;
}

const QString kLastKey = QString("%1").arg(kRows - 1, 10, 10, QChar('0'));

}  // namespace

// ---- loading a packet

static void BM_Dataset_LoadPacket(benchmark::State &state)
{
    Dataset dataset;
    defineFields(dataset);
    for (auto _ : state)
        dataset.setData(samplePacket());
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Dataset_LoadPacket)->Unit(benchmark::kMillisecond);

static void BM_Vector_LoadPacket(benchmark::State &state)
{
    for (auto _ : state) {
        PlainRows rows;
        rows.reserve(kRows);
        for (const packet::Row &row : samplePacket().rows) {
            std::vector<QString> values;
            values.reserve(size_t(row.size()));
            for (const QVariant &value : row)
                values.push_back(value.toString());
            rows.push_back(std::move(values));
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Vector_LoadPacket)->Unit(benchmark::kMillisecond);

static void BM_Dataset_LoadPacketFromJson(benchmark::State &state)
{
    const QByteArray json = QJsonDocument(samplePacket().toJson()).toJson(QJsonDocument::Compact);
    Dataset dataset;
    defineFields(dataset);
    for (auto _ : state)
        dataset.setData(packet::Packet::fromJson(QJsonDocument::fromJson(json).object()));
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Dataset_LoadPacketFromJson)->Unit(benchmark::kMillisecond);

// ---- locate (the last row: a whole scan)

static void BM_Dataset_Locate(benchmark::State &state)
{
    auto dataset = makeLoaded();
    for (auto _ : state) {
        dataset->First();
        benchmark::DoNotOptimize(dataset->Locate("NRSOLISERV", kLastKey));
    }
}
BENCHMARK(BM_Dataset_Locate)->Unit(benchmark::kMicrosecond);

static void BM_Dataset_LocateTwoKeysCaseInsensitive(benchmark::State &state)
{
    auto dataset = makeLoaded();
    const QVariantList keys{QString("%1").arg((kRows - 1) % 7 + 1, 4, 10, QChar('0')), kLastKey};
    for (auto _ : state) {
        dataset->First();
        benchmark::DoNotOptimize(dataset->Locate("CDFILIAL;NRSOLISERV", keys, loCaseInsensitive));
    }
}
BENCHMARK(BM_Dataset_LocateTwoKeysCaseInsensitive)->Unit(benchmark::kMicrosecond);

static void BM_Vector_Locate(benchmark::State &state)
{
    const PlainRows &rows = plainRows();
    for (auto _ : state) {
        size_t found = rows.size();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i][1] == kLastKey) {
                found = i;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_Vector_Locate)->Unit(benchmark::kMicrosecond);

// ---- a filter of two equalities

static void BM_Dataset_FilterTwoEqualities(benchmark::State &state)
{
    auto dataset = makeLoaded();
    bool flip = false;
    for (auto _ : state) {
        // Alternate between two texts so that every iteration really refilters.
        dataset->ApplyFilter(flip ? "IDSTSOLIGRUP = '003' AND IDHOMOLSOL = 'S'" : "IDSTSOLIGRUP = '005' AND IDHOMOLSOL = 'S'");
        flip = !flip;
        benchmark::DoNotOptimize(dataset->RecordCount());
    }
}
BENCHMARK(BM_Dataset_FilterTwoEqualities)->Unit(benchmark::kMicrosecond);

static void BM_Vector_FilterTwoEqualities(benchmark::State &state)
{
    const PlainRows &rows = plainRows();
    const QString status = "003", flag = "S";
    for (auto _ : state) {
        std::vector<int> view;
        view.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i][3] == status && rows[i][7] == flag)
                view.push_back(int(i));
        }
        benchmark::DoNotOptimize(view.data());
    }
}
BENCHMARK(BM_Vector_FilterTwoEqualities)->Unit(benchmark::kMicrosecond);

// ---- walking the rows, reading two fields of each

static void BM_Dataset_Walk(benchmark::State &state)
{
    auto dataset = makeLoaded();
    TField number = dataset->FieldByName("NRSOLISERV");
    TField status = dataset->FieldByName("IDSTSOLIGRUP");
    for (auto _ : state) {
        qsizetype total = 0;
        for (dataset->First(); !dataset->Eof(); dataset->Next())
            total += number.AsString().size() + status.AsString().size();
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Dataset_Walk)->Unit(benchmark::kMicrosecond);

static void BM_Dataset_WalkFieldByName(benchmark::State &state)
{
    auto dataset = makeLoaded();
    for (auto _ : state) {
        qsizetype total = 0;
        for (dataset->First(); !dataset->Eof(); dataset->Next())
            total += dataset->FieldByName("NRSOLISERV").AsString().size()
                   + dataset->FieldByName("IDSTSOLIGRUP").AsString().size();
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Dataset_WalkFieldByName)->Unit(benchmark::kMicrosecond);

static void BM_Vector_Walk(benchmark::State &state)
{
    const PlainRows &rows = plainRows();
    for (auto _ : state) {
        qsizetype total = 0;
        for (const auto &row : rows) {
            const QString number = row[1];
            const QString status = row[3];
            total += number.size() + status.size();
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Vector_Walk)->Unit(benchmark::kMicrosecond);

// ---- copying another dataset's data

static void BM_Dataset_Copy(benchmark::State &state)
{
    auto source = makeLoaded();
    Dataset target;
    defineFields(target);
    for (auto _ : state) {
        target.CopyFrom(*source);
        benchmark::DoNotOptimize(target.RecordCount());
    }
}
BENCHMARK(BM_Dataset_Copy)->Unit(benchmark::kMillisecond);

static void BM_Vector_Copy(benchmark::State &state)
{
    const PlainRows &rows = plainRows();
    for (auto _ : state) {
        PlainRows copy = rows;
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_Vector_Copy)->Unit(benchmark::kMillisecond);

// ---- a delta of 1,000 changes (edit and post each, then build the delta)

static void BM_Dataset_Delta1000(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto dataset = makeLoaded();
        TField flag = dataset->FieldByName("IDHOMOLSOL");
        state.ResumeTiming();
        dataset->First();
        for (int i = 0; i < 1000; ++i) {
            dataset->setRecNo(i * (kRows / 1000) + 1);
            dataset->Edit();
            flag.setAsString(flag.AsString() == "S" ? "N" : "S");
            dataset->Post();
        }
        const packet::Delta delta = dataset->Delta();
        benchmark::DoNotOptimize(delta.changes.size());
        state.PauseTiming();
        dataset.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Dataset_Delta1000)->Unit(benchmark::kMicrosecond);

static void BM_Vector_Delta1000(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        PlainRows rows = plainRows();
        state.ResumeTiming();
        std::vector<std::pair<std::vector<QString>, std::vector<QString>>> changes;
        for (int i = 0; i < 1000; ++i) {
            std::vector<QString> &row = rows[size_t(i * (kRows / 1000))];
            std::vector<QString> old = row;
            row[7] = row[7] == "S" ? "N" : "S";
            changes.emplace_back(std::move(old), row);
        }
        benchmark::DoNotOptimize(changes.data());
        state.PauseTiming();
        rows.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Vector_Delta1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
