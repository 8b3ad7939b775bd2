#include "serverenv.h"

#include "tools/import.h"

#include <QRandomGenerator>

const QByteArray kSampleDocument = R"({
  "operators": [
    {"CDOPERADOR": "0001", "NMOPERADOR": "Ana Operadora", "IDEDITAGRUPO": "S"},
    {"CDOPERADOR": "0002", "NMOPERADOR": "Bruno Consulta", "IDEDITAGRUPO": "N"},
    {"CDOPERADOR": "DEV1", "NMOPERADOR": "Carla Desenvolvedora"}
  ],
  "subjects": [
    {"CDASSUNTO": "00010", "DSASSUNTO": "Correção"},
    {"CDASSUNTO": "00020", "DSASSUNTO": "Melhoria"}
  ],
  "products": [
    {"CDPRODUTO": "0000000001", "CDARVPROD": "P501", "NMPRODUTO": "Retaguarda", "release": "501023",
     "DSDIRBASEVER": "C:\\Hom\\P501",
     "locations": ["https://svn/desenv/P501/trunk", "C:\\Desenv\\P501", "file:///C:/svn/hom/P501/trunk",
                   "C:\\Hom\\P501", "C:\\PreHom\\P501\\", "C:\\Homologados\\P501\\"]},
    {"CDPRODUTO": "0000000002", "CDARVPROD": "P1501", "NMPRODUTO": "Portal", "IDGERRELEASEMETA": "S",
     "locations": ["", "C:\\Desenv\\P1501", "file:///C:/svn/hom/P1501/trunk", "C:\\Hom\\P1501", "C:\\PreHom\\P1501\\",
                   "C:\\Homologados\\P1501\\"]},
    {"CDPRODUTO": "0000000003", "CDARVPROD": "F301", "NMPRODUTO": "Formulários", "CDFILIAL": "0009"}
  ],
  "requests": [
    {"CDFILIAL": "0001", "NRSOLISERV": "101", "DSREFESOLI": "Corrige o cálculo", "TXOBSOLIGER": "Urgente",
     "CDPRODUTO": "0000000001", "CDASSUNTO": "00010", "CDOPERRESP": "DEV1",
     "modifiedFiles": [
       {"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Calc.pas", "CDRELEASEARQANT": "10", "CDRELEASEARQATU": "12",
        "NRTAREFA": "0000000011", "NRPLATIVTARE": "00001"},
       {"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Calc.dpr", "CDRELEASEARQANT": "5", "CDRELEASEARQATU": "12"}],
     "releasedFiles": [
       {"DSARQPATCH": "\\Desenv\\P501\\Srv\\Calc.dpr", "NRSEQPATCH": "001", "NRTAREFA": "0000000011", "NRPLATIVTARE": "00001"},
       {"DSARQPATCH": "\\Desenv\\P501\\Sql\\Calc.sql", "NRSEQPATCH": "002"}],
     "workItems": [{"NRTAREFA": "0000000011", "NRPLATIVTARE": "00001", "DSDIRATIV": "C:\\Ativ\\11\\"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000102", "DSREFESOLI": "Nova tela", "CDPRODUTO": "0000000001",
     "CDASSUNTO": "00020",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Cli\\Tela.pas", "CDRELEASEARQANT": "7", "CDRELEASEARQATU": "9"}],
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Cli\\Tela.dpr", "NRSEQPATCH": "001", "IDARQESPECLIE": "S"}],
     "workItems": [{"NRTAREFA": "0000000011", "NRPLATIVTARE": "00001"}],
     "dependsOn": [{"CDFILIAL": "0001", "NRSOLISERV": "101"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000103", "DSREFESOLI": "Relatório", "CDPRODUTO": "0000000001",
     "MODELAGEM": "S", "IDMODELHOMOL": "N",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Util.pas", "CDRELEASEARQANT": "4", "CDRELEASEARQATU": "6"},
                       {"DSDIRARQCHECKOU": "C:\\Outro\\P401\\R.qr2", "CDRELEASEARQANT": "1", "CDRELEASEARQATU": "2"}],
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Rel\\R.qr2", "CDVERPRODUTO": "4", "CDRELVERPROD": "01",
                        "CDPATCHVERPR": "002"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000104", "DSREFESOLI": "Em desenvolvimento", "CDPRODUTO": "0000000001",
     "CDFASETRAM": "010",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "c:\\desenv\\p501\\srv\\util.pas", "CDRELEASEARQANT": "2", "CDRELEASEARQATU": "3",
                        "NRTAREFA": "0000000014", "NRPLATIVTARE": "00002"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000105", "DSREFESOLI": "Importação", "CDPRODUTO": "0000000001",
     "CDRELEASESOLI": "501020", "CDASSUNTO": "00020",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Imp.pas", "CDRELEASEARQANT": "20", "CDRELEASEARQATU": "21"}],
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Srv\\Imp.dpk", "NRSEQPATCH": "003"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000106", "DSREFESOLI": "Outra", "CDPRODUTO": "0000000001",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Outro.pas", "CDRELEASEARQANT": "1", "CDRELEASEARQATU": "2"},
                       {"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Calc.pas", "CDRELEASEARQANT": "12", "CDRELEASEARQATU": "14"}],
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Srv\\Outro.dpr", "NRSEQPATCH": "001"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000201", "DSREFESOLI": "Página", "CDPRODUTO": "0000000002",
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P1501\\web\\index.php", "NRSEQPATCH": "001", "CDTIPOITTRAB": "72",
                        "CDRELEASEMETA": "000000000000012"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "0000000301", "DSREFESOLI": "Formulário", "CDPRODUTO": "0000000003",
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\F301\\forms\\a.frm", "NRSEQPATCH": "001"}]}
  ],
  "groupings": [
    {"NRSEQAGRUPASOLI": "0000000001", "members": [{"CDFILIAL": "0001", "NRSOLISERV": "101"},
                                                  {"CDFILIAL": "0001", "NRSOLISERV": "102"}]}
  ]
})";

bool testingPostgres() { return qEnvironmentVariable("HOMOLOGA_SERVER_ENGINE") == u"postgres"; }

TestDatabase::TestDatabase()
{
    if (testingPostgres()) {
        m_schema = QStringLiteral("t%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
        m_text = qEnvironmentVariable("HOMOLOGA_TEST_PG") + QStringLiteral(" schema=") + m_schema;
    } else {
        m_text = m_dir.filePath(QStringLiteral("homologa.db"));
    }
}

TestDatabase::~TestDatabase()
{
    if (m_schema.isEmpty())
        return;
    try {
        auto db = connect();
        db->ensureOpen();
        db->exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(m_schema));
    } catch (const server::ServerError &) {
    }
}

std::unique_ptr<server::Database> TestDatabase::connect() const
{
    return std::make_unique<server::Database>(server::DatabaseSpec::parse(m_text));
}

void ServerTest::SetUp()
{
    if (testingPostgres() && qEnvironmentVariableIsEmpty("HOMOLOGA_TEST_PG")) {
        if (qEnvironmentVariable("CI") == u"true")
            FAIL() << "PostgreSQL server tests did not run: HOMOLOGA_TEST_PG is not set (tools/start-postgres)";
        GTEST_SKIP() << "PostgreSQL is not available (HOMOLOGA_TEST_PG is not set)";
    }
    m_database = std::make_unique<TestDatabase>();
    m_db = m_database->connect();
    m_dispatcher = std::make_unique<server::Dispatcher>(*m_db);
}

void ServerTest::TearDown()
{
    m_dispatcher.reset();
    m_db.reset();
    m_database.reset();
}

QJsonObject ServerTest::answer(const QString &method, const QJsonArray &arguments, const QString &module)
{
    return answer(*m_dispatcher, method, arguments, module);
}

QJsonObject ServerTest::answer(server::Dispatcher &dispatcher, const QString &method, const QJsonArray &arguments,
                               const QString &module)
{
    return dispatcher.call(module, method, arguments);
}

QJsonValue ServerTest::ok(const QString &method, const QJsonArray &arguments, const QString &module)
{
    const QJsonObject result = answer(method, arguments, module);
    EXPECT_TRUE(result.value(QStringLiteral("ok")).toBool())
        << method.toStdString() << ": " << result.value(QStringLiteral("error")).toString().toStdString();
    return result.value(QStringLiteral("data"));
}

QString ServerTest::refused(const QString &method, const QJsonArray &arguments, const QString &module)
{
    const QJsonObject result = answer(method, arguments, module);
    EXPECT_FALSE(result.value(QStringLiteral("ok")).toBool()) << method.toStdString() << " was accepted";
    EXPECT_FALSE(result.contains(QStringLiteral("data")));
    return result.value(QStringLiteral("error")).toString();
}

void ServerTest::importSample() { server::importDocument(*m_db, kSampleDocument); }

void SampleServerTest::SetUp()
{
    ServerTest::SetUp();
    if (ready())
        importSample();
}

QString ServerTest::createGroup(const QString &name, const QString &product)
{
    const QJsonValue saved = ok(QStringLiteral("setGrupo"),
                                args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), name},
                                                                           {QStringLiteral("CDPRODUTO"), product},
                                                                           {QStringLiteral("IDSTGRUPHOM"), QStringLiteral("001")},
                                                                           {QStringLiteral("IDMARCADO"), QStringLiteral("N")}})
                                          .toJson()}));
    return saved.toArray().at(0).toString();
}

void ServerTest::addRequests(const QString &group, const QStringList &numbers)
{
    packet::Delta delta;
    delta.fields = server::ds::cdsSoli().fields;
    for (const QString &numero : numbers) {
        const packet::Delta one = insertDelta(server::ds::cdsSoli(), {{QStringLiteral("CDGRUPHOMOL"), group},
                                                                       {QStringLiteral("CDFILIAL"), kBranch},
                                                                       {QStringLiteral("NRSOLISERV"), numero},
                                                                       {QStringLiteral("IDSTSOLIGRUP"), QStringLiteral("001")}});
        delta.changes += one.changes;
    }
    ok(QStringLiteral("setSoli"), args({delta.toJson()}));
}

packet::Packet ServerTest::group(const QString &code) { return packetOf(ok(QStringLiteral("getGrupo"), args({code}))); }

void ServerTest::advance(const QString &code, const QMap<QString, QVariant> &alsoChange)
{
    const packet::Packet current = group(code);
    QMap<QString, QVariant> changes = alsoChange;
    changes.insert(QStringLiteral("IDSTGRUPHOM"),
                   QStringLiteral("%1").arg(valueAt(current, 0, QStringLiteral("IDSTGRUPHOM")).toInt() + 1, 3, 10, QLatin1Char('0')));
    ok(QStringLiteral("setGrupo"), args({modifyDelta(current, 0, changes).toJson()}));
}

packet::Packet packetOf(const QJsonValue &json) { return packet::Packet::fromJson(json.toObject()); }

QStringList column(const packet::Packet &packet, const QString &field)
{
    QStringList values;
    const int index = packet.fieldIndex(field);
    for (const packet::Row &row : packet.rows)
        values.append(index >= 0 ? row.value(index).toString() : QString());
    return values;
}

QStringList column(const QJsonValue &json, const QString &field) { return column(packetOf(json), field); }

QString valueAt(const packet::Packet &packet, int row, const QString &field)
{
    const int index = packet.fieldIndex(field);
    if (index < 0 || row < 0 || row >= packet.rows.size())
        return {};
    const QVariant value = packet.rows[row].value(index);
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    return value.toString();
}

int rowWhere(const packet::Packet &packet, const QString &field, const QString &value)
{
    return int(column(packet, field).indexOf(value));
}

packet::Delta insertDelta(const server::DatasetDef &def, const QMap<QString, QVariant> &values)
{
    packet::Delta delta;
    delta.fields = def.fields;
    packet::Change change;
    change.kind = packet::Change::Kind::Insert;
    for (const packet::Field &field : def.fields)
        change.newValues.append(values.value(field.name));
    delta.changes.append(change);
    return delta;
}

packet::Delta modifyDelta(const packet::Packet &rows, int row, const QMap<QString, QVariant> &changes)
{
    packet::Delta delta;
    delta.fields = rows.fields;
    packet::Change change;
    change.kind = packet::Change::Kind::Modify;
    change.oldValues = rows.rows.at(row);
    change.newValues = rows.rows.at(row);
    for (auto it = changes.begin(); it != changes.end(); ++it)
        change.newValues[rows.fieldIndex(it.key())] = it.value();
    delta.changes.append(change);
    return delta;
}

packet::Delta deleteDelta(const packet::Packet &rows, int row)
{
    packet::Delta delta;
    delta.fields = rows.fields;
    packet::Change change;
    change.kind = packet::Change::Kind::Delete;
    change.oldValues = rows.rows.at(row);
    delta.changes.append(change);
    return delta;
}

QJsonArray args(std::initializer_list<QJsonValue> values)
{
    QJsonArray array;
    for (const QJsonValue &value : values)
        array.append(value);
    return array;
}

QJsonArray insertInto(const QString &group, const QString &numero)
{
    return args({insertDelta(server::ds::cdsSoli(), {{QStringLiteral("CDGRUPHOMOL"), group},
                                                     {QStringLiteral("CDFILIAL"), kBranch},
                                                     {QStringLiteral("NRSOLISERV"), numero},
                                                     {QStringLiteral("IDSTSOLIGRUP"), QStringLiteral("001")}})
                     .toJson()});
}
