#pragma once

// `homologa-server import FILE.json`: loads operators, subjects, products, requests (with
// their files, work items and dependencies), groupings and groups from one JSON document
// (layout in the README), in one transaction. An entry whose key exists replaces the
// stored one. Bad input is refused with the line and the field at fault; nothing is
// written then.

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace server {

class Database;

class ImportError : public std::runtime_error {
public:
    explicit ImportError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

struct ImportCounts {
    int operators = 0, subjects = 0, products = 0, requests = 0, modifiedFiles = 0, releasedFiles = 0, workItems = 0,
        groupings = 0, groups = 0;
    QString summary() const;
};

ImportCounts importDocument(Database &db, const QByteArray &json);

// The line (1-based) where the value at `path` starts in `json`, for example
// "requests[3].CDPRODUTO"; 0 when the path is not found.
int lineOfPath(const QByteArray &json, const QString &path);

}  // namespace server
