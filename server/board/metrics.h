#pragma once

// What the server counts for /metricas, in the Prometheus text format: calls by method and
// outcome, their latency, HTTP answers by status, open connections, database errors and the
// groups in each phase (read from the database when the metrics are asked for).

#include <QString>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace server {

class Database;

class Metrics {
public:
    static constexpr std::array<double, 10> kBuckets{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.5, 2.5};

    void observeCall(const std::string &method, bool ok, double seconds);
    void observeAnswer(int status);
    // A request read by the front: by its direct reading of calls, or by the general one.
    void observeReading(bool direct) { ++(direct ? m_directReadings : m_generalReadings); }
    std::string render(Database &db, int openConnections) const;

private:
    struct Latency {
        std::array<quint64, kBuckets.size()> buckets{};
        quint64 count = 0;
        double sum = 0;
        quint64 ok = 0, failed = 0;
    };
    mutable std::mutex m_mutex;
    std::map<std::string, Latency> m_calls;
    std::map<int, quint64> m_answers;
    std::atomic<quint64> m_directReadings{0}, m_generalReadings{0};
};

}  // namespace server
