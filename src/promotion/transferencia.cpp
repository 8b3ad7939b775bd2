#include "promotion/transferencia.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/dataset.h"
#include "host/hostui.h"
#include "host/services.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/destino.h"
#include "promotion/prehomologados.h"
#include "runner/frmexeccommands.h"

#include <QRegularExpression>
#include <QUrl>

#include <set>

namespace files = platform::files;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QStringList linhasDe(const QString &saida)
{
    return QString(saida).remove(u'\r').split(u'\n');
}

void acrescentaAoLog(QStringList &log, const QString &saida)
{
    log.append(linhasDe(saida));
    while (!log.isEmpty() && log.last().isEmpty())
        log.removeLast();
}

}  // namespace

QString TransferenciaHomol::UrlHomologada(const QString &homologado) const
{
    QString resto = homologado.mid(dm.DirHomol.size());
    while (resto.startsWith(u'\\'))
        resto.remove(0, 1);
    QString url = dm.URLHomol;
    while (url.endsWith(u'/'))
        url.chop(1);
    return url + u'/' + resto.replace(u'\\', u'/');
}

QString TransferenciaHomol::credenciais() const
{
    return QStringLiteral("--no-auth-cache --username \"%1\" --password \"%2\"").arg(dm.UsuarioSVN, dm.SenhaSVN);
}

QString TransferenciaHomol::linhaDeStatus(const QStringList &arquivos) const
{
    QStringList pastas;
    for (const QString &arquivo : arquivos) {
        QString pasta = ExtractFilePath(arquivo);
        while (pasta.endsWith(u'\\') && pasta.size() > 3)
            pasta.chop(1);
        if (!pastas.contains(pasta, Qt::CaseInsensitive))
            pastas << pasta;
    }
    return QStringLiteral("svn status -u -v --depth files %1 %2").arg(credenciais(), ArgumentosDeCaminhos(pastas));
}

QString TransferenciaHomol::arquivoDeRelatorio(const QString &codigo, const QString &descricao)
{
    return QStringLiteral("C:\\temp\\") + codigo + QStringLiteral(" - ") + descricao
        + QStringLiteral("- Copia Homologados.txt");
}

QString TransferenciaHomol::RevisaoNoStatus(const QStringList &linhas, const QString &path)
{
    // A status line: seven status columns, the out-of-date column, then the working
    // revision, the last changed revision, the author and the path.
    static const QRegularExpression statusLine(QStringLiteral(R"(^.{9}\s*(\d+|-)\s+)"));
    // A folder's status has lines for other files too: the line that ends with the path is
    // the file's own, before any line that only holds it.
    const QString wanted = path.toUpper();
    QStringList proprias, outras;
    for (const QString &line : linhas) {
        if (line.trimmed().endsWith(path, Qt::CaseInsensitive))
            proprias << line;
        else if (Consiste::Contem(line.toUpper(), wanted))
            outras << line;
    }
    for (const QString &line : proprias + outras) {
        // A file that an earlier, refused attempt copied but never added is still new.
        if (line.startsWith(u'?'))
            return QStringLiteral("0");
        const QRegularExpressionMatch match = statusLine.match(line);
        if (match.hasMatch())
            return match.captured(1) == u"-" ? QStringLiteral("0") : match.captured(1);
    }
    return {};
}

QHash<QString, TransferenciaHomol::Revisao> TransferenciaHomol::RevisoesNoRepositorio(const QStringList &urls,
                                                                                   const QString &usuario,
                                                                                   const QString &senha)
{
    QHash<QString, Revisao> revisoes;
    if (urls.isEmpty())
        return revisoes;
    // Each folder once, with the files in it: one session with the repository per folder.
    QStringList pastas;
    for (const QString &url : urls) {
        const QString pasta = url.left(url.lastIndexOf(u'/'));
        if (!pastas.contains(pasta))
            pastas << pasta;
    }
    QString alvos;
    for (const QString &pasta : pastas)
        alvos += QStringLiteral(" \"") + pasta + u'"';
    QString falha;
    const QString xml = platform::Process::run(
        QStringLiteral("svn info --xml --depth files --no-auth-cache --username \"%1\" --password \"%2\"").arg(usuario, senha)
            + alvos,
        nullptr, 120000, &falha);
    // Each entry is known by its path inside the repository, which ends every URL that names it.
    static const QRegularExpression entrada(
        QStringLiteral(R"re(<entry\b.*?<relative-url>\^([^<]*)</relative-url>.*?<commit\s+revision="(\d+)">)re"),
        QRegularExpression::DotMatchesEverythingOption);
    QList<std::pair<QString, QString>> achadas;
    for (auto it = entrada.globalMatch(xml); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        achadas.append({QUrl::fromPercentEncoding(match.captured(1).toUtf8()), match.captured(2)});
    }
    // A target the repository does not have is only warned about (W170000, then E200009);
    // any other failure means the repository was not read, and nothing is known.
    if (!falha.isEmpty()) {
        bool soAusentes = xml.contains(QStringLiteral("W170000"));
        for (const QString &linha : linhasDe(xml)) {
            if (linha.startsWith(QStringLiteral("svn:")) && !linha.contains(QStringLiteral("W170000"))
                && !linha.contains(QStringLiteral("E200009")))
                soAusentes = false;
        }
        if (!soAusentes)
            return {};
    }
    for (const QString &url : urls) {
        Revisao revisao{QStringLiteral("0"), true};
        const QString decodificada = QUrl::fromPercentEncoding(url.toUtf8());
        for (const auto &[caminho, numero] : achadas) {
            if (decodificada.endsWith(caminho))
                revisao.numero = numero;
        }
        revisoes.insert(url, revisao);
    }
    return revisoes;
}

void TransferenciaHomol::AtualizaEnviosInterrompidos(const QStringList &homologados)
{
    QStringList existentes;
    for (const QString &homologado : homologados) {
        if (files::fileExists(homologado))
            existentes << homologado;
    }
    if (existentes.isEmpty())
        return;
    // One status against the repository for all the files (the one the previous revisions
    // were read from, when this transfer read them): the eighth column marks the ones that
    // have a newer revision there than the copy's base.
    QString falha;
    const QString status = m_statusLido ? m_statusHomologados
                                        : platform::Process::run(linhaDeStatus(existentes), nullptr, 120000, &falha);
    if (!falha.isEmpty())
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_GET_VER_HOM")) + kCrLf + status.trimmed(), true);
    const QString doGrupo = QStringLiteral("Grupo de homologação: %1-").arg(dm.codigoGrupo());
    static const QRegularExpression ultima(QStringLiteral(R"re(<logentry\s+revision="(\d+)">.*?<msg>(.*?)</msg>)re"),
                                           QRegularExpression::DotMatchesEverythingOption);
    for (const QString &homologado : homologados) {
        bool desatualizado = false;
        for (const QString &linha : linhasDe(status)) {
            if (linha.size() > 8 && linha[8] == u'*' && linha.endsWith(homologado, Qt::CaseInsensitive))
                desatualizado = true;
        }
        if (!desatualizado)
            continue;
        const QString log =
            platform::Process::run(QStringLiteral("svn log --xml -l 1 -r HEAD:1 %1 %2")
                                       .arg(credenciais(), ArgumentoDeCaminho(homologado)),
                                   nullptr, 60000, &falha);
        const QRegularExpressionMatch match = ultima.match(log);
        if (!falha.isEmpty() || !match.hasMatch() || !match.captured(2).startsWith(doGrupo))
            continue;  // someone else's revision: the commit reports it as out of date
        const QString aviso = QStringLiteral("O arquivo %1 já estava no repositório de homologação na revisão %2, enviado "
                                             "por uma execução interrompida deste grupo; a cópia de trabalho foi "
                                             "atualizada e ele não é enviado de novo.")
                                  .arg(homologado, match.captured(1));
        const QString alvo = ArgumentoDeCaminho(homologado);
        const runner::ResultadoScript atualizacao = runner::ExecutaScript(
            QStringLiteral("Atualizando arquivo já enviado"),
            QStringLiteral("@echo ") + aviso + kCrLf + QStringLiteral("svn revert %1 %2").arg(credenciais(), alvo) + kCrLf
                + QStringLiteral("svn update %1 --force --accept postpone %2").arg(credenciais(), alvo),
            false);
        if (!atualizacao.ok)
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_N_ATU_LOCAL")), true);
        dm.stlLogTram.append(aviso);
    }
}

void TransferenciaHomol::Atualiza_SVN_Homologados()
{
    try {
        Grava_Versao_Ant_Arq_Homologados();
        Troca_Arquivos_Desenv_Homol();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void TransferenciaHomol::Grava_Versao_Ant_Arq_Homologados()
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("Grava_Versao_Ant_Arq_Homologados")));
    Dataset &versoes = *dm.cdsVersArq;
    versoes.CopyFrom(*dm.cdsArqModifAtu);
    TField caminho = versoes.FieldByName(QStringLiteral("DSDIRARQCHECKOU"));

    // One status over the folders of every file that exists: the lines are looked up by path.
    QStringList script{QStringLiteral("@title ") + dm.msgPadrao.Msg(QStringLiteral("VERIF_STATUS_FILE"))};
    QStringList existentes;
    for (versoes.First(); !versoes.Eof(); versoes.Next()) {
        const QString homologado = TrocaRoot(caminho.AsString(), dm.DirDesenv, dm.DirHomol);
        versoes.Edit();
        caminho.setAsString(homologado);
        versoes.Post();
        if (files::fileExists(homologado))
            existentes << homologado;
    }
    if (!existentes.isEmpty())
        script << linhaDeStatus(existentes);
    const runner::ResultadoScript status =
        runner::ExecutaScript(dm.msgPadrao.Msg(QStringLiteral("STATUS_FILE")), script.join(kCrLf), true);
    if (!status.ok)
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_GET_VER_HOM")), true);
    acrescentaAoLog(dm.stlLogTram, status.saida);
    const QStringList linhas = linhasDe(status.saida);
    m_statusHomologados = status.saida;
    m_statusLido = true;

    // What an interrupted attempt of this run recorded stands: the files it committed are
    // at its own revisions now. The server sets the records of an ended run aside when it
    // sends the group back, so every record found is this run's.
    QString codigo = dm.codigoGrupo();
    dm.CarregaPacote(dm.cdsVersArqFonteHom, QStringLiteral("getVersArqFonteHom"), {RemoteArg::ref(codigo)});
    QHash<QString, QString> registradas;
    Dataset &registros = *dm.cdsVersArqFonteHom;
    for (registros.First(); !registros.Eof(); registros.Next())
        registradas.insert(ChaveDoArquivo(registros.FieldByName(QStringLiteral("DSARQSVNHOMOL")).AsString()),
                           registros.FieldByName(QStringLiteral("NRREVANTARQSVN")).AsString().trimmed());

    // A file missing from a copy not refreshed yet is not new when the repository has it:
    // one question to the repository for all of them.
    QStringList semCopia;
    for (versoes.First(); !versoes.Eof(); versoes.Next()) {
        const QString homologado = caminho.AsString();
        if (!registradas.contains(ChaveDoArquivo(homologado)) && !files::fileExists(homologado))
            semCopia << UrlHomologada(homologado);
    }
    const QHash<QString, Revisao> noRepositorio = RevisoesNoRepositorio(semCopia, dm.UsuarioSVN, dm.SenhaSVN);

    for (versoes.First(); !versoes.Eof(); versoes.Next()) {
        const QString homologado = caminho.AsString();
        QString anterior = registradas.value(ChaveDoArquivo(homologado));
        if (anterior.isEmpty() && files::fileExists(homologado)) {
            anterior = RevisaoNoStatus(linhas, homologado);
            if (anterior.isEmpty())
                Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("N_LOC_VER"), {homologado}), true);
        } else if (anterior.isEmpty()) {
            const Revisao revisao = noRepositorio.value(UrlHomologada(homologado));
            if (!revisao.lida)
                Consiste::MensErro(QStringLiteral("Não foi possível saber se o arquivo %1 já existe no repositório de "
                                                  "homologação %2.")
                                       .arg(homologado, dm.URLHomol),
                                   true);
            anterior = revisao.numero;
        }
        versoes.Edit();
        versoes.FieldByName(QStringLiteral("CDRELEASEARQANT")).setAsString(anterior);
        versoes.FieldByName(QStringLiteral("CDRELEASEARQATU")).setAsString(QString());
        versoes.Post();
    }
    dm.ChamaServidor(QStringLiteral("setVersArqHom"), {dm.codigoGrupo(), versoes.Data()});
}

void TransferenciaHomol::Troca_Arquivos_Desenv_Homol()
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("Troca_Arquivos_Desenv_Homol")));
    const QString grupo = dm.codigoGrupo();
    const QString descricao = dm.grupo(QStringLiteral("DSGRUPHOMOL"));
    Dataset &arquivos = *dm.cdsArqModifAtu;
    TField checkout = arquivos.FieldByName(QStringLiteral("DSDIRARQCHECKOU"));
    TField diretorio = arquivos.FieldByName(QStringLiteral("DIRETORIO"));
    TField atual = arquivos.FieldByName(QStringLiteral("CDRELEASEARQATU"));

    // Folders new to the homologated repository are made level by level, each with its commit.
    std::set<QString> pastas;
    for (arquivos.First(); !arquivos.Eof(); arquivos.Next())
        pastas.insert(ExtractFilePath(checkout.AsString()));
    const auto criaPasta = [&](const QString &pasta) {
        const QString script =
            QStringLiteral("svn mkdir  --parents %1 %2").arg(credenciais(), ArgumentoDeCaminho(pasta)) + kCrLf
            + QStringLiteral("svn commit -m\"Grupo de solicitações: %1\" %2 %3")
                  .arg(grupo, credenciais(), ArgumentoDeCaminho(pasta));
        const runner::ResultadoScript resultado = runner::ExecutaScript(
            dm.msgPadrao.Msg(QStringLiteral("MAKE_DIR")) + QStringLiteral("Diretório: ") + pasta, script, false);
        if (!resultado.ok)
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_CRIA_DIR_HOM")), true);
        return resultado.saida;
    };
    for (const QString &pasta : pastas) {
        QString homologada = TrocaRoot(pasta, dm.DirDesenv, dm.DirHomol);
        while (homologada.endsWith(u'\\') && homologada.size() > 3)
            homologada.chop(1);
        if (files::dirExists(homologada))
            continue;
        const qsizetype drive = homologada.indexOf(u'\\');
        QString nivel = homologada.left(drive + 1);
        const QStringList segmentos = homologada.mid(drive + 1).split(u'\\', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i + 1 < segmentos.size(); ++i) {
            nivel += segmentos[i] + u'\\';
            if (!files::dirExists(nivel))
                criaPasta(nivel);
        }
        acrescentaAoLog(dm.stlLogTram, criaPasta(homologada));
    }

    QStringList destinos;
    for (arquivos.First(); !arquivos.Eof(); arquivos.Next())
        destinos << TrocaRoot(checkout.AsString(), dm.DirDesenv, dm.DirHomol);
    AtualizaEnviosInterrompidos(destinos);

    QStringList commits, adicionados;
    QString erros;
    QStringList relatorio{grupo + QStringLiteral(" - ") + descricao,
                          QStringLiteral("ARQUIVOS COPIADOS PARA O DIRETÓRIO DE HOMOLOGADOS - FASE 1 PARA FASE 2")};
    const auto erro = [&erros](const QString &origem, const QString &texto) {
        if (!Consiste::Contem(erros, origem))
            erros += origem + texto + kCrLf;
    };
    const int total = arquivos.RecordCount();
    int feitos = 0;
    for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
        const QString destino = TrocaRoot(checkout.AsString(), dm.DirDesenv, dm.DirHomol);
        const QString origem = diretorio.AsString();
        if (total > 5)
            hostUi().progress(QStringLiteral("Copiando %1 de %2").arg(++feitos).arg(total));
        const files::CopyOutcome copia = files::copyFileReporting(origem, destino);
        if (!copia.ok()) {
            erro(origem, QStringLiteral(" - não foi possivel copiar o arquivo (") + MotivoDaFalha(copia) + u')');
            continue;
        }
        relatorio << destino;
        if (!files::fileExists(destino)) {
            erro(origem, QStringLiteral(" - o arquivo não existe no diretorio de homologados"));
            continue;
        }
        const runner::ResultadoScript comparacao = runner::ExecutaScript(
            QStringLiteral("Comparando arquivos"),
            QStringLiteral("FC ") + ArgumentoDeCaminho(origem) + u' ' + ArgumentoDeCaminho(destino), false);
        if (!comparacao.saida.contains(QStringLiteral("nenhuma dif"))) {
            erro(origem, QStringLiteral(" - os arquivos dos diretorios de origem e de destino são diferentes"));
        } else if (!adicionados.contains(destino, Qt::CaseInsensitive)) {
            adicionados << destino;
            commits << QStringLiteral("@title Arquivo: ") + destino;
            commits << QStringLiteral("svn commit -m\"Grupo de homologação: %1- Release: %2\" %3 %4")
                           .arg(grupo, atual.AsString(), credenciais(), ArgumentoDeCaminho(destino));
        }
    }
    // One add for every file before the commits, each of which still sends one file.
    // "--force": a file already in the repository is left as it is; without it the client
    // ends with a failure for every file that is not new.
    if (!adicionados.isEmpty())
        commits.prepend(QStringLiteral("svn add --force  %1 %2").arg(credenciais(), ArgumentosDeCaminhos(adicionados)));
    files::forceDirectories(QStringLiteral("C:\\temp"));
    files::writeLines(arquivoDeRelatorio(grupo, descricao), relatorio);
    if (!erros.isEmpty())
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_COPIA_ARQ")) + kCrLf + erros, true);

    const runner::ResultadoScript envio =
        runner::ExecutaScript(dm.msgPadrao.Msg(QStringLiteral("COMMIT_FILE_REPHOM")), commits.join(kCrLf), true);
    if (!envio.ok)
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_ENVIA_ARQ_HOM")), true);
    acrescentaAoLog(dm.stlLogTram, envio.saida);

    QStringList status, enviados;
    for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
        if (files::fileExists(checkout.AsString()))
            enviados << checkout.AsString();
    }
    if (!enviados.isEmpty())
        status << linhaDeStatus(enviados);
    const runner::ResultadoScript posterior =
        runner::ExecutaScript(dm.msgPadrao.Msg(QStringLiteral("STATUS_FILE")), status.join(kCrLf), true);
    if (!posterior.ok)
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_GET_VER_HOM_POS")), true);
    acrescentaAoLog(dm.stlLogTram, posterior.saida);
    const QStringList linhas = linhasDe(posterior.saida);
    for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
        QString revisao = QStringLiteral("0");
        if (files::fileExists(checkout.AsString())) {
            revisao = RevisaoNoStatus(linhas, checkout.AsString());
            if (revisao.isEmpty())
                Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("N_LOC_VER"), {checkout.AsString()}), true);
        }
        arquivos.Edit();
        atual.setAsString(revisao);
        arquivos.Post();
    }
    dm.ChamaServidor(QStringLiteral("setVersArqHom"), {grupo, arquivos.Data()});
}
