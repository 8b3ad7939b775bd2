#include "messages.h"

void TMessages::setEntries(const QStringList &entries)
{
    m_entries = entries;
    m_texts.clear();
    for (const QString &entry : entries) {
        const qsizetype bar = entry.indexOf(u'|');
        if (bar < 0)
            continue;
        const QString key = entry.left(bar);
        if (!m_texts.contains(key))
            m_texts.insert(key, entry.mid(bar + 1));
    }
}

bool TMessages::contains(const QString &key) const { return m_texts.contains(key); }

QString TMessages::Msg(const QString &key) const
{
    const auto found = m_texts.constFind(key);
    if (found == m_texts.constEnd())
        return u'<' + key + u'>';
    return *found;
}

QString TMessages::Msg(const QString &key, const QVariantList &args) const { return Format(Msg(key), args); }

int TMessages::ShowMsg(const QString &key, DialogType type, int buttons, int helpContext) const
{
    Q_UNUSED(helpContext);
    return hostUi().showMessage(Msg(key), type, buttons);
}

int TMessages::ShowMsg(const QString &key, const QVariantList &args, DialogType type, int buttons) const
{
    return hostUi().showMessage(Msg(key, args), type, buttons);
}

QStringList TMessages::keys() const
{
    QStringList list;
    for (const QString &entry : m_entries) {
        const qsizetype bar = entry.indexOf(u'|');
        if (bar >= 0)
            list.append(entry.left(bar));
    }
    return list;
}

QString Format(const QString &text, const QVariantList &args)
{
    QString out;
    out.reserve(text.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%' && i + 1 < text.size()) {
            const QChar conversion = text[i + 1];
            if (conversion == u'%') {
                out += u'%';
                ++i;
                continue;
            }
            if ((conversion == u's' || conversion == u'd') && next < args.size()) {
                const QVariant &arg = args[next++];
                out += conversion == u'd' ? QString::number(arg.toLongLong()) : arg.toString();
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
