#include "demo/demo.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace files = platform::files;

TEST(DemoWorkspace, BuildsRepositoriesWithRealRevisionsAndIsReused)
{
    QTemporaryDir dir;
    const QString root = dir.filePath("demo");
    int loads = 0;
    demo::Workspace loaded;
    const demo::Workspace workspace = demo::prepare(root, false, [&](const demo::Workspace &w) {
        ++loads;
        loaded = w;
    });
    ASSERT_EQ(loads, 1);
    EXPECT_EQ(platform::settings::filePath(), root + "/homologa.ini");
    EXPECT_EQ(QFile(root + "/svn-password").permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    EXPECT_EQ(platform::settings::repositoryPassword(), "demo");

    const demo::Content &content = loaded.content;
    ASSERT_EQ(content.products.size(), 1);
    const demo::Product &product = content.products.first();
    EXPECT_TRUE(product.treeCode.contains("P5"));
    ASSERT_EQ(product.locations.size(), 6);
    EXPECT_TRUE(files::dirExists(product.locations[1]));
    EXPECT_TRUE(files::dirExists(product.locations[3]));
    // Both repositories in a real product's layout; the first location is the development
    // repository's URL (a missing working copy is checked out from it).
    EXPECT_EQ(product.locations[0], "file:///C:/Repos/Desenv/ERP/trunk");
    EXPECT_EQ(product.locations[2], "file:///C:/Repos/Homol/ERP/trunk");
    for (const char *repository : {"Desenv", "Homol"}) {
        int code = -1;
        const QString listed =
            platform::Process::run(QString("svn ls file:///C:/Repos/%1/ERP").arg(repository), &code);
        EXPECT_EQ(listed, "branches/\ntags/\ntrunk/\n") << repository;
    }

    int requests = 0;
    QStringList phases;
    for (const demo::Group &group : content.groups) {
        phases.append(group.phase);
        for (const demo::Request &request : group.requests) {
            ++requests;
            ASSERT_FALSE(request.modified.isEmpty());
            for (const demo::ModifiedFile &file : request.modified) {
                ASSERT_LT(file.previousRevision.toInt(), file.currentRevision.toInt()) << file.path.toStdString();
                // The current revision holds the request's change, the previous one does not.
                int code = -1;
                const QString now = platform::Process::run(
                    QString("svn cat -r %1 %2").arg(file.currentRevision, file.path), &code);
                EXPECT_EQ(code, 0) << now.toStdString();
                EXPECT_TRUE(now.contains(request.number)) << file.path.toStdString();
                const QString before = platform::Process::run(
                    QString("svn cat -r %1 %2").arg(file.previousRevision, file.path), &code);
                EXPECT_FALSE(before.contains(request.number));
            }
            for (const demo::ReleasedFile &released : request.released)
                EXPECT_TRUE(files::fileExists(released.path)) << released.path.toStdString();
        }
    }
    EXPECT_GE(requests, 12);
    for (const char *phase : {"001", "002", "003", "006", "007"})
        EXPECT_TRUE(phases.contains(phase)) << phase;

    // The server's own import takes the demo's document whole.
    const QString document = dir.filePath("demo.json");
    {
        QFile file(document);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(demo::importDocument(content));
    }
    int code = -1;
    const QString imported = platform::Process::run(
        QString("homologa-server import --db \"%1\" \"%2\"").arg(dir.filePath("demo.db"), document), &code);
    EXPECT_EQ(code, 0) << imported.toStdString();
    EXPECT_TRUE(imported.contains(QString("%1 solicitação(ões)").arg(requests))) << imported.toStdString();
    EXPECT_TRUE(imported.contains(QString("%1 grupo(s)").arg(content.groups.size()))) << imported.toStdString();

    // A second start reuses the workspace; a reset rebuilds it, and so does a workspace of
    // an older layout.
    demo::prepare(root, false, [&](const demo::Workspace &) { ++loads; });
    EXPECT_EQ(loads, 1);
    demo::prepare(root, true, [&](const demo::Workspace &) { ++loads; });
    EXPECT_EQ(loads, 2);
    {
        QFile ready(root + "/.ready");
        ASSERT_TRUE(ready.open(QIODevice::WriteOnly));
    }
    demo::prepare(root, false, [&](const demo::Workspace &) { ++loads; });
    EXPECT_EQ(loads, 3);
}

TEST(DemoWorkspace, AFailedLoadLeavesNothingHalfBuilt)
{
    QTemporaryDir dir;
    const QString root = dir.filePath("demo");
    EXPECT_THROW(demo::prepare(root, false, [](const demo::Workspace &) { throw std::runtime_error("base indisponível"); }),
                 std::runtime_error);
    EXPECT_FALSE(QFile::exists(root));
}
