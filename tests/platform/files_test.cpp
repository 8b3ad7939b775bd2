#include "platform/files.h"
#include "platform/paths.h"

#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include <gtest/gtest.h>

namespace files = platform::files;

TEST(Files, CopyOverwritesReadOnlyTargetAndKeepsTime)
{
    MountedDrive drive;
    drive.writeFile("src/A.pas", "new");
    drive.writeFile("dst/a.PAS", "old");
    ASSERT_TRUE(files::setReadOnly("C:\\DST\\A.PAS", true));
    files::Attributes attributes;
    ASSERT_TRUE(files::attributes("C:\\dst\\a.pas", attributes));
    EXPECT_TRUE(attributes.readOnly);

    const QDateTime stamp = QDateTime::fromString("2020-05-06T07:08:09", Qt::ISODate);
    ASSERT_TRUE(files::setModificationTime("C:\\src\\A.pas", stamp));
    ASSERT_TRUE(files::copyFile("C:\\SRC\\A.PAS", "C:\\dst\\A.pas"));
    EXPECT_EQ(drive.readFile("dst/a.PAS"), "new");
    EXPECT_EQ(files::modificationTime("C:\\dst\\a.pas"), stamp);
    ASSERT_TRUE(files::attributes("C:\\dst\\a.pas", attributes));
    EXPECT_FALSE(attributes.readOnly);

    EXPECT_FALSE(files::copyFile("C:\\src\\missing.pas", "C:\\dst\\m.pas"));
    EXPECT_FALSE(files::fileExists("C:\\dst\\m.pas"));
}

// A failed copy says why, and leaves neither the target nor a partial copy behind.
TEST(Files, FailedCopyNamesItsReason)
{
    MountedDrive drive;
    drive.writeFile("src/A.pas", "new");
    drive.writeFile("ro/keep.txt", "x");
    const bool root = ::geteuid() == 0;  // the owner's write bit does not stop root
    QFile::setPermissions(drive.nativePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
    const struct {
        const char *source, *target;
        files::CopyFailure failure;
    } cases[] = {
        {"C:\\src\\missing.pas", "C:\\src\\B.pas", files::CopyFailure::SourceMissing},
        {"C:\\src\\A.pas", "C:\\nofolder\\B.pas", files::CopyFailure::TargetFolderMissing},
        {"C:\\src\\A.pas", "C:\\ro\\B.pas", root ? files::CopyFailure::None : files::CopyFailure::NoPermission},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(files::copyFileReporting(c.source, c.target).failure, c.failure) << c.target;
        if (c.failure != files::CopyFailure::None)
            EXPECT_FALSE(files::fileExists(c.target)) << c.target;
        EXPECT_FALSE(files::fileExists(QString::fromLatin1(c.target) + files::partialCopySuffix())) << c.target;
    }
    QFile::setPermissions(drive.nativePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(Files, FoldersOneLevelAtATimeAndRemoval)
{
    MountedDrive drive;
    EXPECT_FALSE(files::createDir("C:\\a\\b"));  // parent missing
    EXPECT_TRUE(files::createDir("C:\\a"));
    EXPECT_TRUE(files::createDir("C:\\A\\b"));
    EXPECT_FALSE(files::createDir("C:\\a\\B"));  // exists already (without regard to case)
    EXPECT_TRUE(files::dirExists("C:\\A\\B"));
    drive.writeFile("a/b/f.txt", "x");
    EXPECT_FALSE(files::removeDir("C:\\a\\b"));  // not empty
    EXPECT_TRUE(files::deleteFile("C:\\a\\b\\F.TXT"));
    EXPECT_FALSE(files::deleteFile("C:\\a\\b\\F.TXT"));
    EXPECT_TRUE(files::removeDir("C:\\a\\b"));
    EXPECT_FALSE(files::dirExists("C:\\a\\b"));
}

TEST(Files, ListsWithWindowsWildcards)
{
    MountedDrive drive;
    for (const char *name : {"index.HTML", "b.html", "c.htm", "Unit1.dcu", "NPacote.bpl", "Outro.bpl", "semext"})
        drive.writeFile(QString("w/") + name, "x");
    drive.writeFile("w/sub/x.html", "x");
    EXPECT_EQ(files::listDir("C:\\w", "*.html", files::EntryKind::Files), (QStringList{"b.html", "index.HTML"}));
    EXPECT_EQ(files::listDir("C:\\W", "*.DCU", files::EntryKind::Files), QStringList{"Unit1.dcu"});
    EXPECT_EQ(files::listDir("C:\\w", "n*.bpl"), QStringList{"NPacote.bpl"});
    EXPECT_EQ(files::listDir("C:\\w", "*", files::EntryKind::Dirs), QStringList{"sub"});
    EXPECT_EQ(files::listDir("C:\\w", "*.*", files::EntryKind::Files).size(), 7);
    EXPECT_TRUE(files::wildcardMatch("?nit1.dcu", "Unit1.DCU"));
    EXPECT_FALSE(files::wildcardMatch("*.htm", "a.html"));
    EXPECT_TRUE(files::listDir("C:\\nao\\existe", "*").isEmpty());
}

TEST(Files, WholeFileReadsAndAtomicWrites)
{
    MountedDrive drive;
    files::writeLines("C:\\t\\..\\linhas.txt", {"primeira", "ação"});
    EXPECT_EQ(drive.readFile("linhas.txt"), QByteArray("primeira\r\n") + QString("ação").toUtf8() + "\r\n");
    EXPECT_EQ(files::readLines("C:\\LINHAS.TXT"), (QStringList{"primeira", "ação"}));
    drive.writeFile("latin.txt", "a\xe7\xe3o\n");
    EXPECT_EQ(files::readLines("C:\\latin.txt"), QStringList{"ação"});
    files::writeBytes("C:\\bin.dat", QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(files::readBytes("C:\\bin.dat").size(), 3);
    EXPECT_THROW(files::readBytes("C:\\missing.dat"), platform::PlatformError);
    EXPECT_THROW(files::writeBytes("C:\\no\\folder\\x.dat", "x"), platform::PlatformError);
    EXPECT_THROW(files::fileExists("Z:\\x"), platform::PlatformError);
}

TEST(Files, CurrentFolderTempFolderAndUser)
{
    MountedDrive drive;
    drive.writeFile("work/f.txt", "x");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(files::setCurrentDir("C:\\WORK"));
    EXPECT_EQ(QDir::currentPath(), drive.nativePath("work"));
    EXPECT_EQ(files::currentDir(), "C:\\WORK");
    EXPECT_TRUE(files::fileExists("f.txt"));
    EXPECT_TRUE(files::fileExists("\\work\\f.txt"));
    EXPECT_FALSE(files::setCurrentDir("C:\\nothing"));
    QDir::setCurrent(before);

    const QString temp = files::tempPath();
    EXPECT_TRUE(temp.endsWith('\\'));
    EXPECT_TRUE(files::dirExists(temp));
    EXPECT_EQ(QFileInfo(files::nativePath(temp)).canonicalFilePath(), QFileInfo(QDir::tempPath()).canonicalFilePath());
    EXPECT_FALSE(files::logonName().isEmpty());
}

// A link at any level of a path, the root's own levels included, that takes it out of its
// working copy or tree is named; links that stay inside, and levels not there yet, are not.
TEST(Files, ALinkLeadingOutOfTheRootIsNamed)
{
    MountedDrive drive;
    QTemporaryDir fora;
    drive.writeFile("Homol/ERP/SRV/A.pas", "a");
    drive.writeFile("Outra/B.pas", "b");
    const auto liga = [&](const char *link, const QString &alvo) {
        ASSERT_EQ(::symlink(alvo.toLocal8Bit().constData(), drive.nativePath(QString::fromUtf8(link)).toLocal8Bit().constData()), 0);
    };
    liga("Homol/ERP/Arquivo.pas", fora.path() + "/X.pas");
    liga("Homol/ERP/Pasta", fora.path());
    liga("Homol/ERP/Vizinha", drive.nativePath("Outra"));
    liga("Homol/ERP/Interna", drive.nativePath("Homol/ERP/SRV"));
    liga("Ligada", fora.path());
    liga("Apelido", drive.nativePath("Homol/ERP"));
    const struct {
        const char *path;
        const char *root;
        const char *leadsOut;
    } casos[] = {
        {"C:\\Homol\\ERP\\SRV\\A.pas", "C:\\Homol\\ERP", ""},
        {"C:\\Homol\\ERP\\SRV\\Novo\\N.pas", "C:\\Homol\\ERP", ""},
        {"C:\\Homol\\ERP\\Interna\\A.pas", "C:\\Homol\\ERP", ""},
        {"C:\\Homol\\ERP\\Arquivo.pas", "C:\\Homol\\ERP", "C:\\Homol\\ERP\\Arquivo.pas"},
        {"C:\\Homol\\ERP\\Pasta\\Novo.pas", "C:\\Homol\\ERP", "C:\\Homol\\ERP\\Pasta"},
        {"C:\\homol\\erp\\VIZINHA\\B.pas", "C:\\Homol\\ERP", "C:\\Homol\\ERP\\Vizinha"},
        {"C:\\Ligada\\A.pas", "C:\\Ligada", "C:\\Ligada"},
        {"C:\\Apelido\\SRV\\A.pas", "C:\\Apelido", ""},
    };
    for (const auto &caso : casos) {
        SCOPED_TRACE(caso.path);
        EXPECT_EQ(files::linkLeadingOut(QString::fromUtf8(caso.path), QString::fromUtf8(caso.root)).toUpper(),
                  QString::fromUtf8(caso.leadsOut).toUpper());
    }
}
