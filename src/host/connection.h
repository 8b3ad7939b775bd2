#pragma once

// The connection to the application server (the host's TNetConnection): remote methods of
// a data module called by name. Just before every connect the server's address is read
// from the settings ([host] server_host and server_port; server_tls or an "https://"
// address for HTTPS, checked against the system's certificates or [host] server_ca_file;
// [host] server_timeout, the seconds an answer may take). Without a server_host the server
// embedded in this process answers, on the database of [server] database (default:
// homologa.db in the user's data folder). Over HTTP the token of the file named by
// [server] token_file is sent with every call.
//
// Failures of the connection itself never throw (the host's connections run with
// ThrowException off): they come back as a failed answer, which CheckResultServ turns into
// the error box and the silent stop.

#include "host/packet.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>

// The answer of a remote method: {"ok": true, "data": ..., "out": [...]} or
// {"ok": false, "error": "..."}.
struct ServerAnswer {
    bool ok = false;
    QString error;
    QJsonValue data;
    QJsonArray out;

    static ServerAnswer fromJson(const QJsonObject &json);
    static ServerAnswer failed(const QString &error);
};

// One argument of a remote method: a text by value, a text variable by reference (written
// back from the answer), a dataset's data packet or its change log. It is kept as given:
// the call over HTTP writes its text, the call in process reads that text as its JSON value.
class RemoteArg {
public:
    RemoteArg(const QString &text) : m_text(text) {}
    RemoteArg(const char *text) : m_text(QString::fromUtf8(text)) {}
    RemoteArg(const packet::Packet &data) : m_packet(std::make_shared<packet::Packet>(data)) {}
    RemoteArg(const packet::Delta &delta) : m_delta(std::make_shared<packet::Delta>(delta)) {}
    static RemoteArg ref(QString &variable);

    QJsonValue json() const;
    void appendJson(QByteArray &out) const;
    QString *reference() const { return m_reference; }

private:
    RemoteArg() = default;
    QString m_text;
    QString *m_reference = nullptr;
    std::shared_ptr<const packet::Packet> m_packet;
    std::shared_ptr<const packet::Delta> m_delta;
};

class TNetConnection {
public:
    // `name` is the component name ("netGrupSoliHom") that keys the use-count list;
    // `serverName` the remote data module ("VOP42000.rdmGrupSoliHom").
    TNetConnection(const QString &name, const QString &serverName);
    ~TNetConnection();
    TNetConnection(const TNetConnection &) = delete;
    TNetConnection &operator=(const TNetConnection &) = delete;

    const QString &name() const;
    const QString &serverName() const;
    // Host and port in force: set from the settings by every open(); empty host = in process.
    QString host() const;
    int port() const;

    // Reads the host and port, then connects. False, with lastError(), when the server
    // cannot be reached.
    bool open();
    void close();
    bool connected() const;
    QString lastError() const;
    // How many times the connection was opened since it was created.
    int openCount() const;
    // The token of the operation that every call is made for while it is set: the server
    // refuses the writes of a run that no longer holds its groups.
    const QString &operation() const;
    void setOperation(const QString &token);

    // Calls a method of the data module, opening the connection when it is closed. Texts
    // passed by reference get the values the server wrote back. Never throws.
    ServerAnswer call(const QString &method, std::initializer_list<RemoteArg> args = {});
    ServerAnswer call(const QString &method, const QList<RemoteArg> &args);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Shared use of a connection, keyed by its name in the screen's use-count list (entries
// "name=count"). Connect: opens it when the count is 0, then counts one use more.
// Release: counts one use less, never below 0, and closes it when the count is then 0.
void ConnectServer(QStringList &useCounts, TNetConnection &connection, bool connect);
// The count of `name` in the list (0 when absent).
int ConnectionUses(const QStringList &useCounts, const QString &name);

namespace Consiste {
// The data part of a successful answer. A failed answer is shown in the host's error box;
// with `abort` true (as every caller passes) the operation then ends with the silent stop,
// otherwise an undefined value is returned. `context` is not used.
QJsonValue CheckResultServ(const ServerAnswer &answer, bool abort, int context);
// The same for one element of an array answer: an element that carries a failure
// ({"ok": false, ...}) is refused; any other element comes back as it is.
QJsonValue CheckResultServ(const QJsonValue &element, bool abort, int context);
}  // namespace Consiste

// The host database's query qryVerificaAssunto: the row of table ASSUNTO for the subject
// code P_CDASSUNTO when it is one of the subjects whose homologated requests move on with
// workflow subject "105"; no row otherwise. Answered by the same server (module Dbgeral).
// A failure stops the operation (CheckResultServ).
packet::Packet qryVerificaAssunto(const QString &P_CDASSUNTO);
