#pragma once

// The one settings file of the system (INI format). Default
// ~/.config/homologa/homologa.ini; another with --config FILE.

#include <QString>

#include <memory>

class QSettings;

namespace platform::settings {

// The native path of the settings file in use.
QString filePath();
void setFilePath(const QString &nativePath);
// Why `nativePath` cannot be the settings file (it does not exist, is a folder, cannot be
// read), in Portuguese; empty when it can.
QString unreadableFileProblem(const QString &nativePath);
// Uses `nativePath` (made absolute) as the settings file.
void useFile(const QString &nativePath);

std::unique_ptr<QSettings> open();

// Loads the [mounts] section into the process-wide mount table and makes sure the
// temporary folder is mounted.
void loadMounts();

// The repository password, read from the file named by [svn] password_file. The file
// must not be readable or writable by group or others: PlatformError otherwise, with a
// message that says how to fix it. Empty when no file is configured.
QString repositoryPassword();
// A file named in a setting: "~/" at its start is the user's home folder.
QString expandedPath(const QString &setting);
// The same check on any file (used by the server for its token file).
QString readPrivateFile(const QString &nativePath);

}  // namespace platform::settings
