#include "testenv.h"

#include "platform/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

MountedDrive::MountedDrive(const QString &logicalRoot) : m_saved(platform::mounts())
{
    platform::MountTable table = m_saved;
    table.add(logicalRoot, m_dir.path());
    platform::setMounts(table);
    platform::ensureTempMount();
}

MountedDrive::~MountedDrive() { platform::setMounts(m_saved); }

void MountedDrive::writeFile(const QString &relative, const QByteArray &content) const
{
    const QString path = nativePath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QByteArray MountedDrive::readFile(const QString &relative) const
{
    QFile file(nativePath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString fileUrl(const QString &nativePath) { return QUrl::fromLocalFile(nativePath).toString(); }

TemporarySettingsFile::TemporarySettingsFile() : m_previous(platform::settings::filePath())
{
    platform::settings::setFilePath(m_dir.filePath(QStringLiteral("homologa.ini")));
    set(QStringLiteral("server/database"), m_dir.filePath(QStringLiteral("homologa.db")));
}

TemporarySettingsFile::~TemporarySettingsFile() { platform::settings::setFilePath(m_previous); }

void TemporarySettingsFile::set(const QString &key, const QVariant &value) const
{
    QSettings(platform::settings::filePath(), QSettings::IniFormat).setValue(key, value);
}
