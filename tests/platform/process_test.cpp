#include "platform/files.h"
#include "platform/process.h"

#include "support/testenv.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

using platform::Process;
namespace cmdline = platform::cmdline;

TEST(CommandLine, SplitsTheWindowsWay)
{
    EXPECT_EQ(cmdline::split(R"(svn  update "C:\Hom\Meus Fontes\A.pas" -r 12)"),
              (QStringList{"svn", "update", R"(C:\Hom\Meus Fontes\A.pas)", "-r", "12"}));
    // Backslashes are literal unless they precede a quote.
    EXPECT_EQ(cmdline::split(R"(x a\\b "c\"d" e\\\"f "g\\")"), (QStringList{"x", R"(a\\b)", R"(c"d)", R"(e\"f)", R"(g\)"}));
    EXPECT_EQ(cmdline::split(R"(x "a""b" c"d e"f)"), (QStringList{"x", R"(a"b)", "cd ef"}));
    EXPECT_EQ(cmdline::split(R"("C:\Program Files\x.exe" "")"), (QStringList{R"(C:\Program Files\x.exe)", ""}));
    EXPECT_TRUE(cmdline::split("   ").isEmpty());
}

TEST(CommandLine, MapsDrivePathsInsideArgumentsAndLeavesUrls)
{
    platform::MountTable table;
    table.add("C:\\", "/srv/c");
    table.add("F:\\HORVANE", "/opt/hv");
    EXPECT_EQ(cmdline::mapArgument(R"(C:\B\cli\A.pas)", table), "/srv/c/B/cli/A.pas");
    EXPECT_EQ(cmdline::mapArgument(R"(/LEC:\B\cli\bin)", table), "/LE/srv/c/B/cli/bin");
    EXPECT_EQ(cmdline::mapArgument(R"(-foC:\B\res\versao.res)", table), "-fo/srv/c/B/res/versao.res");
    EXPECT_EQ(cmdline::mapArgument(R"(-UC:\B\dcu;C:\B\lib;F:\horvane\x)", table), "-U/srv/c/B/dcu;/srv/c/B/lib;/opt/hv/x");
    EXPECT_EQ(cmdline::mapArgument("c:/B/x.txt", table), "/srv/c/B/x.txt");
    EXPECT_EQ(cmdline::mapArgument("file:///r/homol", table), "file:///r/homol");
    EXPECT_EQ(cmdline::mapArgument("svn://host/r", table), "svn://host/r");
    EXPECT_EQ(cmdline::mapArgument("http://host:80/r", table), "http://host:80/r");
    // A logical file URL becomes the native one.
    EXPECT_EQ(cmdline::mapArgument("file:///C:/repos/homol", table), "file:///srv/c/repos/homol");
    EXPECT_EQ(cmdline::mapArgument("plain text", table), "plain text");
    EXPECT_THROW(cmdline::mapArgument(R"(Q:\nowhere)", table), platform::PlatformError);
}

TEST(CommandLine, MasksPasswords)
{
    EXPECT_EQ(cmdline::maskPasswords("svn update --username u --password s3cr3t C:\\x"),
              "svn update --username u --password **** C:\\x");
    EXPECT_EQ(cmdline::maskPasswords("svn info --password=\"a b\" x"), "svn info --password=**** x");
}

TEST(CommandLine, FindsProgramsWithoutRegardToCaseAndExtension)
{
    MountedDrive drive;
    drive.writeFile("Tools/Gera.sh", "#!/bin/sh\necho gerado\n");
    QFile::setPermissions(drive.nativePath("Tools/Gera.sh"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const auto &table = platform::mounts();
    EXPECT_EQ(cmdline::findProgram("C:\\TOOLS\\GERA.SH", table), drive.nativePath("Tools/Gera.sh"));
    EXPECT_FALSE(cmdline::findProgram("SH.EXE", table).isEmpty());
    EXPECT_FALSE(cmdline::findProgram("fc.exe", table).isEmpty());
    EXPECT_TRUE(cmdline::findProgram("no-such-program-here", table).isEmpty());
}

TEST(Process, RunsWritesBackLogicalPathsAndReportsExitCode)
{
    MountedDrive drive;
    drive.writeFile("Hom/Srv/A.pas", "x");
    int code = -5;
    const QString output = Process::run(R"(sh -c "ls C:\HOM\SRV\A.PAS; echo 'C:\hom'; exit 3")", &code);
    EXPECT_EQ(code, 3);
    EXPECT_TRUE(output.contains("C:\\HOM\\SRV\\A.PAS\n")) << output.toStdString();
    EXPECT_FALSE(output.contains(drive.native())) << output.toStdString();
}

TEST(Process, OnlyWholeFoldersAreWrittenBackInLogicalForm)
{
    MountedDrive drive;
    // A folder beside the mount whose name starts with the mount's is not under it.
    const QString vizinha = drive.native() + "c/x.txt";
    const QString output =
        Process::run(QString(R"(sh -c "echo %1; echo %2/x.txt; echo %2" C:\x.txt)").arg(vizinha, drive.native()));
    EXPECT_TRUE(output.contains(vizinha + "\n")) << output.toStdString();
    EXPECT_TRUE(output.contains("\nC:\\x.txt\n")) << output.toStdString();
    EXPECT_TRUE(output.endsWith("\nC:\\\n")) << output.toStdString();
}

// How a child ended decides, whatever it printed.
TEST(Process, FailureSaysHowTheChildEnded)
{
    const struct {
        const char *line;
        const char *failure;  // empty: a success
    } cases[] = {
        {R"(sh -c "echo Error; exit 0")", ""},
        {R"(sh -c "echo 'Commit da revisão 2.'; exit 1")", "O programa \"sh\" terminou com o código de saída 1."},
        {R"(sh -c "kill -TERM $$")", "O programa \"sh\" foi interrompido pelo sinal 15."},
        {"programa-que-nao-existe", "O programa \"programa-que-nao-existe\" não foi encontrado."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        QString failure = "?";
        Process::run(QString::fromUtf8(c.line), nullptr, 10000, &failure);
        EXPECT_EQ(failure, QString::fromUtf8(c.failure));
    }
    // A child we stop has not finished its work either.
    Process stopped;
    stopped.start("sleep 30");
    stopped.terminate();
    EXPECT_EQ(stopped.failure(), "O programa \"sleep\" foi interrompido.");
}

TEST(Process, StdOutOnlyDropsErrors)
{
    Process process;
    process.start(R"(sh -c "echo saida; echo erro 1>&2")", Process::Output::StdOutOnly);
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString output = process.readAvailable();
    EXPECT_TRUE(output.contains("saida"));
    EXPECT_FALSE(output.contains("erro"));
}

TEST(Process, NonBlockingReadsDeliverOutputWhileTheChildRuns)
{
    Process process;
    process.start(R"(sh -c "echo primeira; sleep 2; echo segunda")");
    QString seen;
    QElapsedTimer timer;
    timer.start();
    while (!seen.contains("primeira") && timer.elapsed() < 5000) {
        process.waitForFinished(50);
        seen += process.readAvailable();
    }
    EXPECT_TRUE(seen.contains("primeira"));
    EXPECT_TRUE(process.isRunning());
    EXPECT_FALSE(seen.contains("segunda"));
    ASSERT_TRUE(process.waitForFinished(10000));
    seen += process.readAvailable();
    EXPECT_TRUE(seen.contains("segunda"));
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(Process, WaitTimesOutAndTerminateStopsTheChild)
{
    Process process;
    process.start("sleep 30");
    EXPECT_FALSE(process.waitForFinished(100));
    EXPECT_TRUE(process.isRunning());
    const qint64 pid = process.pid();
    EXPECT_GT(pid, 0);
    process.terminate();
    EXPECT_FALSE(process.isRunning());
    EXPECT_FALSE(QFile::exists(QString("/proc/%1").arg(pid)));
    EXPECT_EQ(process.exitCode(), -1);

    // A child that ends quickly is seen ended at once, not after the whole wait.
    Process quick;
    quick.start("true");
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(quick.waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(Process, StartFailuresAreClearErrors)
{
    Process process;
    try {
        process.start("programa-que-nao-existe.exe arg");
        FAIL();
    } catch (const platform::PlatformError &error) {
        EXPECT_TRUE(error.message().contains("programa-que-nao-existe.exe"));
    }
    MountedDrive drive;
    EXPECT_THROW(process.start(R"(sh -c "echo" Q:\fora)"), platform::PlatformError);
    EXPECT_TRUE(platform::missingLocaleMessage().isEmpty()) << "pt_BR.UTF-8 must be installed for the tests";
}
