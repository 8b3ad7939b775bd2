#pragma once

// Keyed text tables: each entry is a key, "|" and the text. Each screen owns one.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

class TMessages {
public:
    TMessages() = default;
    explicit TMessages(const QStringList &entries) { setEntries(entries); }

    void setEntries(const QStringList &entries);
    const QStringList &entries() const { return m_entries; }
    bool contains(const QString &key) const;
    // The text under `key`; for a missing key, the key itself in angle brackets, so that
    // a missing text shows up instead of an empty box.
    QString Msg(const QString &key) const;
    // The text under `key` with its %s/%d placeholders filled in order.
    QString Msg(const QString &key, const QVariantList &args) const;

private:
    QStringList m_entries;
    QHash<QString, QString> m_texts;
};

// Fills %s and %d placeholders in order ("%%" is a plain "%"). Extra placeholders stay.
QString Format(const QString &text, const QVariantList &args);
