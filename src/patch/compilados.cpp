// Compiled artefacts: which kind of artefact a project file yields, the command line of the
// product's compiler for each kind, and the build runner that judges its output.

#include "patch/frmgpatch.h"
#include "patch/internos.h"
#include "patch/textodoarquivo.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "runner/analisesaida.h"

#include <QCoreApplication>
#include <QListWidget>

#include <optional>

using namespace patch::internos;

namespace {

constexpr int kEsperaMaximaMs = 100;

const QString kDcc = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\bin\\dcc32.exe\" ");
const QString kLib = QStringLiteral("\"c:\\arquivos de programas\\borland\\delphi5\\lib\";");
const QString kPkgs = QStringLiteral("_rtl;_vcl;_db;_hvk;_qr;_ger;_frm;_lib");
const QString kDepuracao = QStringLiteral(" /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT ");
const QString kOpcoes = QStringLiteral(" /$B- /Q /B /H- /W- /VR-");

// Packages and programs built without runtime packages.
const QStringList kPacotesSemRuntime{"PKG_QIR", "PKG_VRA", "PKG_ZOR", "PKG_PIW", "PKG_MUK",
                                     "PKG_UFI", "PKG_UBE", "PKG_NUB", "PKG_NAQ", "PKG_SOY"};
const QStringList kProgramasSemRuntime{"QIR.EXE",    "VRA.EXE",    "YLN.EXE",    "YLP.EXE",     "YLT.EXE",
                                       "NUB.EXE",    "QIRTAB.EXE", "QIREXP.EXE", "QIRBPL.EXE",  "QIRIMP.EXE",
                                       "QIRSINC.EXE", "DAX.EXE",   "KIV.EXE"};

// Types generated from their extension alone.
const QStringList kTiposPorExtensao{"QR2", "SQL", "CDS", "PHP", "CSS", "JS", "HTML", "XML", "TWIG", "INI", "RPTDESIGN", "ASP"};

// The project's file name up to and including its first ".".
QString NomeComPonto(const QString &path)
{
    const QString nome = NomeDe(path);
    const qsizetype ponto = nome.indexOf(u'.');
    return ponto < 0 ? nome + u'.' : nome.left(ponto + 1);
}

// What the compiler writes for a project: its header says so ("library" a .dll,
// "program" a .exe). Unknown when the project cannot be read or says neither.
std::optional<bool> EhBiblioteca(const QString &path)
{
    try {
        for (const QString &linha : patch::TextoDoArquivo::Le(path).linhas) {
            const QString texto = linha.trimmed().toLower();
            if (texto.isEmpty() || texto.startsWith(u'{') || texto.startsWith(QLatin1StringView("//"))
                || texto.startsWith(QLatin1StringView("(*")))
                continue;
            if (texto.startsWith(QLatin1StringView("library")))
                return true;
            if (texto.startsWith(QLatin1StringView("program")))
                return false;
            return std::nullopt;
        }
    } catch (const std::exception &) {
    }
    return std::nullopt;
}

}  // namespace

QString TfrmGPatch::ArtefatoGerado(const QString &path) const
{
    const QString tipo = GetPrefix(path);
    const QString p = ComDrive(path).toUpper();
    const QString &b = stDirBaseRep;
    const QString n = NomeComPonto(p);
    if (tipo == u"bpl")
        return b + (p.contains(QLatin1StringView("\\SRV\\")) ? QStringLiteral("srv\\bin\\") : QStringLiteral("cli\\bin\\"))
               + n + QStringLiteral("bpl");
    if (tipo == u"pkg")
        return b + QStringLiteral("cli\\bin\\") + NomeComPonto(path) + QStringLiteral("bpl");
    if (tipo == u"exe") {
        const QString chave = (n + QStringLiteral("EXE")).toUpper();
        const QString nome = n + (EhBiblioteca(path).value_or(false) ? QStringLiteral("dll") : QStringLiteral("EXE"));
        if (chave == u"BIB.EXE")
            return b + QStringLiteral("srv\\std\\bib\\") + nome;
        if (chave == u"CLI.EXE")
            return PastaDe(p) + u'\\' + nome;
        return b + QStringLiteral("cli\\bin\\") + nome;
    }
    if (tipo == u"dll") {
        const bool duv = p.contains(QLatin1StringView("DUV"));
        const QString chave = (n + (duv ? QStringLiteral("exe") : QStringLiteral("dll"))).toUpper();
        const QString nome = n + (EhBiblioteca(path).value_or(!duv) ? QStringLiteral("dll") : QStringLiteral("exe"));
        if (chave == u"CLI.DLL")
            return PastaDe(p) + u'\\' + nome;
        const QString m = p.contains(QLatin1StringView("KOR_7")) ? QStringLiteral("Srv\\") : QStringLiteral("Zql\\");
        return b + m + QStringLiteral("bin\\") + nome;
    }
    // A stamped file is its own artefact (listed upper-cased); any other file too.
    return tipo.isEmpty() ? ComDrive(path) : p;
}

QDateTime TfrmGPatch::HoraDoArtefato(const QString &path) const
{
    try {
        return platform::files::modificationTime(ArtefatoGerado(path));
    } catch (const platform::PlatformError &) {
        return {};
    }
}

void TfrmGPatch::RegistraArtefato(const QString &path, const QDateTime &before)
{
    // Only what this compile wrote is listed: a missing file, or an older one left at that
    // place, would be attached to the request as if it were the new build.
    const QString artefato = ArtefatoGerado(path);
    const QDateTime agora = HoraDoArtefato(path);
    if (!agora.isValid() || (before.isValid() && agora <= before)) {
        ContaErro(msgPadrao.Msg(QStringLiteral("ARTEFATO_NAO_GERADO"), {artefato, ComDrive(path)}));
        return;
    }
    stlResult.append(artefato);
}

QString TfrmGPatch::GetPrefix(const QString &path)
{
    const QString p = path.toUpper();
    const QString nome = NomeDe(p);
    const qsizetype ponto = p.lastIndexOf(u'.');
    const QString extensao = ponto < 0 || ponto < p.lastIndexOf(u'\\') ? QString() : p.mid(ponto + 1);
    if (extensao == u"DPK") {
        if (nome.startsWith(u'_'))
            return QStringLiteral("bpl");
        if (nome.startsWith(QLatin1StringView("PKG")))
            return QStringLiteral("pkg");
        return {};
    }
    if (extensao == u"DPR") {
        if (p.contains(QLatin1StringView("\\SRV\\")) && !p.contains(QLatin1StringView("\\SRV\\STD\\BIB\\")))
            return QStringLiteral("dll");
        if (p.contains(QLatin1StringView("\\ZQL\\")) && !p.contains(QLatin1StringView("\\ZQL\\STD\\BIB\\")))
            return QStringLiteral("dll");
        if (p.contains(QLatin1StringView("\\CLI\\SRC\\UTL\\QRDEXP")))
            return QStringLiteral("dll");
        return QStringLiteral("exe");
    }
    if (kTiposPorExtensao.contains(extensao))
        return extensao.toLower();
    return {};
}

bool TfrmGPatch::CompilaComo(const QString &commandLine)
{
    return Execute(commandLine, lsbProgresso, true);
}

void TfrmGPatch::GeraBPL(const QString &path)
{
    const QString p = path.toUpper();
    const QString n = NomeComPonto(p);
    const QString &b = stDirBaseRep;
    platform::files::setCurrentDir(PastaDe(p));
    if (!p.contains(QLatin1StringView("\\SRV\\"))) {
        TornaGravavel(b + QStringLiteral("cli\\bin\\"), n + QStringLiteral("bpl"));
        TornaGravavel(b + QStringLiteral("cli\\std\\dcp\\"), n + QStringLiteral("dcp"));
        TornaGravavel(b + QStringLiteral("cli\\std\\dcp\\dcu\\"), QStringLiteral("*.dcu"));
        const QDateTime antes = HoraDoArtefato(path);
        const bool compilou = CompilaComo(
            kDcc + p + QStringLiteral(" /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT;BPLSERVER ") + kOpcoes + QStringLiteral(" /R")
            + kLib + b + QStringLiteral("cli\\src\\utl\\qrd\\noshared") + QStringLiteral(" /LE") + b
            + QStringLiteral("cli\\bin") + QStringLiteral(" /LN") + b + QStringLiteral("cli\\std\\dcp")
            + QStringLiteral(" /U") + b + QStringLiteral("cli\\std\\dcp") + QStringLiteral(" /N") + b
            + QStringLiteral("cli\\std\\dcp\\dcu"));
        if (!compilou)
            return;
        RegistraArtefato(path, antes);
        if (NomeDe(p).startsWith(QLatin1StringView("_HC"))) {
            // The second pass builds without /B; a failure of it is a failure of the run.
            CompilaComo(kDcc + p + QStringLiteral(" /$D+ /$L+ /$YD /GD /DVELKORA;MADEXCEPT;BPLSERVER ")
                        + QStringLiteral(" /$B- /Q /H- /W- /VR-") + QStringLiteral(" /R") + kLib + QStringLiteral(" /LE")
                        + b + QStringLiteral("cli\\bin") + QStringLiteral(" /LN") + b + QStringLiteral("cli\\std\\dcp")
                        + QStringLiteral(" /U") + b + QStringLiteral("cli\\std\\dcp") + QStringLiteral(" /N") + b
                        + QStringLiteral("cli\\std\\dcp\\dcu"));
        }
        return;
    }
    TornaGravavel(b + QStringLiteral("srv\\bin\\"), n + QStringLiteral("bpl"));
    TornaGravavel(b + QStringLiteral("srv\\std\\dcp\\"), n + QStringLiteral("dcp"));
    const QDateTime antes = HoraDoArtefato(path);
    if (CompilaComo(kDcc + p + QStringLiteral(" /$B- /$D- /Q /B /H- /W- /DVELKORA /VR-") + QStringLiteral(" /R") + kLib + b
                    + QStringLiteral("cli\\src\\utl\\qrd\\noshared") + QStringLiteral(" /LE") + b
                    + QStringLiteral("srv\\bin") + QStringLiteral(" /LN") + b + QStringLiteral("srv\\std\\dcp")
                    + QStringLiteral(" /U") + b + QStringLiteral("srv\\std\\dcp")))
        RegistraArtefato(path, antes);
}

void TfrmGPatch::GeraPKG(const QString &path)
{
    const QString n = NomeComPonto(path);
    const QString p = path.toUpper();
    const QString &b = stDirBaseRep;
    platform::files::setCurrentDir(PastaDe(p));
    TornaGravavel(b + QStringLiteral("cli\\bin\\"), n + QStringLiteral("bpl"));
    TornaGravavel(b + QStringLiteral("cli\\std\\dcp\\"), n + QStringLiteral("dcp"));
    const QString artefato = (n + QStringLiteral("bpl")).toUpper();
    const QDateTime antes = HoraDoArtefato(path);
    QString pacotes;
    if (!kPacotesSemRuntime.contains(artefato.left(7))) {
        pacotes = artefato == u"PKG_LEH00000.BPL" ? QStringLiteral(" /LU_leh") : QStringLiteral(" /LU") + kPkgs;
    }
    if (CompilaComo(kDcc + p + kDepuracao + kOpcoes + pacotes + QStringLiteral(" /R") + kLib + QStringLiteral(" /LE") + b
                    + QStringLiteral("cli\\bin") + QStringLiteral(" /LN") + b + QStringLiteral("cli\\std\\dcp")
                    + QStringLiteral(" /U") + b + QStringLiteral("cli\\std\\dcp") + QStringLiteral(" /N") + b
                    + QStringLiteral("dcu")))
        RegistraArtefato(path, antes);
}

void TfrmGPatch::GeraEXE(const QString &path)
{
    const QString p = path.toUpper();
    const QString e = NomeComPonto(p) + QStringLiteral("EXE");
    const QString &b = stDirBaseRep;
    const QString pasta = PastaDe(p);
    platform::files::setCurrentDir(pasta);
    const QString chave = e.toUpper();
    const QDateTime antes = HoraDoArtefato(path);
    if (chave == u"BIB.EXE") {
        TornaGravavel(b + QStringLiteral("srv\\std\\bib\\"), e);
        TornaGravavel(b + QStringLiteral("srv\\std\\bib\\"), QStringLiteral("*.dcu"));
        if (CompilaComo(kDcc + p + QStringLiteral(" /$D+ ") + QStringLiteral(" /$B- /Q /B /H- /W- /DVELKORA /VR-")
                        + QStringLiteral(" /R") + kLib + QStringLiteral(" /E") + b + QStringLiteral("\\srv\\std\\bib")
                        + QStringLiteral(" /N") + b + QStringLiteral("\\srv\\std\\bib")))
            RegistraArtefato(path, antes);
        return;
    }
    if (chave == u"CLI.EXE") {
        // The program is built in its own folder, which is already a whole path.
        TornaGravavel(pasta + u'\\', e);
        if (CompilaComo(kDcc + p + QStringLiteral(" /$B- /$D- /Q /B /H- /W- /DVELKORA /VR-") + QStringLiteral(" /LU") + kPkgs
                        + QStringLiteral(" /R") + kLib + QStringLiteral(" /E") + pasta + QStringLiteral(" /U") + b
                        + QStringLiteral("cli\\std\\dcp") + QStringLiteral(" /N") + b + QStringLiteral("dcu")))
            RegistraArtefato(path, antes);
        return;
    }
    TornaGravavel(b + QStringLiteral("cli\\bin\\"), e);
    QString comando;
    if (chave == u"MDQ.EXE" || chave == u"MDQ_.EXE") {
        comando = kDcc + p + kDepuracao + kOpcoes + QStringLiteral(" /R") + kLib + QStringLiteral(" /U") + b
                  + QStringLiteral("cli\\std\\dcp\\dcu;") + QStringLiteral(" /E") + b + QStringLiteral("cli\\bin")
                  + QStringLiteral(" /N") + b + QStringLiteral("dcu");
    } else if (kProgramasSemRuntime.contains(chave)) {
        comando = kDcc + p + kDepuracao + kOpcoes + QStringLiteral(" /R") + kLib + QStringLiteral(" /E") + b
                  + QStringLiteral("cli\\bin") + QStringLiteral(" /U") + b + QStringLiteral("cli\\std\\dcp")
                  + QStringLiteral(" /N") + b + QStringLiteral("dcu");
    } else {
        const QString pacotes = chave == u"LEH.EXE" ? QStringLiteral("_leh") : kPkgs;
        comando = kDcc + p + kDepuracao + kOpcoes + QStringLiteral(" /LU") + pacotes + QStringLiteral(" /R") + kLib
                  + QStringLiteral(" /E") + b + QStringLiteral("cli\\bin") + QStringLiteral(" /U") + b
                  + QStringLiteral("cli\\std\\dcp") + QStringLiteral(" /N") + b + QStringLiteral("dcu");
    }
    if (CompilaComo(comando))
        RegistraArtefato(path, antes);
}

void TfrmGPatch::GeraDLL(const QString &path)
{
    const QString p = path.toUpper();
    const QString &b = stDirBaseRep;
    const QString pasta = PastaDe(p);
    platform::files::setCurrentDir(pasta);
    const bool w = !p.contains(QLatin1StringView("KOR_7"));
    const QString m = w ? QStringLiteral("Zql\\") : QStringLiteral("Srv\\");
    const QString delphi = QStringLiteral("c:\\arquivos de programas\\borland\\delphi5\\");
    QString s = b + m + QStringLiteral("std\\bib\\funcoes;") + b + m + QStringLiteral("std\\bib\\funcoes\\noshared;");
    if (!p.contains(QLatin1StringView("DUV")))
        s += u'"' + delphi + QStringLiteral("Source\\Vcl\";");
    for (const char *componente : {"Components\\Zql", "Odac for Delphi 5\\Lib", "Odac for Delphi 5\\Bin",
                                   "Sdac for Delphi 5\\Lib", "Sdac for Delphi 5\\Bin"})
        s += u'"' + delphi + QString::fromLatin1(componente) + QStringLiteral("\";");
    const QString s1 = w ? s : QString();
    const QString a = NomeComPonto(p) + (p.contains(QLatin1StringView("DUV")) ? QStringLiteral("exe") : QStringLiteral("dll"));
    const QString chave = a.toUpper();
    QString defines = w ? QStringLiteral("/DVELKORA;ZQLCOMPS;MSWINDOWS") : QStringLiteral("/DVELKORA");
    const QDateTime antes = HoraDoArtefato(path);
    if (chave == u"CLI.DLL") {
        // Built into its own folder (/E), where the artefact is then found.
        TornaGravavel(pasta + u'\\', a);
        const bool compilou = CompilaComo(
            kDcc + p + QStringLiteral(" /$B- /$D- /Q /B /H- /W- ") + defines + QStringLiteral(" /VR-") + QStringLiteral(" /R")
            + kLib + s1 + QStringLiteral(" /E") + pasta + QStringLiteral(" /U") + b + m + QStringLiteral("std\\bib;") + s1
            + QStringLiteral(" /O") + b + m + QStringLiteral("std\\bib;") + s1 + QStringLiteral(" /I") + b + m
            + QStringLiteral("std\\bib;") + s1 + QStringLiteral(" /N") + b + QStringLiteral("dcu"));
        if (compilou)
            RegistraArtefato(path, antes);
        return;
    }
    if (chave == u"GER.DLL")
        defines = w ? QStringLiteral("/DVELKORA;GERUNICA;ZQLCOMPS;MSWINDOWS") : QStringLiteral("/DVELKORA;GERUNICA");
    TornaGravavel(b + m + QStringLiteral("bin\\"), a);
    if (CompilaComo(kDcc + p + QStringLiteral(" /$B- /$D- /Q /B /H- /W- ") + defines + QStringLiteral(" /VR-")
                    + QStringLiteral(" /R") + kLib + s1 + QStringLiteral(" /E") + b + m + QStringLiteral("bin")
                    + QStringLiteral(" /U") + b + m + QStringLiteral("std\\bib;") + b + m + QStringLiteral("std\\lib;") + s1
                    + QStringLiteral(" /O") + b + m + QStringLiteral("std\\bib;") + b + m + QStringLiteral("std\\lib;") + s1
                    + QStringLiteral(" /I") + b + m + QStringLiteral("std\\bib;") + b + m + QStringLiteral("std\\lib;") + s1
                    + QStringLiteral(" /N") + b + QStringLiteral("dcu")))
        RegistraArtefato(path, antes);
}

bool TfrmGPatch::Execute(const QString &commandLine, QListWidget *log, bool capture)
{
    platform::Process processo;
    try {
        processo.start(commandLine, platform::Process::Output::StdOutOnly);
    } catch (const platform::PlatformError &) {
        Adiciona(log, {QStringLiteral("Error creating process ") + platform::cmdline::maskPasswords(commandLine)});
        ++inErros;
        return false;
    }
    // What the child prints is taken while it runs: a compiler that prints more than a pipe
    // holds would otherwise wait forever for a reader.
    QString texto;
    bool terminou = false;
    while (!terminou) {
        terminou = processo.waitForFinished(kEsperaMaximaMs);
        QCoreApplication::processEvents();
        texto += processo.readAvailable();
    }
    texto += processo.readAvailable();
    // A tool that fails, or dies, fails the build whatever it printed; what it printed
    // comes first, as the failure texts do.
    const QString falha = processo.failure();
    const bool comTexto = log && capture;
    if (comTexto) {
        Adiciona(log, runner::LinhasDoTexto(texto + kFimDeLinha));
        if (commandLine.contains(QLatin1StringView("svn status")))
            stSvnStatus = texto;
    }
    if ((comTexto && (texto.contains(QLatin1StringView("Fatal")) || texto.contains(QLatin1StringView("Error"))))
        || !falha.isEmpty()) {
        if (!falha.isEmpty())
            Adiciona(log, {QStringLiteral("Error: ") + falha});
        ++inErros;
        return false;
    }
    return true;
}
