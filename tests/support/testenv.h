#pragma once

// A temporary folder mounted as a logical drive, for tests that touch files, run svn or
// start processes. The process-wide mount table is restored when it goes away.

#include "platform/paths.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

class MountedDrive {
public:
    explicit MountedDrive(const QString &logicalRoot = QStringLiteral("C:\\"));
    ~MountedDrive();

    // The native folder behind the logical root.
    QString native() const { return m_dir.path(); }
    QString nativePath(const QString &relative) const { return m_dir.path() + u'/' + relative; }
    // Writes a native file below the root, creating folders.
    void writeFile(const QString &relative, const QByteArray &content) const;
    QByteArray readFile(const QString &relative) const;

private:
    QTemporaryDir m_dir;
    platform::MountTable m_saved;
};

// The settings file pointed at a temporary one for as long as this lives, with the embedded
// server's database in the same temporary folder (never the user's); the previous file is
// put back afterwards.
class TemporarySettingsFile {
public:
    TemporarySettingsFile();
    ~TemporarySettingsFile();
    TemporarySettingsFile(const TemporarySettingsFile &) = delete;
    TemporarySettingsFile &operator=(const TemporarySettingsFile &) = delete;

    // Writes one value ("section/key").
    void set(const QString &key, const QVariant &value) const;
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A file:// URL of a native folder.
QString fileUrl(const QString &nativePath);
