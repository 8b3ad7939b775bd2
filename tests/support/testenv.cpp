#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
