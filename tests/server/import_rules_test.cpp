// Every refusal of the import, one row per branch: the message names the line and the field
// at fault, and nothing of the document is loaded.

#include "serverenv.h"

#include "tools/import.h"

namespace {

using namespace Qt::StringLiterals;

class ServerImportRefusals : public SampleServerTest {
protected:
    int count(const char *table) { return db().scalar(u"SELECT COUNT(*) FROM %1"_s.arg(QLatin1String(table))).toInt(); }
};

struct Refusal {
    const char *document;
    const char *message;
};

// A request of the sample's product, with `extra` added to its fields.
#define REQUEST(extra) "{\"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"901\", \"CDPRODUTO\": \"0000000001\"" extra "}]}"
#define GROUP(extra) "{\"groups\": [{\"CDGRUPHOMOL\": \"0000000050\", \"DSGRUPHOMOL\": \"G\", \"CDPRODUTO\": \"0000000001\"" extra "}]}"
#define PRODUCT(extra) "{\"products\": [{\"CDPRODUTO\": \"0000000009\", \"CDARVPROD\": \"P9\"" extra "}]}"

const Refusal kRefusals[] = {
    // The document and its sections.
    {"[]", "linha 1: o documento deve ser um objeto com as seções operators, subjects, products, requests, groupings e groups"},
    {"{\n\"operators\": [,]}", "linha 2: JSON inválido: illegal value"},
    {"{\"tables\": []}",
     "linha 1, campo tables: seção desconhecida (aceitas: operators, subjects, products, requests, groupings, groups)"},
    {"{\"operators\": {}}", "linha 1, campo operators: esperada uma lista"},
    // Any record's fields.
    {"{\"operators\": [\"0001\"]}", "linha 1, campo operators[0]: esperado um objeto"},
    {"{\"operators\": [{\"CDOPERADOR\": 12}]}", "linha 1, campo operators[0].CDOPERADOR: esperado um texto"},
    {"{\"operators\": [{\"NMOPERADOR\": \"A\"}]}", "linha 1, campo operators[0].CDOPERADOR: campo obrigatório ausente ou vazio"},
    // A required field left out: the line of the record that lacks it.
    {"{\"operators\": [\n{\"CDOPERADOR\": \"A\"},\n\n {\"NMOPERADOR\": \"B\"}]}",
     "linha 4, campo operators[1].CDOPERADOR: campo obrigatório ausente ou vazio"},
    {"{\"operators\": [{\"CDOPERADOR\": \"  \"}]}", "linha 1, campo operators[0].CDOPERADOR: campo obrigatório ausente ou vazio"},
    {"{\"operators\": [{\"CDOPERADOR\": \"X\", \"SENHA\": \"x\"}]}", "linha 1, campo operators[0].SENHA: campo desconhecido"},
    {"{\"operators\": [{\"CDOPERADOR\": \"X\", \"IDEDITAGRUPO\": \"s\"}]}",
     "linha 1, campo operators[0].IDEDITAGRUPO: valor \"s\" inválido (aceitos: S, N)"},
    {"{\"subjects\": [{\"CDASSUNTO\": \"000100\"}]}", "linha 1, campo subjects[0].CDASSUNTO: texto com 6 caracteres; o máximo é 5"},
    // Products.
    {PRODUCT(", \"IDGERRELEASEMETA\": \"X\""), "linha 1, campo products[0].IDGERRELEASEMETA: valor \"X\" inválido (aceitos: S, N)"},
    {PRODUCT(", \"locations\": \"C:\""), "linha 1, campo products[0].locations: esperada uma lista"},
    {PRODUCT(", \"locations\": [\"\", \"\", \"\", \"\", \"\", \"\", \"\"]"), "linha 1, campo products[0].locations: no máximo 6 locais"},
    {PRODUCT(", \"locations\": [\"\", 5]"), "linha 1, campo products[0].locations[1]: esperado um texto"},
    {PRODUCT(", \"release\": \"50102\""), "linha 1, campo products[0].release: valor \"50102\" inválido (esperados dígitos)"},
    {PRODUCT(", \"release\": \"5010a3\""), "linha 1, campo products[0].release: valor \"5010a3\" inválido (esperados dígitos)"},
    // Requests.
    {"{\"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"901\", \"CDPRODUTO\": \"0000000077\"}]}",
     "linha 1, campo requests[0].CDPRODUTO: o produto \"0000000077\" não está cadastrado"},
    {REQUEST(", \"CDFASETRAM\": \"011\""),
     "linha 1, campo requests[0].CDFASETRAM: valor \"011\" inválido (aceitos: 010, 020, 030, 040, 050, 060, 070, 080, 090, 100)"},
    {REQUEST(", \"IDMODELHOMOL\": \"x\""), "linha 1, campo requests[0].IDMODELHOMOL: valor \"x\" inválido (aceitos: S, N)"},
    {REQUEST(", \"CDRELEASESOLI\": \"5010a3\""),
     "linha 1, campo requests[0].CDRELEASESOLI: valor \"5010a3\" inválido (esperados dígitos)"},
    {REQUEST(", \"CDRELEASESOLI\": \"50102\""), "linha 1, campo requests[0].CDRELEASESOLI: esperados 6 dígitos VRRPPP"},
    {REQUEST(", \"DTALFASETRAM\": \"2026-13-01T00:00:00\""),
     "linha 1, campo requests[0].DTALFASETRAM: data e hora \"2026-13-01T00:00:00\" inválida (formato aaaa-mm-ddThh:mm:ss)"},
    {REQUEST(", \"CDOPERRESP\": \"NINGUEM\""), "linha 1, campo requests[0].CDOPERRESP: o operador \"NINGUEM\" não está cadastrado"},
    {REQUEST(", \"modifiedFiles\": {}"), "linha 1, campo requests[0].modifiedFiles: esperada uma lista"},
    {REQUEST(", \"modifiedFiles\": [{\"DSDIRARQCHECKOU\": \"C:\\\\A.pas\", \"CDRELEASEARQANT\": \"1a\"}]"),
     "linha 1, campo requests[0].modifiedFiles[0].CDRELEASEARQANT: valor \"1a\" inválido (esperados dígitos)"},
    {REQUEST(", \"modifiedFiles\": [{\"DSDIRARQCHECKOU\": \"C:\\\\A.pas\"}, {\"DSDIRARQCHECKOU\": \"c:/a.PAS\"}]"),
     "linha 1, campo requests[0].modifiedFiles[1].DSDIRARQCHECKOU: arquivo repetido na solicitação"},
    {REQUEST(", \"releasedFiles\": [{\"DSARQPATCH\": \"\\\\A.dpr\", \"IDARQESPECLIE\": \"X\"}]"),
     "linha 1, campo requests[0].releasedFiles[0].IDARQESPECLIE: valor \"X\" inválido (aceitos: S, N)"},
    {REQUEST(", \"releasedFiles\": [{\"DSARQPATCH\": \"\\\\A.dpr\", \"NRSEQPATCH\": \"0a1\"}]"),
     "linha 1, campo requests[0].releasedFiles[0].NRSEQPATCH: valor \"0a1\" inválido (esperados dígitos)"},
    {REQUEST(", \"releasedFiles\": [{\"DSARQPATCH\": \"\\\\A.dpr\", \"kind\": \"exe\"}]"),
     "linha 1, campo requests[0].releasedFiles[0].kind: valor \"exe\" inválido (aceitos: compiled, web, form)"},
    {REQUEST(", \"releasedFiles\": [{\"DSARQPATCH\": \"\\\\A.dpr\"}, {\"DSARQPATCH\": \"/a.DPR\"}]"),
     "linha 1, campo requests[0].releasedFiles[1].DSARQPATCH: arquivo repetido na solicitação"},
    {REQUEST(", \"workItems\": [{\"NRTAREFA\": \"1\"}]"),
     "linha 1, campo requests[0].workItems[0].NRPLATIVTARE: campo obrigatório ausente ou vazio"},
    {REQUEST(", \"dependsOn\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"999\"}]"),
     "linha 1, campo requests[0].dependsOn[0].NRSOLISERV: a solicitação 0001/0000000999 não está cadastrada"},
    {REQUEST(", \"dependsOn\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"0000000901\"}]"),
     "linha 1, campo requests[0].dependsOn[0].NRSOLISERV: uma solicitação não depende de si mesma"},
    // Groupings.
    {"{\"groupings\": [{\"NRSEQAGRUPASOLI\": \"9\", \"members\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"999\"}]}]}",
     "linha 1, campo groupings[0].members[0].NRSOLISERV: a solicitação 0001/0000000999 não está cadastrada"},
    // Groups.
    {"{\"groups\": [{\"CDGRUPHOMOL\": \"12\", \"DSGRUPHOMOL\": \"G\", \"CDPRODUTO\": \"0000000001\"}]}",
     "linha 1, campo groups[0].CDGRUPHOMOL: valor \"12\" inválido (esperados dígitos)"},
    {"{\"groups\": [{\"CDGRUPHOMOL\": \"0000000050\", \"DSGRUPHOMOL\": \"G\", \"CDPRODUTO\": \"0000000077\"}]}",
     "linha 1, campo groups[0].CDPRODUTO: o produto \"0000000077\" não está cadastrado"},
    {GROUP(", \"IDSTGRUPHOM\": \"008\""),
     "linha 1, campo groups[0].IDSTGRUPHOM: valor \"008\" inválido (aceitos: 001, 002, 003, 004, 005, 006, 007)"},
    {GROUP(", \"CDRELEASEGHOM\": \"50a023\""), "linha 1, campo groups[0].CDRELEASEGHOM: valor \"50a023\" inválido (esperados dígitos)"},
    {GROUP(", \"CDRELEASEGHOM\": \"5010\""), "linha 1, campo groups[0].CDRELEASEGHOM: esperados 6 dígitos VRRPPP"},
    {GROUP(", \"DTHRGERAGRUPSOL\": \"ontem\""),
     "linha 1, campo groups[0].DTHRGERAGRUPSOL: data e hora \"ontem\" inválida (formato aaaa-mm-ddThh:mm:ss)"},
    {GROUP(", \"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"101\", \"IDHOMOLSOL\": \"X\"}]"),
     "linha 1, campo groups[0].requests[0].IDHOMOLSOL: valor \"X\" inválido (aceitos: S, N)"},
    {GROUP(", \"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"201\"}]"),
     "linha 1, campo groups[0].requests[0].NRSOLISERV: a solicitação é do produto 0000000002, não do produto do grupo"},
    {GROUP(", \"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"999\"}]"),
     "linha 1, campo groups[0].requests[0].NRSOLISERV: a solicitação 0001/0000000999 não está cadastrada"},
    {"{\"groups\": [{\"CDGRUPHOMOL\": \"0000000050\", \"DSGRUPHOMOL\": \"A\", \"CDPRODUTO\": \"0000000001\", \"requests\": "
     "[{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"101\"}]},\n{\"CDGRUPHOMOL\": \"0000000051\", \"DSGRUPHOMOL\": \"B\", "
     "\"CDPRODUTO\": \"0000000001\", \"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"101\"}]}]}",
     "linha 2, campo groups[1].requests[0].NRSOLISERV: a solicitação já está no grupo em andamento 0000000050"},
    {"{\"groups\": [{\"CDGRUPHOMOL\": \"0000000050\", \"DSGRUPHOMOL\": \"A\", \"CDPRODUTO\": \"0000000001\", \"requests\": "
     "[{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"101\"}]},\n{\"CDGRUPHOMOL\": \"0000000051\", \"DSGRUPHOMOL\": \"B\", "
     "\"CDPRODUTO\": \"0000000001\", \"IDSTGRUPHOM\": \"004\", \"requests\": [{\"CDFILIAL\": \"0001\", \"NRSOLISERV\": \"101\"}]}]}",
     "linha 2, campo groups[1].requests[0].NRSOLISERV: a solicitação já está no grupo em andamento 0000000050"},
};

TEST_F(ServerImportRefusals, EachRefusalNamesTheLineAndFieldAndLoadsNothing)
{
    const char *tables[] = {"OPERADOR", "ASSUNTO", "PRODUTO", "SOLICITACAO", "ARQMODIF", "ARQPATCH", "GRUPOHOMOL", "SOLIGRUPO",
                            "AGRUPASOLI", "DEPSOLI"};
    QList<int> counts;
    for (const char *table : tables)
        counts.append(count(table));
    for (const Refusal &row : kRefusals) {
        SCOPED_TRACE(row.document);
        // Each document first loads a record that must go when the refusal comes.
        const QByteArray document = QByteArray(row.document);
        try {
            server::importDocument(db(), document);
            ADD_FAILURE() << "accepted";
        } catch (const server::ImportError &error) {
            EXPECT_EQ(error.message().toStdString(), std::string(row.message));
        }
        for (int i = 0; i < counts.size(); ++i)
            EXPECT_EQ(count(tables[i]), counts[i]) << tables[i];
    }
    const QByteArray longLocation = "{\"products\": [{\"CDPRODUTO\": \"0000000009\", \"CDARVPROD\": \"P9\", \"locations\": [\""
        + QByteArray(251, 'x') + "\"]}]}";
    try {
        server::importDocument(db(), longLocation);
        ADD_FAILURE() << "a location of 251 characters was accepted";
    } catch (const server::ImportError &error) {
        EXPECT_EQ(error.message().toStdString(), "linha 1, campo products[0].locations[0]: texto com mais de 250 caracteres");
    }
    EXPECT_EQ(count("PRODUTO"), counts[2]);
}

// A closed group may hold a request that a group in progress holds too.
TEST_F(ServerImportRefusals, AClosedGroupMayShareARequestWithAnOpenOne)
{
    server::importDocument(db(), R"({"groups": [
 {"CDGRUPHOMOL": "0000000050", "DSGRUPHOMOL": "A", "CDPRODUTO": "0000000001", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "101"}]},
 {"CDGRUPHOMOL": "0000000051", "DSGRUPHOMOL": "B", "CDPRODUTO": "0000000001", "IDSTGRUPHOM": "007",
  "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "101"}]}]})");
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM SOLIGRUPO WHERE NRSOLISERV = '0000000101'"_s).toInt(), 2);
}

// The rows a refusal must not leave behind: records of earlier sections and earlier entries.
TEST_F(ServerImportRefusals, ARefusalLateInTheDocumentUndoesEverythingBeforeIt)
{
    const int operators = count("OPERADOR"), products = count("PRODUTO"), requests = count("SOLICITACAO");
    const QByteArray document = R"({"operators": [{"CDOPERADOR": "NOVO"}],
 "products": [{"CDPRODUTO": "0000000009", "CDARVPROD": "P9"}],
 "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "101", "CDPRODUTO": "0000000009"}],
 "groups": [{"CDGRUPHOMOL": "0000000050", "DSGRUPHOMOL": "G", "CDPRODUTO": "0000000009", "IDSTGRUPHOM": "9"}]})";
    EXPECT_THROW(server::importDocument(db(), document), server::ImportError);
    EXPECT_EQ(count("OPERADOR"), operators);
    EXPECT_EQ(count("PRODUTO"), products);
    EXPECT_EQ(count("SOLICITACAO"), requests);
    EXPECT_EQ(db().scalar(u"SELECT CDPRODUTO FROM SOLICITACAO WHERE NRSOLISERV = '0000000101'"_s).toString(), kProduct);
}

}  // namespace
