#pragma once

// The release board: read-only pages of the server's data for the people around a release
// (testers, the team lead, support), under /painel, with the health check (/saude) and the
// metrics in the Prometheus text format (/metricas).
//
// The pages are HTML built on the server from templates; a few lines of script refresh the
// board's columns, asking only for the columns that changed. A browser signs in with the
// server's token through a form (from the board's own page: its origin and an anti-forgery
// value are checked) and gets a session of its own (board_access.h); a client may also send
// the token as "Authorization: Bearer". Every text from the database is escaped, the page
// loads only its own style and script, and nothing on it writes to the data (only the
// sessions are written).
//
// Each column shows its newest groups, the rest on the phase's own pages; the columns are
// built from the data once per change and kept, and a page that did not change is answered
// "304 Not Modified" to a browser that has it.

#include "board/board_access.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace server {

class Database;
class Metrics;

class Board {
public:
    Board(const QByteArray &token, bool tls, Metrics &metrics, const std::atomic<int> *openConnections = nullptr,
          std::string trustedProxy = {});

    // True for the paths the board answers (GET and the sign-in's POST).
    static bool serves(const std::string &path);
    // Answers the request; true when it came with the token or a valid session.
    bool serve(Database &db, const httplib::Request &req, httplib::Response &res);

    // Wrong tokens, counted per client address at every door (the front's calls included).
    AttemptLimit &limit() { return m_limit; }
    const std::string &trustedProxy() const { return m_trustedProxy; }
    // "Muitas tentativas..." for an address that must wait `seconds`.
    static QString waitMessage(int seconds);

    static constexpr int kHistoryPageSize = 20;
    // The newest groups shown in each column; the others are on the phase's own pages.
    static constexpr int kCardsPerColumn = 20;
    static constexpr int kPhasePageSize = 50;

    // The board's columns for a product (empty: all), as kept between changes.
    struct Columns {
        std::vector<std::pair<std::string, std::string>> sections;  // phase, its <section>
        std::vector<std::string> versions;                          // a hash of each section
        std::string etag;
    };

private:
    enum class Access { None, Granted, Refused, Waiting, Expired };
    Access access(Database &db, const httplib::Request &req, const std::string &address, int &wait);
    // A signed-in request's page.
    void answer(Database &db, const httplib::Request &req, httplib::Response &res);
    void signIn(Database &db, const httplib::Request &req, httplib::Response &res, const std::string &address);
    void signInPage(httplib::Response &res, int status, const QString &error) const;
    void setSessionAndGoToBoard(httplib::Response &res, const std::string &cookie) const;
    bool sameSite(const httplib::Request &req) const;
    std::string addressOf(const httplib::Request &req) const;
    // The columns for `product`, built again only after a change to the data.
    std::shared_ptr<const Columns> columns(Database &db, const QString &product);
    quint64 changeStamp(Database &db);
    void health(Database &db, const httplib::Request &req, httplib::Response &res);

    QByteArray m_token;
    bool m_tls;
    std::string m_trustedProxy;
    Metrics &m_metrics;
    const std::atomic<int> *m_openConnections;
    AttemptLimit m_limit;

    std::mutex m_mutex;
    std::map<const Database *, qint64> m_dataVersions;  // PRAGMA data_version last seen by each connection
    quint64 m_outsideChanges = 0;                        // changes seen through them
    struct Snapshot {
        quint64 stamp = 0;
        std::shared_ptr<const Columns> columns;
    };
    std::map<QString, Snapshot> m_snapshots;  // by product
    QString m_lastHealthDetail;  // why /saude last found the database unavailable or read-only
};

}  // namespace server
