#include "board/metrics.h"

#include "store/database.h"

#include <cstdio>

namespace server {

namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// Label values are method names and phase codes; quotes and backslashes are escaped anyway.
std::string label(const std::string &value)
{
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace

void Metrics::observeCall(const std::string &method, bool ok, double seconds)
{
    std::lock_guard lock(m_mutex);
    Latency &latency = m_calls[method];
    for (size_t i = 0; i < kBuckets.size(); ++i) {
        if (seconds <= kBuckets[i])
            ++latency.buckets[i];
    }
    ++latency.count;
    latency.sum += seconds;
    ++(ok ? latency.ok : latency.failed);
}

void Metrics::observeAnswer(int status)
{
    std::lock_guard lock(m_mutex);
    ++m_answers[status];
}

std::string Metrics::render(Database &db, int openConnections) const
{
    std::string out;
    {
        std::lock_guard lock(m_mutex);
        out += "# HELP homologa_chamadas_total Chamadas atendidas pelo despachante, por método e resultado.\n"
               "# TYPE homologa_chamadas_total counter\n";
        for (const auto &[method, latency] : m_calls) {
            out += "homologa_chamadas_total{metodo=\"" + label(method) + "\",resultado=\"ok\"} " + std::to_string(latency.ok) + "\n";
            out += "homologa_chamadas_total{metodo=\"" + label(method) + "\",resultado=\"erro\"} " + std::to_string(latency.failed)
                + "\n";
        }
        out += "# HELP homologa_chamada_segundos Duração das chamadas, por método.\n"
               "# TYPE homologa_chamada_segundos histogram\n";
        for (const auto &[method, latency] : m_calls) {
            const std::string name = label(method);
            for (size_t i = 0; i < kBuckets.size(); ++i)
                out += "homologa_chamada_segundos_bucket{metodo=\"" + name + "\",le=\"" + number(kBuckets[i]) + "\"} "
                    + std::to_string(latency.buckets[i]) + "\n";
            out += "homologa_chamada_segundos_bucket{metodo=\"" + name + "\",le=\"+Inf\"} " + std::to_string(latency.count) + "\n";
            out += "homologa_chamada_segundos_sum{metodo=\"" + name + "\"} " + number(latency.sum) + "\n";
            out += "homologa_chamada_segundos_count{metodo=\"" + name + "\"} " + std::to_string(latency.count) + "\n";
        }
        out += "# HELP homologa_respostas_http_total Respostas HTTP, por código.\n"
               "# TYPE homologa_respostas_http_total counter\n";
        for (const auto &[status, count] : m_answers)
            out += "homologa_respostas_http_total{codigo=\"" + std::to_string(status) + "\"} " + std::to_string(count) + "\n";
    }
    out += "# HELP homologa_requisicoes_total Requisições lidas, pela leitura direta das chamadas ou pela geral.\n"
           "# TYPE homologa_requisicoes_total counter\n"
           "homologa_requisicoes_total{leitura=\"direta\"} "
        + std::to_string(m_directReadings) + "\nhomologa_requisicoes_total{leitura=\"geral\"} " + std::to_string(m_generalReadings)
        + "\n";
    out += "# HELP homologa_conexoes_abertas Conexões abertas com o servidor.\n"
           "# TYPE homologa_conexoes_abertas gauge\n"
           "homologa_conexoes_abertas "
        + std::to_string(openConnections) + "\n";
    out += "# HELP homologa_erros_banco_total Falhas informadas pelo banco de dados.\n"
           "# TYPE homologa_erros_banco_total counter\n"
           "homologa_erros_banco_total "
        + std::to_string(databaseErrorCount()) + "\n";
    out += "# HELP homologa_grupos Grupos de homologação, por fase.\n"
           "# TYPE homologa_grupos gauge\n";
    db.ensureOpen();
    Transaction transaction(db, false);
    for (const QStringList &row :
         queryRows(db, QStringLiteral("SELECT IDSTGRUPHOM, COUNT(*) FROM GRUPOHOMOL GROUP BY IDSTGRUPHOM ORDER BY IDSTGRUPHOM")))
        out += "homologa_grupos{fase=\"" + label(row[0].toStdString()) + "\"} " + row[1].toStdString() + "\n";
    return out;
}

}  // namespace server
