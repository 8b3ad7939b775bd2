#include "settings.h"

#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <sys/stat.h>

namespace platform::settings {

static QString &configuredPath()
{
    static QString path;
    return path;
}

QString filePath()
{
    if (!configuredPath().isEmpty())
        return configuredPath();
    return QDir::homePath() + QStringLiteral("/.config/homologa/homologa.ini");
}

void setFilePath(const QString &nativePath) { configuredPath() = nativePath; }

QString unreadableFileProblem(const QString &nativePath)
{
    const QFileInfo info(nativePath);
    if (!info.exists())
        return QStringLiteral("o arquivo de configuração \"%1\" não existe.").arg(nativePath);
    if (!info.isFile())
        return QStringLiteral("\"%1\" não é um arquivo de configuração: é uma pasta.").arg(nativePath);
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("o arquivo de configuração \"%1\" não pode ser lido (%2).").arg(nativePath, file.errorString());
    return {};
}

void useFile(const QString &nativePath) { setFilePath(QFileInfo(nativePath).absoluteFilePath()); }

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(filePath(), QSettings::IniFormat);
}

void loadMounts()
{
    auto settings = open();
    setMounts(MountTable::fromSettings(*settings));
    ensureTempMount();
}

QString readPrivateFile(const QString &nativePath)
{
    struct stat info {};
    if (::stat(QFile::encodeName(nativePath).constData(), &info) != 0)
        throw PlatformError(QStringLiteral("O arquivo \"%1\" não existe.").arg(nativePath));
    if (info.st_mode & (S_IRWXG | S_IRWXO))
        throw PlatformError(QStringLiteral("O arquivo \"%1\" pode ser lido por outros usuários. "
                                           "Corrija com: chmod 600 \"%1\"")
                                .arg(nativePath));
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2").arg(nativePath, file.errorString()));
    QByteArray content = file.readAll();
    // Only the first line counts; editors add a line break at the end.
    const qsizetype lineEnd = content.indexOf('\n');
    if (lineEnd >= 0)
        content.truncate(lineEnd);
    if (content.endsWith('\r'))
        content.chop(1);
    return QString::fromUtf8(content);
}

QString repositoryPassword()
{
    auto settings = open();
    QString path = settings->value(QStringLiteral("svn/password_file")).toString();
    if (path.isEmpty())
        return {};
    return readPrivateFile(expandedPath(path));
}

QString expandedPath(const QString &setting)
{
    const QString path = setting.trimmed();
    if (path == u"~" || path.startsWith(QStringLiteral("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

}  // namespace platform::settings
