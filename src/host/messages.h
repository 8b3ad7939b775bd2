#pragma once

// Keyed text tables: each entry is a key, "|" and the text. Each screen owns one.

#include "host/hostui.h"

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
    // The text under `key` as a modal message or question through the host; returns the
    // button chosen (mbYes, mbNo, mbOK, ...). The help context is accepted for callers
    // that pass one; the host has no help file.
    int ShowMsg(const QString &key, DialogType type, int buttons, int helpContext = 0) const;
    int ShowMsg(const QString &key, const QVariantList &args, DialogType type, int buttons) const;
    // Keys in table order.
    QStringList keys() const;

private:
    QStringList m_entries;
    QHash<QString, QString> m_texts;
};

// Fills %s and %d placeholders in order ("%%" is a plain "%"). Extra placeholders stay.
QString Format(const QString &text, const QVariantList &args);
