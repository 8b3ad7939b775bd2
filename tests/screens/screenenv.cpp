#include "screenenv.h"

#include "methods/embedded.h"
#include "tools/import.h"

const QByteArray kScreenDocument = R"({
  "products": [
    {"CDPRODUTO": "0000000004", "CDARVPROD": "P601", "NMPRODUTO": "Gestão",
     "locations": ["https://svn/desenv/P601/trunk", "C:\\Desenv\\P601", "file:///C:/svn/hom/P601/trunk",
                   "C:\\Hom\\P601", "C:\\PreHom\\P601", "C:\\Homologados\\P601"]}
  ],
  "requests": [
    {"CDFILIAL": "0001", "NRSOLISERV": "107", "DSREFESOLI": "Tela do cliente ABC", "CDPRODUTO": "0000000001",
     "releasedFiles": [
       {"DSARQPATCH": "\\Desenv\\P501\\Cli\\Clientes\\ABC\\Tela2.dpr", "NRSEQPATCH": "001", "IDARQESPECLIE": "S"},
       {"DSARQPATCH": "\\Desenv\\P501\\web\\ajuda.htm", "NRSEQPATCH": "002", "kind": "web"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "108", "DSREFESOLI": "Ajuste de impostos", "CDPRODUTO": "0000000001",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Imposto.pas", "CDRELEASEARQANT": "3", "CDRELEASEARQATU": "4"}],
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Srv\\Imposto.dpr", "NRSEQPATCH": "001"}]}
  ],
  "groups": [
    {"CDGRUPHOMOL": "0000000001", "DSGRUPHOMOL": "Correções de março", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "001",
     "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "101"}, {"CDFILIAL": "0001", "NRSOLISERV": "102"},
                  {"CDFILIAL": "0001", "NRSOLISERV": "107"}]},
    {"CDGRUPHOMOL": "0000000002", "DSGRUPHOMOL": "Importação", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "003",
     "CDRELEASEGHOM": "501023", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "105"}]},
    {"CDGRUPHOMOL": "0000000003", "DSGRUPHOMOL": "Em teste", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "006",
     "CDRELEASEGHOM": "501023", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "106", "IDHOMOLSOL": "S"}]},
    {"CDGRUPHOMOL": "0000000004", "DSGRUPHOMOL": "Relatório bloqueado", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "006",
     "CDRELEASEGHOM": "501023", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "103"}]},
    {"CDGRUPHOMOL": "0000000005", "DSGRUPHOMOL": "Portal", "CDPRODUTO": "0000000002", "IDSTGRUPHOM": "006",
     "CDRELEASEGHOM": "150010", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "201"}]},
    {"CDGRUPHOMOL": "0000000006", "DSGRUPHOMOL": "Formulários", "CDPRODUTO": "0000000003", "IDSTGRUPHOM": "007",
     "CDRELEASEGHOM": "301002", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "301"}]},
    {"CDGRUPHOMOL": "0000000007", "DSGRUPHOMOL": "Impostos", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "006",
     "CDRELEASEGHOM": "501023", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "108"}]}
  ]
})";

TemporarySettings::TemporarySettings() : m_previousHost(host::hostSettings()) { host::loadHostSettings(); }

TemporarySettings::~TemporarySettings()
{
    server::closeEmbedded();
    host::hostSettings() = m_previousHost;
}

void TemporarySettings::set(const QString &key, const QVariant &value)
{
    m_file.set(key, value);
    host::loadHostSettings();
}

void ScreenTest::SetUp()
{
    ServerTest::SetUp();
    if (IsSkipped())
        return;
    importSample();
    server::importDocument(db(), kScreenDocument);
    settings = std::make_unique<TemporarySettings>();
    settings->set(QStringLiteral("server/database"), database().text());
    settings->set(QStringLiteral("host/operator"), QStringLiteral("0001"));
    settings->set(QStringLiteral("host/branch"), kBranch);
    settings->set(QStringLiteral("host/keep_connected"), false);
    m_uiScope = std::make_unique<HostUiScope>(ui);
}

void ScreenTest::TearDown()
{
    m_uiScope.reset();
    settings.reset();
    ServerTest::TearDown();
}

std::unique_ptr<TfrmGrupSoliHom> ScreenTest::openScreen()
{
    auto screen = std::make_unique<TfrmGrupSoliHom>();
    screen->resize(1280, 640);
    screen->Create();
    return screen;
}

void ScreenTest::serverDown()
{
    // A port nothing listens on.
    settings->set(QStringLiteral("host/server_host"), QStringLiteral("127.0.0.1"));
    settings->set(QStringLiteral("host/server_port"), 1);
}

void ScreenTest::serverUp()
{
    settings->set(QStringLiteral("host/server_host"), QString());
    settings->set(QStringLiteral("host/server_port"), 8090);
}

QStringList listed(Dataset &dataset, const QString &field)
{
    QStringList values;
    for (int row = 0; row < dataset.RecordCount(); ++row)
        values << Dataset::valueText(dataset.gridRow(row).value(dataset.fieldIndex(field)));
    return values;
}

void goToGroup(TfrmGrupSoliHom &screen, const QString &code)
{
    ASSERT_TRUE(screen.dm->cdsGrupo->Locate(QStringLiteral("CDGRUPHOMOL"), code)) << code.toStdString();
}

namespace {

// Every test of this program, also those that build the screen without a server of their
// own, runs on temporary settings: the embedded server never opens the user's database.
class IsolatedSettings : public ::testing::Environment {
public:
    void SetUp() override { m_settings = std::make_unique<TemporarySettings>(); }
    void TearDown() override { m_settings.reset(); }

private:
    std::unique_ptr<TemporarySettings> m_settings;
};

[[maybe_unused]] const ::testing::Environment *const kIsolatedSettings =
    ::testing::AddGlobalTestEnvironment(new IsolatedSettings);

}  // namespace
