#include "workflowenv.h"

#include "tools/import.h"

const QByteArray kWorkflowDocument = R"({
  "requests": [
    {"CDFILIAL": "0001", "NRSOLISERV": "109", "DSREFESOLI": "Sem arquivos", "CDPRODUTO": "0000000001"},
    {"CDFILIAL": "0001", "NRSOLISERV": "111", "DSREFESOLI": "Novo servidor", "CDPRODUTO": "0000000001",
     "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Novo.dpr", "CDRELEASEARQANT": "1", "CDRELEASEARQATU": "2"},
                       {"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Srv\\Novo.pas", "CDRELEASEARQANT": "1", "CDRELEASEARQATU": "2"},
                       {"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Rel\\Extra.qr2", "CDRELEASEARQANT": "3", "CDRELEASEARQATU": "4"}],
     "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Srv\\Novo.dpr", "NRSEQPATCH": "001"},
                       {"DSARQPATCH": "\\Desenv\\P501\\Sql\\Novo.sql", "NRSEQPATCH": "002"}]},
    {"CDFILIAL": "0001", "NRSOLISERV": "120", "DSREFESOLI": "Patch novo", "CDPRODUTO": "0000000001", "CDRELEASESOLI": "501023"},
    {"CDFILIAL": "0001", "NRSOLISERV": "121", "DSREFESOLI": "Patch anterior", "CDPRODUTO": "0000000001",
     "CDRELEASESOLI": "501020", "CDOPERRESP": "DEV1"},
    {"CDFILIAL": "0001", "NRSOLISERV": "122", "DSREFESOLI": "Patch seguinte", "CDPRODUTO": "0000000001", "CDRELEASESOLI": "501025"},
    {"CDFILIAL": "0001", "NRSOLISERV": "123", "DSREFESOLI": "Outra release", "CDPRODUTO": "0000000001", "CDRELEASESOLI": "502010"},
    {"CDFILIAL": "0001", "NRSOLISERV": "124", "DSREFESOLI": "No mesmo grupo", "CDPRODUTO": "0000000001", "CDRELEASESOLI": "501020"},
    {"CDFILIAL": "0001", "NRSOLISERV": "125", "DSREFESOLI": "Sem release", "CDPRODUTO": "0000000001"}
  ],
  "groups": [
    {"CDGRUPHOMOL": "0000000008", "DSGRUPHOMOL": "Geração", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "002",
     "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "109"}, {"CDFILIAL": "0001", "NRSOLISERV": "111"}]},
    {"CDGRUPHOMOL": "0000000009", "DSGRUPHOMOL": "Sem release", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "006"},
    {"CDGRUPHOMOL": "0000000010", "DSGRUPHOMOL": "Release menor", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "001",
     "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "124"}]}
  ]
})";

void DataModuleTest::SetUp()
{
    ScreenTest::SetUp();
    if (IsSkipped())
        return;
    server::importDocument(db(), kWorkflowDocument);
}

std::unique_ptr<TdmGrupSoliHom> DataModuleTest::openDataModule()
{
    auto dm = std::make_unique<TdmGrupSoliHom>();
    dm->GetInitialData();
    return dm;
}

void DataModuleTest::mark(TdmGrupSoliHom &dm, const QString &code)
{
    ASSERT_TRUE(dm.LocalizaGrupo(code)) << code.toStdString();
    ASSERT_TRUE(dm.PodeMarcarGrupo(false)) << code.toStdString();
    dm.MarcaGrupo();
    ASSERT_EQ(dm.grupo(QStringLiteral("IDMARCADO")), QStringLiteral("S")) << code.toStdString();
}

void DataModuleTest::setStatus(const QString &numero, const QString &status)
{
    db().exec(QStringLiteral("UPDATE SOLIGRUPO SET IDSTSOLIGRUP = ? WHERE NRSOLISERV = ?"),
              {status, numero.rightJustified(10, u'0')});
}

bool DataModuleTest::busyShown(const QString &caption) const
{
    return std::any_of(ui.shown().begin(), ui.shown().end(), [&](const ScriptedHostUi::Shown &shown) {
        return shown.kind == ScriptedHostUi::Shown::Kind::Busy && shown.text == caption;
    });
}

QStringList markedGroups(TdmGrupSoliHom &dm)
{
    QStringList codes;
    Dataset &groups = *dm.cdsGrupo;
    for (int row = 0; row < groups.RecordCount(); ++row) {
        const RowView view(groups, groups.gridRow(row));
        if (view.AsString(QStringLiteral("IDMARCADO")) == u"S")
            codes << view.AsString(QStringLiteral("CDGRUPHOMOL"));
    }
    return codes;
}
