#include "promotion/copiatrabalho.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/dataset.h"
#include "host/services.h"
#include "platform/files.h"
#include "platform/process.h"
#include "promotion/destino.h"
#include "runner/frmexeccommands.h"

#include <QHash>
#include <QRegularExpression>

namespace files = platform::files;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

void acrescentaAoLog(QStringList &log, const QString &saida)
{
    log.append(QString(saida).remove(u'\r').split(u'\n'));
    while (!log.isEmpty() && log.last().isEmpty())
        log.removeLast();
}

// The levels of a folder from its drive prefix down: "C:\", "C:\A\", "C:\A\B\".
QStringList niveis(const QString &pasta)
{
    QStringList levels;
    const qsizetype drive = pasta.indexOf(u'\\');
    if (drive < 0)
        return levels;
    QString level = pasta.left(drive + 1);
    levels << level;
    const QStringList segments = pasta.mid(drive + 1).split(u'\\', Qt::SkipEmptyParts);
    for (const QString &segment : segments) {
        level += segment + u'\\';
        levels << level;
    }
    return levels;
}

struct Caminhada {
    QString existente;  // the deepest level that exists
    QString parada;     // the level that ended the walk: the first missing one, or the last
};

Caminhada caminha(const QString &pasta)
{
    Caminhada walk;
    for (const QString &level : niveis(pasta)) {
        walk.parada = level;
        if (!files::dirExists(level))
            break;
        walk.existente = level;
    }
    return walk;
}

QString lineStartingWith(const QString &output, const QString &label)
{
    const QStringList lines = QString(output).replace(QStringLiteral("\r"), QString()).split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(label))
            return line.mid(label.size()).trimmed();
    }
    return {};
}

}  // namespace

QString CopiaTrabalho::credenciais() const
{
    return QStringLiteral("--username \"%1\" --password \"%2\"").arg(dm.UsuarioSVN, dm.SenhaSVN);
}

QString CopiaTrabalho::linhaDeUpdate(const QString &pasta) const
{
    return QStringLiteral("svn update --no-auth-cache %1 --force --ignore-externals --depth infinity --accept postpone %2")
        .arg(credenciais(), ArgumentoDeCaminho(pasta));
}

void CopiaTrabalho::LiberaCopiasTravadas(const QStringList &pastas)
{
    QStringList copias;
    for (const QString &pasta : pastas) {
        if (!pasta.isEmpty() && files::dirExists(pasta) && !copias.contains(pasta, Qt::CaseInsensitive))
            copias << pasta;
    }
    if (copias.isEmpty())
        return;
    // A run killed in the middle of a commit or an update leaves its locks behind, and
    // every later command on the copy would fail on them.
    QString falha;
    const QString status =
        platform::Process::run(QStringLiteral("svn status -q ") + ArgumentosDeCaminhos(copias), nullptr, 60000, &falha);
    const auto daCopia = [](const QString &linha, const QString &pasta) {
        const qsizetype onde = linha.indexOf(pasta, 0, Qt::CaseInsensitive);
        return onde >= 0 && (onde + pasta.size() == linha.size() || linha[onde + pasta.size()] == u'\\');
    };
    QString script;
    for (const QString &pasta : copias) {
        bool travada = false, conflito = !falha.isEmpty();
        for (const QString &linha : QString(status).remove(u'\r').split(u'\n')) {
            if (linha.size() < 8 || !daCopia(linha, pasta))
                continue;
            travada = travada || linha[2] == u'L';
            // Text, property and tree conflict columns.
            conflito = conflito || linha[0] == u'C' || linha[1] == u'C' || linha[6] == u'C';
        }
        if (conflito)
            m_copiasEmConflito << pasta;
        // A status that cannot be read may hide the locks (the client refuses a copy it
        // finds locked in some ways): the cleanup runs all the same.
        if (!travada && falha.isEmpty())
            continue;
        const QString aviso =
            travada ? QStringLiteral("A cópia de trabalho %1 estava travada por uma execução interrompida; "
                                     "as travas foram removidas (svn cleanup).")
                          .arg(pasta)
                    : QStringLiteral("A situação da cópia de trabalho %1 não pôde ser lida (%2); as travas que uma "
                                     "execução interrompida possa ter deixado foram removidas (svn cleanup).")
                          .arg(pasta, falha);
        dm.stlLogTram.append(aviso);
        script += QStringLiteral("@echo ") + aviso + kCrLf + QStringLiteral("svn cleanup ") + ArgumentoDeCaminho(pasta) + kCrLf;
    }
    if (script.isEmpty())
        return;
    const runner::ResultadoScript limpeza = runner::ExecutaScript(QStringLiteral("Removendo travas"), script, false);
    if (!limpeza.ok)
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_N_ATU_LOCAL")), true);
}

bool CopiaTrabalho::HaConflitos(const QString &saidaDoUpdate)
{
    // An update that met a conflict ends with the client's summary of conflicts, in its
    // language or in English where it has no translation.
    return saidaDoUpdate.contains(QStringLiteral("conflit"), Qt::CaseInsensitive)
        || saidaDoUpdate.contains(QStringLiteral("conflict"), Qt::CaseInsensitive);
}

QHash<QString, CopiaTrabalho::Informacao> CopiaTrabalho::InformacoesDosArquivos(const QStringList &paths,
                                                                               const QString &caption) const
{
    // A file the copy does not have is asked for through its deepest folder there.
    const qsizetype raiz = dm.DirDesenv.size() - (dm.DirDesenv.endsWith(u'\\') ? 1 : 0);
    QHash<QString, QString> alvoDe;
    QStringList alvos;
    for (const QString &path : paths) {
        QString alvo = path;
        if (!files::fileExists(path)) {
            alvo = ExtractFilePath(path);
            if (!files::dirExists(alvo))
                alvo = caminha(alvo).existente;
            while (alvo.endsWith(u'\\') && alvo.size() > 3)
                alvo.chop(1);
            if (alvo.size() < raiz)
                alvo.clear();
        }
        alvoDe.insert(path, alvo);
        if (!alvo.isEmpty() && !alvos.contains(alvo, Qt::CaseInsensitive))
            alvos << alvo;
    }
    // One svn info for all: its answer is a block per target (a target it cannot answer for
    // has none).
    QHash<QString, Informacao> porAlvo;
    if (!alvos.isEmpty()) {
        const runner::ResultadoScript info =
            runner::ExecutaScript(caption, QStringLiteral("svn info ") + ArgumentosDeCaminhos(alvos), false);
        for (const QString &bloco : QString(info.saida).remove(u'\r').split(QStringLiteral("\n\n"))) {
            const QString caminho = lineStartingWith(bloco, QStringLiteral("Caminho: "));
            if (!caminho.isEmpty())
                porAlvo.insert(caminho.toUpper(), {UrlDoInfo(bloco), RevisaoDoInfo(bloco)});
        }
    }
    QHash<QString, Informacao> informacoes;
    for (const QString &path : paths) {
        const QString alvo = alvoDe.value(path);
        const Informacao achada = porAlvo.value(alvo.toUpper());
        if (alvo.isEmpty() || achada.url.isEmpty())
            continue;
        if (alvo == path) {
            informacoes.insert(path.toUpper(), achada);
            continue;
        }
        const QString resto = path.mid(alvo.size()).replace(u'\\', u'/');
        informacoes.insert(path.toUpper(), {achada.url + (resto.startsWith(u'/') ? resto : u'/' + resto), QString()});
    }
    return informacoes;
}

// Today's client prints "Relative URL: ..." between the URL line and "Raiz do
// Repositório", so the URL is read from its own line.
QString CopiaTrabalho::UrlDoInfo(const QString &saida) { return lineStartingWith(saida, QStringLiteral("URL: ")); }

QString CopiaTrabalho::RevisaoDoInfo(const QString &saida)
{
    return lineStartingWith(saida, QStringLiteral("Revisão: "));
}

QString CopiaTrabalho::arquivoDeEstado() { return QStringLiteral("C:\\subversion\\date\\cdsUpdCopiaHomol.cds"); }

QString CopiaTrabalho::arquivoDeRelatorio(const QString &codigo, const QString &descricao)
{
    return QStringLiteral("C:\\temp\\") + codigo + QStringLiteral(" - ") + descricao + QStringLiteral("- Web.txt");
}

// ====================================================================== the server's checks

void CopiaTrabalho::VD_before_Atu_SVN_Hom()
{
    try {
        Verificacoes();
        AtualizacaoLocal();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void CopiaTrabalho::Verificacoes()
{
    const auto erro = [this](const QString &text) { Consiste::MensErro(text, true); };
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("VALIDANDO_ARQUIVOS")));
    const QString grupo = dm.codigoGrupo();

    const QString scroll = QStringLiteral("GetAfterScroll");
    const QJsonArray answer = TdmGrupSoliHom::Lista(dm.ChamaServidor(scroll, {grupo}), scroll, 2);
    dm.cdsSoli->setData(TdmGrupSoliHom::Pacote(answer[0], scroll));
    dm.cdsArq->setData(TdmGrupSoliHom::Pacote(answer[1], scroll));
    if (dm.cdsSoli->IsEmpty())
        erro(dm.msgPadrao.Msg(QStringLiteral("SOLI_EMPTY")));
    if (dm.cdsArq->IsEmpty())
        erro(dm.msgPadrao.Msg(QStringLiteral("ARQ_EMPTY")));

    Dataset &verifica = *dm.cdsVerificaArquivos;
    dm.CarregaPacote(&verifica, QStringLiteral("GetVerificaArquivos"), {grupo, dm.grupo(QStringLiteral("CDPRODUTO"))});
    if (!verifica.IsEmpty()) {
        QStringList lines;
        for (verifica.First(); !verifica.Eof(); verifica.Next()) {
            lines << verifica.FieldByName(QStringLiteral("NRSOLISERV")).AsString()
                    + (verifica.FieldByName(QStringLiteral("IDENTIFICA")).AsString() == u"1"
                           ? QStringLiteral(" - Arquivos marcados para geração pertencem à versão diferente;")
                           : QStringLiteral(" - Arquivos modificados pertencem à versão diferente;"));
        }
        erro(dm.msgPadrao.Msg(QStringLiteral("ERRO_ARQ_DIF_VER")) + kCrLf + kCrLf + lines.join(kCrLf));
    }

    QString semRelease;
    for (dm.cdsArq->First(); !dm.cdsArq->Eof(); dm.cdsArq->Next()) {
        if (dm.cdsArq->FieldByName(QStringLiteral("CDRELEASEARQANT")).AsString().isEmpty()
            || dm.cdsArq->FieldByName(QStringLiteral("CDRELEASEARQATU")).AsString().isEmpty())
            semRelease += dm.cdsArq->FieldByName(QStringLiteral("DSDIRARQCHECKOU")).AsString() + kCrLf;
    }
    if (!semRelease.isEmpty())
        erro(dm.msgPadrao.Msg(QStringLiteral("RELEASE_EMPTY"), {semRelease}));

    Dataset &pendentes = *dm.cdsVd_ReleaseArq;
    pendentes.EmptyDataSet();
    dm.CarregaPacote(&pendentes, QStringLiteral("Vd_ReleaseArq"), {grupo});
    if (!pendentes.IsEmpty()) {
        QString detalhe;
        for (pendentes.First(); !pendentes.Eof(); pendentes.Next()) {
            const QString path = pendentes.FieldByName(QStringLiteral("DSDIRARQCHECKOU")).AsString();
            detalhe += QStringLiteral("\r Solicitação: ") + pendentes.FieldByName(QStringLiteral("NRSOLISERV")).AsString()
                + QStringLiteral(" Arquivo: ") + ExtractFileName(path)
                + QStringLiteral(" Release a ser Homologada: ") + pendentes.FieldByName(QStringLiteral("HOMOLOG")).AsString()
                + QStringLiteral(" Release Pendente: ") + pendentes.FieldByName(QStringLiteral("DESENV")).AsString()
                + u'\r';
        }
        Dberros::ShowDetailError(dm.msgPadrao.Msg(QStringLiteral("ERRO_RELEASE_ARQ")), detalhe);
        Abort();
    }

    Dataset &dependentes = *dm.cdsVDDepSoli;
    dm.CarregaPacote(&dependentes, QStringLiteral("getDepSoli"), {dm.cdsSoli->Data()});
    if (dependentes.RecordCount() != dm.cdsSoli->RecordCount()) {
        QStringList lines;
        for (dependentes.First(); !dependentes.Eof(); dependentes.Next()) {
            const QString filial = dependentes.FieldByName(QStringLiteral("CDFILIAL")).AsString();
            const QString numero = dependentes.FieldByName(QStringLiteral("NRSOLISERV")).AsString();
            if (dm.cdsSoli->findRow(QStringLiteral("CDFILIAL;NRSOLISERV"), QVariantList{filial, numero}) < 0)
                lines << numero + QStringLiteral(" - ") + dependentes.FieldByName(QStringLiteral("DSREFESOLI")).AsString();
        }
        if (!lines.isEmpty())
            erro(dm.msgPadrao.Msg(QStringLiteral("SOLI_DEP"), {lines.join(kCrLf)}));
    }

    Dataset &emOutrosGrupos = *dm.cdsVDDepArq;
    dm.CarregaPacote(&emOutrosGrupos, QStringLiteral("getDepArq"), {grupo});
    if (!emOutrosGrupos.IsEmpty()) {
        QStringList lines;
        for (emOutrosGrupos.First(); !emOutrosGrupos.Eof(); emOutrosGrupos.Next())
            lines << emOutrosGrupos.FieldByName(QStringLiteral("DSDIRARQCHECKOU")).AsString();
        erro(dm.msgPadrao.Msg(QStringLiteral("ARQ_DEP"), {lines.join(kCrLf)}));
    }
}

// ====================================================================== the local update

void CopiaTrabalho::AtualizacaoLocal()
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("ATUALIZANDO_REPOSITORIOS")));
    const QString grupo = dm.codigoGrupo();
    const QString descricao = dm.grupo(QStringLiteral("DSGRUPHOMOL"));
    dm.GetLocations(dm.grupo(QStringLiteral("CDPRODUTO")));

    QStringList script;
    script << QStringLiteral("@title ") + dm.msgPadrao.Msg(QStringLiteral("ACAO_ATU_ARQ_DES"));
    script << QStringLiteral("@echo ") + dm.msgPadrao.Msg(QStringLiteral("GET_ARQ_DES_VER"));
    QStringList relatorio{grupo + QStringLiteral(" - ") + descricao, QStringLiteral("DIRETÓRIO - RELEASE ATUAL (WEB)")};

    Dataset &arquivos = *dm.cdsArqModifAtu;
    dm.CarregaPacote(&arquivos, QStringLiteral("GetVersArqModif"), {grupo});
    dm.CarregaPacote(dm.cdsVerificaProduto, QStringLiteral("GetProdAtual"), {});
    TField checkout = arquivos.FieldByName(QStringLiteral("DSDIRARQCHECKOU"));
    TField diretorio = arquivos.FieldByName(QStringLiteral("DIRETORIO"));
    TField url = arquivos.FieldByName(QStringLiteral("URL"));
    TField atual = arquivos.FieldByName(QStringLiteral("CDRELEASEARQATU"));

    // Paths from the data go into command lines: one that would leave its working copy (by
    // its text or by a link on the disk) or be split into several arguments stops everything
    // before any command runs; the same file in the homologated copy too.
    const auto recusaCaminhos = [&] {
        QString recusados;
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            const QString desenvolvimento = checkout.AsString();
            QString motivo = CaminhoRecusadoNoDisco(desenvolvimento, dm.DirDesenv);
            if (motivo.isEmpty())
                motivo = CaminhoRecusadoNoDisco(TrocaRoot(desenvolvimento, dm.DirDesenv, dm.DirHomol), dm.DirHomol);
            if (!motivo.isEmpty())
                recusados += desenvolvimento + QStringLiteral(" - ") + motivo + kCrLf;
        }
        if (!recusados.isEmpty())
            Consiste::MensErro(QStringLiteral("Os caminhos dos seguintes arquivos não podem ser usados nas cópias de "
                                              "trabalho %1 e %2:")
                                       .arg(dm.DirDesenv, dm.DirHomol)
                                   + kCrLf + recusados,
                               true);
    };
    recusaCaminhos();

    if (!files::dirExists(dm.DirDesenv)) {
        // The checkout of a missing working copy needs the development repository's URL,
        // which the server keeps as the product's first location. Once checked out, the
        // copy is brought to the released revisions like any other.
        if (dm.Locacao0.isEmpty())
            Consiste::MensErro(QStringLiteral("A cópia de trabalho do desenvolvimento %1 não existe e o produto não tem "
                                              "a URL do repositório do desenvolvimento cadastrada (primeira locação).")
                                   .arg(dm.DirDesenv),
                               true);
        const QString checkoutDaCopia =
            QStringLiteral("@title ") + dm.msgPadrao.Msg(QStringLiteral("ACAO_ATU_ARQ_DES")) + kCrLf
            + QStringLiteral("svn checkout --no-auth-cache %1 --force --ignore-externals --depth infinity %2 %3")
                  .arg(credenciais(), dm.Locacao0, ArgumentoDeCaminho(dm.DirDesenv));
        const runner::ResultadoScript feito =
            runner::ExecutaScript(dm.msgPadrao.Msg(QStringLiteral("ATU_ARQ_LOCAL")), checkoutDaCopia, true);
        if (!feito.ok || !files::dirExists(dm.DirDesenv))
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_N_ATU_LOCAL")), true);
        acrescentaAoLog(dm.stlLogTram, feito.saida);
        // What the checkout brought (links kept in the repository) is judged too.
        recusaCaminhos();
    }
    LiberaCopiasTravadas({dm.DirDesenv, dm.DirHomol});

    {
        // Folders new to the working copy: their deepest existing level is brought up first.
        QString novasPastas;
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            const QString pasta = ExtractFilePath(checkout.AsString());
            if (files::dirExists(pasta))
                continue;
            const Caminhada walk = caminha(pasta);
            if (walk.existente.isEmpty() || walk.existente.compare(QStringLiteral("C:\\"), Qt::CaseInsensitive) == 0
                || Consiste::Contem(novasPastas, walk.existente))
                continue;
            novasPastas += QStringLiteral("@echo ") + dm.msgPadrao.Msg(QStringLiteral("ATU_REP_WEB"), {walk.parada}) + kCrLf;
            novasPastas += linhaDeUpdate(walk.existente) + kCrLf;
        }
        QString saidaDosUpdates;
        if (!novasPastas.isEmpty()) {
            const runner::ResultadoScript novos =
                runner::ExecutaScript(QStringLiteral("Atualizando novos arquivos"), novasPastas, true);
            if (!novos.ok)
                Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_N_ATU_LOCAL")), true);
            saidaDosUpdates = novos.saida;
        }

        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            arquivos.Edit();
            diretorio.setAsString(checkout.AsString());
            arquivos.Post();
        }

        // Each folder is updated once, all of them in one svn call (svn updates every target
        // it is given as it would one by one).
        const auto presente = [&script](const QString &level) { return Consiste::Contem(script.join(kCrLf), level); };
        QStringList niveisAtualizados;
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            const QString pasta = ExtractFilePath(diretorio.AsString());
            const QString nivel = files::dirExists(pasta) ? pasta : caminha(pasta).parada;
            if (nivel.isEmpty() || presente(nivel) || niveisAtualizados.contains(nivel))
                continue;
            script << QStringLiteral("@echo ") + dm.msgPadrao.Msg(QStringLiteral("ATU_REP_WEB"), {nivel});
            niveisAtualizados << nivel;
        }
        bool conflitos = m_copiasEmConflito.contains(dm.DirDesenv, Qt::CaseInsensitive);
        if (!niveisAtualizados.isEmpty()) {
            script << QStringLiteral("svn update --no-auth-cache %1 --force --ignore-externals --depth infinity --accept "
                                     "postpone %2")
                          .arg(credenciais(), ArgumentosDeCaminhos(niveisAtualizados));
            // The update runs first, on its own: the URLs and revisions are read from the
            // copy it leaves, and its conflicts decide whether anything needs settling.
            const runner::ResultadoScript atualizacao =
                runner::ExecutaScript(dm.msgPadrao.Msg(QStringLiteral("ATU_ARQ_LOCAL")), script.join(kCrLf), true);
            if (!atualizacao.ok)
                Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_N_ATU_LOCAL")), true);
            conflitos = conflitos || HaConflitos(saidaDosUpdates + atualizacao.saida);
            script.clear();
        }

        QStringList caminhos;
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next())
            caminhos << diretorio.AsString();
        m_informacoes = InformacoesDosArquivos(caminhos, QStringLiteral("Verificando release"));
        m_atualizado = true;
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            const QString endereco = m_informacoes.value(diretorio.AsString().toUpper()).url;
            // An export without its URL would write into the current folder instead.
            if (endereco.isEmpty())
                Consiste::MensErro(QStringLiteral("Não foi possível ler a URL do arquivo %1 no repositório do "
                                                  "desenvolvimento.")
                                       .arg(checkout.AsString()),
                                   true);
            arquivos.Edit();
            url.setAsString(endereco);
            arquivos.Post();
        }

        // The conflicts of every file (this update's, or those the copy held before) are
        // settled, two calls for all, then each file is exported at its revision.
        if (conflitos && !caminhos.isEmpty()) {
            const QString alvos = ArgumentosDeCaminhos(caminhos);
            script << QStringLiteral("svn resolve --no-auth-cache -R %1 --depth infinity --accept mine-full %2")
                          .arg(credenciais(), alvos);
            script << QStringLiteral("svn resolved --no-auth-cache -R %1 %2").arg(credenciais(), alvos);
        }
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            const QString path = ArgumentoDeCaminho(diretorio.AsString());
            script << QStringLiteral("@echo ")
                    + dm.msgPadrao.Msg(QStringLiteral("ATU_VER_ARQ_DES"), {diretorio.AsString(), atual.AsString()});
            script << QStringLiteral("svn export --no-auth-cache -r\"%1\" %2 --force --ignore-externals --depth infinity %3 %4")
                          .arg(atual.AsString(), credenciais(), url.AsString(), path);
            relatorio << diretorio.AsString() + QStringLiteral(" - ") + atual.AsString();
        }
        files::forceDirectories(QStringLiteral("C:\\temp"));
        files::writeLines(arquivoDeRelatorio(grupo, descricao), relatorio);
    }

    // A homologated copy that is not there is checked out now, not at the next refresh.
    const bool semCopiaHomol = !files::dirExists(dm.DirHomol);
    if (boAtualiza_Copia_Homol() || semCopiaHomol) {
        script << QStringLiteral("@title ") + dm.msgPadrao.Msg(QStringLiteral("ACAO_ATU_ARQ_HOM"));
        if (files::dirExists(dm.DirHomol)) {
            // Only a copy whose status showed conflicts has any to settle.
            if (m_copiasEmConflito.contains(dm.DirHomol, Qt::CaseInsensitive)) {
                script << QStringLiteral("svn resolve --no-auth-cache -R %1 --depth infinity --accept mine-full %2")
                              .arg(credenciais(), ArgumentoDeCaminho(dm.DirHomol));
                script << QStringLiteral("svn resolved --no-auth-cache -R %1 %2")
                              .arg(credenciais(), ArgumentoDeCaminho(dm.DirHomol));
            }
            script << linhaDeUpdate(dm.DirHomol);
        } else {
            script << QStringLiteral("svn checkout --no-auth-cache  --username %1 --password %2 --force --ignore-externals "
                                     "--depth infinity %3 %4")
                          .arg(dm.UsuarioSVN, dm.SenhaSVN, dm.URLHomol, ArgumentoDeCaminho(dm.DirHomol));
        }
    }

    const runner::ResultadoScript resultado =
        runner::ExecutaScript(dm.msgPadrao.Msg(QStringLiteral("ATU_ARQ_LOCAL")), script.join(kCrLf), true);
    if (!resultado.ok || (semCopiaHomol && !files::dirExists(dm.DirHomol)))
        Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_N_ATU_LOCAL")), true);
    if (semCopiaHomol)
        recusaCaminhos();
}

// ====================================================================== the refresh of the homologated copy

bool CopiaTrabalho::boAtualiza_Copia_Homol(const QDateTime &agora)
{
    Dataset estado(QStringLiteral("cdsUpdCopiaHomol"));
    estado.setFields({FieldDef(QStringLiteral("DTULTIMOUPDATE"), FieldType::String, 16)});
    estado.CreateDataSet();
    const QString arquivo = arquivoDeEstado();
    const auto grava = [&] {
        estado.EmptyDataSet();
        estado.Append();
        estado.FieldByName(QStringLiteral("DTULTIMOUPDATE")).setAsString(agora.toString(QStringLiteral("dd/MM/yyyy hh:mm")));
        estado.Post();
        estado.MergeChangeLog();
        estado.SaveToFile(arquivo);
        return true;
    };

    if (!files::fileExists(arquivo)) {
        files::forceDirectories(QStringLiteral("C:\\subversion\\date"));
        return grava();
    }
    estado.LoadFromFile(arquivo);
    estado.First();
    const QString texto = estado.IsEmpty() ? QString() : estado.FieldByName(QStringLiteral("DTULTIMOUPDATE")).AsString();
    const QDate dia = QDate::fromString(texto.left(10), QStringLiteral("dd/MM/yyyy"));
    // A state file that holds no date cannot tell when the copy was refreshed: it is due.
    if (!dia.isValid() || dia < agora.date())
        return grava();
    if (dia == agora.date()) {
        const int h1 = agora.time().hour() * 100 + agora.time().minute();
        const int h0 = texto.mid(11, 2).toInt() * 100 + texto.mid(14, 2).toInt();
        if (h1 - h0 > 100)
            return grava();
    }
    return false;
}

// ====================================================================== the revisions found

void CopiaTrabalho::Vd_Arquivos_Atualizados_Desenv()
{
    try {
        Dataset &arquivos = *dm.cdsArqModifAtu;
        // The update has read every file's revision already; on its own, the check asks
        // one svn info over every file the update reached.
        if (!m_atualizado) {
            QStringList caminhos;
            for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
                const QString path = arquivos.FieldByName(QStringLiteral("DIRETORIO")).AsString();
                if (!path.isEmpty())
                    caminhos << path;
            }
            m_informacoes = InformacoesDosArquivos(caminhos, QStringLiteral("Verificando arquivos baixados"));
        }
        QString erros;
        for (arquivos.First(); !arquivos.Eof(); arquivos.Next()) {
            QString path = arquivos.FieldByName(QStringLiteral("DIRETORIO")).AsString();
            const QString esperada = arquivos.FieldByName(QStringLiteral("CDRELEASEARQATU")).AsString();
            // A file the update never reached has no local path: svn must not answer for
            // the current folder instead.
            QString revisao;
            if (path.isEmpty())
                path = arquivos.FieldByName(QStringLiteral("DSDIRARQCHECKOU")).AsString();
            else
                revisao = m_informacoes.value(path.toUpper()).revisao;
            if (Consiste::Contem(erros, path))
                continue;
            if (!revisao.isEmpty()) {
                if (revisao.toLongLong() < esperada.toLongLong())
                    erros += path + QStringLiteral("- era para ter baixado a release ") + esperada
                        + QStringLiteral(" mas foi encontrada a release ") + revisao + kCrLf;
            } else {
                erros += path + QStringLiteral("- arquivo não encontrado ") + kCrLf;
            }
        }
        if (!erros.isEmpty())
            Consiste::MensErro(dm.msgPadrao.Msg(QStringLiteral("ERRO_ARQ_BAIXADO")) + kCrLf + erros, true);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}
