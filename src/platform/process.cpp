#include "process.h"

#include "files.h"
#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <algorithm>
#include <clocale>
#include <locale.h>
#include <poll.h>
#include <unistd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <cerrno>

namespace platform {

namespace cmdline {

QStringList split(const QString &commandLine)
{
    QStringList words;
    const qsizetype size = commandLine.size();
    qsizetype i = 0;
    bool first = true;
    while (i < size) {
        while (i < size && (commandLine[i] == u' ' || commandLine[i] == u'\t'))
            ++i;
        if (i >= size)
            break;
        QString word;
        bool quoted = false;
        if (first) {
            // The program name: quotes group, backslashes are plain characters.
            while (i < size && (quoted || (commandLine[i] != u' ' && commandLine[i] != u'\t'))) {
                if (commandLine[i] == u'"')
                    quoted = !quoted;
                else
                    word += commandLine[i];
                ++i;
            }
            words.append(word);
            first = false;
            continue;
        }
        while (i < size) {
            const QChar c = commandLine[i];
            if (!quoted && (c == u' ' || c == u'\t'))
                break;
            if (c == u'\\') {
                qsizetype slashes = 0;
                while (i < size && commandLine[i] == u'\\') {
                    ++slashes;
                    ++i;
                }
                if (i < size && commandLine[i] == u'"') {
                    word += QString(slashes / 2, u'\\');
                    if (slashes % 2 == 1) {
                        word += u'"';
                        ++i;
                    }
                } else {
                    word += QString(slashes, u'\\');
                }
                continue;
            }
            if (c == u'"') {
                if (quoted && i + 1 < size && commandLine[i + 1] == u'"') {
                    word += u'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            word += c;
            ++i;
        }
        words.append(word);
    }
    return words;
}

static bool isAsciiLetter(QChar c) { return c.unicode() < 128 && c.isLetter(); }

QString mapArgument(const QString &argument, const MountTable &table,
                    std::vector<std::pair<QString, QString>> *mapped)
{
    QString result;
    const qsizetype size = argument.size();
    qsizetype i = 0;
    while (i < size) {
        bool drive = false;
        if (isAsciiLetter(argument[i]) && i + 2 < size && argument[i + 1] == u':') {
            const QChar separator = argument[i + 2];
            drive = separator == u'\\' || (separator == u'/' && (i == 0 || !argument[i - 1].isLetterOrNumber()));
        }
        if (!drive) {
            result += argument[i++];
            continue;
        }
        qsizetype end = argument.indexOf(u';', i);
        if (end < 0)
            end = size;
        const QString logicalPath = argument.mid(i, end - i);
        const QString native = table.toNative(logicalPath);
        // A logical file URL ("file:///C:/repo") becomes the native one ("file:///srv/c/repo").
        if (result.endsWith(QStringLiteral("file:///")) && native.startsWith(u'/'))
            result.chop(1);
        result += native;
        if (mapped)
            mapped->emplace_back(native, logicalPath);
        i = end;
    }
    return result;
}

QString maskPasswords(const QString &commandLine)
{
    static const QRegularExpression separate(QStringLiteral(R"((--password\s+)("[^"]*"|\S+))"));
    static const QRegularExpression joined(QStringLiteral(R"((--password=)("[^"]*"|\S+))"));
    QString masked = commandLine;
    masked.replace(separate, QStringLiteral("\\1****"));
    masked.replace(joined, QStringLiteral("\\1****"));
    return masked;
}

static QString strippedExtension(const QString &name)
{
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive)
        || name.endsWith(QStringLiteral(".bat"), Qt::CaseInsensitive)
        || name.endsWith(QStringLiteral(".cmd"), Qt::CaseInsensitive))
        return name.left(name.size() - 4);
    return {};
}

static bool isExecutableFile(const QString &native)
{
    const QFileInfo info(native);
    return info.isFile() && info.isExecutable();
}

static QString findInFolder(const QString &folder, const QStringList &names)
{
    for (const QString &name : names) {
        if (isExecutableFile(folder + u'/' + name))
            return folder + u'/' + name;
    }
    return {};
}

static QString findInFolderIgnoringCase(const QString &folder, const QStringList &names)
{
    const QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Executable, QDir::Name)) {
        for (const QString &name : names) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return folder + u'/' + entry;
        }
    }
    return {};
}

QString findProgram(const QString &program, const MountTable &table)
{
    if (program.isEmpty())
        return {};
    QStringList names{program};
    if (const QString stripped = strippedExtension(program); !stripped.isEmpty())
        names.append(stripped);

    if (program.startsWith(u'/') && isExecutableFile(program))
        return program;
    const bool isPath = program.contains(u'\\') || program.contains(u'/') || program.contains(u':');
    if (isPath) {
        for (const QString &name : names) {
            const QString native = table.toNative(files::absolute(name));
            if (isExecutableFile(native))
                return native;
        }
        return {};
    }
    QStringList folders{toolsDir()};
    const QString path = QString::fromLocal8Bit(qgetenv("PATH"));
    for (const QString &folder : path.split(u':', Qt::SkipEmptyParts))
        folders.append(folder);
    for (const QString &folder : folders) {
        if (const QString found = findInFolder(folder, names); !found.isEmpty())
            return found;
    }
    for (const QString &folder : folders) {
        if (const QString found = findInFolderIgnoringCase(folder, names); !found.isEmpty())
            return found;
    }
    return {};
}

}  // namespace cmdline

static QString &toolsFolder()
{
    static QString folder;
    return folder;
}

void setToolsDir(const QString &nativeFolder) { toolsFolder() = nativeFolder; }

QString toolsDir()
{
    QString &folder = toolsFolder();
    if (folder.isEmpty()) {
        if (QCoreApplication::instance())
            folder = QCoreApplication::applicationDirPath();
        else
            folder = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section(u'/', 0, -2);
    }
    return folder;
}

namespace {

// One cause of a failed Subversion command: any of the texts (error codes first, as they
// do not depend on the language) in its output, and the sentence for the operator (%1
// the repository, %2 the user).
struct RepositoryCause {
    QStringList texts;
    const char *sentence;
};

const RepositoryCause kRepositoryCauses[] = {
    {{QStringLiteral("Password incorrect"), QStringLiteral("Username not found"), QStringLiteral("E215004"),
      QStringLiteral("obter nome de usuário e senha"), QStringLiteral("get username and password"),
      QStringLiteral("401 Unauthorized"), QStringLiteral("Authentication failed")},
     "O repositório %1 recusou o usuário %2 ou a sua senha. Confira a senha do arquivo indicado em "
     "[svn] password_file e repita a operação."},
    {{QStringLiteral("Authorization failed"), QStringLiteral("Autorização falhou"), QStringLiteral("403 Forbidden"),
      QStringLiteral("E220001")},
     "O repositório %1 não dá acesso ao usuário %2 (conta bloqueada ou sem permissão). Peça ao administrador do "
     "servidor Subversion que libere a conta e repita a operação."},
    {{QStringLiteral("E670002"), QStringLiteral("E670003"), QStringLiteral("E670008")},
     "O servidor do repositório %1 não foi encontrado (nome de servidor desconhecido). Confira a URL do produto e "
     "a conexão com a rede (VPN) e repita a operação."},
    {{QStringLiteral("E000111")},
     "O servidor do repositório %1 recusou a conexão: nenhum serviço do Subversion atende nesse endereço. Confira a "
     "URL do produto e se o servidor está no ar, e repita a operação."},
    {{QStringLiteral("E210002"), QStringLiteral("E000104"), QStringLiteral("E000032"), QStringLiteral("E000110"),
      QStringLiteral("E175012"), QStringLiteral("E120108")},
     "A conexão com o repositório %1 foi encerrada no meio do comando. Confira a rede e o servidor e repita a "
     "operação."},
    {{QStringLiteral("E230001")},
     "O certificado do servidor do repositório %1 não é aceito pelo svn deste computador. Aceite-o uma vez com o "
     "svn do operador (svn info URL) ou indique a autoridade em ~/.subversion/servers, e repita a operação."},
};

// The repository a failed command was about: the URL svn names, else the command's first
// URL, else the working copy of its last argument that is a path.
QString repositoryNamed(const QString &output, const QStringList &words)
{
    static const QRegularExpression quoted(QStringLiteral("'([a-z+]+://[^']+)'"));
    if (const QRegularExpressionMatch match = quoted.match(output); match.hasMatch())
        return match.captured(1);
    for (const QString &word : words.mid(1)) {
        if (word.contains(QStringLiteral("://")))
            return word;
    }
    for (qsizetype i = words.size() - 1; i > 0; --i) {
        if (!words[i].startsWith(u'-') && (words[i].contains(u'\\') || words[i].contains(u'/')))
            return QStringLiteral("da cópia de trabalho ") + words[i];
    }
    return QStringLiteral("(sem URL no comando)");
}

}  // namespace

QString repositoryProblem(const QString &output, const QStringList &commandWords)
{
    for (const RepositoryCause &cause : kRepositoryCauses) {
        for (const QString &text : cause.texts) {
            if (!output.contains(text, Qt::CaseInsensitive))
                continue;
            const qsizetype at = commandWords.indexOf(QStringLiteral("--username"));
            const QString user = at > 0 && at + 1 < commandWords.size() ? commandWords[at + 1] : QStringLiteral("(sem usuário)");
            return QString::fromUtf8(cause.sentence)
                .replace(QStringLiteral("%1"), repositoryNamed(output, commandWords))
                .replace(QStringLiteral("%2"), user);
        }
    }
    return {};
}

static const char *const kChildLocale = "pt_BR.UTF-8";

void readTimeZoneOnce()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

QString missingLocaleMessage()
{
    locale_t probe = ::newlocale(LC_ALL_MASK, kChildLocale, locale_t(nullptr));
    if (probe) {
        ::freelocale(probe);
        return {};
    }
    return QStringLiteral(
        "The locale pt_BR.UTF-8 is not installed: Subversion would not print the Portuguese texts that "
        "Homologa reads. Install it with: apt-get install locales && "
        "sed -i 's/^# *pt_BR.UTF-8/pt_BR.UTF-8/' /etc/locale.gen && locale-gen");
}

// What the child's output is written back with: the logical form of every native path we
// produced (exact mappings first, as they keep the case the caller gave, then their whole
// mounts), each also as the child writes it relative to its working folder or a folder
// above it. Longest native form first.
static std::vector<std::pair<QString, QString>> writeBacks(const std::vector<std::pair<QString, QString>> &mapped,
                                                           const MountTable &table, const QString &nativeWorkDir)
{
    std::vector<std::pair<QString, QString>> absolute;
    for (const auto &[native, logicalPath] : mapped) {
        absolute.emplace_back(native, logical::normalize(files::absolute(logicalPath)));
        if (const Mount *mount = table.mountFor(logicalPath))
            absolute.emplace_back(mount->native, mount->logical);
    }
    // Subversion writes a path relative to the deepest folder that holds both it and the
    // working folder ("/" at worst): every folder from the working folder up is such a
    // base. Only whole folders count: "/srv/cc" is not below "/srv/c".
    QStringList bases{QStringLiteral("/")};
    for (qsizetype slash = nativeWorkDir.indexOf(u'/', 1); slash > 0; slash = nativeWorkDir.indexOf(u'/', slash + 1))
        bases.append(nativeWorkDir.left(slash + 1));
    if (!nativeWorkDir.endsWith(u'/'))
        bases.append(nativeWorkDir + u'/');
    std::vector<std::pair<QString, QString>> rewrites = absolute;
    for (const auto &[native, logicalPath] : absolute) {
        for (const QString &base : bases) {
            if (native.size() > base.size() && native.startsWith(base))
                rewrites.emplace_back(native.mid(base.size()), logicalPath);
        }
    }
    std::stable_sort(rewrites.begin(), rewrites.end(),
                     [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
    rewrites.erase(std::unique(rewrites.begin(), rewrites.end()), rewrites.end());
    return rewrites;
}

Process::Process() = default;

Process::~Process()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

void Process::start(const QString &commandLine, Output output, const QString &workDir)
{
    const QStringList words = cmdline::split(commandLine);
    if (words.isEmpty())
        throw PlatformError(QStringLiteral("Linha de comando vazia."));
    const MountTable &table = mounts();
    const QString program = cmdline::findProgram(words.first(), table);
    if (program.isEmpty())
        throw PlatformError(QStringLiteral("O programa \"%1\" não foi encontrado.").arg(words.first()));

    std::vector<std::pair<QString, QString>> mapped;
    QStringList arguments;
    for (qsizetype i = 1; i < words.size(); ++i)
        arguments.append(cmdline::mapArgument(words[i], table, &mapped));

    // Subversion takes the password on standard input, never in its argument list.
    QByteArray standardInput;
    bool feedInput = false;
    const QString baseName = QFileInfo(program).fileName().toLower();
    if (baseName == u"svn") {
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            QString password;
            if (arguments[i] == u"--password" && i + 1 < arguments.size()) {
                password = arguments[i + 1];
                arguments.remove(i, 2);
            } else if (arguments[i].startsWith(QStringLiteral("--password="))) {
                password = arguments[i].mid(11);
                arguments.remove(i, 1);
            } else {
                continue;
            }
            arguments.append(QStringLiteral("--password-from-stdin"));
            standardInput = password.toUtf8() + '\n';
            feedInput = true;
            break;
        }
        // No Subversion child of ours ever waits for an answer nobody can type.
        if (!arguments.isEmpty() && !arguments.contains(QStringLiteral("--non-interactive")))
            arguments.append(QStringLiteral("--non-interactive"));
    }

    // The working folder is mapped as the arguments are: what the child prints about it is ours too.
    QString nativeWorkDir = QDir::currentPath();
    if (!workDir.isEmpty()) {
        nativeWorkDir = table.toNative(files::absolute(workDir));
        if (!QFileInfo(nativeWorkDir).isDir())
            throw PlatformError(QStringLiteral("A pasta \"%1\" não existe.").arg(workDir));
        mapped.emplace_back(nativeWorkDir, files::absolute(workDir));
    }
    m_rewrites = writeBacks(mapped, table, nativeWorkDir);

    m_process = std::make_unique<QProcess>();
    m_arguments = arguments;
    m_display = cmdline::maskPasswords(commandLine);
    m_program = words.first();
    m_stopped = false;
    m_pending.clear();
    m_tail.clear();
    m_svn = baseName == u"svn";
    m_decoder = QStringDecoder(QStringDecoder::Utf8);
    m_finished = false;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(kChildLocale));
    environment.insert(QStringLiteral("LANG"), QString::fromLatin1(kChildLocale));
    environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("pt_BR"));
    environment.insert(QStringLiteral("PATH"), toolsDir() + u':' + environment.value(QStringLiteral("PATH")));
    m_process->setProcessEnvironment(environment);
    if (output == Output::Merged) {
        m_process->setProcessChannelMode(QProcess::MergedChannels);
    } else {
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        m_process->setStandardErrorFile(QProcess::nullDevice());
    }
    // Without a folder of its own the child starts in ours, as Windows children do.
    if (!workDir.isEmpty())
        m_process->setWorkingDirectory(nativeWorkDir);
    if (m_endsWithUs) {
        const pid_t parent = ::getpid();
        m_process->setChildProcessModifier([parent] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            // We may have ended between the fork and the line above.
            if (::getppid() != parent)
                ::_exit(1);
        });
    }

    m_process->start(program, arguments, QIODevice::ReadWrite);
    if (!m_process->waitForStarted(10000)) {
        const QString reason = m_process->errorString();
        m_process.reset();
        throw PlatformError(QStringLiteral("Não foi possível iniciar \"%1\": %2").arg(words.first(), reason));
    }
    if (feedInput)
        m_process->write(standardInput);
    m_process->closeWriteChannel();
}

QString Process::rewrite(QString text, bool flush)
{
    text.prepend(m_pending);
    m_pending.clear();
    if (!flush) {
        // A path may be cut between two reads, also before its first "/" when the child
        // writes it relative to its folder: keep the unfinished last line back.
        const qsizetype lastBreak = text.lastIndexOf(u'\n');
        const QString tail = text.mid(lastBreak + 1);
        if (!m_rewrites.empty() && !tail.isEmpty()) {
            m_pending = tail;
            text.truncate(lastBreak + 1);
        }
    }
    if (m_rewrites.empty() || !text.contains(u'/'))
        return text;

    static const auto isPathChar = [](QChar c) {
        return c.isLetterOrNumber() || c == u'/' || c == u'.' || c == u'_' || c == u'-';
    };
    // A file URL of a native folder ("file:///srv/c/repo") comes back as the logical one.
    const auto inFileUrl = [&](qsizetype i) {
        return i >= 7 && QStringView(text).mid(i - 7, 7).compare(u"file://", Qt::CaseInsensitive) == 0;
    };
    // The rewrite whose native form starts a path at `i`, or nullptr. A path starts a word
    // (or follows "file://") and ends where a folder name ends. A relative form must hold
    // a "/" or be followed by one: a bare word ("tmp") is no path.
    const auto matchAt = [&](qsizetype i) -> const std::pair<QString, QString> * {
        const bool url = text[i] == u'/' && inFileUrl(i);
        if (!isPathChar(text[i]) || (i > 0 && isPathChar(text[i - 1]) && !url))
            return nullptr;
        for (const auto &rewrite : m_rewrites) {
            const QString &native = rewrite.first;
            if (!QStringView(text).mid(i).startsWith(native))
                continue;
            const qsizetype after = i + native.size();
            const bool slashAfter = after < text.size() && text[after] == u'/';
            if (after < text.size() && !slashAfter && isPathChar(text[after]))
                continue;
            if (!native.startsWith(u'/') && !native.contains(u'/') && !slashAfter)
                continue;
            return &rewrite;
        }
        return nullptr;
    };
    // No Windows name holds these: a path (or URL) ends at them.
    static const auto endsPath = [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'"' || c == u'\'' || c == u'<' || c == u'>' || c == u'|';
    };
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const auto *rewrite = matchAt(i);
        if (!rewrite) {
            out += text[i++];
            continue;
        }
        const bool url = inFileUrl(i);
        // The path runs to the end of the line or a quote, or to the next mapped path; a
        // URL also ends at a blank and keeps its slashes.
        QString logicalPath = rewrite->second;
        qsizetype j = i + rewrite->first.size();
        if (j < text.size() && text[j] == u'/' && logicalPath.endsWith(u'\\'))
            ++j;
        while (j < text.size() && !endsPath(text[j]) && !(url && text[j].isSpace()) && !matchAt(j)) {
            logicalPath += text[j] == u'/' ? u'\\' : text[j];
            ++j;
        }
        out += url ? u'/' + logicalPath.replace(u'\\', u'/') : logicalPath;
        i = j;
    }
    return out;
}

QString Process::readAvailable()
{
    if (!m_process)
        return {};
    if (m_process->state() != QProcess::NotRunning)
        m_process->waitForReadyRead(0);
    const QByteArray bytes = m_process->readAllStandardOutput();
    const bool flush = m_finished || m_process->state() == QProcess::NotRunning;
    if (bytes.isEmpty() && m_pending.isEmpty())
        return {};
    if (bytes.isEmpty() && !flush)
        return {};
    const QString text = rewrite(m_decoder.decode(bytes), flush);
    if (m_svn)
        m_tail = (m_tail + text).right(4096);
    return text;
}

bool Process::waitForFinished(int msecs)
{
    if (!m_process)
        return true;
    if (m_process->state() == QProcess::NotRunning) {
        m_finished = true;
        return true;
    }
    if (m_process->waitForFinished(msecs) || m_process->state() == QProcess::NotRunning) {
        m_finished = true;
        return true;
    }
    return false;
}

bool Process::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

int Process::exitCode() const
{
    if (!m_process || m_process->state() != QProcess::NotRunning)
        return -1;
    if (m_process->exitStatus() == QProcess::CrashExit)
        return -1;
    return m_process->exitCode();
}

QString Process::failure() const
{
    if (!m_process)
        return QStringLiteral("O programa \"%1\" não foi iniciado.").arg(m_program);
    if (m_process->state() != QProcess::NotRunning)
        return QStringLiteral("O programa \"%1\" ainda não terminou.").arg(m_program);
    if (m_stopped)
        return QStringLiteral("O programa \"%1\" foi interrompido.").arg(m_program);
    // On POSIX systems Qt reports the signal that ended a crashed child as its exit code.
    if (m_process->exitStatus() == QProcess::CrashExit)
        return QStringLiteral("O programa \"%1\" foi interrompido pelo sinal %2.")
            .arg(m_program)
            .arg(m_process->exitCode());
    if (m_process->exitCode() != 0 && m_svn) {
        if (const QString problem = repositoryProblem(); !problem.isEmpty())
            return problem;
    }
    if (m_process->exitCode() != 0)
        return QStringLiteral("O programa \"%1\" terminou com o código de saída %2.")
            .arg(m_program)
            .arg(m_process->exitCode());
    return {};
}

void Process::terminate()
{
    if (!isRunning())
        return;
    m_stopped = true;
    m_process->terminate();
    if (!m_process->waitForFinished(1000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
    m_finished = true;
}

QString Process::repositoryProblem() const
{
    return m_svn ? platform::repositoryProblem(m_tail, cmdline::split(m_display)) : QString();
}

qint64 Process::pid() const { return m_process ? m_process->processId() : 0; }

QString Process::displayCommandLine() const { return m_display; }

QString Process::run(const QString &commandLine, int *exitCode, int timeoutMsecs, QString *failure)
{
    Process process;
    try {
        process.start(commandLine, Output::Merged);
    } catch (const PlatformError &error) {
        if (!failure)
            throw;
        *failure = QString::fromUtf8(error.what());
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    QString output;
    QElapsedTimer timer;
    timer.start();
    while (!process.waitForFinished(100)) {
        output += process.readAvailable();
        if (timeoutMsecs >= 0 && timer.elapsed() > timeoutMsecs) {
            process.terminate();
            break;
        }
    }
    output += process.readAvailable();
    if (exitCode)
        *exitCode = process.exitCode();
    if (failure)
        *failure = process.failure();
    return output;
}

namespace {
volatile sig_atomic_t g_interruption = 0;

void noteInterruption(int signal) { g_interruption = signal; }
}  // namespace

bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void catchInterruption()
{
    struct sigaction action = {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    // The second Ctrl-C ends the process as it always did.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int interruption() { return g_interruption; }

void clearInterruption() { g_interruption = 0; }

bool waitForInput(std::FILE *stream, int timeoutMs)
{
    // Only a terminal is waited on: a pipe or a file may already have its next lines in the
    // stream's buffer, which poll() does not see.
    if (!isatty(fileno(stream)))
        return true;
    pollfd descriptor{fileno(stream), POLLIN, 0};
    const int ready = ::poll(&descriptor, 1, timeoutMs);
    return ready != 0;
}

}  // namespace platform
