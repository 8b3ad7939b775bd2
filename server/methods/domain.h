#pragma once

// Reads and writes shared by the remote methods, the saves, the import and the
// administration commands.

#include "methods/datasets.h"
#include "methods/dispatcher.h"

#include "host/packet.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace server {

class Database;

struct RequestKey {
    QString filial;  // CDFILIAL
    QString numero;  // NRSOLISERV
    QString text() const { return filial + numero; }
    bool operator==(const RequestKey &) const = default;
};

// A request list: one item per line, CDFILIAL (4 characters) immediately followed by
// NRSOLISERV. Blank lines are skipped; a line too short to hold both is refused.
QList<RequestKey> parseRequestList(const QString &text);

struct GroupRow {
    QString code, name, product, release, phase;
};
std::optional<GroupRow> findGroup(Database &db, const QString &code);
GroupRow requireGroup(Database &db, const QString &code);

struct ProductRow {
    QString code, tree, name, branch, releaseMeta;
    QStringList locations;  // the six locations, in getLocations order
    QString baseFolder;     // DSDIRBASEVER
};
std::optional<ProductRow> findProduct(Database &db, const QString &code);
ProductRow requireProduct(Database &db, const QString &code);

struct RequestRow {
    RequestKey key;
    QString phase, product, release, responsible, subject;
};
std::optional<RequestRow> findRequest(Database &db, const RequestKey &key);
RequestRow requireRequest(Database &db, const RequestKey &key);
// Every request with that number, whatever its branch.
QList<RequestRow> requestsNumbered(Database &db, const QString &numero);

// Row locks taken before a check that a write relies on, so that two servers saving at
// the same instant are served one after the other and the second sees the first's work.
// Always in this order within one call: groups, then requests.
void lockGroup(Database &db, const QString &code);
void lockRequest(Database &db, const RequestKey &key);

// The group in progress (not "007") that holds the request, or an empty text.
QString openGroupOf(Database &db, const RequestKey &key);

// Moves a request to another workflow phase, records the change with its date in the
// history, and shows the new phase in the status of the request in its open group.
// An empty responsible keeps the current one. Locks the request first.
void changePhase(Database &db, const RequestKey &key, const QString &newPhase, const QString &operatorCode,
                 const QString &responsible, const QString &subject, const QString &description);

// The product's current release "VRRPPP" (its highest registered patch), or empty.
QString currentRelease(Database &db, const QString &product);

// Paths compare without regard to case and to the kind of separator.
QString pathKey(const QString &path);
// `path` with the prefix `from` (compared without regard to case) replaced by `to`;
// unchanged when it does not start with `from`.
QString swapRoot(const QString &path, const QString &from, const QString &to);

// A packet argument whose fields all belong to `def` and include `required`.
packet::Packet packetArgument(const Call &call, int index, const DatasetDef &def, const QStringList &required);
// A delta whose values are kept as the texts that travelled (empty for null): the server
// compares and stores texts, date-times included, so they are never turned into dates.
struct TextDelta {
    struct Change {
        packet::Change::Kind kind = packet::Change::Kind::Modify;
        QStringList oldValues, newValues;
    };
    QList<packet::Field> fields;
    QList<Change> changes;
};
TextDelta deltaArgument(const Call &call, int index, const DatasetDef &def, const QStringList &required);

// Value of `field` in a row of fields `fields`, as a text (empty when absent or null).
QString rowText(const QList<packet::Field> &fields, const packet::Row &row, const QString &field);

}  // namespace server
