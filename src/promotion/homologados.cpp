#include "promotion/homologados.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "platform/files.h"
#include "promotion/destino.h"
#include "promotion/prehomologados.h"

#include <QSet>

namespace files = platform::files;

QString Homologados::RaizHomologados() const
{
    return RaizDaArvore(dm.DirHomologados, "homologados", dm.grupo(QStringLiteral("CDPRODUTO")));
}

void Homologados::Grava_Backup_Homologados(const QString &grupo, const QString &solicitacoes)
{
    try {
        Andamento andamento(Texto(dm, "GRAVA_BACKUP_HOMOL"));
        const QString raiz = RaizHomologados();
        // An area that is already there was left by a homologation of the group that failed
        // after it had begun to replace files (a finished one deletes it): it holds the
        // versions from before that homologation and is kept, only completed.
        const QString area = AreaDeBackup(raiz, grupo);
        for (const QString &pasta : {Junta(raiz, QStringLiteral("Backup KMT")), area}) {
            if (!files::dirExists(pasta) && !files::forceDirectories(pasta))
                Consiste::MensErro(Texto(dm, "ERRO_CREATE_DIR_BACKUP_KMT", {pasta}), true);
        }

        // The files that the update replaces: the list of the product's own family.
        const QList<ArquivoDistribuicao> arquivos = CarregaArquivos(dm, Variante(FamiliaDoGrupo(dm, grupo)), grupo);
        const QList<ChaveSolicitacao> chaves = SolicitacoesDaLista(solicitacoes);
        andamento.setTotal(TotalDeArquivos(arquivos, chaves));

        ListaDeNovos novos(area);

        int feitos = 0;
        for (const ChaveSolicitacao &chave : chaves) {
            for (const ArquivoDistribuicao &a : ArquivosDaSolicitacao(arquivos, chave)) {
                andamento.passo(++feitos);
                if (a.destinoUsado().isEmpty())
                    continue;
                const QString homologado = raiz + a.destinoUsado();
                // A file that the failed homologation added is still new.
                if (novos.contem(homologado))
                    continue;
                if (!files::fileExists(homologado)) {
                    novos.acrescenta(homologado);
                    continue;
                }
                const QString pastaDoBackup = area + u'\\' + a.pastaDaSolicitacao();
                const QString backup = pastaDoBackup + u'\\' + NomeDoArquivo(a.destinoUsado());
                if (files::fileExists(backup))
                    continue;
                if (!files::dirExists(pastaDoBackup) && !files::forceDirectories(pastaDoBackup))
                    Consiste::MensErro(Texto(dm, "NOT_CREATE_DIR", {pastaDoBackup}), false);
                if (!files::copyFile(homologado, backup))
                    Consiste::MensErro(Texto(dm, "NOT_COPY_FILE", {homologado, backup}), true);
            }
        }
        novos.grava();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologados::Atualiza_Arq_Homologados(const QString &grupo, const QString &solicitacoes)
{
    try {
        Andamento andamento(Texto(dm, "ATUALIZANDO_ARQUIVOS_HOMOLOGADOS"));
        const QString preHomologados =
            RaizDaArvore(dm.DirPreHomol, "pré homologados", dm.grupo(QStringLiteral("CDPRODUTO")));
        const QString raiz = RaizHomologados();
        const VarianteDistribuicao &variante = Variante(FamiliaDoGrupo(dm, grupo));
        const QList<ArquivoDistribuicao> arquivos = CarregaArquivos(dm, variante, grupo);
        const QList<ChaveSolicitacao> chaves = SolicitacoesDaLista(solicitacoes);
        andamento.setTotal(TotalDeArquivos(arquivos, chaves));

        for (const ArquivoDistribuicao &a : arquivos)
            Cria_Diretorios(raiz, a.destinoUsado());

        const auto criaPasta = [this](const QString &pasta) {
            if (!files::dirExists(pasta) && !files::forceDirectories(pasta))
                Consiste::MensErro(Texto(dm, "NOT_CREATE_DIR", {pasta}), false);
        };
        QStringList erros;
        int feitos = 0;
        for (const ChaveSolicitacao &chave : chaves) {
            for (const ArquivoDistribuicao &a : ArquivosDaSolicitacao(arquivos, chave)) {
                andamento.passo(++feitos);
                const QString fonte = Junta(preHomologados, a.destinoUsado());
                const QString destino = Junta(raiz, a.destinoUsado());
                if (a.destinoUsado().isEmpty() || !files::fileExists(fonte)) {
                    erros.append(Texto(dm, "NOT_FILE_EXISTS", {fonte}));
                    continue;
                }
                if (files::fileExists(destino))
                    files::setReadOnly(destino, false);
                criaPasta(PastaDe(destino));
                if (!files::copyFile(fonte, destino))
                    erros.append(Texto(dm, "NOT_COPY_FILE", {fonte, destino}));

                // The archive made by the pre-homologated copy goes along; the two trees spell
                // the folder "Ftp\ExeFtp" in either case, and paths are found without regard
                // to it.
                if (variante.arquivosZip && EhExecutavelOuPacote(a.destinoUsado())) {
                    const QString nome = NomeDoArquivo(a.destinoUsado()) + QStringLiteral(".zip");
                    const QString zipFonte = PastaDosZips(preHomologados, a) + nome;
                    const QString pastaZip = PastaDosZips(raiz, a);
                    criaPasta(pastaZip);
                    if (!files::copyFile(zipFonte, pastaZip + nome))
                        erros.append(Texto(dm, "NOT_COPY_FILE", {zipFonte, pastaZip + nome}));
                }
            }
        }
        if (!erros.isEmpty())
            Consiste::MensErro(erros.join(QStringLiteral("\r\n")), true);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologados::Exclui_Backup_Homologados(const QString &grupo, const QString &solicitacoes)
{
    Q_UNUSED(solicitacoes);
    try {
        Andamento andamento(Texto(dm, "EXCLUI_BACKUP_HOMOL"));
        PreHomologados::Apaga_Pasta(AreaDeBackup(RaizHomologados(), grupo));
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}
