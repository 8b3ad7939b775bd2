// The window build of the metadata web product: the generated window pages of the patch
// are rebuilt with the window builder at the highest metadata release their requests
// carry; every file the build produced is registered for its task activity, stamped when
// it changed, and its new revision recorded on the server.

#include "patch/frmgpatch.h"
#include "patch/internos.h"

#include "host/services.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <QListWidget>

using namespace patch::internos;

namespace {

const QString kMarcaWindows = QStringLiteral("\\sources\\generated\\windows\\");
const QString kReleaseSemMetadados = QStringLiteral("000008888888888");
const QString kProjeto = QStringLiteral("quorvel");
const QString kBuilder = QStringLiteral("\"F:\\HORVANE\\Sistemas\\Bin\\WindowsBuilder.bat\" ");
const QString kMarcaWizard = QStringLiteral("Framework.showPreviousWizardStage");
const QString kReleaseId = QStringLiteral("_RELEASE_ID_");
const QString kTarefa = QStringLiteral("_NRTAREFA_");
const QString kAtividade = QStringLiteral("_NRPLATIVTARE_");
const QString kDataHora = QStringLiteral("_DATA/HORA_");
const QString kInalterado = QStringLiteral("_INALTERADO");

QString NomeDaEntrada(const QString &entry) { return entry.section(u'=', 0, 0); }
QString ValorDaEntrada(const QString &entry) { return entry.section(u'=', 1); }

// The `size` characters after a marker of an entry's value.
QString Depois(const QString &value, const QString &marker, int size)
{
    const qsizetype at = value.indexOf(marker);
    return at < 0 ? QString() : value.mid(at + marker.size(), size);
}

qsizetype IndiceDoNome(const QStringList &list, const QString &name)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (NomeDaEntrada(list[i]).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QDateTime LeDataHora(const QString &text) { return QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm:ss")); }

}  // namespace

void TfrmGPatch::ColetaWindow(const QString &path, const QString &releaseMeta, const QString &task,
                              const QString &activity)
{
    const qsizetype marca = path.toLower().indexOf(kMarcaWindows);
    if (marca < 0)
        return;
    const qsizetype barra = path.indexOf(u'\\', marca + kMarcaWindows.size());
    if (barra < 0)
        return;
    const QString pasta = path.left(barra + 1);
    const QString release = releaseMeta.isEmpty() ? kReleaseSemMetadados : releaseMeta;
    const QString valor = kReleaseId + release + kTarefa + task + kAtividade + activity;
    QStringList paginas;
    try {
        paginas = platform::files::listDir(pasta, QStringLiteral("*.html"), platform::files::EntryKind::Files);
    } catch (const platform::PlatformError &) {
    }
    for (const QString &pagina : paginas) {
        const QString nome = pasta + pagina;
        const qsizetype i = IndiceDoNome(stlWindows, nome);
        if (i < 0) {
            stlWindows.append(nome + u'=' + valor);
            continue;
        }
        const qlonglong anterior = Depois(ValorDaEntrada(stlWindows[i]), kReleaseId, 15).toLongLong();
        if (anterior < release.left(15).toLongLong())
            stlWindows[i] = nome + u'=' + valor;
    }
    std::sort(stlWindows.begin(), stlWindows.end(), [](const QString &a, const QString &b) {
        return NomeDaEntrada(a).compare(NomeDaEntrada(b), Qt::CaseInsensitive) < 0;
    });
}

void TfrmGPatch::GeraWindows()
{
    if (stlWindows.isEmpty())
        return;
    try {
        platform::files::writeLines(TempDir() + QStringLiteral("\\ListaWindows.txt"), stlWindows);
    } catch (const std::exception &) {
        // the list on disk is only for whoever wants to read it afterwards
    }
    for (const QString &entrada : QStringList(stlWindows)) {
        const QString pagina = NomeDaEntrada(entrada);
        const QString valor = ValorDaEntrada(entrada);
        const QString nomeDaPagina = NomeDe(pagina);
        const QString janela = nomeDaPagina.left(nomeDaPagina.indexOf(u'.'));
        const QString release = Depois(valor, kReleaseId, 15);
        const QString tarefa = Depois(valor, kTarefa, 10);
        const QString atividade = Depois(valor, kAtividade, 5);
        const qsizetype produtos = pagina.indexOf(QLatin1StringView("\\products\\"), 0, Qt::CaseInsensitive);
        QString script = pagina.left(produtos + 1) + QStringLiteral("products\\projects\\%1\\builder\\build.php").arg(kProjeto);
        if (script.size() < 2 || script[1] != u':')
            script = QStringLiteral("c:") + script;
        const QString releaseNumero = QString::number(release.toLongLong());

        QString wizard;
        try {
            for (const QString &linha : platform::files::readLines(pagina)) {
                const qsizetype marca = linha.indexOf(kMarcaWizard);
                if (marca < 0)
                    continue;
                const qsizetype inicio = marca + 35;
                const qsizetype fim = linha.indexOf(QLatin1StringView("',"), inicio);
                wizard = linha.mid(inicio, fim < 0 ? -1 : fim - inicio);
                break;
            }
        } catch (const platform::PlatformError &erro) {
            ContaErro(erro.message());
            continue;
        }
        {
            const bool ehWizard = !wizard.isEmpty();
            const QString nome = (ehWizard ? wizard : janela) + QStringLiteral("/Release metadados: ") + releaseNumero;
            Showavi::Scope animacao(msgPadrao.Msg(ehWizard ? QStringLiteral("GERANDO_WIZARD_NOME")
                                                           : QStringLiteral("GERANDO_WINDOW_NOME"),
                                                  {nome}));
            Loga(msgPadrao.Msg(ehWizard ? QStringLiteral("Gerando_Wizard") : QStringLiteral("Gerando_Window"), {nome}));
            Execute(kBuilder + script + QStringLiteral(" RELEASE_ID ") + releaseNumero
                        + (ehWizard ? QStringLiteral(" WZ ") + wizard : QStringLiteral(" W ") + janela),
                    lsbProgresso, true);
        }
        Loga(Regua());
        stSvnStatus.clear();
        Execute(QStringLiteral("svn status --xml --username ") + stUserSubVersion + QStringLiteral(" --password ")
                    + SenhaNaLinha() + u' ' + ComDrive(PastaDe(pagina)),
                lsbAux, true);
        Loga(Regua());
        ColetaSaidaDoStatus(stSvnStatus, release, tarefa, atividade);
    }
}

void TfrmGPatch::ColetaSaidaDoStatus(const QString &statusOutput, const QString &release, const QString &task,
                                     const QString &activity)
{
    const QString texto = SemQuebras(statusOutput);
    const QString sufixo = kReleaseId + release + kTarefa + task + kAtividade + activity;
    const auto registra = [&](const QString &path, const QDateTime &time) {
        // Two pages of one window folder list the same files: each is registered once.
        if (IndiceDoNome(stlResultadoBuild, path) < 0)
            stlResultadoBuild.append(path + u'=' + kDataHora + DataHoraTexto(time) + sufixo);
    };
    qsizetype pos = 0;
    while ((pos = texto.indexOf(QLatin1StringView("<entry"), pos)) >= 0) {
        const qsizetype atributo = texto.indexOf(QLatin1StringView("path="), pos);
        if (atributo < 0)
            break;
        const qsizetype inicio = atributo + 6;
        const qsizetype fim = texto.indexOf(u'"', inicio);
        if (fim < 0)
            break;
        const QString caminho = texto.mid(inicio, fim - inicio);
        pos = fim;
        if (NomeDe(caminho).contains(u'.')) {
            registra(caminho, platform::files::modificationTime(caminho));
            continue;
        }
        // A new folder: every file the build put in it.
        const QDateTime agora = QDateTime::currentDateTime();
        for (const QString &nome : platform::files::listDir(caminho, QStringLiteral("*"), platform::files::EntryKind::Files))
            registra(caminho + u'\\' + nome, agora);
    }
}

void TfrmGPatch::ResultadosDoBuild()
{
    if (stlResultadoBuild.isEmpty())
        return;
    {
        Showavi::Scope animacao(msgPadrao.Msg(QStringLiteral("COMP_DATA_HORA")));
        for (QString &entrada : stlResultadoBuild) {
            const qsizetype antes = IndiceDoNome(stlAntes, NomeDaEntrada(entrada));
            if (antes < 0)
                continue;
            const QDateTime depoisDoBuild = LeDataHora(Depois(ValorDaEntrada(entrada), kDataHora, 19));
            const QDateTime antesDoBuild = LeDataHora(ValorDaEntrada(stlAntes[antes]));
            if (!(depoisDoBuild > antesDoBuild))
                entrada += kInalterado;
        }
    }
    static const QStringList carimbaveis{"php", "css", "js", "ini", "twig", "html", "xml", "rptdesign"};
    for (const QString &entrada : QStringList(stlResultadoBuild)) {
        const QString caminho = NomeDaEntrada(entrada);
        const QString valor = ValorDaEntrada(entrada);
        {
            Showavi::Scope animacao(msgPadrao.Msg(QStringLiteral("CRIA_DIRETORIOS_AUSENTES")));
            Cria_Diretorios(caminho);
        }
        Showavi::Scope animacao(msgPadrao.Msg(QStringLiteral("INSERE_VERSAO_ARQ_BUILD")));
        QString revisao = LeRevisao(caminho);
        QString tarefa = Depois(valor, kTarefa, 10);
        QString atividade = Depois(valor, kAtividade, 5);
        QString release = Depois(valor, kReleaseId, 15);

        // These two answers are read as they come; a failed call (an activity the server
        // does not know) is not an empty folder and stops the build.
        const auto consulta = [&](const QString &method, const QList<RemoteArg> &args) {
            const ServerAnswer resposta = netGPatch.call(method, args);
            if (!resposta.ok)
                ErroInterrompe(msgPadrao.Msg(QStringLiteral("ERRO_ATIVIDADE"), {atividade, tarefa, resposta.error}));
            return resposta.data.toString();
        };
        const QString checkout = consulta(QStringLiteral("getArqCheckoutAtiv"), {RemoteArg::ref(tarefa), RemoteArg::ref(atividade)});
        const qsizetype separador = checkout.indexOf(u'_');
        const QString sequencial = separador < 0 ? QString() : checkout.left(separador);
        const qsizetype produtos = checkout.indexOf(QLatin1StringView("\\products\\"), separador + 1, Qt::CaseInsensitive);
        const QString pastaDaAtividade =
            checkout.mid(separador + 1, produtos < 0 ? -1 : produtos - separador - 1);
        const qsizetype produtosNoCaminho = caminho.indexOf(QLatin1StringView("\\products\\"), 0, Qt::CaseInsensitive);
        QString caminhoNaAtividade = pastaDaAtividade + (produtosNoCaminho < 0 ? u'\\' + NomeDe(caminho) : caminho.mid(produtosNoCaminho));

        const QString registrado = consulta(QStringLiteral("getDsDirArqCheckou"),
                                            {RemoteArg::ref(tarefa), RemoteArg::ref(atividade), caminhoNaAtividade});
        if (registrado.contains(QLatin1StringView("ERRO_")))
            ErroInterrompe(msgPadrao.Msg(QStringLiteral("ERRO_SEQUENCIAL"), {caminho, registrado}));
        if (registrado.isEmpty()) {
            if (sequencial.isEmpty())
                ErroInterrompe(msgPadrao.Msg(QStringLiteral("SEM_SEQUENCIAL"), {caminho}));
            if (sequencial.contains(QLatin1StringView("ERRO_")))
                ErroInterrompe(msgPadrao.Msg(QStringLiteral("ERRO_SEQUENCIAL"), {caminho, sequencial}));
            ChamaGPatch(QStringLiteral("setArqCheckoutAtiv"),
                        {RemoteArg::ref(tarefa), RemoteArg::ref(atividade), QString::number(sequencial.toInt() + 1),
                         RemoteArg::ref(caminhoNaAtividade), RemoteArg::ref(revisao), RemoteArg::ref(release)});
        }
        if (!valor.endsWith(kInalterado)) {
            const QString nome = NomeDe(caminho);
            const QString extensao = nome.mid(nome.lastIndexOf(u'.') + 1).toLower();
            if (carimbaveis.contains(extensao)) {
                if (extensao == u"php")
                    GeraPhp(caminho, true);
                else if (extensao == u"css")
                    GeraCss(caminho, true);
                else if (extensao == u"js")
                    GeraJs(caminho, true);
                else if (extensao == u"ini")
                    GeraIni(caminho, true);
                else if (extensao == u"twig")
                    GeraTwig(caminho, true);
                else if (extensao == u"html")
                    GeraHtml(caminho, true);
                else if (extensao == u"xml")
                    GeraXml(caminho, true);
                else
                    GeraRptDesign(caminho, true);
            }
        }
        QString novaRevisao = LeRevisao(caminho);
        ChamaGPatch(QStringLiteral("gravaNovaReleaseArq"), {RemoteArg::ref(tarefa), RemoteArg::ref(atividade),
                                                             RemoteArg::ref(caminhoNaAtividade), RemoteArg::ref(novaRevisao)});
    }
}
