#pragma once

// What the patch tests stand on: the logical C:\ on a temporary folder, the stand-ins of
// the build tools mounted where the product's command lines look for them, a private
// repository password, temporary settings and a record of every stand-in call.

#include "support/testenv.h"

#include "host/hostsettings.h"
#include "host/hostui.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class AmbienteDeGeracao {
public:
    AmbienteDeGeracao();
    ~AmbienteDeGeracao();

    // Writes one setting ("section/key") and reads the host settings again.
    void set(const QString &key, const QVariant &value);

    // The arguments each call of a stand-in ("dcc32", "brcc32", "WindowsBuilder") received.
    QList<QStringList> chamadas(const QString &program) const;
    void esqueceChamadas() const;

    // The arguments a Windows command line reaches its program with (program left out).
    static QStringList argumentosDe(const QString &commandLine);

    MountedDrive drive;

private:
    QTemporaryDir m_dir;
    host::HostSettings m_previousHost;
    std::unique_ptr<TemporarySettingsFile> m_settings;
    QByteArray m_previousLog;
    QString m_previousFolder;  // the run moves the process into the build folders
};

// Puts a recording "svn" in front of the real one for the children of this process: every
// call is kept with the arguments the real client then receives.
class RegistroDoSvn {
public:
    RegistroDoSvn();
    ~RegistroDoSvn();
    QList<QStringList> chamadas() const;
    // The arguments a Windows "svn ..." command line of the module reaches the client with:
    // mapped, the password moved to standard input, never interactive.
    static QStringList comoOClienteRecebe(const QString &commandLine);

private:
    QTemporaryDir m_dir;
    QString m_anterior;
};

// Runs a command line to its end; a failure fails the test.
void Roda(const QString &commandLine);
// The output of a command line.
QString Saida(const QString &commandLine);

// A Subversion repository C:\Repos\<name> with the product folder <name> checked out at
// `workingCopy`, holding `files` (relative path -> content) committed.
QString CriaRepositorio(const QString &name, const QString &workingCopy, const QList<QPair<QString, QByteArray>> &files);
// The last committed revision of a working-copy path.
int Revisao(const QString &path);

#include "serverenv.h"

// The server embedded in the test process on a fresh database, the patch environment and
// a scripted host.
class GeracaoComServidor : public ServerTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The phase of a request on the server.
    QString Fase(const QString &numero);
    // The files below a folder, relative, sorted.
    static QStringList ArquivosEm(const QString &folder);

    std::unique_ptr<AmbienteDeGeracao> ambiente;
    ScriptedHostUi ui;

private:
    std::unique_ptr<HostUiScope> m_escopo;
};
