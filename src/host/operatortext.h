#pragma once

// What an error box shows the operator: the field names a server's message may hold
// (DSGRUPHOMOL) told by the titles the screen shows them under, and the text a library
// added after the Portuguese sentence ("(database is locked Unable to fetch row)") kept
// apart as the detail of the box.

#include <QHash>
#include <QString>

namespace host {

// The titles of the fields, by field name, that the open screen shows; empty clears them.
void setFieldTitles(const QHash<QString, QString> &titles);
// `text` with every field name of the titles (a whole word, in capitals) replaced by its title.
QString withFieldTitles(const QString &text);

struct OperatorMessage {
    QString sentence;  // what the box says
    QString detail;    // a library's own words, for the box's details; empty when none
};
// Takes out of the text every parenthesis that holds a library's words (English, no
// Portuguese letter) and gathers them as the detail; the sentences stay whole.
OperatorMessage splitTechnicalDetail(const QString &text);

}  // namespace host
