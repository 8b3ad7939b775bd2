#pragma once

// What the stand-ins of the product's build tools share: they run where the real tools
// do not exist (Linux), accept the real command lines, write their artefacts where the
// options say and print what the real tools print. When HOMOLOGA_STANDIN_LOG names a
// file, every call appends one line to it: a JSON array of the program and its arguments.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace standin {

inline QStringList arguments(int argc, char **argv)
{
    QStringList list;
    for (int i = 1; i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

inline void record(const char *program, const QStringList &args)
{
    const QByteArray log = qgetenv("HOMOLOGA_STANDIN_LOG");
    if (log.isEmpty())
        return;
    QJsonArray call{QString::fromLatin1(program)};
    for (const QString &arg : args)
        call.append(arg);
    QFile file(QString::fromLocal8Bit(log));
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(call).toJson(QJsonDocument::Compact) + '\n');
}

inline void say(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// Writes a file; when the content is what the file already holds, the file keeps its
// modification time (rewritten, not changed), as the product's builder leaves it. A file
// that changes is always at least one second newer than it was (times are compared by
// the second).
inline bool write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile existing(path);
    QDateTime previous;
    if (existing.open(QIODevice::ReadOnly)) {
        const QByteArray old = existing.readAll();
        const QDateTime modified = QFileInfo(path).lastModified();
        previous = modified;
        existing.close();
        if (old == content) {
            QFile same(path);
            if (!same.open(QIODevice::WriteOnly))
                return false;
            same.write(content);
            same.flush();
            same.setFileTime(modified, QFileDevice::FileModificationTime);
            return true;
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content);
    file.flush();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (previous.isValid() && now <= previous.toSecsSinceEpoch())
        file.setFileTime(QDateTime::fromSecsSinceEpoch(previous.toSecsSinceEpoch() + 1), QFileDevice::FileModificationTime);
    return true;
}

inline QByteArray read(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? file.readAll() : QByteArray();
}

}  // namespace standin
