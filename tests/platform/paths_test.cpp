#include "platform/paths.h"

#include "support/testenv.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::MountTable;
using platform::PlatformError;

TEST(LogicalPath, NormalizesSeparatorsDotsAndDrive)
{
    using platform::logical::normalize;
    EXPECT_EQ(normalize("c:/Hom/./Srv//A.pas"), "C:\\Hom\\Srv\\A.pas");
    EXPECT_EQ(normalize("C:\\Hom\\Srv\\..\\Cli\\B.pas"), "C:\\Hom\\Cli\\B.pas");
    EXPECT_EQ(normalize("C:\\"), "C:\\");
    EXPECT_EQ(normalize("C:"), "C:\\");
    EXPECT_THROW(normalize("C:\\..\\x"), PlatformError);
    EXPECT_THROW(normalize("Hom\\A.pas"), PlatformError);
    EXPECT_TRUE(platform::logical::equal("c:/HOM/a.PAS", "C:\\hom\\A.pas"));
}

TEST(MountTable, LongestPrefixWins)
{
    MountTable table;
    table.add("C:\\", "/srv/c");
    table.add("C:\\Windows\\Temp", "/tmp/t");
    table.add("F:\\HORVANE", "/opt/horvane");
    EXPECT_EQ(table.toNative("C:\\Windows\\Temp\\x.txt"), "/tmp/t/x.txt");
    EXPECT_EQ(table.toNative("c:/windows/temp"), "/tmp/t");
    EXPECT_EQ(table.toNative("C:\\Windows\\TempX\\a"), "/srv/c/Windows/TempX/a");
    EXPECT_EQ(table.toNative("F:\\Horvane\\Gera.bat"), "/opt/horvane/Gera.bat");
    EXPECT_EQ(table.toLogical("/tmp/t/sub/y.txt"), "C:\\Windows\\Temp\\sub\\y.txt");
    EXPECT_EQ(table.toLogical("/srv/c"), "C:\\");
    EXPECT_EQ(table.toLogical("/elsewhere/file"), "");
    // A native folder is under a mount only below a "/": /srv/cc is not in /srv/c.
    EXPECT_EQ(table.toLogical("/srv/cc/x.txt"), "");
    EXPECT_EQ(table.toLogical("/tmp/tt"), "");
}

TEST(MountTable, UnmappedDriveNamesThePath)
{
    MountTable table;
    table.add("C:\\", "/srv/c");
    try {
        table.toNative("Q:\\Dados\\x.txt");
        FAIL() << "no error";
    } catch (const PlatformError &error) {
        EXPECT_TRUE(error.message().contains("Q:\\Dados\\x.txt")) << error.what();
    }
}

TEST(MountTable, ComponentsMatchWithoutRegardToCase)
{
    MountedDrive drive;
    drive.writeFile("Pre/Bin/X.dll", "x");
    drive.writeFile("Pre/Bin/x.DLL.bak", "y");
    const MountTable &table = platform::mounts();
    EXPECT_EQ(table.toNative("C:\\PRE\\BIN\\X.DLL"), drive.nativePath("Pre/Bin/X.dll"));
    // Names beyond ASCII too.
    drive.writeFile("Pre/Solicitação/Ação.txt", "z");
    EXPECT_EQ(table.toNative("C:\\PRE\\SOLICITAÇÃO\\AÇÃO.TXT"), drive.nativePath("Pre/Solicitação/Ação.txt"));
    // Missing components keep the case given, below the last existing folder.
    EXPECT_EQ(table.toNative("C:\\pre\\NOVO\\Arq.Txt"), drive.nativePath("Pre/NOVO/Arq.Txt"));
    // ".." is resolved before mapping and cannot leave the drive.
    EXPECT_EQ(table.toNative("C:\\pre\\bin\\..\\BIN\\x.dll"), drive.nativePath("Pre/Bin/X.dll"));
    EXPECT_THROW(table.toNative("C:\\pre\\..\\..\\etc\\passwd"), PlatformError);
}

TEST(MountTable, ExactCaseWinsThenFirstInSortedOrder)
{
    MountedDrive drive;
    drive.writeFile("dir/b.txt", "lower");
    drive.writeFile("dir/B.txt", "upper");
    drive.writeFile("Other/b.TXT", "only");
    const MountTable &table = platform::mounts();
    EXPECT_EQ(table.toNative("C:\\dir\\B.txt"), drive.nativePath("dir/B.txt"));
    EXPECT_EQ(table.toNative("C:\\dir\\b.txt"), drive.nativePath("dir/b.txt"));
    // Neither is exact: "B.TXT" sorts before "b.txt".
    EXPECT_EQ(table.toNative("C:\\DIR\\B.TXT"), drive.nativePath("dir/B.txt"));
    EXPECT_EQ(table.toNative("C:\\other\\B.txt"), drive.nativePath("Other/b.TXT"));
}

TEST(MountTable, ReadsAndWritesTheSettingsSection)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("homologa.ini");
    {
        MountTable table;
        table.add("C:\\", "/srv/c");
        table.add("F:\\HORVANE", "/opt/horvane");
        QSettings settings(file, QSettings::IniFormat);
        table.writeToSettings(settings);
    }
    QSettings settings(file, QSettings::IniFormat);
    const MountTable table = MountTable::fromSettings(settings);
    ASSERT_EQ(table.mounts().size(), 2);
    EXPECT_EQ(table.toNative("f:\\horvane\\a"), "/opt/horvane/a");
    EXPECT_EQ(table.toNative("C:\\x"), "/srv/c/x");
    EXPECT_THROW(MountTable().add("C:\\", "relative/folder"), PlatformError);
}
