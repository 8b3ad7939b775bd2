#include "promotion/reversao.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/destino.h"
#include "promotion/prehomologados.h"
#include "runner/frmexeccommands.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>

namespace files = platform::files;

namespace {

// A line of "svn status" that shows the file scheduled for deletion.
bool DelecaoPendente(const QString &saida, const QString &arquivo)
{
    for (const QString &linha : saida.split(QStringLiteral("\r\n"))) {
        if (linha.startsWith(u'D') && linha.size() > 1 && linha[1].isSpace()
            && Consiste::Contem(linha, arquivo, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString SemEscapes(QString xml)
{
    return xml.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

}  // namespace

HistoricoDoRepositorio::HistoricoDoRepositorio(const QString &url, const QString &copia, qlonglong desde,
                                               const QString &usuario, const QString &senha)
    : m_copia(copia)
{
    const QString credenciais = QStringLiteral("--no-auth-cache --username \"%1\" --password \"%2\"").arg(usuario, senha);
    QString falha;
    const QString info = platform::Process::run(QStringLiteral("svn info --xml %1 \"%2\"").arg(credenciais, url),
                                                nullptr, 60000, &falha);
    static const QRegularExpression relativa(QStringLiteral("<relative-url>\\^([^<]*)</relative-url>"));
    const QRegularExpressionMatch raiz = relativa.match(info);
    if (!falha.isEmpty() || !raiz.hasMatch())
        return;
    m_raiz = QUrl::fromPercentEncoding(SemEscapes(raiz.captured(1)).toUtf8());
    // A recorded revision the repository does not have yet fails later, naming its file.
    static const QRegularExpression cabeca(QStringLiteral(R"re(<entry\b[^>]*\brevision="(\d+)")re"));
    const qlonglong head = cabeca.match(info).captured(1).toLongLong();
    if (head > 0 && desde > head)
        desde = head;
    const QString xml = platform::Process::run(QStringLiteral("svn log -v --xml -r %1:HEAD %2 \"%3\"")
                                                   .arg(QString::number(std::max<qlonglong>(desde, 1)), credenciais, url),
                                               nullptr, 300000, &falha);
    if (!falha.isEmpty())
        return;
    static const QRegularExpression entrada(QStringLiteral(R"re(<logentry\s+revision="(\d+)">(.*?)</logentry>)re"),
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression caminho(QStringLiteral(R"re(<path\b[^>]*>([^<]*)</path>)re"));
    static const QRegularExpression mensagem(QStringLiteral("<msg>(.*?)</msg>"),
                                             QRegularExpression::DotMatchesEverythingOption);
    for (auto it = entrada.globalMatch(xml); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        Entrada e;
        e.revisao = match.captured(1).toLongLong();
        e.mensagem = SemEscapes(mensagem.match(match.captured(2)).captured(1));
        for (auto c = caminho.globalMatch(match.captured(2)); c.hasNext();)
            e.caminhos << SemEscapes(c.next().captured(1));
        m_entradas.append(e);
    }
    m_lido = xml.contains(QStringLiteral("<log"));
}

QString HistoricoDoRepositorio::CaminhoNoRepositorio(const QString &homologado) const
{
    QString relativo = homologado.mid(m_copia.size());
    relativo.replace(u'\\', u'/');
    while (relativo.startsWith(u'/'))
        relativo.remove(0, 1);
    return m_raiz + u'/' + relativo;
}

qlonglong HistoricoDoRepositorio::AntesDoGrupo(const QString &homologado, const QString &grupo) const
{
    const QString alvo = CaminhoNoRepositorio(homologado);
    const QString transferencia = QStringLiteral("Grupo de homologação: %1-").arg(grupo);
    bool existia = false;
    for (const Entrada &e : m_entradas) {
        if (!e.caminhos.contains(alvo, Qt::CaseInsensitive))
            continue;
        if (e.mensagem.startsWith(transferencia))
            return existia ? e.revisao - 1 : 0;
        existia = true;
    }
    return 0;
}

QString HistoricoDoRepositorio::OutrosDepoisDe(const QString &homologado, qlonglong revisao, const QString &grupo) const
{
    const QString alvo = CaminhoNoRepositorio(homologado);
    const QStringList proprias{QStringLiteral("Grupo de homologação: %1-").arg(grupo), QStringLiteral("Gerandoaversão:"),
                               QStringLiteral("KMT: Restaurando situação do release")};
    QStringList outros;
    for (const Entrada &e : m_entradas) {
        if (e.revisao <= revisao || !e.caminhos.contains(alvo, Qt::CaseInsensitive))
            continue;
        bool propria = false;
        for (const QString &inicio : proprias)
            propria = propria || e.mensagem.startsWith(inicio);
        if (!propria)
            outros << QStringLiteral("revisão %1 (\"%2\")").arg(QString::number(e.revisao), e.mensagem.trimmed());
    }
    return outros.join(QStringLiteral(", "));
}

QString Reversao::Linha(Comando comando, const QString &revisao, const QString &arquivo, const QString &usuario,
                        const QString &senha)
{
    const QString credenciais = QStringLiteral("--username \"%1\" --password \"%2\"").arg(usuario, senha);
    const QString opcoes = QStringLiteral("--force --ignore-externals --depth files --accept postpone");
    switch (comando) {
    case Comando::VoltaRevisao:
        return QStringLiteral("svn update --no-auth-cache -r\"%1\" %2 %3 \"%4\"")
            .arg(revisao.trimmed(), credenciais, opcoes, arquivo);
    case Comando::Atualiza:
        return QStringLiteral("svn update --no-auth-cache %1 %2 \"%3\"").arg(credenciais, opcoes, arquivo);
    case Comando::Envia:
        return QStringLiteral("svn commit -m\"KMT: Restaurando situação do release %1\" --no-auth-cache %2 \"%3\"")
            .arg(revisao, credenciais, arquivo);
    case Comando::Apaga:
        return QStringLiteral("svn del --force --no-auth-cache %1 \"%2\"").arg(credenciais, arquivo);
    case Comando::Situacao:
        return QStringLiteral("svn status --no-auth-cache %1 \"%2\"").arg(credenciais, arquivo);
    }
    return {};
}

QString Reversao::ErroAoVoltar(const QString &arquivo)
{
    return QStringLiteral("Não foi possível voltar a versão do arquivo %1 no repositório de homologação.").arg(arquivo);
}

QString Reversao::Executa(const QString &script, bool mostra, const QString &arquivo)
{
    const QVariantList resultado = runner::ExecCommands(Texto(dm, "Volta_versao_svn"), script, mostra).toList();
    // A request whose files were not restored must not be sent back as if they were.
    if (resultado.isEmpty() || !resultado[0].toBool())
        Consiste::MensErro(ErroAoVoltar(arquivo), true);
    return resultado.value(1).toString();
}

void Reversao::Volta_Backup_Pre_Homologados(const QString &grupo, const QString &solicitacoes)
{
    try {
        Andamento andamento(Texto(dm, "VOLTA_BACKUP_HOMOLOGADOS"));
        const QString raiz = RaizDaArvore(dm.DirPreHomol, "pré homologados", dm.grupo(QStringLiteral("CDPRODUTO")));
        const QString area = AreaDeBackup(raiz, grupo);
        const ListaDeNovos novos(area);

        const VarianteDistribuicao &variante = Variante(FamiliaDoGrupo(dm, grupo));
        const QList<ArquivoDistribuicao> arquivos = CarregaArquivos(dm, variante, grupo);
        const QList<ChaveSolicitacao> chaves = SolicitacoesDaLista(solicitacoes);
        andamento.setTotal(TotalDeArquivos(arquivos, chaves));
        QList<std::pair<QString, QString>> caminhos{{area, raiz}};
        for (const ArquivoDistribuicao &a : arquivos)
            caminhos.append({raiz + a.destinoUsado(), raiz});
        RecusaLinksParaFora(caminhos);

        int feitos = 0;
        for (const ChaveSolicitacao &chave : chaves) {
            const QList<ArquivoDistribuicao> daSolicitacao = ArquivosDaSolicitacao(arquivos, chave);
            QStringList destinos;
            for (const ArquivoDistribuicao &a : daSolicitacao) {
                if (!a.destinoUsado().isEmpty())
                    destinos.append(raiz + a.destinoUsado());
            }
            RemoveCopiasIncompletas(destinos);
            // Client-specific files were saved by the copy like the others and come back the
            // same way.
            for (const ArquivoDistribuicao &a : daSolicitacao) {
                andamento.passo(++feitos);
                const QString destino = a.destinoUsado();
                if (destino.isEmpty())
                    continue;
                const QString arquivo = raiz + destino;
                const bool comZip = variante.arquivosZip && EhExecutavelOuPacote(destino);
                const QString nomeZip = NomeDoArquivo(destino) + QStringLiteral(".zip");
                const QString zip = PastaDosZips(raiz, a) + nomeZip;
                if (novos.contem(arquivo)) {
                    files::setReadOnly(arquivo, false);
                    files::deleteFile(arquivo);
                    // The archive of a file that the copy added is as new as the file.
                    if (comZip) {
                        files::setReadOnly(zip, false);
                        files::deleteFile(zip);
                    }
                    continue;
                }
                // The backup is copied over the file, which is replaced only once the copy
                // has succeeded: a failed copy leaves the file as it was.
                const QString backup = BackupParaRestaurar(area, raiz, a, daSolicitacao, novos);
                Copia(dm, backup, arquivo);
                // The archive saved with the previous version goes back beside it.
                const QString zipDoBackup = PastaDe(backup) + u'\\' + nomeZip;
                if (comZip && files::fileExists(zipDoBackup))
                    Copia(dm, zipDoBackup, zip);
            }
        }
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Reversao::Volta_Arquivos_SVN_Homologados(const QString &grupo, const QString &solicitacoes)
{
    try {
        // The caption stays while the files are handled, with how far the rollback is.
        Andamento andamento(Texto(dm, "VOLTA_SVN_HOMOLOGADOS"));
        QString codigo = grupo;
        dm.CarregaPacote(dm.cdsVersArqFonteHom, QStringLiteral("getVersArqFonteHom"), {RemoteArg::ref(codigo)});
        codigo = grupo;
        dm.CarregaPacote(dm.cdsArq, QStringLiteral("getArq"), {RemoteArg::ref(codigo)});
        const QString temporaria = files::tempPath();
        const auto linhaDe = [this](Comando comando, const QString &revisao, const QString &arquivo) {
            return Linha(comando, revisao, arquivo, dm.UsuarioSVN, dm.SenhaSVN);
        };
        QString log;

        Dataset &arquivos = *dm.cdsArq;
        Dataset &versoes = *dm.cdsVersArqFonteHom;
        const int filial = arquivos.fieldIndex(QStringLiteral("CDFILIAL"));
        const int numero = arquivos.fieldIndex(QStringLiteral("NRSOLISERV"));
        const int caminho = arquivos.fieldIndex(QStringLiteral("DSDIRARQCHECKOU"));
        const int revisaoAnterior = versoes.fieldIndex(QStringLiteral("NRREVANTARQSVN"));

        const QList<ChaveSolicitacao> chaves = SolicitacoesDaLista(solicitacoes);
        QList<QStringList> porSolicitacao;
        int total = 0;
        for (const ChaveSolicitacao &chave : chaves) {
            QStringList daSolicitacao;
            for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
                if (Dataset::valueText(arquivos.currentValue(filial)) == chave.filial
                    && Dataset::valueText(arquivos.currentValue(numero)) == chave.numero)
                    daSolicitacao.append(Dataset::valueText(arquivos.currentValue(caminho)));
            }
            total += int(daSolicitacao.size());
            porSolicitacao.append(daSolicitacao);
        }
        arquivos.First();
        andamento.setTotal(total);
        QList<std::pair<QString, QString>> caminhos;
        for (const QStringList &daSolicitacao : porSolicitacao) {
            for (const QString &desenvolvimento : daSolicitacao)
                caminhos.append({TrocaRoot(desenvolvimento, dm.DirDesenv, dm.DirHomol), dm.DirHomol});
        }
        RecusaLinksParaFora(caminhos);

        // One look at the repository's history for all the files with a recorded revision,
        // from the oldest one on; none is needed when no file has one.
        qlonglong desde = 0;
        bool algumRegistrado = false;
        for (const auto &caminho : caminhos) {
            const int linha = versoes.findRow(QStringLiteral("DSARQSVNHOMOL"), caminho.first, loCaseInsensitive);
            if (linha < 0)
                continue;
            algumRegistrado = true;
            const qlonglong r = Dataset::valueText(versoes.gridRow(linha).value(revisaoAnterior)).trimmed().toLongLong();
            if (r > 0 && (desde == 0 || r < desde))
                desde = r;
        }
        const HistoricoDoRepositorio historico = algumRegistrado
            ? HistoricoDoRepositorio(dm.URLHomol, dm.DirHomol, desde, dm.UsuarioSVN, dm.SenhaSVN)
            : HistoricoDoRepositorio();
        if (algumRegistrado && !historico.lido())
            Consiste::MensErro(QStringLiteral("Não foi possível ler o histórico do repositório de homologação %1; nenhum "
                                              "arquivo foi restaurado.")
                                   .arg(dm.URLHomol),
                               true);

        int feitos = 0;
        for (const QStringList &daSolicitacao : porSolicitacao) {
            for (const QString &desenvolvimento : daSolicitacao) {
                andamento.passo(++feitos);
                const QString homologado = TrocaRoot(desenvolvimento, dm.DirDesenv, dm.DirHomol);
                const int linha = versoes.findRow(QStringLiteral("DSARQSVNHOMOL"), homologado, loCaseInsensitive);
                if (linha < 0)
                    continue;
                QString revisao = Dataset::valueText(versoes.gridRow(linha).value(revisaoAnterior));
                if (revisao.trimmed().toLongLong() == 0) {
                    const qlonglong antes = historico.AntesDoGrupo(homologado, grupo);
                    if (antes > 0)
                        revisao = QString::number(antes);
                }

                // The recorded revision is the one this run found before its own commit; a
                // commit of someone else since then is undone too, and the log says so.
                const QString outros = historico.OutrosDepoisDe(homologado, revisao.trimmed().toLongLong(), grupo);
                if (!outros.isEmpty()) {
                    const QString aviso =
                        QStringLiteral("Atenção: o arquivo %1 foi alterado no repositório de homologação depois desta "
                                       "execução do grupo %2, por %3; a restauração desfaz essas alterações.")
                            .arg(homologado, grupo, outros);
                    log += aviso + u'\r';
                    dm.stlLogTram.append(aviso);
                }

                if (revisao.trimmed().toInt() != 0) {
                    const QString anterior = Executa(linhaDe(Comando::VoltaRevisao, revisao, homologado), false, homologado);
                    log += QStringLiteral("Arquivo: ") + homologado + u'\r' + anterior + u'\r';
                    // The client names the revision it brought the file to ("Atualizado para
                    // revisão 12.", "Na revisão 12."); a revision the repository does not have
                    // is reported in words the runner does not take for a failure.
                    if (!anterior.contains(QStringLiteral("revisão %1.").arg(revisao.trimmed())))
                        Consiste::MensErro(ErroAoVoltar(homologado), true);

                    const QString copia = temporaria + NomeDoArquivo(homologado);
                    Copia(dm, homologado, copia);

                    log += Executa(linhaDe(Comando::Atualiza, revisao, homologado), false, homologado) + u'\r';

                    Copia(dm, copia, homologado);

                    const QString saida = Executa(linhaDe(Comando::Envia, revisao, homologado), false, homologado);
                    log += (saida.isEmpty() ? QStringLiteral("Não houve alterações") : saida) + QStringLiteral("\r\r");
                    continue;
                }

                // A file that the transfer added leaves the repository: its deletion is
                // committed with the message of the other files. A deletion scheduled but not
                // committed by an earlier rollback is committed now; a file already gone has
                // nothing left to do.
                const QString envia = linhaDe(Comando::Envia, revisao, homologado);
                QString script;
                if (files::fileExists(homologado)) {
                    script = linhaDe(Comando::Apaga, revisao, homologado) + QStringLiteral("\r\n") + envia;
                } else {
                    const QString situacao = Executa(linhaDe(Comando::Situacao, revisao, homologado), false, homologado);
                    if (!DelecaoPendente(situacao, homologado))
                        continue;
                    script = envia;
                }
                log += QStringLiteral("Arquivo: ") + homologado + u'\r' + Executa(script, true, homologado)
                     + QStringLiteral("\r\r");
            }
            if (!log.isEmpty())
                hostUi().showMessage(log, DialogType::Information, mbOK);
        }
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}
