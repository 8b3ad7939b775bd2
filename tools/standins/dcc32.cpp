// Stand-in of the Delphi 5 command-line compiler dcc32.exe. It compiles nothing: it reads
// the project file, writes the artefacts where the options say (/E programs and
// libraries, /LE packages, /LN package symbols, /N unit output) and prints the
// compiler's lines. A project that holds FALHA_DE_COMPILACAO gets a "Fatal" line and no
// artefact; one that holds FALHA_SEM_B fails the same way when compiled without /B (the
// second pass of a package); one that holds SEM_ARTEFATO reports success and writes
// nothing; one that holds SAIDA_GRANDE prints one MiB of unit lines first. Like the real compiler it takes one project and only the options it knows
// ("-" or "/"), and stops with a "Fatal" line on any other.

#include "standin.h"

#include <QRegularExpression>

namespace {

// Switches without a value, switches followed by their value, and the compiler directives
// "$<letter><state>" of the Delphi 5 command-line compiler.
const QRegularExpression kSemValor(QStringLiteral("^(B|M|Q|P|Z|J|JP|CC|CG|GD|GP|GS|H[+-]?|W[+-]?|VR?[+-]?)$"),
                                   QRegularExpression::CaseInsensitiveOption);
const QRegularExpression kComValor(QStringLiteral("^(LE|LN|LU|A|D|E|F|I|K|N|O|R|U).+$"),
                                   QRegularExpression::CaseInsensitiveOption);
const QRegularExpression kDiretiva(QStringLiteral("^\\$([A-XZ][+-]|Y[-+D]|Z[124])$"), QRegularExpression::CaseInsensitiveOption);

bool isProject(const QString &arg)
{
    return arg.endsWith(QLatin1String(".dpr"), Qt::CaseInsensitive) || arg.endsWith(QLatin1String(".dpk"), Qt::CaseInsensitive);
}

bool knownOption(const QString &arg)
{
    if (!arg.startsWith(u'/') && !arg.startsWith(u'-'))
        return false;
    const QString body = arg.mid(1);
    return kSemValor.match(body).hasMatch() || kComValor.match(body).hasMatch() || kDiretiva.match(body).hasMatch();
}

QString option(const QStringList &args, const QString &name)
{
    for (const QString &arg : args) {
        if (arg.startsWith(name, Qt::CaseInsensitive) && arg.size() > name.size())
            return arg.mid(name.size());
    }
    return {};
}

}  // namespace

int main(int argc, char **argv)
{
    const QStringList args = standin::arguments(argc, argv);
    standin::record("dcc32", args);
    standin::say(QStringLiteral("Borland Delphi  Version 13.0  Copyright (c) 1983,99 Inprise Corporation\n"));
    QString source;
    bool fullBuild = false;
    // Native paths begin with "/" like the options do: the project is the argument
    // that names a project file.
    for (const QString &arg : args) {
        if (isProject(arg)) {
            if (!source.isEmpty()) {
                standin::say(QStringLiteral("Fatal: Too many project files: '%1'\n").arg(arg));
                return 1;
            }
            source = arg;
            continue;
        }
        if (!knownOption(arg)) {
            standin::say(QStringLiteral("Fatal: Invalid compiler switch: '%1'\n").arg(arg));
            return 1;
        }
        fullBuild = fullBuild || arg.mid(1).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0;
    }
    if (source.isEmpty()) {
        standin::say(QStringLiteral("Fatal: No project file given\n"));
        return 1;
    }
    bool ok = false;
    const QByteArray text = standin::read(source, &ok);
    if (!ok) {
        standin::say(QStringLiteral("Fatal: File not found: '%1'\n").arg(source));
        return 1;
    }
    const QFileInfo info(source);
    const int lines = int(text.count('\n')) + 1;
    if (text.contains("SAIDA_GRANDE")) {
        const QByteArray unit = "Compilando unidade de teste com uma linha longa para encher a saida do compilador ...\n";
        QByteArray big;
        while (big.size() < 1024 * 1024)
            big += unit;
        std::fwrite(big.constData(), 1, size_t(big.size()), stdout);
    }
    if (text.contains("FALHA_DE_COMPILACAO") || (text.contains("FALHA_SEM_B") && !fullBuild)) {
        standin::say(QStringLiteral("%1(%2) Fatal: Could not compile used unit 'UFalha.pas'\n").arg(source).arg(lines));
        return 1;
    }
    const QString base = info.completeBaseName();
    const QByteArray artefact = QStringLiteral("artefato %1 compilado de %2 em %3\n")
                                    .arg(base, source, QDateTime::currentDateTime().toString(Qt::ISODateWithMs))
                                    .toUtf8();
    const QString folderOf = info.path();
    bool written = true;
    if (text.contains("SEM_ARTEFATO")) {
    } else if (info.suffix().compare(QLatin1String("dpk"), Qt::CaseInsensitive) == 0) {
        const QString bpl = option(args, QStringLiteral("/LE"));
        const QString dcp = option(args, QStringLiteral("/LN"));
        written = standin::write((bpl.isEmpty() ? folderOf : bpl) + u'/' + base + QStringLiteral(".bpl"), artefact)
                  && standin::write((dcp.isEmpty() ? folderOf : dcp) + u'/' + base + QStringLiteral(".dcp"), artefact);
    } else {
        const bool library = text.trimmed().toLower().startsWith("library");
        const QString exe = option(args, QStringLiteral("/E"));
        written = standin::write((exe.isEmpty() ? folderOf : exe) + u'/' + base
                                     + (library ? QStringLiteral(".dll") : QStringLiteral(".exe")),
                                 artefact);
    }
    if (!written) {
        standin::say(QStringLiteral("Fatal: Could not create output file for '%1'\n").arg(source));
        return 1;
    }
    standin::say(QStringLiteral("%1(%2)\n%2 lines, 0.05 seconds, %3 bytes code, 0 bytes data.\n")
                     .arg(source)
                     .arg(lines)
                     .arg(artefact.size()));
    return 0;
}
