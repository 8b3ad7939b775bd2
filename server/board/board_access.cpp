#include "board/board_access.h"

#include "store/database.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>

namespace server {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

QString storedTime(const QDateTime &time) { return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")); }

QByteArray hashOf(const QByteArray &id) { return QCryptographicHash::hash(id, QCryptographicHash::Sha256).toHex(); }

}  // namespace

std::optional<std::string_view> bearerToken(std::string_view value)
{
    value = trimmed(value);
    if (std::any_of(value.begin(), value.end(), [](char ch) { return uchar(ch) < 0x20 && ch != '\t'; })
        || value.find('\x7f') != std::string_view::npos)
        return std::nullopt;
    constexpr std::string_view kScheme = "bearer";
    if (value.size() <= kScheme.size() || (value[kScheme.size()] != ' ' && value[kScheme.size()] != '\t'))
        return std::nullopt;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        if (std::tolower(uchar(value[i])) != kScheme[i])
            return std::nullopt;
    }
    const std::string_view token = trimmed(value.substr(kScheme.size()));
    if (token.empty())
        return std::nullopt;
    return token;
}

bool sameSecret(std::string_view given, const QByteArray &expected)
{
    // Through hashes of equal size: the time taken says nothing about the length either.
    const QByteArray a = QCryptographicHash::hash(QByteArrayView(given.data(), qsizetype(given.size())), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= uchar(a[i] ^ b[i]);
    return !expected.isEmpty() && difference == 0;
}

std::string clientAddress(const std::string &peer, std::string_view forwardedFor, const std::string &trustedProxy)
{
    if (trustedProxy.empty() || peer != trustedProxy)
        return peer;
    // Each proxy appends the address it received the request from: the last one is the
    // trusted proxy's own word, the ones before it are the client's.
    const size_t comma = forwardedFor.rfind(',');
    const std::string_view last = trimmed(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    return last.empty() ? peer : std::string(last);
}

// ---- The limit on wrong tokens

int AttemptLimit::waitFor(const std::string &address)
{
    if (m_size.load(std::memory_order_relaxed) == 0)
        return 0;
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(address);
    if (it == m_entries.end())
        return 0;
    const auto now = std::chrono::steady_clock::now();
    if (it->second.blockedUntil <= now)
        return 0;
    return int(std::chrono::ceil<std::chrono::seconds>(it->second.blockedUntil - now).count());
}

void AttemptLimit::failed(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    if (m_entries.size() > 100'000) {
        // Addresses that stopped trying are forgotten, so that the table stays small.
        std::erase_if(m_entries, [&](const auto &item) { return now - item.second.last > std::chrono::minutes(5); });
    }
    Entry &entry = m_entries[address];
    if (now - entry.last > std::chrono::hours(1))
        entry.failures = 0;
    entry.last = now;
    ++entry.failures;
    if (entry.failures >= kFreeFailures) {
        const int doublings = std::min(entry.failures - kFreeFailures, 20);
        entry.blockedUntil = now + std::min<std::chrono::seconds>(std::chrono::seconds(1LL << doublings), kLongestWait);
    }
    m_size = int(m_entries.size());
}

void AttemptLimit::succeeded(const std::string &address)
{
    if (m_size.load(std::memory_order_relaxed) == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_entries.erase(address);
    m_size = int(m_entries.size());
}

// ---- Sessions

QByteArray startSession(Database &db, const QString &operatorCode, const QString &address)
{
    // The system's generator: unpredictable, as a secret must be.
    quint32 random[8];
    QRandomGenerator::system()->fillRange(random);
    const QByteArray id = QByteArray(reinterpret_cast<const char *>(random), sizeof random)
                              .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    const QDateTime now = QDateTime::currentDateTime();
    db.ensureOpen();
    Transaction transaction(db, true);
    // Sessions that ended a day ago or more are forgotten.
    db.exec(QStringLiteral("DELETE FROM SESSAOPAINEL WHERE DTEXPIRACAO < ? OR DTULTIMOUSO < ?"),
            {storedTime(now.addDays(-1)), storedTime(now.addDays(-1).addSecs(-std::chrono::seconds(kSessionIdle).count()))});
    db.exec(QStringLiteral("INSERT INTO SESSAOPAINEL (CDSESSAO, CDOPERADOR, DSENDERECO, DTCRIACAO, DTULTIMOUSO, DTEXPIRACAO) "
                           "VALUES (?, ?, ?, ?, ?, ?)"),
            {QString::fromLatin1(hashOf(id)), operatorCode.left(12), address.left(64), storedTime(now), storedTime(now),
             storedTime(now.addSecs(std::chrono::seconds(kSessionLifetime).count()))});
    transaction.commit();
    return id;
}

SessionState useSession(Database &db, const QByteArray &id)
{
    if (id.isEmpty())
        return SessionState::Unknown;
    db.ensureOpen();
    const QString key = QString::fromLatin1(hashOf(id));
    const QList<QStringList> rows =
        queryRows(db, QStringLiteral("SELECT DTULTIMOUSO, DTEXPIRACAO FROM SESSAOPAINEL WHERE CDSESSAO = ?"), {key});
    if (rows.isEmpty())
        return SessionState::Unknown;
    const QDateTime now = QDateTime::currentDateTime();
    const QString nowText = storedTime(now);
    if (rows[0][1] <= nowText || rows[0][0] <= storedTime(now.addSecs(-std::chrono::seconds(kSessionIdle).count())))
        return SessionState::Expired;
    if (rows[0][0] < storedTime(now.addSecs(-60))) {
        // Kept at most a minute late; a database that refuses the write (being copied, read
        // only) does not end the session.
        try {
            db.exec(QStringLiteral("UPDATE SESSAOPAINEL SET DTULTIMOUSO = ? WHERE CDSESSAO = ?"), {nowText, key});
        } catch (const ServerError &) {
        }
    }
    return SessionState::Valid;
}

void endSession(Database &db, const QByteArray &id)
{
    if (id.isEmpty())
        return;
    db.ensureOpen();
    db.exec(QStringLiteral("DELETE FROM SESSAOPAINEL WHERE CDSESSAO = ?"), {QString::fromLatin1(hashOf(id))});
}

QList<SessionRow> listSessions(Database &db)
{
    const QDateTime now = QDateTime::currentDateTime();
    db.ensureOpen();
    QList<SessionRow> sessions;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT CDSESSAO, CDOPERADOR, DSENDERECO, DTCRIACAO, DTULTIMOUSO, DTEXPIRACAO FROM SESSAOPAINEL "
                                  "WHERE DTEXPIRACAO > ? AND DTULTIMOUSO > ? ORDER BY DTCRIACAO DESC, CDSESSAO"),
                   {storedTime(now), storedTime(now.addSecs(-std::chrono::seconds(kSessionIdle).count()))}))
        sessions.append({row[0].left(12), row[1], row[2], row[3], row[4], row[5]});
    return sessions;
}

int revokeSessions(Database &db, const QString &prefix)
{
    db.ensureOpen();
    if (prefix == u"todas")
        return db.execCount(QStringLiteral("DELETE FROM SESSAOPAINEL"));
    if (prefix.size() < 8 || !std::all_of(prefix.begin(), prefix.end(), [](QChar c) { return std::isxdigit(uchar(c.toLatin1())) != 0; }))
        throw ServerError(QStringLiteral("Sessão inválida: \"%1\" (use os 12 caracteres mostrados por sessions list, ou todas).")
                              .arg(prefix));
    return db.execCount(QStringLiteral("DELETE FROM SESSAOPAINEL WHERE CDSESSAO LIKE ?"), {prefix.toLower() + u'%'});
}

}  // namespace server
