#include "patchenv.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

AmbienteDeGeracao::AmbienteDeGeracao() : m_previousHost(host::hostSettings()), m_previousFolder(QDir::currentPath())
{
    platform::MountTable table = platform::mounts();
    table.add(QStringLiteral("C:\\arquivos de programas\\borland\\delphi5"), platform::toolsDir() + QStringLiteral("/delphi5"));
    table.add(QStringLiteral("F:\\HORVANE"), platform::toolsDir() + QStringLiteral("/horvane"));
    platform::setMounts(table);
    m_settings = std::make_unique<TemporarySettingsFile>();
    QFile senha(m_dir.filePath(QStringLiteral("svn-password")));
    if (senha.open(QIODevice::WriteOnly)) {
        senha.write("segredo\n");
        senha.close();
        senha.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    set(QStringLiteral("svn/password_file"), senha.fileName());
    set(QStringLiteral("host/operator"), QStringLiteral("0001"));
    set(QStringLiteral("host/branch"), QStringLiteral("0001"));
    set(QStringLiteral("host/attachment_folder"), QStringLiteral("C:\\Anexos"));
    m_previousLog = qgetenv("HOMOLOGA_STANDIN_LOG");
    qputenv("HOMOLOGA_STANDIN_LOG", m_dir.filePath(QStringLiteral("standins.log")).toLocal8Bit());
}

AmbienteDeGeracao::~AmbienteDeGeracao()
{
    QDir::setCurrent(m_previousFolder);
    qputenv("HOMOLOGA_STANDIN_LOG", m_previousLog);
    m_settings.reset();
    host::hostSettings() = m_previousHost;
}

void AmbienteDeGeracao::set(const QString &key, const QVariant &value)
{
    m_settings->set(key, value);
    host::loadHostSettings();
}

QList<QStringList> AmbienteDeGeracao::chamadas(const QString &program) const
{
    QList<QStringList> lista;
    QFile log(m_dir.filePath(QStringLiteral("standins.log")));
    if (!log.open(QIODevice::ReadOnly))
        return lista;
    for (const QByteArray &linha : log.readAll().split('\n')) {
        const QJsonArray chamada = QJsonDocument::fromJson(linha).array();
        if (chamada.isEmpty() || chamada.at(0).toString() != program)
            continue;
        QStringList argumentos;
        for (qsizetype i = 1; i < chamada.size(); ++i)
            argumentos.append(chamada.at(i).toString());
        lista.append(argumentos);
    }
    return lista;
}

void AmbienteDeGeracao::esqueceChamadas() const { QFile::remove(m_dir.filePath(QStringLiteral("standins.log"))); }

QStringList AmbienteDeGeracao::argumentosDe(const QString &commandLine)
{
    QStringList palavras = platform::cmdline::split(commandLine);
    palavras.removeFirst();
    QStringList argumentos;
    for (const QString &palavra : palavras)
        argumentos.append(platform::cmdline::mapArgument(palavra, platform::mounts()));
    return argumentos;
}

RegistroDoSvn::RegistroDoSvn() : m_anterior(platform::toolsDir())
{
    const QString real = QStandardPaths::findExecutable(QStringLiteral("svn"));
    QFile script(m_dir.filePath(QStringLiteral("svn")));
    if (script.open(QIODevice::WriteOnly)) {
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\037' \"$a\"; done >> '%1'\nprintf '\\n' >> '%1'\n"
                                    "exec '%2' \"$@\"\n")
                         .arg(m_dir.filePath(QStringLiteral("svn.log")), real)
                         .toLocal8Bit());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // The other tools of the build stay where the children look for them.
    for (const QString &tool : QDir(m_anterior).entryList(QDir::Files | QDir::Executable))
        QFile::link(m_anterior + u'/' + tool, m_dir.filePath(tool));
    platform::setToolsDir(m_dir.path());
}

RegistroDoSvn::~RegistroDoSvn() { platform::setToolsDir(m_anterior); }

QList<QStringList> RegistroDoSvn::chamadas() const
{
    QList<QStringList> lista;
    QFile log(m_dir.filePath(QStringLiteral("svn.log")));
    if (!log.open(QIODevice::ReadOnly))
        return lista;
    for (const QByteArray &linha : log.readAll().split('\n')) {
        if (linha.isEmpty())
            continue;
        QStringList argumentos = QString::fromLocal8Bit(linha).split(QChar(0x1f));
        argumentos.removeLast();
        lista.append(argumentos);
    }
    return lista;
}

QStringList RegistroDoSvn::comoOClienteRecebe(const QString &commandLine)
{
    QStringList argumentos = AmbienteDeGeracao::argumentosDe(commandLine);
    const qsizetype senha = argumentos.indexOf(QStringLiteral("--password"));
    if (senha >= 0) {
        argumentos.remove(senha, 2);
        argumentos.append(QStringLiteral("--password-from-stdin"));
    }
    argumentos.append(QStringLiteral("--non-interactive"));
    return argumentos;
}

void Roda(const QString &commandLine)
{
    int code = -1;
    const QString output = platform::Process::run(commandLine, &code, 60000);
    ASSERT_EQ(code, 0) << commandLine.toStdString() << "\n" << output.toStdString();
}

QString Saida(const QString &commandLine) { return platform::Process::run(commandLine, nullptr, 60000); }

QString CriaRepositorio(const QString &name, const QString &workingCopy, const QList<QPair<QString, QByteArray>> &files)
{
    platform::files::forceDirectories(QStringLiteral("C:\\Repos"));
    Roda(QStringLiteral("svnadmin create C:\\Repos\\%1").arg(name));
    const QString url = QStringLiteral("file:///C:/Repos/%1/%1").arg(name);
    Roda(QStringLiteral("svn mkdir %1 -m produto --non-interactive -q").arg(url));
    Roda(QStringLiteral("svn checkout %1 %2 --non-interactive -q").arg(url, workingCopy));
    for (const auto &[relative, content] : files) {
        const QString path = workingCopy + u'\\' + relative;
        platform::files::forceDirectories(path.section(u'\\', 0, -2));
        platform::files::writeBytes(path, content);
    }
    Roda(QStringLiteral("svn add --force %1 -q").arg(workingCopy));
    Roda(QStringLiteral("svn commit %1 -m inicial -q --non-interactive").arg(workingCopy));
    return url;
}

int Revisao(const QString &path)
{
    static const QRegularExpression commit(QStringLiteral("<commit\\s+revision=\"(\\d+)\""));
    const QRegularExpressionMatch match = commit.match(Saida(QStringLiteral("svn info --xml ") + path));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

#include "methods/embedded.h"

void GeracaoComServidor::SetUp()
{
    ServerTest::SetUp();
    if (IsSkipped())
        return;
    ambiente = std::make_unique<AmbienteDeGeracao>();
    ambiente->set(QStringLiteral("server/database"), database().text());
    m_escopo = std::make_unique<HostUiScope>(ui);
}

void GeracaoComServidor::TearDown()
{
    m_escopo.reset();
    server::closeEmbedded();
    ambiente.reset();
    ServerTest::TearDown();
}

QString GeracaoComServidor::Fase(const QString &numero)
{
    return db().scalar(QStringLiteral("SELECT CDFASETRAM FROM SOLICITACAO WHERE NRSOLISERV = ?"), {numero}).toString();
}

QStringList GeracaoComServidor::ArquivosEm(const QString &folder)
{
    QStringList encontrados;
    if (!platform::files::dirExists(folder))
        return encontrados;
    for (const QString &nome : platform::files::listDir(folder, QStringLiteral("*"), platform::files::EntryKind::Files))
        encontrados.append(nome);
    for (const QString &pasta : platform::files::listDir(folder, QStringLiteral("*"), platform::files::EntryKind::Dirs)) {
        if (pasta == u"." || pasta == u"..")
            continue;
        for (const QString &dentro : ArquivosEm(folder + u'\\' + pasta))
            encontrados.append(pasta + u'\\' + dentro);
    }
    encontrados.sort();
    return encontrados;
}
