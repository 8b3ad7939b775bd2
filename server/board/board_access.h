#pragma once

// Who may read the server: the token as every door reads it (the Authorization header of a
// call or of a board page, the board's sign-in form), the limit on wrong tokens per client
// address, the client's address behind a trusted proxy, and the board's sessions.
//
// A sign-in starts a session: a random id that only the browser keeps (in a cookie); the
// server keeps its hash, with who signed in, from where, when, and when it was last used.
// A session ends when it is left unused for kSessionIdle, kSessionLifetime after it began,
// when its browser signs out, or when an administrator revokes it.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace server {

class Database;

// The credentials of "Authorization: Bearer <token>": the scheme in any case, one or more
// blanks, then the token; blanks around the value are not part of it. Nothing for another
// scheme, an empty token or a control byte anywhere.
std::optional<std::string_view> bearerToken(std::string_view headerValue);

// Equal texts, compared in a time that says nothing about how much of them matched.
bool sameSecret(std::string_view given, const QByteArray &expected);

// The client's address: the connection's peer, or, when the peer is the trusted proxy, the
// last address the proxy appended to X-Forwarded-For.
std::string clientAddress(const std::string &peer, std::string_view forwardedFor, const std::string &trustedProxy);

// Wrong tokens, per client address, whatever door they came through. The first
// kFreeFailures are answered at once; after each further one the address waits, twice as
// long each time (up to kLongestWait), before a token from it is tried again. A right token
// forgets the address's failures; so does an hour without any.
class AttemptLimit {
public:
    static constexpr int kFreeFailures = 5;
    static constexpr std::chrono::seconds kLongestWait{15 * 60};

    // Seconds to wait before a token from `address` is tried; 0: now.
    int waitFor(const std::string &address);
    void failed(const std::string &address);
    void succeeded(const std::string &address);

private:
    struct Entry {
        int failures = 0;
        std::chrono::steady_clock::time_point last, blockedUntil;
    };
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
    std::atomic<int> m_size{0};  // entries, read without the lock on the way of every call
};

constexpr std::chrono::minutes kSessionIdle{120};
constexpr std::chrono::hours kSessionLifetime{12};

struct SessionRow {
    QString id;  // the first 12 characters of the stored hash, as `sessions revoke` takes it
    QString operatorCode;  // empty: a board viewer
    QString address, created, lastUsed, expires;
};

// Starts a session and answers the id for the cookie (never stored as it is).
QByteArray startSession(Database &db, const QString &operatorCode, const QString &address);

enum class SessionState { Unknown, Expired, Valid };
// The session of a cookie's id; a valid one is marked used (at most once a minute).
SessionState useSession(Database &db, const QByteArray &id);
void endSession(Database &db, const QByteArray &id);

// Sessions not yet expired, newest first.
QList<SessionRow> listSessions(Database &db);
// Ends the sessions whose stored hash begins with `prefix` (at least 8 characters), or every
// session for "todas". Answers how many ended.
int revokeSessions(Database &db, const QString &prefix);

}  // namespace server
