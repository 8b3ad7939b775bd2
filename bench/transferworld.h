#pragma once

// The world of the transfer benchmarks: a demo workspace whose pending group releases many
// new files of one commit, and the minimal shell script that does the transfer's repository
// work (the revisions before, the group's earlier attempts, one export per file and
// revision, the copy, one add, one commit per file, the revisions after) to compare with.

#include "demo/demo.h"

#include <QString>

namespace transferworld {

// Files of the group: 200, or 10 with HOMOLOGA_BENCH_SHORT.
int fileCount();

// svn on the workspace in use (the repository password, if any, on standard input).
QString svn(const QString &arguments);

// A demo workspace at `root` whose group 0000000001 releases `count` new files committed
// at `revision`.
demo::Workspace prepareWorkspace(const QString &root, int count, QString *revision);

// Where the script's svn reaches the repositories: "file:///…/Repos" or "svn://host:port",
// with the user and password for a server (empty: none).
struct Access {
    QString repos;
    QString user;
    QString password;
};

// The bash script doing the minimal transfer of the `count` files at `revision`.
QString minimalScript(int count, const QString &revision, const Access &access);

// Runs a script with bash; its milliseconds, or throws with its output when it fails.
double runScript(const QString &folder, const QString &script);

// `count` when the homologated repository holds every file of the group, else -1;
// `credentials`: svn's options for a server ("--username U --password P").
int committedFiles(int count, const QString &homUrl, const QString &credentials = {});

}  // namespace transferworld
