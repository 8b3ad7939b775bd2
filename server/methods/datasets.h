#pragma once

// The field lists of the client's datasets: every packet the server answers with has
// exactly the fields of the dataset that the caller loads it into, in that order.

#include "methods/dispatcher.h"

#include "host/packet.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantList>

namespace server {

class Database;

struct DatasetDef {
    QString name;
    QList<packet::Field> fields;
    QJsonArray fieldsJson;  // the "fields" part of a packet, built once
    QByteArray fieldsText;  // the same as JSON text

    int indexOf(const QString &field) const;  // case-insensitive; -1 when absent
};

namespace ds {
const DatasetDef &cdsGrupo();
const DatasetDef &cdsSoli();
const DatasetDef &cdsArq();
const DatasetDef &cdsArqLib();
const DatasetDef &cdsArqSoli();
const DatasetDef &cdsArqSoliAsp();  // also cdsArqSoliSetForms
const DatasetDef &cdsProd();
const DatasetDef &cdsSoliDisp();
const DatasetDef &cdsAgrupaSoli();
const DatasetDef &cdsVerifSoliGrupModel();
const DatasetDef &cdsVdSoli();
const DatasetDef &cdsItemTrabDesenv();
const DatasetDef &cdsVdJust();
const DatasetDef &cdsVDDepSoli();
const DatasetDef &cdsVDDepArq();
const DatasetDef &cdsArqModifAtu();
const DatasetDef &cdsVd_ReleaseArq();
const DatasetDef &cdsVerificaArquivos();
const DatasetDef &cdsVerificaProduto();
const DatasetDef &cdsVersArqFonteHom();
// The transition logs of a group (read by the command line's log).
const DatasetDef &cdsLogTram();
// The events of a group, oldest first (read by the homologation screen's timeline).
const DatasetDef &cdsEventosGrupo();
const DatasetDef &cdsSoliNaoGerada();
const DatasetDef &cdssolisemgerar();
const DatasetDef &cdsVdReleaseSoli();
const DatasetDef &cdsReleaseSoli();
const DatasetDef &cdsVerificaSolicitaGrupo();
const DatasetDef &cdsArquivos();
const DatasetDef &cdsDtUltTram();
const DatasetDef &cdsGeraReleaseMeta();
const DatasetDef &qryVerificaAssunto();
}  // namespace ds

// A packet of `def` from the rows of a query whose columns are the dataset's fields in
// order. Texts come back as stored, date-times as their text (null when empty), blobs as
// base64 of the stored text.
Json queryPacket(Database &db, const DatasetDef &def, const QString &sql, const QVariantList &values = {});
// A packet of `def` from rows already at hand (values in field order).
Json rowsPacket(const DatasetDef &def, const QList<QVariantList> &rows);

}  // namespace server
