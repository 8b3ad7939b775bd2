// Version stamps: database scripts register the version of their object, reports end with
// it, menu datasets show it as a menu item, web, configuration and template files end
// with a version comment. Each file is locked, brought back to its repository content,
// stamped, unlocked and committed with the version in the message.

#include "patch/frmgpatch.h"
#include "patch/internos.h"
#include "patch/textodoarquivo.h"

#include "host/datasetfile.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <QListWidget>
#include <QRegularExpression>
#include <QScopedValueRollback>

using namespace patch::internos;
using patch::TextoDoArquivo;

struct TfrmGPatch::FormaDoCarimbo {
    const char *marca;   // searched in the upper-cased line
    const char *antes;   // the stamp line is antes + version + depois
    const char *depois;
};

namespace {

const TfrmGPatch::FormaDoCarimbo *FormaDe(const QString &type);

struct Passo {
    const char *nome;
    const char *comando;  // followed by " --username U --password PW <folder>\<name>"
    const char *legenda;
};

// The repository commands around a stamp.
const Passo kPassos[] = {
    {"lock", "svn lock", "BLOQUEANDO O ARQUIVO ...  "},
    {"revert", "svn revert", "ATUALIZANDO CONTEÚDO DO ARQUIVO ...  "},
    {"unlock", "svn unlock", "DESBLOQUEANDO ARQUIVO ...  "},
    {"commit", "svn commit -mGerandoaversão:%1", "ENVIANDO ARQUIVO ATUALIZADO ...  "},
};

// A menu dataset file handed to the dataset layer, which reads and writes UTF-8, and
// written back in the file's own encoding (the declared one; without a declaration
// Windows-1252 unless UTF-8), with its byte-order mark and its XML declaration.
struct PacoteDoArquivo {
    QByteArray xml;  // UTF-8, without the declaration
    TextoDoArquivo::Codificacao codificacao = TextoDoArquivo::Codificacao::Utf8;
    bool bom = false;
    QByteArray declaracao;
    QByteArray separador;  // the line end after the declaration

    static PacoteDoArquivo Le(const QString &path)
    {
        static const QByteArray bomUtf8("\xEF\xBB\xBF", 3);
        PacoteDoArquivo pacote;
        QByteArray corpo = platform::files::readBytes(path);
        if (corpo.startsWith(bomUtf8)) {
            pacote.bom = true;
            corpo.remove(0, bomUtf8.size());
        }
        if (corpo.startsWith("<?xml")) {
            const qsizetype fim = corpo.indexOf("?>");
            if (fim > 0) {
                pacote.declaracao = corpo.left(fim + 2);
                corpo.remove(0, fim + 2);
                while (!corpo.isEmpty() && (corpo.front() == '\r' || corpo.front() == '\n')) {
                    pacote.separador += corpo.front();
                    corpo.remove(0, 1);
                }
            }
        }
        static const QRegularExpression declarada(QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const QString nome = declarada.match(QString::fromLatin1(pacote.declaracao)).captured(1).toLower();
        if (nome == u"utf-8" || nome == u"utf8")
            pacote.codificacao = TextoDoArquivo::Codificacao::Utf8;
        else if (nome == u"windows-1252" || nome == u"cp1252" || nome == u"iso-8859-1" || nome == u"latin1")
            pacote.codificacao = TextoDoArquivo::Codificacao::Windows1252;
        else if (!nome.isEmpty())
            throw EHomologa(QStringLiteral("O arquivo %1 declara a codificação \"%2\", que não é lida aqui.").arg(path, nome));
        else
            pacote.codificacao = pacote.bom || TextoDoArquivo::EhUtf8(corpo) ? TextoDoArquivo::Codificacao::Utf8
                                                                              : TextoDoArquivo::Codificacao::Windows1252;
        pacote.xml = pacote.codificacao == TextoDoArquivo::Codificacao::Utf8 ? corpo
                                                                           : TextoDoArquivo::DeWindows1252(corpo).toUtf8();
        return pacote;
    }

    void Grava(const QString &path, QByteArray saida) const
    {
        // The layer's own declaration gives way to the file's.
        if (saida.startsWith("<?xml")) {
            const qsizetype fim = saida.indexOf("?>");
            saida.remove(0, fim + 2);
            while (!saida.isEmpty() && (saida.front() == '\n' || saida.front() == '\r'))
                saida.remove(0, 1);
        }
        QByteArray bytes = bom ? QByteArray("\xEF\xBB\xBF", 3) : QByteArray();
        bytes += declaracao + separador;
        bytes += codificacao == TextoDoArquivo::Codificacao::Utf8
                     ? saida
                     : TextoDoArquivo::ParaWindows1252(QString::fromUtf8(saida));
        platform::files::writeBytes(path, bytes);
    }
};

}  // namespace

// The stamp forms of the web family and of the ASP pages.
static const TfrmGPatch::FormaDoCarimbo kFormas[] = {
    {"//VERSAO", "//VERSAO ", ""},              // php
    {"//VERSAO", "//VERSAO ", ""},              // css
    {"//VERSAO", "//VERSAO ", ""},              // js
    {";VERSAO", ";VERSAO ", ""},                // ini
    {"{# VERSAO", "{# VERSAO ", " #}"},         // twig
    {"<!-- VERSAO", "<!-- VERSAO ", " -->"},    // html
    {"<!-- VERSAO", "<!-- VERSAO ", " -->"},    // xml
    {"<!-- VERSAO", "<!-- VERSAO ", " -->"},    // rptdesign
    {"'VERSAO", "<% 'VERSAO ", " %>"},          // asp
};

namespace {

const TfrmGPatch::FormaDoCarimbo *FormaDe(const QString &type)
{
    static const QStringList tipos{"php", "css", "js", "ini", "twig", "html", "xml", "rptdesign", "asp"};
    const qsizetype i = tipos.indexOf(type);
    return i < 0 ? nullptr : &kFormas[i];
}

}  // namespace

void TfrmGPatch::ComandoDoArquivo(const char *step, const QString &path)
{
    const QString f = ComDrive(path);
    const QString alvo = PastaDe(f).toLower() + u'\\' + NomeDe(f);
    for (const Passo &passo : kPassos) {
        if (qstrcmp(passo.nome, step) != 0)
            continue;
        QString comando = QString::fromUtf8(passo.comando);
        if (comando.contains(QLatin1StringView("%1")))
            comando = comando.arg(stVersao);
        ExecuteSubVersion(QString::fromUtf8(passo.legenda) + f,
                          comando + QStringLiteral(" --username ") + stUserSubVersion + QStringLiteral(" --password ")
                              + SenhaNaLinha() + u' ' + alvo,
                          true, lsbProgresso);
        return;
    }
}

void TfrmGPatch::Destrava(const QString &path)
{
    // The unlock after a failure must not hide the failure being reported.
    const QScopedValueRollback desfazendo(m_desfazendo, true);
    try {
        ComandoDoArquivo("unlock", path);
    } catch (...) {
    }
}

void TfrmGPatch::CarimbaSobTrava(const QString &path, const std::function<void(const QString &arquivo)> &carimbo)
{
    const QString arquivo = ComDrive(path).toUpper();
    try {
        // A file that a link takes out of the build's working copy is not written through it.
        const QString link = platform::files::linkLeadingOut(arquivo, stDirBaseRep);
        if (!link.isEmpty())
            ErroInterrompe(QStringLiteral("%1 é um link que leva para fora de %2; o arquivo %3 não foi carimbado.")
                               .arg(link, stDirBaseRep, arquivo));
        TornaGravavel(PastaDe(arquivo), NomeDe(arquivo));
        LiberaTravaInterrompida(path);
        ComandoDoArquivo("lock", path);
        ComandoDoArquivo("revert", path);
        carimbo(arquivo);
    } catch (...) {
        const QString texto = TextoDaFalha();
        Destrava(path);
        ContaErro(texto);
    }
}

void TfrmGPatch::GeraSql(const QString &path)
{
    CarimbaSobTrava(path, [&](const QString &arquivo) {
        TextoDoArquivo texto = TextoDoArquivo::Le(arquivo);
        QStringList &linhas = texto.linhas;
        const bool sqlServer = arquivo.contains(QLatin1StringView("SQLSERVER"));
        const QString palavra = sqlServer ? QStringLiteral("CREATE") : QStringLiteral("CREATE OR REPLACE");
        static const char *const objetos[] = {"FUNCTION", "TRIGGER", "PROCEDURE", "VIEW", "PACKAGE"};
        QString objeto;
        bool aberto = false;
        bool carimbado = false;
        for (const QString &linha : linhas) {
            const QString alta = linha.toUpper();
            if (alta.contains(palavra))
                aberto = true;
            if (aberto) {
                for (const char *tipo : objetos) {
                    const qsizetype at = alta.indexOf(QLatin1StringView(tipo));
                    if (at < 0)
                        continue;
                    // The name follows the object word and one separating character.
                    const QString depois = alta.mid(at + qstrlen(tipo) + 1);
                    qsizetype fim = 0;
                    while (fim < depois.size() && depois[fim] != u' ' && depois[fim] != u'(')
                        ++fim;
                    objeto = depois.left(fim);
                    aberto = false;
                    break;
                }
            }
            if (alta.contains(QLatin1StringView("-- VERSAO --")))
                carimbado = true;
        }
        if (carimbado) {
            qsizetype marca = -1;
            for (qsizetype i = 0; i < linhas.size(); ++i) {
                if (linhas[i].trimmed().compare(QLatin1StringView("-- VERSAO --"), Qt::CaseInsensitive) == 0) {
                    marca = i;
                    break;
                }
            }
            const qsizetype chamada = marca + 1;
            const qsizetype virgula = marca >= 0 && chamada < linhas.size() ? linhas[chamada].indexOf(u',') : -1;
            if (virgula < 0)
                throw EHomologa(msgPadrao.Msg(QStringLiteral("CARIMBO_SQL_INVALIDO"), {arquivo}));
            linhas[chamada] = linhas[chamada].left(virgula + 1) + u'\'' + stVersao
                              + (sqlServer ? QStringLiteral("';") : QStringLiteral("'); END;"));
            texto.Grava(arquivo);
            ComandoDoArquivo("unlock", path);
            ComandoDoArquivo("commit", path);
        } else if (!objeto.isEmpty()) {
            linhas << QString() << QStringLiteral("-- VERSAO --");
            if (sqlServer)
                linhas << QStringLiteral("EXEC ATUVEROBJ '") + objeto + QStringLiteral("','") + stVersao + QStringLiteral("';")
                       << QStringLiteral("GO");
            else
                linhas << QStringLiteral("BEGIN ATUVEROBJ('") + objeto + QStringLiteral("','") + stVersao
                              + QStringLiteral("'); END;")
                       << QStringLiteral("/");
            linhas << QString();
            texto.Grava(arquivo);
            ComandoDoArquivo("unlock", path);
            ComandoDoArquivo("commit", path);
        } else {
            ComandoDoArquivo("unlock", path);
        }
        stlResult.append(arquivo);
    });
}

void TfrmGPatch::GeraQr2(const QString &path)
{
    CarimbaSobTrava(path, [&](const QString &arquivo) {
        // A longer version would lose its "#" in the 9-byte stamp, and the next stamp
        // could no longer find the old one: the report is left as it is and counted.
        const QByteArray carimbo = (stVersao + u'#').toLatin1();
        if (carimbo.size() > 9)
            throw EHomologa(msgPadrao.Msg(QStringLiteral("VERSAO_QR2_LONGA"), {stVersao, arquivo}));
        QByteArray conteudo = platform::files::readBytes(arquivo);
        if (conteudo.endsWith('#') && conteudo.size() >= 9)
            conteudo.chop(9);
        conteudo += carimbo.left(9);
        platform::files::writeBytes(arquivo, conteudo);
        stlResult.append(arquivo);
        ComandoDoArquivo("unlock", path);
        ComandoDoArquivo("commit", path);
    });
}

void TfrmGPatch::GeraCds(const QString &path)
{
    CarimbaSobTrava(path, [&](const QString &arquivo) {
        cdsCds->Close();
        cdsCds->setFields({});
        cdsCds->setFiltered(false);
        const PacoteDoArquivo pacote = PacoteDoArquivo::Le(arquivo);
        datasetfile::fromXml(*cdsCds, pacote.xml, arquivo);
        if (!cdsCds->hasField(QStringLiteral("DSCAPTION")))
            throw EHomologa(msgPadrao.Msg(QStringLiteral("CDS_SEM_DSCAPTION"), {arquivo}));
        cdsCds->setFilter(QStringLiteral("UPPER(CDMENUITEM) = 'VERSAO'"));
        cdsCds->setFiltered(true);
        if (cdsCds->IsEmpty()) {
            cdsCds->Append();
            cdsCds->FieldByName(QStringLiteral("CDMENUITEM")).setAsString(QStringLiteral("VERSAO"));
        } else {
            cdsCds->Edit();
        }
        cdsCds->FieldByName(QStringLiteral("DSCAPTION")).setAsString(stVersao);
        cdsCds->Post();
        cdsCds->MergeChangeLog();
        pacote.Grava(arquivo, datasetfile::toXml(*cdsCds));
        stlResult.append(arquivo);
        ComandoDoArquivo("unlock", path);
        ComandoDoArquivo("commit", path);
    });
}

void TfrmGPatch::GeraWeb(const QString &path, bool generatedByBuild, const FormaDoCarimbo &forma)
{
    const QString f = ComDrive(path);
    const QString arquivo = f.toUpper();
    try {
        TornaGravavel(PastaDe(arquivo), NomeDe(arquivo));
        if (!generatedByBuild) {
            ComandoDoArquivo("lock", path);
            ComandoDoArquivo("revert", path);
        }
        TextoDoArquivo texto = TextoDoArquivo::Le(arquivo);
        QStringList &linhas = texto.linhas;
        const QString marca = QString::fromUtf8(forma.marca);
        qsizetype ultima = -1;
        for (qsizetype i = linhas.size() - 1; i >= 0; --i) {
            if (linhas[i].toUpper().contains(marca)) {
                ultima = i;
                break;
            }
        }
        if (ultima == 0) {
            linhas = linhas.mid(0, 1);
        } else if (ultima > 0) {
            // The old stamp area ends at the last line above it that says something else.
            qsizetype fica = -1;
            for (qsizetype i = ultima - 1; i >= 0; --i) {
                if (!linhas[i].isEmpty() && !linhas[i].toUpper().contains(marca)) {
                    fica = i;
                    break;
                }
            }
            linhas = linhas.mid(0, fica + 1);
        }
        linhas << QString() << QString::fromUtf8(forma.antes) + stVersao + QString::fromUtf8(forma.depois) << QString();
        texto.Grava(arquivo);
        if (!generatedByBuild) {
            ComandoDoArquivo("unlock", path);
            ComandoDoArquivo("commit", path);
            stlResult.append(arquivo);
            return;
        }
        const QString alvo = QStringLiteral(" \"") + PastaDe(f).toLower() + u'\\' + NomeDe(f) + u'"';
        const QString credenciais =
            QStringLiteral(" --username ") + stUserSubVersion + QStringLiteral(" --password ") + SenhaNaLinha();
        ExecuteSubVersion(QStringLiteral("VERIFICANDO EXISTÊNCIA DO ARQUIVO NO REPOSITÓRIO ...  ") + f,
                          QStringLiteral("svn info --xml --no-auth-cache") + credenciais + alvo, true, lsbAux);
        if (!SemQuebras(stlSvnInfo.join(QString())).toLower().contains(QLatin1StringView("<url>")))
            ExecuteSubVersion(QStringLiteral("ADICIONANDO ARQUIVO NO REPOSITÓRIO ...  ") + f,
                              QStringLiteral("svn add --no-auth-cache") + credenciais + alvo, true, lsbProgresso);
        ExecuteSubVersion(QStringLiteral("ENVIANDO ARQUIVO ATUALIZADO ...  ") + f,
                          QStringLiteral("svn commit -m\"Commit realizado após o build da window\" --no-auth-cache")
                              + credenciais + alvo,
                          true, lsbProgresso);
        ExecuteSubVersion(QStringLiteral("ATUALIZANDO CONTEÚDO DO ARQUIVO ...  ") + f,
                          QStringLiteral("svn revert") + credenciais + alvo, true, lsbProgresso);
    } catch (...) {
        const QString texto = TextoDaFalha();
        if (!generatedByBuild)
            Destrava(path);
        ContaErro(texto);
    }
}

void TfrmGPatch::GeraAsp(const QString &path) { GeraWeb(path, false, *FormaDe(QStringLiteral("asp"))); }
void TfrmGPatch::GeraPhp(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("php"))); }
void TfrmGPatch::GeraCss(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("css"))); }
void TfrmGPatch::GeraJs(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("js"))); }
void TfrmGPatch::GeraIni(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("ini"))); }
void TfrmGPatch::GeraTwig(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("twig"))); }
void TfrmGPatch::GeraHtml(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("html"))); }
void TfrmGPatch::GeraXml(const QString &path, bool build) { GeraWeb(path, build, *FormaDe(QStringLiteral("xml"))); }
void TfrmGPatch::GeraRptDesign(const QString &path, bool build)
{
    GeraWeb(path, build, *FormaDe(QStringLiteral("rptdesign")));
}

bool TfrmGPatch::GeraPorTipo(const QString &type, const QString &path)
{
    if (type == u"bpl")
        GeraBPL(path);
    else if (type == u"pkg")
        GeraPKG(path);
    else if (type == u"exe")
        GeraEXE(path);
    else if (type == u"dll")
        GeraDLL(path);
    else if (type == u"qr2")
        GeraQr2(path);
    else if (type == u"sql")
        GeraSql(path);
    else if (type == u"cds")
        GeraCds(path);
    else if (type == u"asp")
        GeraAsp(path);
    else if (const FormaDoCarimbo *forma = FormaDe(type))
        GeraWeb(path, false, *forma);
    else
        return false;
    return true;
}
