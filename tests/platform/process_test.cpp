#include "platform/files.h"
#include "platform/process.h"

#include "support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>

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

// Native paths come back logical whether the child prints them whole or relative to its
// working folder, and only whole folder names count.
TEST(Process, WritesBackNativePathsWholeOrRelativeToTheWorkingFolder)
{
    MountedDrive drive;
    drive.writeFile("Hom/Srv/A.pas", "x");
    // The temporary folder holds the drive: a working folder above the mount.
    const QString temp = platform::ensureTempMount();
    const QString relative = QDir(QDir::tempPath()).relativeFilePath(drive.native());
    const struct {
        const char *workDir;  // logical; "T" the temporary folder, empty ours
        const char *printed;  // %1 the drive's native folder, %2 the same relative to "T", %3 to "/"
        const char *expected;
        int cut = 0;  // the child prints this many bytes, then pauses before the rest
    } cases[] = {
        {"", "%1/x.txt", "C:\\x.txt"},
        {"", "%1", "C:\\"},
        {"", "%1c/x.txt", "%1c/x.txt"},  // beside the mount, only the name starts alike
        {"", "<root>file://%1/Repos</root>", "<root>file:///C:/Repos</root>"},
        {"", "file://%1c/Repos", "file://%1c/Repos"},
        // Relative to the deepest folder that holds both the path and the working folder.
        {"", "Adicionando %3/Hom/A.pas", "Adicionando C:\\Hom\\A.pas"},
        {"T", "Enviando %2/Hom/Srv/A.pas", "Enviando C:\\Hom\\Srv\\A.pas"},
        {"T", "Enviando %2/Hom/Srv/A.pas", "Enviando C:\\Hom\\Srv\\A.pas", 11},  // cut before any "/"
        {"T", "'%2/hom'", "'C:\\hom'"},
        {"T", "%2c/Hom/A.pas", "%2c/Hom/A.pas"},
        {"T", "x%2/Hom", "x%2/Hom"},  // inside a word
        {"C:\\", "Adicionando Hom/Srv/A.pas", "Adicionando C:\\Hom\\Srv\\A.pas"},
        {"C:\\", "Hom/Srv", "C:\\Hom\\Srv"},
        {"C:\\", "Hom/SrvX/A.pas", "Hom/SrvX/A.pas"},
        {"C:\\Hom", "Srv/A.pas", "C:\\Hom\\Srv\\A.pas"},
        {"C:\\Hom", "Hom/Srv/A.pas", "C:\\Hom\\Srv\\A.pas"},
        {"C:\\Hom", "Srv", "Srv"},  // a bare word is no path
    };
    const auto fill = [&](const char *text) {
        return QString::fromUtf8(text).replace("%1", drive.native()).replace("%2", relative).replace("%3", drive.native().mid(1));
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.workDir) + " | " + c.printed);
        drive.writeFile("printed.txt", (fill(c.printed) + "\n").toUtf8());
        const QString workDir = QString::fromUtf8(c.workDir) == "T" ? temp : QString::fromUtf8(c.workDir);
        Process process;
        process.start(c.cut ? QString(R"(sh -c "head -c %1 $0; sleep 0.3; tail -c +%2 $0" C:\printed.txt C:\Hom\Srv)")
                                  .arg(c.cut)
                                  .arg(c.cut + 1)
                            : QString(R"(sh -c "cat $0" C:\printed.txt C:\Hom\Srv)"),
                      Process::Output::Merged, workDir);
        QString output;
        while (!process.waitForFinished(50))
            output += process.readAvailable();
        output += process.readAvailable();
        EXPECT_EQ(output.toStdString(), (fill(c.expected) + "\n").toStdString());
    }
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

// A server we start and nobody else would stop ends with us, also when we are killed
// outright; without the option it outlives us.
TEST(Process, AChildThatEndsWithUsEndsWhenWeAreKilled)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The death test runs this body again in a new process: the first one names the file.
    if (!qEnvironmentVariableIsSet("HOMOLOGA_TEST_CHILD_PID"))
        qputenv("HOMOLOGA_TEST_CHILD_PID", QDir::temp().filePath("child.pid").toLocal8Bit());
    const QString pidFile = qEnvironmentVariable("HOMOLOGA_TEST_CHILD_PID");
    // Ended (or ended and not yet reaped) within `tries` looks 50 ms apart.
    const auto ended = [](qint64 pid, int tries) {
        for (int i = 0; i < tries; ++i) {
            QFile stat(QString("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "))
                return true;
            QThread::msleep(50);
        }
        return false;
    };
    for (const bool endsWithUs : {true, false}) {
        SCOPED_TRACE(endsWithUs);
        EXPECT_EXIT(
            {
                // The child must not hold the death test's pipe open past our end.
                for (int fd = 3; fd < 1024; ++fd) {
                    if (const int flags = ::fcntl(fd, F_GETFD); flags >= 0)
                        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
                }
                Process server;
                if (endsWithUs)
                    server.setEndsWithUs();
                server.start("sleep 30");
                QFile file(pidFile);
                if (file.open(QIODevice::WriteOnly))
                    file.write(QByteArray::number(server.pid()));
                file.close();
                ::raise(SIGKILL);
            },
            ::testing::KilledBySignal(SIGKILL), "");
        QFile file(pidFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const qint64 pid = file.readAll().toLongLong();
        ASSERT_GT(pid, 0);
        EXPECT_EQ(ended(pid, endsWithUs ? 100 : 6), endsWithUs);
        if (!endsWithUs)
            ::kill(pid_t(pid), SIGKILL);
    }
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
