// The process layer against the real Subversion client: a repository made with svnadmin
// in a folder mounted as C:\, worked on through logical paths only.

#include "platform/files.h"
#include "platform/process.h"

#include "support/testenv.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

using platform::Process;

namespace {

QString runOk(const QString &commandLine)
{
    int code = -1;
    const QString output = Process::run(commandLine, &code, 60000);
    EXPECT_EQ(code, 0) << commandLine.toStdString() << "\n" << output.toStdString();
    return output;
}

}  // namespace

TEST(Subversion, WorksOnLogicalPathsAndSpeaksPortuguese)
{
    MountedDrive drive;
    runOk("svnadmin create C:\\repo");
    const QString url = fileUrl(drive.nativePath("repo"));

    const QString checkout = runOk(QString("svn checkout %1 C:\\wc --non-interactive").arg(url));
    EXPECT_TRUE(checkout.contains("revisão 0")) << checkout.toStdString();

    platform::files::writeLines("C:\\wc\\a.txt", {"linha"});
    const QString add = runOk("svn add C:\\WC\\A.TXT");
    EXPECT_TRUE(add.contains("C:\\WC\\A.TXT")) << add.toStdString();

    const QString commit = runOk("svn commit C:\\wc -m \"primeira versão\" --non-interactive");
    EXPECT_TRUE(commit.contains("Commit da revisão 1")) << commit.toStdString();

    const QString status = runOk("svn status -u -v C:\\WC\\A.TXT --non-interactive");
    EXPECT_TRUE(status.contains("C:\\WC\\A.TXT")) << status.toStdString();
    EXPECT_TRUE(status.contains(" 1 ")) << status.toStdString();
    EXPECT_FALSE(status.contains(drive.native())) << status.toStdString();

    const QString update = runOk("svn update C:\\wc --non-interactive");
    EXPECT_TRUE(update.contains("Na revisão 1")) << update.toStdString();
}

TEST(Subversion, PasswordNeverReachesTheArgumentList)
{
    MountedDrive drive;
    runOk("svnadmin create C:\\repo");
    const QString url = fileUrl(drive.nativePath("repo"));
    runOk(QString("svn checkout %1 C:\\wc --non-interactive").arg(url));
    // A file larger than a pipe holds: svn cat blocks on its output until we read, so the
    // child is surely still running when its /proc entry is read.
    platform::files::writeBytes("C:\\wc\\big.txt", QByteArray(512 * 1024, 'x'));
    runOk("svn add C:\\wc\\big.txt");
    runOk("svn commit C:\\wc -m grande --non-interactive");

    Process process;
    process.start(QString("svn cat %1/big.txt --username svn_teste --password Segredo123 --non-interactive").arg(url));
    // Until the child has replaced itself with svn its /proc entry still shows the parent.
    QByteArray cmdline;
    QElapsedTimer waited;
    waited.start();
    while (!cmdline.contains("svn_teste") && waited.elapsed() < 5000) {
        QFile file(QString("/proc/%1/cmdline").arg(process.pid()));
        if (file.open(QIODevice::ReadOnly))
            cmdline = file.readAll();
    }
    ASSERT_TRUE(cmdline.contains("svn_teste")) << "the child was not seen running";
    EXPECT_FALSE(cmdline.contains("Segredo123"));
    EXPECT_TRUE(cmdline.contains("--password-from-stdin"));
    QString output;
    while (!process.waitForFinished(50))
        output += process.readAvailable();
    output += process.readAvailable();
    EXPECT_EQ(process.exitCode(), 0) << output.left(500).toStdString();
    EXPECT_EQ(output.size(), 512 * 1024);
    EXPECT_FALSE(process.displayCommandLine().contains("Segredo123"));
}
