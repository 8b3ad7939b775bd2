#pragma once

// Dataset files in the XML data-packet layout:
//
//   <DATAPACKET Version="2.0">
//     <METADATA><FIELDS><FIELD attrname="NAME" fieldtype="string" WIDTH="16"/>...</FIELDS><PARAMS/></METADATA>
//     <ROWDATA><ROW NAME="value"/>...</ROWDATA>
//   </DATAPACKET>
//
// Field types: "string" (with SUBTYPE="FixedChar" for fixed texts), "dateTime"
// (yyyymmddThh:nn:sszzz), "bin.hex" with SUBTYPE="Binary" (base64). A missing attribute
// is an empty (null) value. Pending changes travel as the RowState attribute: 4 a new row,
// 1 the original of a changed row followed by 8 the changed row, 2 a deleted row.

#include <QByteArray>
#include <QString>

class Dataset;

namespace datasetfile {

QByteArray toXml(const Dataset &dataset);
// Replaces the dataset's rows; fields are taken from the file when the dataset has none,
// otherwise matched by name. Throws EHomologa for a malformed file.
void fromXml(Dataset &dataset, const QByteArray &xml, const QString &origin = {});

}  // namespace datasetfile
