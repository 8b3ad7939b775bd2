#pragma once

// The HTTP front of the dispatcher: POST /<module>/<method> with {"args": [...]} and the
// header "Authorization: Bearer <token>"; the answer is the dispatcher's JSON. Every
// failure of a request (wrong verb or path, missing or wrong token, oversized body,
// malformed JSON) gets an {"ok": false, "error": ...} answer and the server keeps serving.
//
// A call in the shape hosts send it (POST, HTTP/1.1, its body's size in Content-Length) is
// read and answered here directly, its answer in one send; every other request (the board's
// pages, chunked bodies, "Expect: 100-continue", HTTP/1.0...) is parsed and answered by
// cpp-httplib, and both judge a call by the same code. The connections themselves are kept
// here: one thread accepts them and waits, for all of them at once, until a whole request
// head has arrived (or a time-out or the connection cap closes them); only then does a
// worker of the pool take the connection, with a database connection of its own. So an
// idle, half-sent or slow connection never holds a worker, and a call is never queued
// behind another client's idle connection.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

namespace server {

struct DatabaseSpec;

struct FrontOptions {
    static constexpr qint64 kDefaultMaxBody = 16 * 1024 * 1024;

    int workers = 8;               // threads that run calls, each with its own database connection
    // Threads, each with its own database connection, that answer the board's pages and the
    // metrics, apart from the calls' workers; 0: a quarter of `workers`, at least one.
    int boardWorkers = 0;
    // The address of a reverse proxy whose X-Forwarded-For names the client (the limit on
    // wrong tokens is kept per client address); empty: none is trusted.
    QString trustedProxy;
    // Open connections, idle ones included; 0: the process's descriptor limit less what the
    // workers' database connections and the server itself need (connectionCap()).
    int maxConnections = 0;
    int readTimeoutMs = 10'000;    // a request's head and body must arrive within this
    int writeTimeoutMs = 10'000;   // an answer that the client does not take in this time is dropped
    int idleTimeoutMs = 30'000;    // a kept connection without a new request is closed after this
    qint64 maxBody = kDefaultMaxBody;
    QString tlsCertificate, tlsKey;  // both set: HTTPS
};

class HttpFront {
public:
    HttpFront(const DatabaseSpec &database, const QByteArray &token, const FrontOptions &options = {});
    ~HttpFront();
    HttpFront(const HttpFront &) = delete;
    HttpFront &operator=(const HttpFront &) = delete;

    // Listens on the address ("127.0.0.1", "0.0.0.0", "::1"...); port 0 picks a free one.
    // Returns the port, 0 on failure (see error()).
    quint16 listen(const QString &address, quint16 port);
    // Serves until stop(): run() in the calling thread, start() in a thread of its own.
    void run();
    void start();
    void stop();
    // Asks run() to end, as stop() does, without waiting for it: safe inside a signal handler.
    void requestStop();

    QString error() const;
    // Calls answered by the dispatcher over this front (every answer with status 200).
    qint64 callsServed() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// The connection cap for a descriptor limit and a number of workers.
int connectionCap(quint64 descriptorLimit, int workers);

// Bytes that connections which have not yet made an authorised call may hold in the server,
// all together: past it the oldest of them is closed. Each one's request head is also
// refused past 16 KiB, before more of it is read.
constexpr qint64 kUnauthenticatedBytes = 4 * 1024 * 1024;

// The JSON answer for a refused HTTP request.
QByteArray refusal(const QString &message);

}  // namespace server
