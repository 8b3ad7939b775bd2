#include "destino.h"

#include "platform/files.h"
#include "platform/paths.h"

namespace {

const QString kBarra = QStringLiteral("\\");

// Index just after the last separator of the folder part ("\" or "/", or the drive's ":").
qsizetype InicioDoNome(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path[i];
        if (c == u'\\' || c == u'/' || c == u':')
            return i + 1;
    }
    return 0;
}

QString NomeDoArquivo(const QString &path) { return path.mid(InicioDoNome(path)); }

// The folder part with its trailing separator ("C:\W\A.pas" -> "C:\W\").
QString PastaDoArquivo(const QString &path) { return path.left(InicioDoNome(path)); }

// The extension with its dot (".pas"); empty when the name has none.
QString Extensao(const QString &path)
{
    const QString nome = NomeDoArquivo(path);
    const qsizetype ponto = nome.lastIndexOf(u'.');
    return ponto < 0 ? QString() : nome.mid(ponto);
}

// The name without its extension. The product's files all have three-letter extensions,
// but a longer or missing one must not cut into the name ("A.html" stays "A", "README"
// stays "README").
QString NomeSemExtensao(const QString &path)
{
    const QString nome = NomeDoArquivo(path);
    const qsizetype ponto = nome.lastIndexOf(u'.');
    return ponto < 0 ? nome : nome.left(ponto);
}

bool Contem(const QString &upper, const char *marker) { return upper.contains(QLatin1StringView(marker)); }

bool ProjetoServidor(const QString &upper) { return Contem(upper, "\\SRV\\") || Contem(upper, "\\ZQL\\"); }

// Server projects build libraries, except the ones built as programs.
QString ExtensaoServidor(const QString &upper)
{
    return Contem(upper, "DUV.DPR") || Contem(upper, "SRV_") ? QStringLiteral(".exe") : QStringLiteral(".dll");
}

struct DestinoDeProjeto {
    QString pasta;
    QString extensao;
};

// Folder of the distribution tree and artefact extension of a program or library project
// (".DPR"), from its upper-case path; both empty outside the known source folders.
DestinoDeProjeto ProjetoPrograma(const QString &upper)
{
    if (ProjetoServidor(upper))
        return {QStringLiteral("Bin\\Server\\"), ExtensaoServidor(upper)};
    if (Contem(upper, "\\CLI\\")) {
        // A client-tree utility that is built as a server library.
        if (Contem(upper, "\\SRC\\UTL\\QRDEXP"))
            return {QStringLiteral("Bin\\Server\\"), QStringLiteral(".dll")};
        return {QStringLiteral("Bin\\Client\\"), QStringLiteral(".exe")};
    }
    if (Contem(upper, "\\QIR\\HOMOLOGADO\\"))
        return {QStringLiteral("Bin\\Client\\"), QStringLiteral(".exe")};
    return {};
}

QString PastaSql(const QString &upper)
{
    return Contem(upper, "ORACLE") ? QStringLiteral("Sql\\End_Conv\\Oracle\\")
                                   : QStringLiteral("Sql\\End_Conv\\SQLServer\\");
}

QString ComBarra(const QString &folder) { return folder.endsWith(u'\\') ? folder : folder + kBarra; }

}  // namespace

QString Arquivo_Destino(const QString &path)
{
    const QString upper = path.toUpper();
    const QString extensao = Extensao(upper);
    QString pasta;
    QString novaExtensao = extensao;
    if (extensao == u".DPK") {
        pasta = QStringLiteral("Bin\\Client\\");
        novaExtensao = QStringLiteral(".bpl");
    } else if (extensao == u".DPR") {
        // A project outside the known folders keeps a bare name: its caller finds nothing there.
        const DestinoDeProjeto projeto = ProjetoPrograma(upper);
        pasta = projeto.pasta;
        novaExtensao = projeto.extensao;
    } else if (extensao == u".QR2") {
        pasta = QStringLiteral("Ftp\\RelFtp\\");
    } else if (extensao == u".CDS") {
        pasta = QStringLiteral("Bin\\Server\\Cds\\");
    } else if (extensao == u".SQL") {
        pasta = PastaSql(upper);
    }
    return pasta + NomeSemExtensao(upper) + novaExtensao;
}

QString Cliente_Arquivo(const QString &path)
{
    const QString upper = path.toUpper();
    if (!Contem(upper, "CLIENTES"))
        return {};
    // The client code is the three characters after "CLIENTES\"; a name that merely holds
    // the word has no client folder.
    const qsizetype inicio = upper.indexOf(QLatin1StringView("CLIENTES\\"));
    if (inicio < 0)
        return {};
    const QString cliente = path.mid(inicio + 9, 3);
    const QString nome = NomeSemExtensao(path);
    const QString extensao = Extensao(upper);
    const auto destino = [&](const char *pasta, const QString &ext) {
        return QLatin1StringView(pasta) + QStringLiteral("Clientes\\") + cliente + kBarra + nome + ext;
    };
    if (extensao == u".DPK")
        return destino("Bin\\Client\\", QStringLiteral(".bpl"));
    if (extensao == u".DPR") {
        if (ProjetoServidor(upper))
            return destino("Bin\\Server\\", ExtensaoServidor(upper));
        if (Contem(upper, "\\CLI\\"))
            return destino("Bin\\Client\\", QStringLiteral(".exe"));
        return {};
    }
    if (extensao == u".QR2")
        return destino("Ftp\\RelFtp\\", extensao);
    if (extensao == u".CDS")
        return destino("Bin\\Server\\Cds\\", extensao);
    if (extensao == u".SQL")
        return PastaSql(upper) + QStringLiteral("Clientes\\") + cliente + kBarra + nome + extensao;
    return {};
}

QString Arquivo_Compilado(const QString &path)
{
    const QString upper = path.toUpper();
    const QString extensao = Extensao(upper);
    const bool pacote = extensao == u".DPK";
    if (!pacote && extensao != u".DPR")
        return path;

    qsizetype marcador = upper.indexOf(QLatin1StringView("\\SRV\\"));
    if (marcador < 0)
        marcador = upper.indexOf(QLatin1StringView("\\CLI\\"));
    if (marcador < 0)
        marcador = upper.indexOf(QLatin1StringView("\\ZQL\\"));
    const bool programaProprio = Contem(upper, "\\QIR\\HOMOLOGADO\\");
    // The build layout has no artefact folder for a project outside these trees: an empty
    // result tells the caller that the project cannot be built.
    if (marcador < 0 && !programaProprio)
        return {};

    QString pasta = programaProprio ? path.left(9) + QStringLiteral("Cli\\Bin\\")
                                    : path.left(marcador + 5) + QStringLiteral("Bin\\");
    const qsizetype utilitario = upper.indexOf(QLatin1StringView("\\CLI\\SRC\\UTL\\QRDEXP"));
    if (utilitario >= 0)
        pasta = upper.left(utilitario + 1) + QStringLiteral("ZQL\\Bin\\");
    const QString novaExtensao = pacote ? QStringLiteral(".bpl") : ProjetoPrograma(upper).extensao;
    return pasta + NomeSemExtensao(path) + novaExtensao;
}

QString TrocaRoot(const QString &path, const QString &oldRoot, const QString &newRoot)
{
    const QString novaRaiz = ComBarra(newRoot);
    QString antigaRaiz = ComBarra(oldRoot);
    QString caminho = path;
    // Roots and paths without a drive are on C:. Both get the same prefix, so the cut
    // below stays aligned.
    if (antigaRaiz.left(2).toUpper() != u"C:")
        antigaRaiz.prepend(QStringLiteral("C:"));
    if (caminho.left(2).toUpper() != u"C:")
        caminho.prepend(QStringLiteral("C:"));
    QString resto = caminho.mid(antigaRaiz.size() - 1);
    if (resto.startsWith(u'\\'))
        resto.remove(0, 1);
    return novaRaiz + resto;
}

QString Remove_Raiz(const QString &path, const QString &root) { return path.mid(ComBarra(root).size()); }

QString Arquivo_Destino_Asp(const QString &path, const QString &root)
{
    const QString lower = path.toLower();
    if (Extensao(lower) != u".dpr")
        return Remove_Raiz(lower, root);
    return QStringLiteral("zql\\bin\\") + NomeSemExtensao(lower) + QStringLiteral(".dll");
}

QString Arquivo_Origem_Asp(const QString &path, const QString &root) { return root + Arquivo_Destino_Asp(path, root); }

void Cria_Diretorios(const QString &root, const QString &relativeFile)
{
    namespace files = platform::files;
    // A folder on no mount is as unreachable as a missing network share: not reported.
    const auto criaSeFalta = [](const QString &folder) {
        try {
            if (!files::dirExists(folder))
                files::createDir(folder);
        } catch (const platform::PlatformError &) {
        }
    };
    if (root.toUpper().startsWith(QLatin1StringView("C:\\")))
        criaSeFalta(root);

    // A root given without its final "\" still joins the relative name as a folder.
    const QString relativa = Remove_Raiz(PastaDoArquivo(ComBarra(root) + relativeFile), root);
    QString atual = root;
    for (const QString &segmento : relativa.split(u'\\', Qt::SkipEmptyParts)) {
        atual = ComBarra(atual) + segmento;
        criaSeFalta(atual);
    }
}

QString TempDir()
{
    QString pasta = platform::files::tempPath();
    if (pasta.endsWith(u'\\'))
        pasta.chop(1);
    return pasta;
}

QString ExtractFilePath(const QString &path)
{
    const qsizetype last = path.lastIndexOf(u'\\');
    return last < 0 ? QString() : path.left(last + 1);
}

QString ExtractFileName(const QString &path) { return path.mid(path.lastIndexOf(u'\\') + 1); }

QString CaminhoRecusado(const QString &path, const QString &root)
{
    if (path.isEmpty())
        return QStringLiteral("o caminho está vazio");
    for (const QChar c : path) {
        if (c == u'"' || c.category() == QChar::Other_Control)
            return QStringLiteral("o caminho contém aspas ou caracteres de controle");
    }
    const QStringList componentes = QString(path).replace(u'/', u'\\').split(u'\\');
    for (qsizetype i = 0; i < componentes.size(); ++i) {
        const QString &componente = componentes[i];
        if (componente == u"." || componente == u"..")
            return QStringLiteral("o caminho contém o componente \"%1\"").arg(componente);
        // Only the last component may be empty: "C:\A\" names a folder.
        if (componente.isEmpty() && i > 0 && i + 1 < componentes.size())
            return QStringLiteral("o caminho contém uma pasta sem nome");
        // Only the drive has a colon: "A.pas C:\\Homol" is two paths run together.
        if (i > 0 && componente.contains(u':'))
            return QStringLiteral("o caminho contém outro caminho");
        if (componente != componente.trimmed())
            return QStringLiteral("o caminho tem espaços no começo ou no fim de um nome");
    }
    const QString raiz = ComBarra(root);
    if (root.trimmed().isEmpty() || !path.startsWith(raiz, Qt::CaseInsensitive) || path.size() == raiz.size())
        return QStringLiteral("o caminho não está dentro de %1").arg(root);
    return {};
}

QString CaminhoRecusadoNoDisco(const QString &path, const QString &root)
{
    const QString motivo = CaminhoRecusado(path, root);
    if (!motivo.isEmpty())
        return motivo;
    try {
        const QString link = platform::files::linkLeadingOut(path, root);
        if (!link.isEmpty())
            return QStringLiteral("%1 é um link que leva para fora de %2").arg(link, root);
    } catch (const platform::PlatformError &erro) {
        return erro.message();
    }
    return {};
}

QString ArgumentoDeCaminho(const QString &path)
{
    if (!path.contains(u' ') && !path.contains(u'\t'))
        return path;
    QString entreAspas = path;
    qsizetype barras = 0;
    while (barras < entreAspas.size() && entreAspas[entreAspas.size() - 1 - barras] == u'\\')
        ++barras;
    entreAspas += QString(barras, u'\\');
    return u'"' + entreAspas + u'"';
}

QString ArgumentosDeCaminhos(const QStringList &paths)
{
    QStringList argumentos;
    for (const QString &path : paths)
        argumentos << ArgumentoDeCaminho(path);
    return argumentos.join(u' ');
}
