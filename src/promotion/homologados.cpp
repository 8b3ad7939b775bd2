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
        // The files that the update replaces: the list of the product's own family.
        const QList<ArquivoDistribuicao> arquivos = CarregaArquivos(dm, Variante(FamiliaDoGrupo(dm, grupo)), grupo);
        QList<std::pair<QString, QString>> caminhos{{area, raiz}};
        for (const ArquivoDistribuicao &a : arquivos)
            caminhos.append({raiz + a.destinoUsado(), raiz});
        RecusaLinksParaFora(caminhos);
        for (const QString &pasta : {Junta(raiz, QStringLiteral("Backup KMT")), area}) {
            if (!files::dirExists(pasta) && !files::forceDirectories(pasta))
                Consiste::MensErro(Texto(dm, "ERRO_CREATE_DIR_BACKUP_KMT", {pasta}), true);
        }

        const QList<ChaveSolicitacao> chaves = SolicitacoesDaLista(solicitacoes);
        andamento.setTotal(TotalDeArquivos(arquivos, chaves));

        ListaDeNovos novos(area);
        QStringList destinos;
        for (const ChaveSolicitacao &chave : chaves) {
            for (const ArquivoDistribuicao &a : ArquivosDaSolicitacao(arquivos, chave)) {
                if (!a.destinoUsado().isEmpty())
                    destinos.append(raiz + a.destinoUsado());
            }
        }
        // The marker stays until the backup area goes, once the requests have been moved on.
        ExecucaoNaArvore execucao(dm, grupo, area, QStringLiteral("homologação dos arquivos"), destinos);

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
                const QString backup = CaminhoNoBackup(area, a);
                if (files::fileExists(backup) || files::fileExists(CaminhoNoBackupPlano(area, a)))
                    continue;
                const QString pastaDoBackup = PastaDe(backup);
                if (!files::dirExists(pastaDoBackup) && !files::forceDirectories(pastaDoBackup))
                    Consiste::MensErro(Texto(dm, "NOT_CREATE_DIR", {pastaDoBackup}), false);
                Copia(dm, OrigemDoBackup(area, homologado, a, arquivos), backup);
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
        QList<std::pair<QString, QString>> caminhos;
        for (const ArquivoDistribuicao &a : arquivos)
            caminhos << std::pair{Junta(raiz, a.destinoUsado()), raiz}
                     << std::pair{Junta(preHomologados, a.destinoUsado()), preHomologados};
        RecusaLinksParaFora(caminhos);

        QStringList destinos;
        for (const ArquivoDistribuicao &a : arquivos) {
            Cria_Diretorios(raiz, a.destinoUsado());
            if (!a.destinoUsado().isEmpty())
                destinos.append(Junta(raiz, a.destinoUsado()));
        }
        RemoveCopiasIncompletas(destinos);

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
                Copia(dm, fonte, destino, &erros);

                // The archive made by the pre-homologated copy goes along; the two trees spell
                // the folder "Ftp\ExeFtp" in either case, and paths are found without regard
                // to it.
                if (variante.arquivosZip && EhExecutavelOuPacote(a.destinoUsado())) {
                    const QString nome = NomeDoArquivo(a.destinoUsado()) + QStringLiteral(".zip");
                    const QString zipFonte = PastaDosZips(preHomologados, a) + nome;
                    const QString pastaZip = PastaDosZips(raiz, a);
                    criaPasta(pastaZip);
                    Copia(dm, zipFonte, pastaZip + nome, &erros);
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

QStringList AposentaAreasDeBackup(const TdmGrupSoliHom &dm, const QString &grupo, const QString &release,
                                  const QDateTime &quando)
{
    QStringList aposentadas;
    const QString execucao = grupo + u'_' + (release.isEmpty() ? QStringLiteral("sem-release") : release) + u'_'
        + quando.toString(QStringLiteral("yyyyMMddhhmmss"));
    for (const QString &arvore : {dm.DirPreHomol, dm.DirHomologados}) {
        if (arvore.isEmpty())
            continue;
        const QString area = AreaDeBackup(arvore, grupo);
        const QString encerrados = Junta(arvore, QStringLiteral("Backup KMT\\Encerrados"));
        const QString destino = encerrados + u'\\' + execucao;
        // Set aside by an earlier run of the same homologation (named by the same moment).
        if (!files::dirExists(area)) {
            if (files::dirExists(destino))
                aposentadas.append(destino);
            continue;
        }
        if (!files::forceDirectories(encerrados) || !files::renameFile(area, destino))
            Consiste::MensErro(QStringLiteral("Não foi possível guardar a área de backup %1 do grupo %2, que voltou à "
                                              "fase inicial, em %3.")
                                   .arg(area, grupo, destino),
                               true);
        aposentadas.append(destino);
    }
    return aposentadas;
}
