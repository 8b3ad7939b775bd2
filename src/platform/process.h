#pragma once

// Child processes started from Windows-style command lines.
//
// A command line is split the Windows way; the program is a logical path or a name
// found on the search path without regard to case (also with ".exe"/".bat" dropped);
// inside every argument each logical drive path is mapped to its native form. What the
// child prints comes back with those native paths (and the working folder's) written in
// their logical form again, whether the child writes them whole or relative to its
// working folder.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <cstdio>

#include <memory>
#include <utility>
#include <vector>

class QProcess;

namespace platform {

class MountTable;

namespace cmdline {
// Splits a command line as the Windows runtime does: blanks and tabs separate, double
// quotes group and are removed, 2n backslashes before a quote give n backslashes and a
// quote that groups, 2n+1 give n backslashes and a literal quote, "" inside quotes is a
// literal quote, other backslashes are literal. The first word (the program) takes
// backslashes literally.
QStringList split(const QString &commandLine);

// Maps every logical drive path inside one argument: "X:\" anywhere, "X:/" at the
// start or after a character that is not a letter or digit; the path runs to the next
// ';' or the end of the argument. URLs ("file:///r", "svn://h/r") are left alone.
// Each mapping done is appended to `mapped` as (native, logical).
QString mapArgument(const QString &argument, const MountTable &table,
                    std::vector<std::pair<QString, QString>> *mapped = nullptr);

// The command line with every password replaced by "****" ("--password X",
// "--password=X"): what logs and screens show.
QString maskPasswords(const QString &commandLine);

// Finds a program: a logical path (mapped; also tried without ".exe"/".bat"), or a name
// on the search path (the tools folder first), matched without regard to case, also
// with ".exe"/".bat" dropped. Empty when not found.
QString findProgram(const QString &program, const MountTable &table);
}  // namespace cmdline

// Why a Subversion command could not work with its repository, read from what it printed:
// one Portuguese sentence for the operator naming the repository (the URL svn names, else
// the first URL or the last path of `commandWords`) and saying what to do, or empty when
// the output shows none of the known causes (a refused password, an account without
// access, an unknown server, a refused connection, a connection closed in the middle, a
// certificate not trusted).
QString repositoryProblem(const QString &output, const QStringList &commandWords);

// The folder put in front of PATH for children (by default the folder of the running
// executable, where the build places every tool).
void setToolsDir(const QString &nativeFolder);
QString toolsDir();

// The local time zone read once for the whole process (and its children): without TZ the C
// library looks at /etc/localtime again at every local-time conversion, which made reading
// the dates of a packet or stamping a save several times slower. Call before any thread
// starts; a TZ already set is kept.
void readTimeZoneOnce();

// Null when the pt_BR.UTF-8 locale that children run with exists, else a message that
// says how to install it. Subversion prints its Portuguese messages only with it.
QString missingLocaleMessage();

// True while a process with this id runs on this machine.
bool processAlive(qint64 pid);

// SIGINT and SIGTERM, once caught, ask the running operation to stop at its next step
// boundary instead of ending the process at once; a second signal of the same kind ends it
// as usual. `interruption()` is the signal received (0: none).
void catchInterruption();
int interruption();
void clearInterruption();

// Waits up to `timeoutMs` for `stream` to have something to read (or to end). False on
// time-out.
bool waitForInput(std::FILE *stream, int timeoutMs);

class Process {
public:
    enum class Output { StdOutOnly, Merged };

    Process();
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Starts the command line; the working folder is logical (empty: the current folder).
    // Throws PlatformError when the program cannot be found or started, or an argument
    // holds a path on no mount. For "svn", "--password X" is moved to standard input.
    void start(const QString &commandLine, Output output = Output::Merged, const QString &workDir = {});
    // Before start: the child is ended (SIGTERM) when this process ends in any way, also
    // when it is killed outright. For servers we start and nobody else would stop.
    void setEndsWithUs() { m_endsWithUs = true; }

    // What the pipe holds now, without waiting; native paths written back as logical ones.
    // An unfinished last line is held back until its end (or the child's) comes.
    QString readAvailable();
    // Waits until the child ends or `msecs` pass; true when it has ended. Output keeps
    // flowing into the buffer while waiting, so a chatty child never blocks.
    bool waitForFinished(int msecs);
    bool isRunning() const;
    // The exit code; -1 when the child crashed or was terminated.
    int exitCode() const;
    // How the child ended, the one judgement every caller makes: empty when it ended by
    // itself with status 0, otherwise a Portuguese sentence saying how it ended (a non-zero
    // status, killed by a signal, stopped by us). What it printed does not change whether it
    // failed; for svn a known cause in its output (repositoryProblem) is the sentence.
    QString failure() const;
    // For an svn child: the known cause of a failure in what it has printed so far
    // (repositoryProblem); empty otherwise.
    QString repositoryProblem() const;
    void terminate();
    qint64 pid() const;
    // The program and arguments as started (passwords masked): for logs and screens.
    QString displayCommandLine() const;
    const QStringList &nativeArguments() const { return m_arguments; }

    // Runs a command line to its end and returns its whole output (merged). `failure`
    // gets failure() of the child, or the reason it could not be started.
    static QString run(const QString &commandLine, int *exitCode = nullptr, int timeoutMsecs = -1,
                       QString *failure = nullptr);

private:
    QString rewrite(QString text, bool flush);

    std::unique_ptr<QProcess> m_process;
    QStringList m_arguments;
    QString m_display;
    QString m_program;
    bool m_stopped = false;
    bool m_endsWithUs = false;
    std::vector<std::pair<QString, QString>> m_rewrites;  // native form (absolute or relative) -> logical
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_pending;
    QString m_tail;  // the end of what the child printed, for repositoryProblem()
    bool m_svn = false;
    bool m_finished = false;
};

}  // namespace platform
