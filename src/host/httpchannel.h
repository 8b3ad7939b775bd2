#pragma once

// The host's side of the HTTP exchange with the application server: one kept connection,
// plain or TLS, on which a call's request leaves in one send and its answer is read whole.
// It speaks only what the calls need: POST with a JSON body; answers framed by
// Content-Length, by chunks or by the end of the connection.

#include <QByteArray>
#include <QString>

#include <memory>

class HttpChannel {
public:
    enum class Failure {
        None,
        Connect,          // no connection could be made (refused, unknown host, time-out)
        Tls,              // the TLS handshake failed for another reason than the certificate
        TlsCertificates,  // the certificates to check the server's with could not be read
        TlsVerification,  // the server's certificate was refused (see verifyResult())
        Write,            // the request could not be sent whole
        Read,             // no whole answer: the connection ended or the time-out passed
    };

    struct Options {
        QString host;
        int port = 0;
        bool tls = false;
        QString caFile;           // empty: the system's certificates
        QByteArray token;         // sent as "Authorization: Bearer <token>" when not empty
        int connectTimeoutMs = 10'000;
        int timeoutMs = 60'000;   // the longest wait for the server to take or give bytes
    };

    struct Reply {
        int status = 0;
        QByteArray body;
    };

    explicit HttpChannel(const Options &options);
    ~HttpChannel();
    HttpChannel(const HttpChannel &) = delete;
    HttpChannel &operator=(const HttpChannel &) = delete;

    // One exchange. A kept connection that the server closed while it was idle is opened
    // again first; once the request has been sent, nothing is repeated.
    Failure post(const QByteArray &path, const QByteArray &body, Reply &reply);
    void close();

    // After TlsVerification: OpenSSL's verification result (X509_V_ERR_...).
    long verifyResult() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
