#include "methods/datasets.h"

#include "store/database.h"

#include <QJsonDocument>
#include <QSqlQuery>

#include <initializer_list>

namespace server {

using packet::Field;
using packet::FieldType;

int DatasetDef::indexOf(const QString &field) const
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

static Field text(const char *name, int size) { return {QString::fromLatin1(name), FieldType::String, size}; }
static Field fixed(const char *name, int size) { return {QString::fromLatin1(name), FieldType::FixedString, size}; }
static Field dateTime(const char *name) { return {QString::fromLatin1(name), FieldType::DateTime, 0}; }
static Field blob(const char *name) { return {QString::fromLatin1(name), FieldType::Blob, 0}; }

static DatasetDef make(const char *name, std::initializer_list<Field> fields)
{
    DatasetDef def;
    def.name = QString::fromLatin1(name);
    def.fields = fields;
    packet::Packet empty;
    empty.fields = def.fields;
    def.fieldsJson = empty.toJson().value(QStringLiteral("fields")).toArray();
    def.fieldsText = QJsonDocument(def.fieldsJson).toJson(QJsonDocument::Compact);
    return def;
}

#define DATASET(function, ...)                                                                                         \
    const DatasetDef &function()                                                                                       \
    {                                                                                                                  \
        static const DatasetDef def = make(#function, {__VA_ARGS__});                                                  \
        return def;                                                                                                    \
    }

namespace ds {
DATASET(cdsGrupo, fixed("IDMARCADO", 1), text("CDARVPROD", 20), text("CDPRODUTO", 10), text("CDGRUPHOMOL", 10),
        text("DSGRUPHOMOL", 50), text("CDRELEASEGHOM", 10), text("IDSTGRUPHOM", 3), dateTime("DTCRIAGRHOM"),
        text("NMPRODUTO", 50), dateTime("DTULTATUGHOM"), dateTime("DTHRGERAGRUPSOL"), dateTime("DTHRHOMOGRUPSOL"))
DATASET(cdsSoli, text("NMOPERADOR", 40), text("MODELAGEM", 3), text("CDFASETRAM", 3), text("CDGRUPHOMOL", 10),
        text("CDFILIAL", 4), text("NRSOLISERV", 10), text("IDSTSOLIGRUP", 3), text("DSREFESOLI", 60),
        text("TXOBSOLIGER", 250), text("NRPRIOSOLI", 3), text("IDHOMOLSOL", 1), text("IDRETSOLERROPRO", 1),
        text("IDENCSOLPATCREG", 1), text("CDASSUNTO", 5))
DATASET(cdsArq, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSDIRARQCHECKOU", 250),
        text("CDRELEASEARQANT", 10), text("CDRELEASEARQATU", 10))
DATASET(cdsArqLib, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSARQPATCH", 250), text("CDVERPRODUTO", 10),
        text("CDRELVERPROD", 10), text("CDPATCHVERPR", 10), text("NRSEQPATCH", 3), text("IDARQESPECLIE", 1),
        text("DSDIRDESTHOM", 250))
DATASET(cdsArqSoli, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSARQPATCH", 250),
        text("DSDIRDSTARQESPCLI", 250), text("DSDIRDESTARQ", 250), text("IDARQESPECLIE", 1))
DATASET(cdsArqSoliAsp, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSARQPATCH", 250),
        text("DSDIRDESTARQ", 250))
DATASET(cdsProd, text("CDARVPROD", 20), text("NMPRODUTO", 50), text("CDPRODUTO", 10))
DATASET(cdsSoliDisp, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSREFESOLI", 60), text("TXOBSOLIGER", 250))
DATASET(cdsAgrupaSoli, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("NRSEQAGRUPASOLI", 10))
DATASET(cdsVerifSoliGrupModel, text("CDGRUPHOMOL", 10), text("NRSOLISERV", 4000))
DATASET(cdsVdSoli, text("CDFASETRAM", 3), text("CDGRUPHOMOL", 10), text("CDFILIAL", 4), text("NRSOLISERV", 10),
        text("DSREFESOLI", 60), text("TXOBSOLIGER", 250), text("DSGRUPHOMOL", 50))
DATASET(cdsItemTrabDesenv, text("NRSOLISERV", 10), text("CDFASETRAM", 3), text("DSREFESOLI", 60))
DATASET(cdsVdJust, text("CDFILIAL", 4), text("CDGRUPHOMOL", 10), text("NRSOLISERV", 10), text("CDOPERADOR", 12),
        blob("DSALTPROCHOMOL"))
DATASET(cdsVDDepSoli, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSREFESOLI", 60))
DATASET(cdsVDDepArq, text("DSDIRARQCHECKOU", 250))
DATASET(cdsArqModifAtu, text("DSDIRARQCHECKOU", 250), text("CDRELEASEARQANT", 10), text("CDRELEASEARQATU", 10),
        text("DIRETORIO", 250), text("URL", 250))
DATASET(cdsVd_ReleaseArq, text("GRUPOHOMOL", 24), text("NRSOLISERV", 10), text("NRTAREFA", 10),
        text("NRPLATIVTARE", 5), text("DSDIRARQCHECKOU", 250), text("HOMOLOG", 10), text("DESENV", 10))
DATASET(cdsVerificaArquivos, fixed("IDENTIFICA", 1), text("NRSOLISERV", 10))
DATASET(cdsVerificaProduto, text("DSDIRBASEVER", 250))
DATASET(cdsVersArqFonteHom, text("CDGRUPHOMOL", 10), text("DSARQSVNHOMOL", 250), text("NRREVANTARQSVN", 10),
        text("NRREVATUARQSVN", 10))
DATASET(cdsLogTram, text("CDGRUPHOMOL", 10), text("NRSEQLOG", 10), text("CDOPERADOR", 12), text("IDSTGRUPANT", 3),
        text("IDSTGRUPNOVO", 3), text("DTLOGTRAM", 19), text("TXLOGTRAM", 0))
DATASET(cdsEventosGrupo, text("DTEVENTO", 19), text("TPEVENTO", 30), text("NMOPERADOR", 40), text("NRSOLISERV", 10),
        text("DSANTES", 250), text("DSDEPOIS", 250), text("TXDETALHE", 0))
DATASET(cdsSoliNaoGerada, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSREFESOLI", 60))
DATASET(cdssolisemgerar, text("CDFILIAL", 4), text("NRSOLISERV", 10), text("DSARQPATCH", 250),
        text("CDVERPRODUTO", 10), text("CDRELVERPROD", 10), text("CDPATCHVERPR", 10), text("NRSEQPATCH", 3),
        text("IDARQESPECLIE", 1))
DATASET(cdsVdReleaseSoli, text("NRSOLISERV", 10), text("DSSTFASETRAM", 50), text("NMOPERADOR", 40),
        text("CDRELEASESOLI", 10))
DATASET(cdsReleaseSoli, text("NRSOLISERV", 10), text("CDRELEASESOLI", 10), text("CDARVPROD", 20))
DATASET(cdsVerificaSolicitaGrupo, text("NRSOLISERV", 10), text("CDGRUPHOMOL", 10))
DATASET(cdsArquivos, text("DSARQPATCH", 250), text("CDVERPRODUTO", 10), text("CDRELVERPROD", 10),
        text("CDPATCHVERPR", 10), text("CDFILIAL", 4), text("NRSOLISERV", 10), text("NRTAREFA", 10),
        text("NRPLATIVTARE", 5), text("NRSEQPATCH", 3), text("CDRELEASEMETA", 20), text("CDTIPOITTRAB", 2),
        text("CDPRODGRUP", 10))
DATASET(cdsDtUltTram, text("CDFILIAL", 4), text("NRSOLISERV", 10), dateTime("DTALFASETRAM"))
DATASET(cdsGeraReleaseMeta, text("IDGERRELEASEMETA", 1))
DATASET(qryVerificaAssunto, text("CDASSUNTO", 5))
}  // namespace ds

// Texts go out as stored (empty, never null); empty date-times and blobs as null.
static void appendValue(QByteArray &out, const QVariant &value, FieldType type)
{
    const bool empty = value.isNull() || !value.isValid();
    switch (type) {
    case FieldType::DateTime: {
        const QString text = empty ? QString() : value.toString();
        if (text.isEmpty())
            out.append("null", 4);
        else
            appendJsonString(out, text);
        break;
    }
    case FieldType::Blob:
        if (empty) {
            out.append("null", 4);
        } else {
            out.append('"');
            out.append(value.toString().toUtf8().toBase64());
            out.append('"');
        }
        break;
    default: appendJsonString(out, empty ? QString() : value.toString());
    }
}

static void beginPacket(QByteArray &out, const DatasetDef &def)
{
    out.append("{\"fields\":");
    out.append(def.fieldsText);
    out.append(",\"rows\":[");
}

Json queryPacket(Database &db, const DatasetDef &def, const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = db.exec(sql, values);
    QByteArray out;
    out.reserve(4096);
    beginPacket(out, def);
    const int width = int(def.fields.size());
    bool first = true;
    while (query.next()) {
        out.append(first ? "[" : ",[");
        first = false;
        for (int i = 0; i < width; ++i) {
            if (i)
                out.append(',');
            appendValue(out, query.value(i), def.fields[i].type);
        }
        out.append(']');
    }
    query.finish();
    out.append("]}");
    return Json::raw(out);
}

Json rowsPacket(const DatasetDef &def, const QList<QVariantList> &rows)
{
    QByteArray out;
    beginPacket(out, def);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        out.append(r ? ",[" : "[");
        for (qsizetype i = 0; i < def.fields.size(); ++i) {
            if (i)
                out.append(',');
            appendValue(out, rows[r].value(i), def.fields[i].type);
        }
        out.append(']');
    }
    out.append("]}");
    return Json::raw(out);
}

}  // namespace server
