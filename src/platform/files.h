#pragma once

// File services on logical paths. Every function maps its paths through the process-wide
// mount table; a path on no mount raises PlatformError before anything is touched.
// Functions that the module tests for success return false on an ordinary failure
// (missing file, no permission), as the operating system's own calls do.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace platform::files {

bool fileExists(const QString &path);
bool dirExists(const QString &path);

// Copies `source` over `target`, after resetting the target's attributes (read-only
// cleared) so that an existing target is always replaced. The copy keeps the source's
// modification time. False when the source is missing or the target cannot be written.
bool copyFile(const QString &source, const QString &target);

// Why a copy failed, for a message that lets the operator act.
enum class CopyFailure { None, SourceMissing, TargetFolderMissing, NoPermission, DiskFull, Other };
struct CopyOutcome {
    CopyFailure failure = CopyFailure::None;
    QString systemText;  // the operating system's own words, empty when it went well
    bool ok() const { return failure == CopyFailure::None; }
};
// copyFile with the reason of a failure. The bytes go to a partial file beside the target
// (its name ends with partialCopySuffix()) that is renamed over the target only once
// complete; a failure removes it. A process killed half way leaves it for the next run.
CopyOutcome copyFileReporting(const QString &source, const QString &target);
QString partialCopySuffix();
bool deleteFile(const QString &path);
bool renameFile(const QString &from, const QString &to);

// Attributes: read-only maps to the owner's write bit; hidden has no meaning here and
// is accepted and ignored.
struct Attributes {
    bool readOnly = false;
    bool hidden = false;
};
// False when the path does not exist.
bool attributes(const QString &path, Attributes &out);
bool setAttributes(const QString &path, const Attributes &attributes);
bool setReadOnly(const QString &path, bool readOnly);

// An invalid QDateTime when the file does not exist.
QDateTime modificationTime(const QString &path);
bool setModificationTime(const QString &path, const QDateTime &time);
qint64 fileSize(const QString &path);

// Creates one folder level; true when it was created. False when the parent is missing
// or the folder already exists.
bool createDir(const QString &path);
// Creates every missing level; true when the folder exists afterwards.
bool forceDirectories(const QString &path);
// Removes an empty folder.
bool removeDir(const QString &path);

enum class EntryKind { Files = 1, Dirs = 2, All = 3 };
// The names (not paths) of a folder's entries that match a Windows wildcard pattern
// ("*.html", "N*.bpl", "*.*", "?") without regard to case, sorted by name.
QStringList listDir(const QString &folder, const QString &pattern = QStringLiteral("*"),
                    EntryKind kind = EntryKind::All);
// Windows wildcard match: '*' any run, '?' one character, case-insensitive; "*.*"
// also matches names without a dot.
bool wildcardMatch(const QString &pattern, const QString &name);

// Whole-file reads and writes. Reads throw PlatformError when the file cannot be read.
// Writes go to a temporary file in the same folder and are renamed over the target, so a
// crash never leaves half a file; they throw PlatformError on failure.
QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// Lines as text (UTF-8; a file that is not valid UTF-8 is read as Latin-1). "\r\n" and
// "\n" both end a line; writeLines ends every line with "\r\n", as the product's tools expect.
QStringList readLines(const QString &path);
void writeLines(const QString &path, const QStringList &lines);

// The current folder, logical. setCurrentDir moves the process there (children start in
// it); it is false when the folder does not exist.
QString currentDir();
bool setCurrentDir(const QString &path);
// Makes a relative logical path absolute against the current folder.
QString absolute(const QString &path);

// The system temporary folder in its logical form, with a trailing "\".
QString tempPath();
// The logical Windows folder ("C:\Windows").
QString windowsDir();

// The operating-system user's logon name.
QString logonName();

// The first level of `path`, from its mount down, that a symbolic link takes out of `root`
// (the working copy or tree the path belongs to), in logical form; empty when every level
// stays inside. A level of `root` itself that leads out of the mount's folder counts too.
// Levels that do not exist yet lead nowhere. Throws PlatformError for a path on no mount.
QString linkLeadingOut(const QString &path, const QString &root);

// The native form of a logical path, for the few callers that hand paths to a library
// (zip archives, the database file). Throws PlatformError like every service here.
QString nativePath(const QString &path);

}  // namespace platform::files
