#include "demo/demo.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QFile>

#include <algorithm>
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
    // A compiled product and a metadata-driven web product, each in a real product's layout
    // in both repositories; the first location is the development repository's URL (a
    // missing working copy is checked out from it).
    ASSERT_EQ(content.products.size(), 2);
    const struct {
        const char *tree, *folder;
        bool metadata;
    } expected[] = {{"P5", "ERP", false}, {"P15", "PORTAL", true}};
    for (int i = 0; i < 2; ++i) {
        const demo::Product &product = content.products[i];
        const QString folder = expected[i].folder;
        EXPECT_TRUE(product.treeCode.contains(expected[i].tree));
        EXPECT_EQ(product.metadata, expected[i].metadata);
        ASSERT_EQ(product.locations.size(), 6);
        EXPECT_TRUE(files::dirExists(product.locations[1]));
        EXPECT_TRUE(files::dirExists(product.locations[3]));
        EXPECT_EQ(product.locations[0], "file:///C:/Repos/Desenv/" + folder + "/trunk");
        EXPECT_EQ(product.locations[2], "file:///C:/Repos/Homol/" + folder + "/trunk");
        for (const char *repository : {"Desenv", "Homol"}) {
            int code = -1;
            const QString listed =
                platform::Process::run(QString("svn ls file:///C:/Repos/%1/%2").arg(repository, folder), &code);
            EXPECT_EQ(listed, "branches/\ntags/\ntrunk/\n") << repository;
        }
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
    EXPECT_TRUE(imported.contains(QString("%1 solicitação(ões)").arg(requests + content.freeRequests.size())))
        << imported.toStdString();
    EXPECT_TRUE(imported.contains(QString("%1 grupo(s)").arg(content.groups.size()))) << imported.toStdString();

    // Files to generate are stored as the product stores them, without their drive; one
    // request waits for a group.
    const QByteArray text = demo::importDocument(content, true);
    EXPECT_TRUE(text.contains(R"("DSARQPATCH": "\\Desenv\\ERP\\ZQL\\SRC\\Cadastro\\Cadastro.dpr")")) << text.toStdString();
    EXPECT_FALSE(text.contains(R"("DSARQPATCH": "C:)"));
    ASSERT_EQ(content.freeRequests.size(), 1);
    // One group's requests release the same file: its interdependency viewer has something to show.
    const auto sharesAFile = [](const demo::Group &group) {
        QStringList seen;
        for (const demo::Request &request : group.requests) {
            for (const demo::ReleasedFile &file : request.released) {
                if (seen.contains(file.path, Qt::CaseInsensitive))
                    return true;
                seen << file.path;
            }
        }
        return false;
    };
    EXPECT_TRUE(std::any_of(content.groups.begin(), content.groups.end(), sharesAFile));
    EXPECT_EQ(text.count(R"("NRSOLISERV": "0000001014")"), 1);
    // Built for the road, every group starts "Pendente"; the road takes the closed group to
    // its end first, verdicts given once it is under test.
    EXPECT_FALSE(text.contains(R"("IDSTGRUPHOM": "006")"));
    const QList<QStringList> road = demo::roadSteps(content);
    const QStringList closing{"advance", "0000000005", "--yes", "--send-back"};
    ASSERT_GE(road.size(), 8);
    EXPECT_EQ(road.mid(0, 5), QList<QStringList>(5, closing));
    EXPECT_EQ(road[5], (QStringList{"verdict", "0001", "0000001011", "sem-erro"}));
    EXPECT_EQ(road[7], closing);
    EXPECT_FALSE(road.contains(QStringList{"verdict", "0001", "0000001009", "sem-erro"}));

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
