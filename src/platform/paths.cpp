#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cstring>

namespace platform {

PlatformError::PlatformError(const QString &message) : std::runtime_error(message.toStdString()) {}

namespace logical {

static bool isSeparator(QChar c) { return c == u'\\' || c == u'/'; }

bool isAbsolute(const QString &path)
{
    return path.size() >= 3 && path[0].isLetter() && path[0].unicode() < 128 && path[1] == u':'
        && isSeparator(path[2]);
}

QString normalize(const QString &path)
{
    if (!isAbsolute(path)) {
        // "C:" alone is the drive root too.
        if (path.size() == 2 && path[0].isLetter() && path[1] == u':')
            return path.left(1).toUpper() + QStringLiteral(":\\");
        throw PlatformError(QStringLiteral("O caminho \"%1\" não é um caminho absoluto com unidade.").arg(path));
    }
    QStringList parts;
    const QString rest = path.mid(3);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || isSeparator(rest[i])) {
            const QString part = rest.mid(start, i - start);
            start = i + 1;
            if (part.isEmpty() || part == u".")
                continue;
            if (part == u"..") {
                if (parts.isEmpty())
                    throw PlatformError(QStringLiteral("O caminho \"%1\" sobe acima da raiz da unidade.").arg(path));
                parts.removeLast();
                continue;
            }
            parts.append(part);
        }
    }
    return path.left(1).toUpper() + QStringLiteral(":\\") + parts.join(u'\\');
}

QStringList components(const QString &normalized)
{
    const QString rest = normalized.mid(3);
    return rest.isEmpty() ? QStringList{} : rest.split(u'\\');
}

bool equal(const QString &a, const QString &b)
{
    return normalize(a).compare(normalize(b), Qt::CaseInsensitive) == 0;
}

}  // namespace logical

namespace {

QString cleanNative(const QString &native)
{
    QString cleaned = QDir::cleanPath(native);
    return cleaned;
}

// True when `path` (normalised) lies on or below `prefix` (normalised).
bool coversLogical(const QString &prefix, const QString &path)
{
    if (!path.startsWith(prefix, Qt::CaseInsensitive))
        return false;
    if (path.size() == prefix.size() || prefix.endsWith(u'\\'))
        return true;
    return path[prefix.size()] == u'\\';
}

// The existing entry of `folder` named `name` without regard to case: the exact name
// when it exists, else the first match in sorted order; empty when none.
QString matchEntry(const QString &folder, const QString &name)
{
    const QString exact = folder + u'/' + name;
    if (QFileInfo::exists(exact) || QFileInfo(exact).isSymLink())
        return name;
    // The folder's names are read as they are, without a look at each entry nor a sort: a
    // folder of many files (a build's output) is looked into again and again. Two ASCII
    // names are compared as bytes; any other is compared as text.
    const QByteArray wanted = QFile::encodeName(name);
    const auto ascii = [](const char *text) {
        for (; *text; ++text) {
            if (static_cast<unsigned char>(*text) >= 0x80)
                return false;
        }
        return true;
    };
    const bool wantedAscii = ascii(wanted.constData());
    QString found;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return found;
    while (const dirent *entry = ::readdir(dir)) {
        const char *entryName = entry->d_name;
        if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0)
            continue;
        if (wantedAscii && ascii(entryName)) {
            if (::strcasecmp(entryName, wanted.constData()) != 0)
                continue;
        } else if (QFile::decodeName(entryName).compare(name, Qt::CaseInsensitive) != 0) {
            continue;
        }
        const QString candidate = QFile::decodeName(entryName);
        if (found.isEmpty() || candidate < found)
            found = candidate;
    }
    ::closedir(dir);
    return found;
}

}  // namespace

void MountTable::add(const QString &logicalPrefix, const QString &nativeFolder)
{
    if (!QDir::isAbsolutePath(nativeFolder))
        throw PlatformError(QStringLiteral("A pasta \"%1\" da montagem de \"%2\" não é absoluta.")
                                .arg(nativeFolder, logicalPrefix));
    Mount mount{logical::normalize(logicalPrefix), cleanNative(nativeFolder)};
    for (Mount &existing : m_mounts) {
        if (existing.logical.compare(mount.logical, Qt::CaseInsensitive) == 0) {
            existing = mount;
            return;
        }
    }
    m_mounts.append(mount);
    // Longest prefix first, so that the first cover found is the right one.
    std::stable_sort(m_mounts.begin(), m_mounts.end(),
                     [](const Mount &a, const Mount &b) { return a.logical.size() > b.logical.size(); });
}

const Mount *MountTable::mountFor(const QString &logicalPath) const
{
    const QString path = logical::normalize(logicalPath);
    for (const Mount &mount : m_mounts) {
        if (coversLogical(mount.logical, path))
            return &mount;
    }
    return nullptr;
}

QString MountTable::toNative(const QString &logicalPath) const
{
    const QString path = logical::normalize(logicalPath);
    const Mount *mount = mountFor(path);
    if (!mount)
        throw PlatformError(
            QStringLiteral("O caminho \"%1\" não está em nenhuma unidade configurada (seção [mounts]).").arg(logicalPath));
    const QStringList below = logical::components(path).mid(logical::components(mount->logical).size());
    // Most paths are written in the case they have on disk: one look settles them.
    const QString asGiven = below.isEmpty() ? mount->native
                                            : (mount->native == u"/" ? QString() : mount->native) + u'/' + below.join(u'/');
    if (QFileInfo::exists(asGiven))
        return asGiven;
    QString native = mount->native;
    bool lookUp = QFileInfo(native).isDir();
    for (const QString &component : below) {
        QString name = component;
        if (lookUp) {
            const QString found = matchEntry(native, component);
            if (found.isEmpty())
                lookUp = false;
            else
                name = found;
        }
        native = native == u"/" ? u'/' + name : native + u'/' + name;
        if (lookUp && !QFileInfo(native).isDir())
            lookUp = false;
    }
    return native;
}

QString MountTable::toLogical(const QString &nativePath) const
{
    const QString native = cleanNative(nativePath);
    const Mount *best = nullptr;
    for (const Mount &mount : m_mounts) {
        const bool covers = native == mount.native
            || native.startsWith(mount.native == u"/" ? mount.native : mount.native + u'/');
        if (covers && (!best || mount.native.size() > best->native.size()))
            best = &mount;
    }
    if (!best)
        return {};
    QString tail = native.mid(best->native.size());
    if (tail.startsWith(u'/'))
        tail.remove(0, 1);
    tail.replace(u'/', u'\\');
    if (tail.isEmpty())
        return best->logical;
    return best->logical.endsWith(u'\\') ? best->logical + tail : best->logical + u'\\' + tail;
}

MountTable MountTable::fromSettings(QSettings &settings)
{
    MountTable table;
    const int size = settings.beginReadArray(QStringLiteral("mounts"));
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        const QString logicalPrefix = settings.value(QStringLiteral("logical")).toString();
        const QString native = settings.value(QStringLiteral("native")).toString();
        if (logicalPrefix.isEmpty() || native.isEmpty())
            continue;
        table.add(logicalPrefix, QDir::cleanPath(QDir::fromNativeSeparators(native)));
    }
    settings.endArray();
    return table;
}

void MountTable::writeToSettings(QSettings &settings) const
{
    settings.beginWriteArray(QStringLiteral("mounts"), int(m_mounts.size()));
    for (int i = 0; i < m_mounts.size(); ++i) {
        settings.setArrayIndex(i);
        // Forward slashes keep the INI file readable: QSettings doubles backslashes.
        settings.setValue(QStringLiteral("logical"), QString(m_mounts[i].logical).replace(u'\\', u'/'));
        settings.setValue(QStringLiteral("native"), m_mounts[i].native);
    }
    settings.endArray();
}

static MountTable &processMounts()
{
    static MountTable table;
    return table;
}

MountTable &mounts() { return processMounts(); }

void setMounts(const MountTable &table) { processMounts() = table; }

QString ensureTempMount()
{
    const QString systemTemp = cleanNative(QDir::tempPath());
    QString logicalTemp = mounts().toLogical(systemTemp);
    if (logicalTemp.isEmpty()) {
        mounts().add(QStringLiteral("C:\\Windows\\Temp"), systemTemp);
        logicalTemp = QStringLiteral("C:\\Windows\\Temp");
    }
    return logicalTemp;
}

}  // namespace platform
