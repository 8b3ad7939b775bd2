#include "promotion/reversao.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/destino.h"
#include "promotion/prehomologados.h"
#include "promotion/transferencia.h"
#include "runner/frmexeccommands.h"

#include <QRegularExpression>
#include <QSet>

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

}  // namespace

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
        const int revisaoPosterior = versoes.fieldIndex(QStringLiteral("NRREVATUARQSVN"));

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

        int feitos = 0;
        for (const QStringList &daSolicitacao : porSolicitacao) {
            for (const QString &desenvolvimento : daSolicitacao) {
                andamento.passo(++feitos);
                const QString homologado = TrocaRoot(desenvolvimento, dm.DirDesenv, dm.DirHomol);
                const int linha = versoes.findRow(QStringLiteral("DSARQSVNHOMOL"), homologado, loCaseInsensitive);
                if (linha < 0)
                    continue;
                QString revisao = Dataset::valueText(versoes.gridRow(linha).value(revisaoAnterior));

                // A "0" may have been recorded for a file that was there all along (a copy that
                // lacked it, a failed first attempt): the repository itself says whether the
                // transfer added it. One that existed goes back to its content before the
                // group's commit, and is never deleted.
                if (revisao.trimmed().toInt() == 0) {
                    const TransferenciaHomol::Historia historia =
                        TransferenciaHomol::HistoriaNoRepositorio(homologado, grupo, dm.UsuarioSVN, dm.SenhaSVN);
                    int commitDoGrupo = Dataset::valueText(versoes.gridRow(linha).value(revisaoPosterior)).trimmed().toInt();
                    if (commitDoGrupo <= 0 || (historia.doGrupo > 0 && historia.doGrupo < commitDoGrupo))
                        commitDoGrupo = historia.doGrupo;
                    if (historia.primeira > 0 && commitDoGrupo <= 0)
                        continue;  // the transfer never changed it: nothing to undo
                    if (historia.primeira > 0 && historia.primeira < commitDoGrupo)
                        revisao = QString::number(commitDoGrupo - 1);
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
