#pragma once

// The demo workspace: a self-contained place where every screen works for real. It holds
// a mount table of its own (its folder is the logical C:\), a development and a
// homologated Subversion repository with a small sample product, the development working
// copy, the settings file, the repository password file and the server's database,
// loaded with the sample product, operators, subjects and a dozen requests spread over
// groups in several phases.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace platform {
class Process;
}

namespace demo {

struct ModifiedFile {
    QString path;              // logical path in the development working copy
    QString previousRevision;  // last revision before the request touched it
    QString currentRevision;   // revision the request released
};

struct ReleasedFile {
    QString path;  // logical path of the file to generate (source, script, report, web file)
    QString sequence;
    bool clientSpecific = false;
    // Generated window pages of a metadata product: kind "web", work item type "72", the
    // metadata release (15 digits) and the task activity that carries them.
    QString kind;
    QString workItemType;
    QString metaRelease;
    QString task;
    QString activity;
};

struct WorkItem {
    QString task;      // NRTAREFA
    QString activity;  // NRPLATIVTARE
    QString folder;    // DSDIRATIV: the activity's checkout folder
};

struct Request {
    QString branch;   // CDFILIAL
    QString number;   // NRSOLISERV
    QString title;
    QString remark;
    QString responsible;
    QString subject;
    QString status;   // status in its group
    // The testers' verdict the road gives once the group is under test ("sem-erro",
    // "com-erro"); empty: still under test.
    QString verdict;
    bool modellingHomologated = true;
    QList<ModifiedFile> modified;
    QList<ReleasedFile> released;
    QList<WorkItem> workItems;
};

struct Group {
    QString code;  // empty: the requests wait for a group (free for the pick list)
    QString name;
    QString phase;
    QString release;
    QString product;
    int ageInDays = 0;  // how long ago it was created
    QList<Request> requests;
};

struct Product {
    QString code;
    QString treeCode;
    QString name;
    QString branch;
    QString version;  // VRRPPP of the current patch
    // VRRPPP before the road ran: the road's homologations register the patches after it.
    QString startVersion;
    QStringList locations;  // the six locations
    bool metadata = false;  // its windows are built from metadata (IDGERRELEASEMETA)
};

struct Operator {
    QString code;
    QString name;
    bool editsGroups = false;
};

struct Content {
    QList<Product> products;
    QList<Group> groups;  // in the order the road takes them
    QList<Request> freeRequests;  // of the first product, in no group
    QList<Operator> operators;
    QStringList subjects;
};

struct Workspace {
    QString root;          // native folder of the workspace
    QString settingsFile;  // native path of its settings file
    QString databaseFile;  // native path of its SQLite database
    Content content;
    bool atStart = false;  // the content is to be loaded "Pendente", for the road
};

using Progress = std::function<void(const QString &)>;
// Loads a new workspace's content into its database (through the server's import).
using Loader = std::function<void(const Workspace &)>;
// Runs one step of the road: a command of `homologa` ("advance GROUP --yes --send-back")
// or of `homologa-server` ("verdict BRANCH REQUEST sem-erro"); throws when it fails.
using Road = std::function<void(const Workspace &, const QStringList &step)>;

// The document that `homologa-server import` loads: products, operators, subjects,
// requests with their files, and groups. `atStart`: every group "Pendente", for the road
// to take to its phase; otherwise each group is written straight at its phase (the tests'
// quick setup, without the trees and tags the road leaves).
QByteArray importDocument(const Content &content, bool atStart = false);

// The commands that take every group from "Pendente" to its phase with the real
// transitions, group after group, giving the testers' verdicts once a group is under test.
QList<QStringList> roadSteps(const Content &content);

// The operator the demo's settings name (allowed to edit groups).
QString demoOperator();

// The default folder of the demo workspace (in the user's data folder).
QString defaultRoot();

// Creates the workspace when it does not exist yet (or always, with `reset`), loads its
// content with `load` (with `road`: every group "Pendente", then the road's steps run), and returns it with its settings file in use and its mount table
// loaded into the platform layer. Throws platform::PlatformError or std::runtime_error
// with a clear message when a step fails; a half-built workspace is removed so that the
// next start builds it again.
Workspace prepare(const QString &root, bool reset, const Loader &load, const Progress &progress = {},
                  const Road &road = {});

// The demo's repositories served by svnserve on a free loopback port while this lives
// (`homologa --demo --svn-server`); the destructor stops the server.
class RepositoryServer {
public:
    RepositoryServer();
    ~RepositoryServer();
    RepositoryServer(const RepositoryServer &) = delete;
    RepositoryServer &operator=(const RepositoryServer &) = delete;

    QString url;  // "svn://127.0.0.1:PORT": the folder of both repositories
    int port = 0;  // where svnserve listens
    QString configFile, usersFile, rulesFile;  // svnserve's, in the workspace folder
    std::unique_ptr<platform::Process> process;
};

// Loads a document of `homologa-server import` (here: the products with their new locations).
using DocumentLoader = std::function<void(const QByteArray &document)>;

// Starts svnserve on the workspace's repositories (its settings in use), on `port` or a
// free one, with a users file that gives the repository user ("svn_" + logon name) the
// workspace's repository password and lets nobody in without it; then relocates every
// working copy of the workspace to the server's URLs and loads the products' locations
// naming them. `urlPort` (0: the server's) is the port the URLs name, when something
// else (a latency proxy) listens there in front of the server. Throws std::runtime_error
// with a clear message when a step fails.
std::unique_ptr<RepositoryServer> serveRepositories(const Workspace &workspace, const DocumentLoader &load, int port = 0,
                                                    int urlPort = 0);

// Relocates every working copy of the workspace to the same repository path under `url`
// (the folder of both repositories on some server) and loads the products' locations naming
// it. Throws std::runtime_error when svn refuses.
void pointRepositoriesAt(const Workspace &workspace, const QString &url, const DocumentLoader &load);

// The import document of the demo's products whose repositories are under `repos`
// ("svn://host:port", "file:///C:/Repos").
QByteArray productsDocument(const QString &repos);

// The default folder of the demo workspace served by svnserve: one of its own, so that the
// plain demo keeps its file:// repositories.
QString defaultServedRoot();

}  // namespace demo
