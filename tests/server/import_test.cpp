// The import: what it loads, and bad documents refused with the line and field at fault
// and nothing half loaded.

#include "serverenv.h"

#include "tools/import.h"

namespace {

class ServerImport : public ServerTest {
protected:
    QString importError(const QByteArray &json)
    {
        try {
            server::importDocument(db(), json);
        } catch (const server::ImportError &error) {
            return error.message();
        }
        ADD_FAILURE() << "the document was accepted";
        return {};
    }
    int count(const char *table) { return db().scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt(); }
};

TEST_F(ServerImport, LoadsEveryKindOfRecordAndReplacesOnReimport)
{
    const server::ImportCounts counts = server::importDocument(db(), kSampleDocument);
    EXPECT_EQ(counts.products, 3);
    EXPECT_EQ(counts.requests, 8);
    EXPECT_EQ(counts.modifiedFiles, 9);
    EXPECT_EQ(counts.releasedFiles, 8);
    EXPECT_EQ(counts.groupings, 1);
    EXPECT_EQ(count("OPERADOR"), 5);  // with the two responsibles of the workflow
    // Numbers are zero-filled the way the screen types them.
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT DSREFESOLI FROM SOLICITACAO WHERE NRSOLISERV = '0000000101'")).toString(),
              QStringLiteral("Corrige o cálculo"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT IDTIPOARQ FROM ARQPATCH WHERE NRSOLISERV = '0000000201'")).toString(), QStringLiteral("W"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT IDTIPOARQ FROM ARQPATCH WHERE NRSOLISERV = '0000000301'")).toString(), QStringLiteral("F"));

    // A second import of a request replaces it and its lists.
    server::importDocument(db(), R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "101", "CDPRODUTO": "0000000001",
        "DSREFESOLI": "Novo título", "modifiedFiles": []}],
        "groups": [{"CDGRUPHOMOL": "0000000007", "DSGRUPHOMOL": "Importado", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "002",
                    "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "101"}]}]})");
    EXPECT_EQ(count("SOLICITACAO"), 8);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ARQMODIF WHERE NRSOLISERV = '0000000101'")).toInt(), 0);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ARQPATCH WHERE NRSOLISERV = '0000000101'")).toInt(), 2);
    EXPECT_EQ(column(ok(QStringLiteral("GetSoli"), args({QStringLiteral("0000000007")})), QStringLiteral("DSREFESOLI")),
              QStringList{QStringLiteral("Novo título")});
}

TEST_F(ServerImport, BadDocumentsNameTheLineAndFieldAndLoadNothing)
{
    server::importDocument(db(), kSampleDocument);
    const int requests = count("SOLICITACAO");
    const QByteArray unknownField = R"({
  "requests": [
    {"CDFILIAL": "0001", "NRSOLISERV": "901", "CDPRODUTO": "0000000001"},
    {"CDFILIAL": "0001", "NRSOLISERV": "902", "CDPRODUTO": "0000000001",
     "SENHA": "x"}
  ]
})";
    EXPECT_EQ(importError(unknownField), QStringLiteral("linha 5, campo requests[1].SENHA: campo desconhecido"));
    EXPECT_EQ(count("SOLICITACAO"), requests);  // the first request was not kept either

    const QByteArray missingProduct = "{\"requests\": [\n{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"903\",\n \"CDPRODUTO\": \"0000000077\"}]}";
    EXPECT_EQ(importError(missingProduct),
              QStringLiteral("linha 3, campo requests[0].CDPRODUTO: o produto \"0000000077\" não está cadastrado"));
    const QByteArray badFile = R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "904", "CDPRODUTO": "0000000001",
      "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\A.pas", "CDRELEASEARQATU": "doze"}]}]})";
    EXPECT_TRUE(importError(badFile).startsWith(QStringLiteral("linha 2, campo requests[0].modifiedFiles[0].CDRELEASEARQATU")));
    const QByteArray tooLong = "{\"operators\": [{\"CDOPERADOR\": \"0123456789ABC\"}]}";
    EXPECT_TRUE(importError(tooLong).contains(QStringLiteral("o máximo é 12")));
    EXPECT_TRUE(importError("{\"requests\": [\n{\"CDFILIAL\": \"0001\",\n\"NRSOLISERV\": }]}")
                    .startsWith(QStringLiteral("linha 3: JSON inválido")));
    EXPECT_TRUE(importError("{\"tables\": []}").contains(QStringLiteral("seção desconhecida")));
    EXPECT_TRUE(importError(R"({"groups": [{"CDGRUPHOMOL": "12", "DSGRUPHOMOL": "G", "CDPRODUTO": "0000000001"}]})")
                    .contains(QStringLiteral("groups[0].CDGRUPHOMOL")));
    EXPECT_TRUE(importError(R"({"groupings": [{"NRSEQAGRUPASOLI": "9", "members": [{"CDFILIAL": "0001", "NRSOLISERV": "999"}]}]})")
                    .contains(QStringLiteral("groupings[0].members[0].NRSOLISERV")));
    EXPECT_EQ(count("SOLICITACAO"), requests);
    EXPECT_EQ(count("AGRUPASOLI"), 2);
}

TEST(ServerImportLines, LineOfAPathFollowsObjectsAndArrays)
{
    const QByteArray json = "{\n \"a\": [1,\n  {\"b\": \"x\\\"y\",\n   \"c\": [\n    true]}]\n}";
    EXPECT_EQ(server::lineOfPath(json, QStringLiteral("a")), 2);
    EXPECT_EQ(server::lineOfPath(json, QStringLiteral("a[1].b")), 3);
    EXPECT_EQ(server::lineOfPath(json, QStringLiteral("a[1].c[0]")), 5);
    EXPECT_EQ(server::lineOfPath(json, QStringLiteral("a[1].d")), 0);
}

}  // namespace
