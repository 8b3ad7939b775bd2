#pragma once

// Logical Windows paths ("C:\Hom\Srv\A.pas") and their native folders.
//
// The module keeps every path in its logical form; only this layer turns one into a
// native path, through a table of mounts. A mount maps a logical prefix ("C:\",
// "C:\Windows\Temp") to a native folder; the longest matching prefix wins. Below the
// mount each component is matched against what exists without regard to case.

#include <QList>
#include <QString>
#include <QStringList>

#include <stdexcept>

class QSettings;

namespace platform {

// Raised for a path that no mount covers, a path that climbs out of its mount, and
// for every other failure of the operating-system boundary that callers cannot
// answer with a simple false.
class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

struct Mount {
    QString logical;  // normalised: upper-case drive, backslashes, "C:\" or "C:\A\B"
    QString native;   // absolute native folder, no trailing slash (except "/")
};

class MountTable {
public:
    // Adds or replaces the mount of a logical prefix. The native folder must be absolute.
    void add(const QString &logicalPrefix, const QString &nativeFolder);
    const QList<Mount> &mounts() const { return m_mounts; }
    bool isEmpty() const { return m_mounts.isEmpty(); }

    // The native path of a logical one. Throws PlatformError when no mount covers it,
    // when it is not absolute, or when ".." would climb above its drive.
    QString toNative(const QString &logicalPath) const;

    // The logical form of a native path below a mount (the longest native folder wins);
    // an empty text when no mount holds it.
    QString toLogical(const QString &nativePath) const;

    // The mount that covers a logical path, or nullptr.
    const Mount *mountFor(const QString &logicalPath) const;

    // Reads the [mounts] section: size=N, then 1\logical=C:/ and 1\native=/srv/c, ...
    static MountTable fromSettings(QSettings &settings);
    void writeToSettings(QSettings &settings) const;

private:
    QList<Mount> m_mounts;
};

// Pure text helpers on logical paths.
namespace logical {
// True for "X:\..." and "X:/..." (a drive and a separator).
bool isAbsolute(const QString &path);
// Upper-case drive, "\" separators, "." and ".." resolved, no trailing separator
// (except the drive root "C:\"). Throws PlatformError when ".." climbs above the drive.
QString normalize(const QString &path);
// The components after the drive ("C:\A\B" -> {"A","B"}).
QStringList components(const QString &normalized);
// Both normalised, compared without regard to case.
bool equal(const QString &a, const QString &b);
}  // namespace logical

// The process-wide mount table used by the file services and the process layer.
MountTable &mounts();
void setMounts(const MountTable &table);

// The logical name of the system temporary folder. When no mount covers the system's
// temporary folder, "C:\Windows\Temp" is mounted on it.
QString ensureTempMount();

}  // namespace platform
