#include "operatortext.h"

#include <QRegularExpression>
#include <QStringList>

namespace host {

namespace {

QHash<QString, QString> &titles()
{
    static QHash<QString, QString> byField;
    return byField;
}

// Words that only a library's message holds; Portuguese text never does.
const QStringList kLibraryWords = {QStringLiteral("database"), QStringLiteral("unable"),   QStringLiteral("error"),
                                   QStringLiteral("failed"),   QStringLiteral("could not"), QStringLiteral("connection"),
                                   QStringLiteral("refused"),  QStringLiteral("timed out"), QStringLiteral("no such"),
                                   QStringLiteral("denied"),   QStringLiteral("locked"),    QStringLiteral("statement"),
                                   QStringLiteral("disk"),     QStringLiteral("constraint")};

bool readsAsLibraryText(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;  // an accent: Portuguese
    }
    const QString lower = text.toLower();
    for (const QString &word : kLibraryWords) {
        if (lower.contains(word))
            return true;
    }
    return false;
}

}  // namespace

void setFieldTitles(const QHash<QString, QString> &byField) { titles() = byField; }

QString withFieldTitles(const QString &text)
{
    if (titles().isEmpty())
        return text;
    static const QRegularExpression word(QStringLiteral("\\b[A-Z][A-Z0-9_]{3,}\\b"));
    QString result;
    qsizetype from = 0;
    for (auto match = word.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const auto title = titles().constFind(found.captured());
        if (title == titles().constEnd())
            continue;
        result += text.mid(from, found.capturedStart() - from) + *title;
        from = found.capturedEnd();
    }
    return result + text.mid(from);
}

OperatorMessage splitTechnicalDetail(const QString &text)
{
    static const QRegularExpression parenthesis(QStringLiteral("[ \\t]*\\(([^()\\r\\n]*)\\)"));
    OperatorMessage message;
    QStringList details;
    qsizetype from = 0;
    for (auto match = parenthesis.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const QString inside = found.captured(1).trimmed();
        // Only words that follow a sentence of their own are taken out of it.
        if (inside.isEmpty() || found.capturedStart() == 0 || !readsAsLibraryText(inside))
            continue;
        message.sentence += text.mid(from, found.capturedStart() - from);
        details.append(inside);
        from = found.capturedEnd();
    }
    message.sentence += text.mid(from);
    message.detail = details.join(u'\n');
    return message;
}

}  // namespace host
