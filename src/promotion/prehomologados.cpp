#include "promotion/prehomologados.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/services.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "promotion/destino.h"

#include <QSet>

#include <zip.h>

namespace files = platform::files;

namespace {

// A path of the development tree written without its drive ("\Desenv\F301\a.frm") is on
// "C:", as every path of the product that lacks one; the relative destinations of the web
// and form-setting files are cut from it by position, so the drive must be there.
QString ComUnidade(const QString &path) { return path.startsWith(u'\\') ? QStringLiteral("C:") + path : path; }

QString DestinoCompilado(const QString &path, const QString &) { return Arquivo_Destino(path); }
QString OrigemCompilada(const QString &path, const QString &) { return Arquivo_Compilado(path); }
QString DestinoWeb(const QString &path, const QString &dirDesenv) { return Arquivo_Destino_Asp(ComUnidade(path), dirDesenv); }
QString OrigemWeb(const QString &path, const QString &dirDesenv) { return Arquivo_Origem_Asp(ComUnidade(path), dirDesenv); }
QString DestinoFormulario(const QString &path, const QString &dirDesenv) { return Remove_Raiz(ComUnidade(path), dirDesenv); }
QString OrigemFormulario(const QString &path, const QString &) { return path; }

const VarianteDistribuicao kVariantes[] = {
    {Familia::Compilados, "getArqSoli", &TdmGrupSoliHom::cdsArqSoli, DestinoCompilado, OrigemCompilada, true, true, false},
    {Familia::Web, "getArqSoliAsp", &TdmGrupSoliHom::cdsArqSoliAsp, DestinoWeb, OrigemWeb, false, false, false},
    {Familia::Formularios, "getArqSoliSetForms", &TdmGrupSoliHom::cdsArqSoliSetForms, DestinoFormulario,
     OrigemFormulario, false, false, true},
};

// libzip's message for the archive, or for the error code of an archive it could not open.
QString ErroDoZip(zip_t *archive)
{
    return QString::fromUtf8(zip_error_strerror(zip_get_error(archive)));
}

QString ErroDoZip(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

// Writes an archive with one deflated entry. Empty when it went well, else libzip's words.
QString EscreveZip(const QString &nativeArchive, const QString &nativeFile, const QString &entryName, time_t modified)
{
    int code = 0;
    zip_t *archive = zip_open(nativeArchive.toLocal8Bit().constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return ErroDoZip(code);
    zip_source_t *source = zip_source_file(archive, nativeFile.toLocal8Bit().constData(), 0, -1);
    if (!source) {
        const QString error = ErroDoZip(archive);
        zip_discard(archive);
        return error;
    }
    const zip_int64_t index = zip_file_add(archive, entryName.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        const QString error = ErroDoZip(archive);
        zip_discard(archive);
        return error;
    }
    if (zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 0) < 0
        || zip_file_set_mtime(archive, zip_uint64_t(index), modified, 0) < 0) {
        const QString error = ErroDoZip(archive);
        zip_discard(archive);
        return error;
    }
    if (zip_close(archive) < 0) {
        const QString error = ErroDoZip(archive);
        zip_discard(archive);
        return error;
    }
    return {};
}

}  // namespace

// ====================================================================== families and lists

Familia FamiliaDoProduto(const QString &cdArvProd)
{
    const QString codigo = cdArvProd.toUpper();
    if (codigo.contains(QLatin1StringView("P5")) || codigo.contains(QLatin1StringView("P6")))
        return Familia::Compilados;
    if (codigo.contains(QLatin1StringView("P15")))
        return Familia::Web;
    return Familia::Formularios;
}

Familia FamiliaDoGrupo(const TdmGrupSoliHom &dm, const QString &grupo)
{
    const QVariant arvore = dm.cdsGrupo->Lookup(QStringLiteral("CDGRUPHOMOL"), grupo, QStringLiteral("CDARVPROD"));
    return FamiliaDoProduto(arvore.isValid() ? Dataset::valueText(arvore) : dm.grupo(QStringLiteral("CDARVPROD")));
}

const VarianteDistribuicao &Variante(Familia familia)
{
    for (const VarianteDistribuicao &variante : kVariantes) {
        if (variante.familia == familia)
            return variante;
    }
    return kVariantes[0];
}

QList<ArquivoDistribuicao> CarregaArquivos(TdmGrupSoliHom &dm, const VarianteDistribuicao &variante,
                                           const QString &grupo)
{
    Dataset *lista = dm.*(variante.lista);
    dm.CarregaPacote(lista, QLatin1StringView(variante.metodo), {grupo});

    const int filial = lista->fieldIndex(QStringLiteral("CDFILIAL"));
    const int numero = lista->fieldIndex(QStringLiteral("NRSOLISERV"));
    const int arquivo = lista->fieldIndex(QStringLiteral("DSARQPATCH"));
    const int destino = lista->fieldIndex(QStringLiteral("DSDIRDESTARQ"));
    const int destinoCliente = lista->fieldIndex(QStringLiteral("DSDIRDSTARQESPCLI"));
    const int especifico = lista->fieldIndex(QStringLiteral("IDARQESPECLIE"));
    const auto texto = [lista](int field) { return field < 0 ? QString() : Dataset::valueText(lista->currentValue(field)); };

    QList<ArquivoDistribuicao> arquivos;
    arquivos.reserve(lista->RecordCount());
    for (lista->First(); !lista->Eof(); lista->Next()) {
        ArquivoDistribuicao a;
        a.filial = texto(filial);
        a.numero = texto(numero);
        a.recebido = texto(arquivo);
        a.destino = texto(destino);
        a.destinoCliente = texto(destinoCliente);
        a.especifico = variante.clientesEspecificos && texto(especifico) == u"S";
        if (a.especifico)
            a.destinoCliente = Cliente_Arquivo(a.recebido);
        else
            a.destino = variante.destino(a.recebido, dm.DirDesenv);
        a.origem = variante.origem(a.recebido, dm.DirDesenv);
        arquivos.append(a);
    }
    lista->First();
    return arquivos;
}

QList<ChaveSolicitacao> SolicitacoesDaLista(const QString &lista)
{
    QList<ChaveSolicitacao> chaves;
    for (QString linha : lista.split(u'\n')) {
        if (linha.endsWith(u'\r'))
            linha.chop(1);
        if (linha.trimmed().isEmpty())
            continue;
        chaves.append({linha.left(4), linha.mid(4, 10)});
    }
    return chaves;
}

QList<ArquivoDistribuicao> ArquivosDaSolicitacao(const QList<ArquivoDistribuicao> &arquivos,
                                                 const ChaveSolicitacao &solicitacao)
{
    QList<ArquivoDistribuicao> daSolicitacao;
    for (const ArquivoDistribuicao &a : arquivos) {
        if (a.filial == solicitacao.filial && a.numero == solicitacao.numero)
            daSolicitacao.append(a);
    }
    return daSolicitacao;
}

int TotalDeArquivos(const QList<ArquivoDistribuicao> &arquivos, const QList<ChaveSolicitacao> &solicitacoes)
{
    int total = 0;
    for (const ChaveSolicitacao &solicitacao : solicitacoes)
        total += int(ArquivosDaSolicitacao(arquivos, solicitacao).size());
    return total;
}

QString Texto(const TdmGrupSoliHom &dm, const char *key, const QVariantList &args)
{
    return dm.msgPadrao.Msg(QLatin1StringView(key), args);
}

// ====================================================================== path helpers

QString ComBarra(const QString &folder) { return folder.isEmpty() || folder.endsWith(u'\\') ? folder : folder + u'\\'; }

QString Junta(const QString &root, const QString &relative)
{
    QString tail = relative;
    while (tail.startsWith(u'\\'))
        tail.remove(0, 1);
    return ComBarra(root) + tail;
}

QString NomeDoArquivo(const QString &path) { return path.mid(path.lastIndexOf(u'\\') + 1); }

QString PastaDe(const QString &path)
{
    const qsizetype barra = path.lastIndexOf(u'\\');
    return barra < 0 ? QString() : path.left(barra);
}

QString ExtensaoMaiuscula(const QString &path)
{
    const QString nome = NomeDoArquivo(path);
    const qsizetype ponto = nome.lastIndexOf(u'.');
    return ponto < 0 ? QString() : nome.mid(ponto).toUpper();
}

bool EhExecutavelOuPacote(const QString &path)
{
    const QString extensao = ExtensaoMaiuscula(path);
    return extensao == u".EXE" || extensao == u".BPL";
}

QString PastaDosZips(const QString &raiz, const ArquivoDistribuicao &arquivo)
{
    if (!arquivo.doCliente())
        return Junta(raiz, QStringLiteral("Ftp\\ExeFtp\\"));
    const QString pasta = PastaDe(arquivo.destinoCliente);
    return Junta(raiz, QStringLiteral("Ftp\\ExeFtp\\Clientes\\") + pasta.right(3) + u'\\');
}

QString RaizDaArvore(const QString &folder, const char *que, const QString &produto)
{
    if (folder.isEmpty())
        Consiste::MensErro(QStringLiteral("O diretório dos arquivos %1 do produto %2 não está configurado.")
                               .arg(QString::fromUtf8(que), produto),
                           true);
    return ComBarra(folder);
}

QString ChaveDoArquivo(const QString &path)
{
    QString chave = path;
    chave.replace(u'/', u'\\');
    while (chave.contains(QStringLiteral("\\\\")))
        chave.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return chave.toUpper();
}

QString CaminhoNoBackup(const QString &area, const ArquivoDistribuicao &arquivo)
{
    return Junta(area + u'\\' + arquivo.pastaDaSolicitacao(), arquivo.destinoUsado());
}

QString CaminhoNoBackupPlano(const QString &area, const ArquivoDistribuicao &arquivo)
{
    return area + u'\\' + arquivo.pastaDaSolicitacao() + u'\\' + NomeDoArquivo(arquivo.destinoUsado());
}

QString BackupParaRestaurar(const QString &area, const QString &raiz,
                            const ArquivoDistribuicao &arquivo, const QList<ArquivoDistribuicao> &daSolicitacao,
                            const ListaDeNovos &novos)
{
    const QString proprio = CaminhoNoBackup(area, arquivo);
    const QString plano = CaminhoNoBackupPlano(area, arquivo);
    if (files::fileExists(proprio) || !files::fileExists(plano))
        return proprio;
    // The flat area kept one previous version per name: whose it is is known only when no
    // other file of that name of the request had one.
    const QString nome = NomeDoArquivo(arquivo.destinoUsado()).toUpper();
    QStringList doMesmoNome;
    QSet<QString> vistos;
    for (const ArquivoDistribuicao &outro : daSolicitacao) {
        const QString destino = outro.destinoUsado();
        if (destino.isEmpty() || NomeDoArquivo(destino).toUpper() != nome || novos.contem(raiz + destino))
            continue;
        if (vistos.contains(ChaveDoArquivo(destino)))
            continue;
        vistos.insert(ChaveDoArquivo(destino));
        doMesmoNome.append(raiz + destino);
    }
    if (doMesmoNome.size() > 1)
        Consiste::MensErro(QStringLiteral("A área de backup %1 foi gravada por uma versão anterior do sistema, que guardava "
                                          "as versões anteriores só pelo nome do arquivo, e a solicitação %2 tem %3 "
                                          "arquivos de nome %4:\r\n%5\r\nNão é possível saber de qual deles é a cópia "
                                          "guardada; nenhum deles foi restaurado. Restaure-os manualmente.")
                               .arg(area, arquivo.numero, QString::number(doMesmoNome.size()),
                                    NomeDoArquivo(arquivo.destinoUsado()), doMesmoNome.join(QStringLiteral("\r\n"))),
                           true);
    return plano;
}

QString MotivoDaFalha(const files::CopyOutcome &falha)
{
    using files::CopyFailure;
    static const struct {
        CopyFailure falha;
        const char *texto;
    } kMotivos[] = {
        {CopyFailure::SourceMissing, "o arquivo de origem não existe"},
        {CopyFailure::TargetFolderMissing, "a pasta de destino não existe"},
        {CopyFailure::NoPermission, "sem permissão para gravar no destino"},
        {CopyFailure::DiskFull, "não há espaço livre no disco de destino"},
        {CopyFailure::Other, "erro do sistema"},
    };
    QString texto;
    for (const auto &motivo : kMotivos) {
        if (motivo.falha == falha.failure)
            texto = QString::fromUtf8(motivo.texto);
    }
    if (!falha.systemText.isEmpty())
        texto += QStringLiteral(" (") + falha.systemText + u')';
    return texto;
}

QString OrigemDoBackup(const QString &area, const QString &atual, const ArquivoDistribuicao &arquivo,
                       const QList<ArquivoDistribuicao> &arquivos)
{
    for (const ArquivoDistribuicao &outro : arquivos) {
        if (ChaveDoArquivo(outro.destinoUsado()) != ChaveDoArquivo(arquivo.destinoUsado()))
            continue;
        for (const QString &salvo : {CaminhoNoBackup(area, outro), CaminhoNoBackupPlano(area, outro)}) {
            if (files::fileExists(salvo))
                return salvo;
        }
    }
    return atual;
}

void RecusaLinksParaFora(const QList<std::pair<QString, QString>> &caminhos)
{
    QString recusados;
    for (const auto &[caminho, raiz] : caminhos) {
        QString link;
        try {
            link = files::linkLeadingOut(caminho, raiz);
        } catch (const platform::PlatformError &) {
            continue;  // a path on no drive fails on its first use, with its own message
        }
        if (!link.isEmpty() && !Consiste::Contem(recusados, caminho + QStringLiteral(" - ")))
            recusados += caminho + QStringLiteral(" - ") + link + QStringLiteral(" é um link que leva para fora de ") + raiz
                + QStringLiteral("\r\n");
    }
    if (!recusados.isEmpty())
        Consiste::MensErro(QStringLiteral("Os seguintes caminhos levam para fora da sua cópia de trabalho ou árvore por "
                                          "um link; nada foi copiado:\r\n")
                               + recusados,
                           true);
}

bool Copia(const TdmGrupSoliHom &dm, const QString &fonte, const QString &destino, QStringList *erros)
{
    const files::CopyOutcome resultado = files::copyFileReporting(fonte, destino);
    if (resultado.ok())
        return true;
    const QString mensagem = Texto(dm, "NOT_COPY_FILE", {fonte, destino}) + QStringLiteral(" Motivo: ")
        + MotivoDaFalha(resultado) + u'.';
    if (!erros)
        Consiste::MensErro(mensagem, true);
    erros->append(mensagem);
    return false;
}

QStringList RemoveCopiasIncompletas(const QStringList &arquivos)
{
    QStringList removidas;
    QSet<QString> pastas;
    for (const QString &arquivo : arquivos) {
        const QString pasta = PastaDe(arquivo);
        if (pasta.isEmpty() || pastas.contains(ChaveDoArquivo(pasta)))
            continue;
        pastas.insert(ChaveDoArquivo(pasta));
        if (!files::dirExists(pasta))
            continue;
        for (const QString &nome : files::listDir(pasta, u'*' + files::partialCopySuffix(), files::EntryKind::Files)) {
            const QString parcial = pasta + u'\\' + nome;
            files::setReadOnly(parcial, false);
            if (files::deleteFile(parcial))
                removidas.append(parcial);
        }
    }
    return removidas;
}

ExecucaoNaArvore::ExecucaoNaArvore(TdmGrupSoliHom &dm, const QString &grupo, const QString &area, const QString &oQue,
                                   const QStringList &arquivos)
    : m_marcador(area + u'\\' + QLatin1StringView(kMarcador))
{
    const QStringList removidas = RemoveCopiasIncompletas(arquivos);
    m_retomada = files::fileExists(m_marcador);
    if (m_retomada) {
        const QStringList marcador = files::readLines(m_marcador);
        QString aviso = QStringLiteral("A execução anterior da %1 do grupo %2, iniciada em %3, parou no meio; ela está "
                                       "sendo completada agora.")
                            .arg(oQue, grupo, marcador.value(0));
        for (const QString &parcial : removidas)
            aviso += QStringLiteral("\r\nCópia incompleta removida: ") + parcial;
        dm.stlLogTram.append(aviso);
        hostUi().showMessage(aviso, DialogType::Warning, mbOK);
    }
    files::writeLines(m_marcador, {QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"))});
}

void ExecucaoNaArvore::concluida() { files::deleteFile(m_marcador); }

ListaDeNovos::ListaDeNovos(const QString &area) : m_arquivo(area + u'\\' + QLatin1StringView(kNovosArquivos))
{
    if (!files::fileExists(m_arquivo))
        return;
    for (const QString &linha : files::readLines(m_arquivo)) {
        if (!linha.trimmed().isEmpty())
            acrescenta(linha);
    }
}

void ListaDeNovos::acrescenta(const QString &path)
{
    m_linhas.append(path);
    m_chaves.insert(ChaveDoArquivo(path));
}

void ListaDeNovos::grava() const
{
    if (!m_linhas.isEmpty())
        files::writeLines(m_arquivo, m_linhas);
}

QString AreaDeBackup(const QString &raiz, const QString &grupo)
{
    return Junta(raiz, QStringLiteral("Backup KMT\\") + grupo);
}

// ====================================================================== progress

Andamento::Andamento(const QString &legenda, int total) : m_legenda(legenda), m_total(total)
{
    Showavi::ActiveShowAvi(nullptr, 1, legenda);
}

Andamento::~Andamento() { Showavi::DeactiveShowAvi(); }

void Andamento::passo(int feitos)
{
    if (m_total <= kPoucos)
        return;
    const QString texto = QStringLiteral("%1 (%2 de %3)").arg(m_legenda).arg(feitos).arg(m_total);
    // The animation's shows nest: the caption is replaced, not shown once more.
    Showavi::DeactiveShowAvi();
    Showavi::ActiveShowAvi(nullptr, 1, texto);
    hostUi().progress(texto);
}

// ====================================================================== the pre-homologated copy

void PreHomologados::Atualiza_Pre_Homologados() { Atualiza(Variante(Familia::Compilados)); }

void PreHomologados::Atualiza_Pre_Homologados_Asp() { Atualiza(Variante(Familia::Web)); }

void PreHomologados::Atualiza_Pre_Homologados_SetForms() { Atualiza(Variante(Familia::Formularios)); }

void PreHomologados::AtualizaPorFamilia()
{
    Atualiza(Variante(FamiliaDoProduto(dm.grupo(QStringLiteral("CDARVPROD")))));
}

void PreHomologados::Atualiza(const VarianteDistribuicao &variante)
{
    try {
        const QString grupo = dm.codigoGrupo();
        const QString legenda = Texto(dm, "ATUAL_PRE_HOMOLOGADOS");
        Andamento andamento(legenda);
        const QString raiz = RaizDaArvore(dm.DirPreHomol, "pré homologados", dm.grupo(QStringLiteral("CDPRODUTO")));
        const QList<ArquivoDistribuicao> arquivos = CarregaArquivos(dm, variante, grupo);
        const QString temporaria = TempDir() + u'\\' + grupo + u'\\';
        const auto fonteDe = [this](const ArquivoDistribuicao &a) {
            QString fonte = TrocaRoot(a.origem.isEmpty() ? a.recebido : a.origem, dm.DirDesenv, dm.DirHomol);
            if (fonte.size() < 3 || fonte[2] != u'\\')
                fonte.prepend(u'\\');
            if (!(fonte.size() >= 2 && fonte[0].isLetter() && fonte[1] == u':'))
                fonte.prepend(QStringLiteral("C:"));
            return fonte;
        };
        QList<std::pair<QString, QString>> caminhos{{AreaDeBackup(raiz, grupo), raiz}};
        for (const ArquivoDistribuicao &a : arquivos) {
            caminhos.append({raiz + a.destinoUsado(), raiz});
            caminhos.append({fonteDe(a), dm.DirHomol});
            if (variante.copiaTemporaria)
                caminhos.append({temporaria + a.destino, temporaria});
        }
        RecusaLinksParaFora(caminhos);

        for (const ArquivoDistribuicao &a : arquivos) {
            Cria_Diretorios(raiz, a.destinoUsado());
            if (variante.copiaTemporaria)
                Cria_Diretorios(temporaria, a.destino);
        }

        // The backup area of the group. One that is already there was left by an earlier run
        // of this copy that never brought the group to "004": it holds the versions from
        // before that run touched anything, while the tree may now hold new ones. It is kept
        // and only completed, so that a rollback still finds the true previous versions.
        const QString area = AreaDeBackup(raiz, grupo);
        for (const QString &pasta : {Junta(raiz, QStringLiteral("Backup KMT")), area}) {
            if (!files::dirExists(pasta) && !files::forceDirectories(pasta))
                Consiste::MensErro(Texto(dm, "ERRO_CREATE_DIR_BACKUP_KMT", {pasta}), true);
        }
        ListaDeNovos novos(area);

        QStringList destinos;
        for (const ArquivoDistribuicao &a : arquivos) {
            if (!a.destinoUsado().isEmpty())
                destinos.append(raiz + a.destinoUsado());
        }
        ExecucaoNaArvore execucao(dm, grupo, area, QStringLiteral("cópia dos arquivos pré homologados"), destinos);

        QStringList erros;
        // A file whose previous version could not be saved is not replaced, nor is any file of
        // that request: the backups are tried again by the next run.
        QSet<QString> semBackup;
        const auto solicitacao = [](const ArquivoDistribuicao &a) { return a.filial + u'|' + a.numero; };
        for (qsizetype i = 0; i < arquivos.size(); ++i) {
            const ArquivoDistribuicao &a = arquivos[i];
            if (a.destinoUsado().isEmpty())
                continue;
            const QString anterior = raiz + a.destinoUsado();
            // A file that an earlier run added is still new, even though it is there now.
            if (novos.contem(anterior))
                continue;
            if (!files::fileExists(anterior)) {
                novos.acrescenta(anterior);
                continue;
            }
            // One backup per file of the tree, at its path relative to the tree. One saved
            // by an earlier run of this group (its own, or one of the flat layout) holds the
            // version from before that run and is kept.
            const QString backup = CaminhoNoBackup(area, a);
            if (files::fileExists(backup) || files::fileExists(CaminhoNoBackupPlano(area, a)))
                continue;
            const QString original = OrigemDoBackup(area, anterior, a, arquivos);
            const QString pastaDoBackup = PastaDe(backup);
            files::forceDirectories(pastaDoBackup);
            if (!Copia(dm, original, backup, &erros)) {
                semBackup.insert(ChaveDoArquivo(anterior));
                semBackup.insert(solicitacao(a));
            }
            if (variante.arquivosZip && EhExecutavelOuPacote(a.destinoUsado()))
                Gera_Zip(original, pastaDoBackup);
        }
        // The list of new files is complete before any file is replaced: a run that stops
        // halfway leaves it for the next one.
        novos.grava();

        andamento.setTotal(int(arquivos.size()) * (variante.copiaTemporaria ? 2 : 1));
        int feitos = 0;
        const auto copia = [&](const QString &destinoRaiz, bool comZip, bool naArvore) {
            for (qsizetype i = 0; i < arquivos.size(); ++i) {
                andamento.passo(++feitos);
                const ArquivoDistribuicao &a = arquivos[i];
                if (naArvore
                    && (semBackup.contains(solicitacao(a)) || semBackup.contains(ChaveDoArquivo(raiz + a.destinoUsado()))))
                    continue;
                const QString fonte = fonteDe(a);
                const QString destino = destinoRaiz + (naArvore ? a.destinoUsado() : a.destino);
                if (a.origem.isEmpty() || !files::fileExists(fonte)) {
                    erros.append(Texto(dm, "NOT_FILE_EXISTS", {fonte}));
                    continue;
                }
                const QString pasta = PastaDe(destino);
                if (!files::dirExists(pasta) && !files::forceDirectories(pasta))
                    Consiste::MensErro(Texto(dm, "NOT_CREATE_DIR", {pasta}), false);
                Copia(dm, fonte, destino, &erros);
                if (comZip && EhExecutavelOuPacote(destino))
                    Gera_Zip(fonte, PastaDosZips(raiz, a));
            }
        };
        copia(raiz, variante.arquivosZip, true);
        if (variante.copiaTemporaria)
            copia(temporaria, false, false);

        if (!erros.isEmpty())
            Consiste::MensErro(erros.join(QStringLiteral("\r\n")), true);
        execucao.concluida();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

// ====================================================================== archives and folders

void PreHomologados::Gera_Zip(const QString &file, const QString &folder)
{
    try {
        const QString pasta = ComBarra(folder);
        if (!files::dirExists(pasta) && !files::forceDirectories(pasta))
            Consiste::MensErro(Texto(dm, "NOT_CREATE_DIR", {pasta}), true);
        const QString nome = NomeDoArquivo(file);
        const QString zip = pasta + nome + QStringLiteral(".zip");
        const QDateTime data = files::modificationTime(file);
        const QString erro = EscreveZip(files::nativePath(zip), files::nativePath(file), nome,
                                        data.isValid() ? time_t(data.toSecsSinceEpoch()) : time(nullptr));
        if (!erro.isEmpty())
            Consiste::MensErro(QStringLiteral("Não foi possível gerar o arquivo compactado %1. %2").arg(zip, erro), true);
        if (data.isValid())
            files::setModificationTime(zip, data);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void PreHomologados::Apaga_Pasta(const QString &folder)
{
    try {
        if (!files::dirExists(folder))
            return;
        for (const QString &nome : files::listDir(folder, QStringLiteral("*"), files::EntryKind::Dirs))
            Apaga_Pasta(Junta(folder, nome));
        for (const QString &nome : files::listDir(folder, QStringLiteral("*"), files::EntryKind::Files)) {
            const QString arquivo = Junta(folder, nome);
            files::setReadOnly(arquivo, false);
            files::deleteFile(arquivo);
        }
        files::removeDir(folder);
    } catch (const platform::PlatformError &) {
        // A folder that cannot be reached is left as it is, like one that cannot be emptied.
    }
}
