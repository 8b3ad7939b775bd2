// The repository runner of the patch screen, the update of the build working copy, the
// folders that the window build adds to the repository, and small file services.

#include "patch/frmgpatch.h"
#include "patch/internos.h"

#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostapp.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "runner/analisesaida.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QRegularExpression>

namespace patch::internos {

void ErroInterrompe(const QString &text)
{
    Consiste::MensErro(text, false);
    throw EFalhaMostrada(text);
}

QString TextoDaFalha()
{
    try {
        throw;
    } catch (const EFalhaMostrada &falha) {
        return falha.texto();
    } catch (const EAbort &) {
        return QStringLiteral("Operação interrompida.");
    } catch (const std::exception &erro) {
        return host::errorText(erro);
    } catch (...) {
        return QStringLiteral("Erro inesperado.");
    }
}

QString ComDrive(const QString &path) { return path.startsWith(u'\\') ? QStringLiteral("C:") + path : path; }

QString PastaDe(const QString &path)
{
    const qsizetype barra = path.lastIndexOf(u'\\');
    return barra < 0 ? QString() : path.left(barra);
}

QString NomeDe(const QString &path) { return path.mid(path.lastIndexOf(u'\\') + 1); }

QString SemQuebras(const QString &text)
{
    QString sem = text;
    sem.remove(u'\r');
    sem.remove(u'\n');
    return sem;
}

}  // namespace patch::internos

using namespace patch::internos;

namespace {

constexpr int kEsperaMaximaMs = 100;

// The failure texts of the Subversion client, in the order they are looked for after a
// lock held by another user.
const char *const kFalhasDaCopia[] = {"SUB_ERRO1", "SUB_ERRO2", "SUB_ERRO3", "SUB_ERRO4",
                                      "SUB_ERRO6", "SUB_ERRO7", "SUB_ERRO8"};

}  // namespace

QString TfrmGPatch::SenhaNaLinha() const
{
    // An empty password still takes its place on the command line.
    return stPassSubVersion.isEmpty() ? QStringLiteral("\"\"") : stPassSubVersion;
}

bool TfrmGPatch::ExecuteSubVersion(const QString &caption, const QString &commandLine, bool capture,
                                   QListWidget *list)
{
    const bool info = commandLine.contains(QLatin1StringView("svn info"));
    if (info)
        stlSvnInfo.clear();
    platform::Process processo;
    try {
        processo.start(commandLine, platform::Process::Output::Merged);
    } catch (const platform::PlatformError &) {
        Adiciona(list, {QStringLiteral("ERRO AO CRIAR PROCESSO NO SUBVERSION")});
        return false;
    }
    bool terminou = false;
    QString impresso;
    while (!terminou) {
        terminou = processo.waitForFinished(kEsperaMaximaMs);
        QCoreApplication::processEvents();
        if (!capture || !list)
            continue;
        const QString texto = processo.readAvailable();
        if (texto.isEmpty())
            continue;
        impresso = (impresso + texto).right(1500);
        const QStringList bloco =
            runner::LinhasDoTexto(Regua() + kFimDeLinha + caption + kFimDeLinha + texto + kFimDeLinha + Regua());
        Adiciona(list, bloco);
        // A long answer comes in several reads: the capture keeps all of this command's.
        if (info)
            stlSvnInfo += bloco;
        const QString saida = runner::SemCodigosDeErro(texto);
        if (runner::Contem(msgPadrao, saida, QStringLiteral("SUB_ERRO5"))) {
            processo.terminate();
            ErroInterrompe(msgPadrao.Msg(QStringLiteral("SUB_COPIATRAVADA")));
        }
        for (const char *key : kFalhasDaCopia) {
            if (runner::Contem(msgPadrao, saida, QLatin1StringView(key))) {
                processo.terminate();
                ErroInterrompe(msgPadrao.Msg(QStringLiteral("ERRO_AO_ATUALIZAR")));
            }
        }
    }
    // "svn info" asks whether a path is in the repository: its caller reads the answer.
    // Every other action is judged by how the client ended, whatever it printed.
    if (!info && !m_desfazendo) {
        if (const QString falha = processo.failure(); !falha.isEmpty()) {
            Adiciona(list, {falha});
            QString texto = msgPadrao.Msg(QStringLiteral("ERRO_AO_ATUALIZAR")) + kFimDeLinha + kFimDeLinha + falha;
            if (!impresso.trimmed().isEmpty())
                texto += kFimDeLinha + impresso.trimmed();
            ErroInterrompe(texto);
        }
    }
    return true;
}

void TfrmGPatch::LiberaTravaInterrompida(const QString &path)
{
    const QString f = ComDrive(path);
    QString falha;
    const QString info = platform::Process::run(QStringLiteral("svn info --xml --no-auth-cache --username ")
                                                    + stUserSubVersion + QStringLiteral(" --password ") + SenhaNaLinha()
                                                    + QStringLiteral(" \"") + PastaDe(f).toLower() + u'\\' + NomeDe(f)
                                                    + u'"',
                                                nullptr, 60000, &falha);
    // The copy holds the lock's token only when the lock was taken here; a lock of
    // another operator is left to the lock command, which reports it.
    static const QRegularExpression dono(QStringLiteral("<lock>.*<owner>([^<]*)</owner>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = dono.match(info);
    if (falha.isEmpty() && match.hasMatch() && match.captured(1) == stUserSubVersion) {
        Adiciona(lsbProgresso, {QStringLiteral("A trava deixada por uma execução interrompida em %1 foi liberada e sua "
                                               "alteração desfeita.")
                                    .arg(f)});
        ComandoDoArquivo("unlock", path);
        ComandoDoArquivo("revert", path);
    }
    AtualizaCarimboJaEnviado(path, info);
}

void TfrmGPatch::AtualizaCarimboJaEnviado(const QString &path, const QString &info)
{
    // A stamp whose commit reached the repository while the copy never learnt of it (the
    // client or the run killed after the commit): the copy's base is older than the file's
    // last revision, and the lock would fail with "newer version". When that revision is
    // this version's stamp, the copy is brought up to date and the stamp, done again, finds
    // nothing to commit. A newer revision of anything else is left to the lock, which reports it.
    static const QRegularExpression commit(QStringLiteral(R"re(<commit\s+revision="(\d+)")re"));
    const QRegularExpressionMatch naCopia = commit.match(info);
    if (!naCopia.hasMatch())
        return;
    const QString f = ComDrive(path);
    const QString alvo = QStringLiteral(" \"") + PastaDe(f).toLower() + u'\\' + NomeDe(f) + u'"';
    const QString credenciais =
        QStringLiteral("--no-auth-cache --username ") + stUserSubVersion + QStringLiteral(" --password ") + SenhaNaLinha();
    QString falha;
    const QString log = platform::Process::run(QStringLiteral("svn log --xml -l 1 -r HEAD:1 ") + credenciais + alvo,
                                               nullptr, 60000, &falha);
    static const QRegularExpression ultima(QStringLiteral(R"re(<logentry\s+revision="(\d+)">.*?<msg>(.*?)</msg>)re"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch noRepositorio = ultima.match(log);
    if (!falha.isEmpty() || !noRepositorio.hasMatch()
        || noRepositorio.captured(1).toLongLong() <= naCopia.captured(1).toLongLong()
        || noRepositorio.captured(2) != QStringLiteral("Gerandoaversão:") + stVersao)
        return;
    Adiciona(lsbProgresso, {QStringLiteral("O carimbo da versão %1 de %2 já estava no repositório (revisão %3), enviado "
                                           "por uma execução interrompida; a cópia de trabalho foi atualizada.")
                                .arg(stVersao, f, noRepositorio.captured(1))});
    ComandoDoArquivo("revert", path);
    ExecuteSubVersion(QStringLiteral("ATUALIZANDO VERSÃO DOS ARQUIVOS DA CÓPIA DE TRABALHO ...  ") + f,
                      QStringLiteral("svn update ") + credenciais + QStringLiteral(" --force --accept postpone") + alvo,
                      true, lsbProgresso);
}

void TfrmGPatch::AtualizaCopiaDeTrabalho()
{
    // A folder without a drive is on "c:"; one on another drive stays there.
    if (stDirBaseRep.startsWith(u'\\'))
        stDirBaseRep = QStringLiteral("c:") + stDirBaseRep;
    if (!stDirVss.endsWith(u'/'))
        stDirVss += u'/';
    Loga(QStringLiteral("REALIZANDO AÇÕES NO SUBVERSION ..."));
    host::WaitCursor ampulheta;
    // The folder is written in lower case (names on disk are matched without regard to
    // case); the repository URL keeps its case, since paths inside a repository are
    // case-sensitive.
    const QString base = stDirBaseRep.toLower();
    const QString credenciais =
        QStringLiteral("--username ") + stUserSubVersion + QStringLiteral(" --password ") + SenhaNaLinha();
    if (platform::files::dirExists(stDirBaseRep)) {
        // A copy that is not there yet has no locks to remove.
        ExecuteSubVersion(QStringLiteral("REMOVENDO TRAVAS DA CÓPIA DE TRABALHO ...  "),
                          QStringLiteral("svn cleanup ") + credenciais + u' ' + base, true, lsbProgresso);
        ExecuteSubVersion(QStringLiteral("ATUALIZANDO VERSÃO DOS ARQUIVOS DA CÓPIA DE TRABALHO ...  "),
                          QStringLiteral("svn update ") + credenciais
                              + QStringLiteral(" --force --ignore-externals --no-auth-cache --depth infinity "
                                               "--accept postpone ")
                              + base,
                          true, lsbProgresso);
    } else {
        ExecuteSubVersion(QStringLiteral("ATUALIZANDO DIRETÓRIOS DA CÓPIA DE TRABALHO ...  ") + stDirBaseRep,
                          QStringLiteral("svn checkout --force --depth infinity --ignore-externals ") + credenciais
                              + u' ' + stDirVss + u' ' + base,
                          true, lsbProgresso);
    }
}

void TfrmGPatch::Cria_Diretorios(const QString &path)
{
    QString raiz;
    QString resto;
    if (path.left(3).toLower() == u"c:\\") {
        raiz = path.left(3);
        resto = path.mid(3);
    } else {
        raiz = path.left(1);
        resto = path.mid(1);
    }
    resto = resto.left(resto.lastIndexOf(u'\\') + 1);
    const QString credenciais = QStringLiteral(" --no-auth-cache --username ") + stUserSubVersion
                                + QStringLiteral(" --password ") + SenhaNaLinha();
    // Only a level inside a working copy can be added: the folders above the copy's root
    // are in no repository, and the client would fail on them.
    bool paiVersionado = false;
    while (resto.contains(u'\\')) {
        const QString segmento = resto.left(resto.indexOf(u'\\') + 1);
        QString atual = raiz + segmento;
        atual.chop(1);
        const QString entreAspas = u'"' + atual + u'"';
        ExecuteSubVersion(QStringLiteral("VERIFICANDO EXISTÊNCIA DO ARQUIVO NO REPOSITÓRIO ... "),
                          QStringLiteral("svn info --xml") + credenciais + u' ' + entreAspas, true, lsbAux);
        const bool versionado = SemQuebras(stlSvnInfo.join(QString())).toLower().contains(QLatin1StringView("<url>"));
        const bool adiciona = !versionado && paiVersionado;
        paiVersionado = versionado || adiciona;
        if (adiciona) {
            ExecuteSubVersion(QStringLiteral("ADICIONANDO DIRETÓRIO ") + raiz + resto + QStringLiteral(" NO REPOSITÓRIO ... "),
                              QStringLiteral("svn add") + credenciais + u' ' + entreAspas, true, lsbProgresso);
            ExecuteSubVersion(QStringLiteral("CONFIRMANDO INCLUSÃO DO DIRETÓRIO ... "),
                              QStringLiteral("svn commit -m\"Commit do diretório realizado após o build da window\"")
                                  + credenciais + u' ' + entreAspas,
                              true, lsbProgresso);
        }
        raiz += segmento;
        resto = resto.mid(segmento.size());
    }
}

void TfrmGPatch::TornaGravavel(const QString &folder, const QString &pattern)
{
    QString pasta = folder;
    if (!pasta.endsWith(u'\\'))
        pasta += u'\\';
    try {
        // A plain name needs no look at the whole folder.
        if (!pattern.contains(u'*') && !pattern.contains(u'?')) {
            if (platform::files::fileExists(pasta + pattern))
                platform::files::setAttributes(pasta + pattern, platform::files::Attributes{});
            return;
        }
        for (const QString &nome : platform::files::listDir(pasta, pattern, platform::files::EntryKind::Files))
            platform::files::setAttributes(pasta + nome, platform::files::Attributes{});
    } catch (const platform::PlatformError &) {
        // a folder that does not exist (yet) has nothing to make writable
    }
}

QString TfrmGPatch::TempDir()
{
    QString pasta = platform::files::tempPath();
    if (pasta.endsWith(u'\\'))
        pasta.chop(1);
    return pasta;
}

QString TfrmGPatch::LeRevisao(const QString &path)
{
    ExecuteSubVersion(QStringLiteral("VERIFICANDO RELEASE DO ARQUIVO ...  ") + path,
                      QStringLiteral("svn info --xml --no-auth-cache --username ") + stUserSubVersion
                          + QStringLiteral(" --password ") + SenhaNaLinha() + QStringLiteral(" \"") + path + u'"',
                      true, lsbAux);
    const QString info = SemQuebras(stlSvnInfo.join(QString()));
    const QString minusculo = info.toLower();
    static const QString marca = QStringLiteral("<commit   revision=");
    const qsizetype commit = minusculo.indexOf(marca);
    const qsizetype autor = minusculo.indexOf(QLatin1StringView("<author>"), commit);
    if (commit >= 0 && autor >= 0) {
        const qsizetype inicio = commit + marca.size() + 1;
        return info.mid(inicio, autor - 2 - inicio);
    }
    // Today's client reports a missing file in Portuguese.
    if (minusculo.contains(QLatin1StringView("was not found")) || minusculo.contains(QStringLiteral("não foi encontrado")))
        return QStringLiteral("0");
    ErroInterrompe(msgPadrao.Msg(QStringLiteral("SEM_RELEASE"), {path}));
}
