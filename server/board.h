#pragma once

// The release board: read-only pages of the server's data for the people around a release
// (testers, the team lead, support), under /painel, with the health check (/saude) and the
// metrics in the Prometheus text format (/metricas).
//
// The pages are HTML built on the server from templates; a few lines of script refresh the
// board's columns. A browser signs in once with the server's token through a form and keeps
// a cookie derived from it (the token itself never travels in an address nor in the
// cookie); a client may also send the token as "Authorization: Bearer". Every text from the
// database is escaped, the page loads only its own style and script, and nothing on it
// writes to the database.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace server {

class Database;
class Metrics;

class Board {
public:
    Board(const QByteArray &token, bool tls, Metrics &metrics, const std::atomic<int> *openConnections = nullptr);

    // True for the paths the board answers (GET and the sign-in's POST).
    static bool serves(const std::string &path);
    void serve(Database &db, const httplib::Request &req, httplib::Response &res);

    // The cookie value that proves a sign-in: derived from the token, never the token.
    QByteArray sessionValue() const { return m_session; }

    static constexpr int kMaxFailedSignIns = 5;  // per address and minute
    static constexpr int kHistoryPageSize = 20;

    bool signedIn(const httplib::Request &req) const;

private:
    bool allowSignIn(const std::string &address);
    void recordFailedSignIn(const std::string &address);
    void signIn(const httplib::Request &req, httplib::Response &res);
    void setSessionAndGoToBoard(httplib::Response &res, const std::string &cookie) const;
    void health(Database &db, const httplib::Request &req, httplib::Response &res);

    QByteArray m_token;
    QByteArray m_session;
    bool m_tls;
    Metrics &m_metrics;
    const std::atomic<int> *m_openConnections;
    std::mutex m_mutex;
    std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> m_failures;
    QString m_lastHealthDetail;  // why /saude last found the database unavailable or read-only
};

}  // namespace server
