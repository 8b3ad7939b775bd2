#include "files.h"

#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace platform::files {

namespace {

QString &currentLogical()
{
    static QString current;
    return current;
}

QString toNative(const QString &path) { return mounts().toNative(absolute(path)); }

QFileDevice::Permissions ownerWrite() { return QFileDevice::WriteOwner; }

}  // namespace

QString nativePath(const QString &path) { return toNative(path); }

namespace {

// Where a native path really is once every link on it is followed; a link whose target is
// missing gives its target as written.
QString resolved(const QString &native)
{
    const QFileInfo info(native);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    return info.isSymLink() ? QDir::cleanPath(info.absoluteDir().absoluteFilePath(info.symLinkTarget())) : native;
}

bool inside(const QString &native, const QString &folder)
{
    return native == folder || native.startsWith(folder == u"/" ? folder : folder + u'/');
}

}  // namespace

QString linkLeadingOut(const QString &path, const QString &root)
{
    const QString logicalRoot = logical::normalize(absolute(root));
    const QString logicalPath = logical::normalize(absolute(path));
    const Mount *mount = mounts().mountFor(logicalPath);
    if (!mount)
        toNative(logicalPath);  // raises the error that names the path
    const QString mountFolder = resolved(mount->native);
    const QStringList niveis = logical::components(logicalPath);
    const qsizetype doMount = logical::components(mount->logical).size();
    const qsizetype daRaiz = logical::components(logicalRoot).size();
    const QString prefixoDaRaiz = logicalRoot.endsWith(u'\\') ? logicalRoot : logicalRoot + u'\\';
    const bool abaixoDaRaiz = logical::equal(logicalPath, logicalRoot)
        || logicalPath.startsWith(prefixoDaRaiz, Qt::CaseInsensitive);
    QString raizResolvida;
    QString nivel = logicalPath.left(3);
    for (qsizetype i = 0; i < niveis.size(); ++i) {
        nivel = i == 0 ? nivel + niveis[i] : nivel + u'\\' + niveis[i];
        if (i < doMount)
            continue;
        const QString native = toNative(nivel);
        const QFileInfo info(native);
        if (!info.exists() && !info.isSymLink())
            break;
        const QString real = resolved(native);
        // The root's own levels must stay in the mount's folder, the levels below it in the root.
        if (i < daRaiz || !abaixoDaRaiz) {
            if (!inside(real, mountFolder))
                return nivel;
            if (i + 1 == daRaiz)
                raizResolvida = real;
        } else if (!inside(real, raizResolvida.isEmpty() ? resolved(toNative(logicalRoot)) : raizResolvida)) {
            return nivel;
        }
    }
    return {};
}

bool fileExists(const QString &path)
{
    const QFileInfo info(toNative(path));
    return info.exists() && !info.isDir();
}

bool dirExists(const QString &path) { return QFileInfo(toNative(path)).isDir(); }

QString partialCopySuffix() { return QStringLiteral(".homologa-copy"); }

namespace {

CopyOutcome failed(CopyFailure failure, int error)
{
    return {failure, QString::fromLocal8Bit(strerror(error))};
}

CopyFailure failureOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return CopyFailure::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return CopyFailure::NoPermission;
    case ENOENT:
    case ENOTDIR:
        return CopyFailure::TargetFolderMissing;
    default:
        return CopyFailure::Other;
    }
}

// Writes every byte of the source into `partial`; the error number of the first failure,
// 0 when complete and flushed to the disk.
int copyBytes(int from, int to)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer + done, size_t(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += put;
        }
    }
    // A full disk may only show when the blocks are written out.
    return ::fsync(to) == 0 ? 0 : errno;
}

}  // namespace

CopyOutcome copyFileReporting(const QString &source, const QString &target)
{
    const QString from = toNative(source);
    const QString to = toNative(target);
    if (!QFileInfo(from).isFile())
        return {CopyFailure::SourceMissing, QString()};
    if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath())
        return {};
    if (!QFileInfo(QFileInfo(to).absolutePath()).isDir())
        return {CopyFailure::TargetFolderMissing, QString()};
    if (QFileInfo::exists(to)) {
        QFile existing(to);
        existing.setPermissions(existing.permissions() | ownerWrite());
    }
    const QByteArray partial = QFile::encodeName(to + partialCopySuffix());
    ::unlink(partial.constData());
    const int input = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (input < 0)
        return failed(errno == ENOENT ? CopyFailure::SourceMissing : failureOf(errno), errno);
    const int output = ::open(partial.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output < 0) {
        const int error = errno;
        ::close(input);
        return failed(failureOf(error), error);
    }
    int error = copyBytes(input, output);
    ::close(input);
    if (::close(output) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(partial.constData());
        return failed(failureOf(error), error);
    }
    QFile copied(QFile::decodeName(partial));
    copied.setPermissions(QFile(from).permissions() | ownerWrite());
    const QDateTime modified = QFileInfo(from).lastModified();
    if (copied.open(QIODevice::ReadWrite)) {
        copied.setFileTime(modified, QFileDevice::FileModificationTime);
        copied.close();
    }
    if (::rename(partial.constData(), QFile::encodeName(to).constData()) != 0) {
        error = errno;
        ::unlink(partial.constData());
        return failed(failureOf(error), error);
    }
    return {};
}

bool copyFile(const QString &source, const QString &target) { return copyFileReporting(source, target).ok(); }

bool deleteFile(const QString &path)
{
    const QString native = toNative(path);
    if (QFileInfo(native).isDir())
        return false;
    return QFile::remove(native);
}

bool renameFile(const QString &from, const QString &to)
{
    const QString source = toNative(from);
    const QString target = toNative(to);
    if (!QFileInfo::exists(source) || QFileInfo::exists(target))
        return false;
    return ::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
}

bool attributes(const QString &path, Attributes &out)
{
    const QFileInfo info(toNative(path));
    if (!info.exists())
        return false;
    out.readOnly = !(info.permissions() & QFileDevice::WriteOwner);
    out.hidden = false;
    return true;
}

bool setAttributes(const QString &path, const Attributes &attributes)
{
    return setReadOnly(path, attributes.readOnly);
}

bool setReadOnly(const QString &path, bool readOnly)
{
    QFile file(toNative(path));
    if (!file.exists())
        return false;
    QFileDevice::Permissions permissions = file.permissions();
    if (readOnly)
        permissions &= ~(QFileDevice::WriteOwner | QFileDevice::WriteUser);
    else
        permissions |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
    return file.setPermissions(permissions);
}

QDateTime modificationTime(const QString &path)
{
    const QFileInfo info(toNative(path));
    if (!info.exists())
        return {};
    return info.lastModified();
}

bool setModificationTime(const QString &path, const QDateTime &time)
{
    QFile file(toNative(path));
    if (!file.exists())
        return false;
    // Opening for writing needs the write bit; a read-only file keeps its attribute.
    const QFileDevice::Permissions before = file.permissions();
    const bool wasReadOnly = !(before & QFileDevice::WriteOwner);
    if (wasReadOnly)
        file.setPermissions(before | QFileDevice::WriteOwner);
    bool ok = file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly);
    if (ok) {
        ok = file.setFileTime(time, QFileDevice::FileModificationTime);
        file.close();
    }
    if (wasReadOnly)
        file.setPermissions(before);
    return ok;
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(toNative(path));
    return info.isFile() ? info.size() : -1;
}

bool createDir(const QString &path)
{
    const QString native = toNative(path);
    if (QFileInfo::exists(native))
        return false;
    return QDir().mkdir(native);
}

bool forceDirectories(const QString &path)
{
    const QString native = toNative(path);
    return QDir().mkpath(native) && QFileInfo(native).isDir();
}

bool removeDir(const QString &path)
{
    const QString native = toNative(path);
    if (!QFileInfo(native).isDir())
        return false;
    return QDir().rmdir(native);
}

bool wildcardMatch(const QString &pattern, const QString &name)
{
    if (pattern == u"*" || pattern == u"*.*")
        return true;
    // Iterative matcher with back-tracking on the last '*'.
    qsizetype p = 0, n = 0, star = -1, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size()
            && (pattern[p] == u'?' || QString::compare(QString(pattern[p]), QString(name[n]), Qt::CaseInsensitive) == 0)) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    // "name.*" also matches "name" without an extension, as on Windows.
    if (p + 1 == pattern.size() && pattern[p] == u'.' )
        return true;
    if (p + 2 == pattern.size() && pattern[p] == u'.' && pattern[p + 1] == u'*')
        return true;
    return p == pattern.size();
}

QStringList listDir(const QString &folder, const QString &pattern, EntryKind kind)
{
    const QDir dir(toNative(folder));
    if (!dir.exists())
        return {};
    QDir::Filters filters = QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    if (int(kind) & int(EntryKind::Files))
        filters |= QDir::Files;
    if (int(kind) & int(EntryKind::Dirs))
        filters |= QDir::Dirs;
    QStringList result;
    for (const QString &entry : dir.entryList(filters, QDir::Name | QDir::IgnoreCase)) {
        if (wildcardMatch(pattern, entry))
            result.append(entry);
    }
    return result;
}

QByteArray readBytes(const QString &path)
{
    QFile file(toNative(path));
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2").arg(path, file.errorString()));
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    const QString native = toNative(path);
    if (QFileInfo::exists(native)) {
        QFile existing(native);
        existing.setPermissions(existing.permissions() | ownerWrite());
    }
    QSaveFile file(native);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw PlatformError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2").arg(path, file.errorString()));
}

QStringList readLines(const QString &path)
{
    const QByteArray bytes = readBytes(path);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

void writeLines(const QString &path, const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    writeBytes(path, bytes);
}

QString currentDir()
{
    // The folder last set, as it was written, while we are still there; else our native
    // folder when a mount holds it; else the root.
    const QString native = QDir::currentPath();
    const QString &current = currentLogical();
    if (!current.isEmpty()) {
        try {
            if (mounts().toNative(current) == native)
                return current;
        } catch (const PlatformError &) {
        }
    }
    const QString fromNative = mounts().toLogical(native);
    return fromNative.isEmpty() ? QStringLiteral("C:\\") : fromNative;
}

bool setCurrentDir(const QString &path)
{
    const QString logicalPath = logical::normalize(absolute(path));
    const QString native = mounts().toNative(logicalPath);
    // The process really moves there, so that children start in it too.
    if (!QFileInfo(native).isDir() || !QDir::setCurrent(native))
        return false;
    currentLogical() = logicalPath;
    return true;
}

QString absolute(const QString &path)
{
    if (logical::isAbsolute(path))
        return path;
    if (path.size() == 2 && path[1] == u':')
        return path + u'\\';
    const QString current = currentDir();
    if (path.startsWith(u'\\') || path.startsWith(u'/'))
        return current.left(2) + path;
    return current.endsWith(u'\\') ? current + path : current + u'\\' + path;
}

QString tempPath()
{
    QString logicalTemp = ensureTempMount();
    if (!logicalTemp.endsWith(u'\\'))
        logicalTemp += u'\\';
    return logicalTemp;
}

QString windowsDir() { return QStringLiteral("C:\\Windows"); }

QString logonName()
{
    if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    const QByteArray user = qgetenv("USER");
    return user.isEmpty() ? QStringLiteral("usuario") : QString::fromLocal8Bit(user);
}

}  // namespace platform::files
