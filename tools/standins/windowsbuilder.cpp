// Stand-in of the window builder batch: WindowsBuilder.bat <builder script> RELEASE_ID
// <release> W <window> | WZ <wizard>. It finds the window's folder under
// "sources\generated\windows\" of the project that holds the builder script and
// (re)writes the window's files from the "metadata" of that release: the page, its script
// and a translation file in a subfolder. A file whose content comes out the same keeps
// its modification time. A page that holds FALHA_DO_BUILD fails the build.

#include "standin.h"

#include <QDirIterator>
#include <QRegularExpression>

namespace {

// The page of a window (its name) or of a wizard (named inside the page).
QString findPage(const QString &root, const QString &name, bool wizard)
{
    QDirIterator pages(root, {QStringLiteral("*.html")}, QDir::Files, QDirIterator::Subdirectories);
    while (pages.hasNext()) {
        const QString page = pages.next();
        if (!page.contains(QLatin1String("/sources/generated/windows/"), Qt::CaseInsensitive))
            continue;
        if (!wizard) {
            if (QFileInfo(page).completeBaseName().compare(name, Qt::CaseInsensitive) == 0)
                return page;
            continue;
        }
        bool ok = false;
        const QByteArray text = standin::read(page, &ok);
        if (text.contains("Framework.showPreviousWizardStage('" + name.toUtf8() + "'"))
            return page;
    }
    return {};
}

}  // namespace

int main(int argc, char **argv)
{
    const QStringList args = standin::arguments(argc, argv);
    standin::record("WindowsBuilder", args);
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (args.size() != 5 || args[1] != QLatin1String("RELEASE_ID") || !digits.match(args[2]).hasMatch()
        || (args[3] != QLatin1String("W") && args[3] != QLatin1String("WZ"))
        || !args[0].endsWith(QLatin1String("build.php"), Qt::CaseInsensitive)) {
        standin::say(QStringLiteral("[ERROR] Fatal: uso: WindowsBuilder <build.php> RELEASE_ID <release> W|WZ <nome>\n"));
        return 1;
    }
    const QString script = args[0];
    const QString release = args[2];
    const bool wizard = args[3] == QLatin1String("WZ");
    const QString name = args[4];
    const qsizetype products = script.indexOf(QLatin1String("/products/projects/"), 0, Qt::CaseInsensitive);
    const QString root = products < 0 ? QFileInfo(script).path() : script.left(products);
    standin::say(QStringLiteral("[INFO] php %1 --release=%2 --%3=%4\n").arg(script, release, wizard ? "wizard" : "window", name));
    const QString page = findPage(root, name, wizard);
    if (page.isEmpty()) {
        standin::say(QStringLiteral("[ERROR] Fatal: %1 %2 não encontrada em %3\n").arg(wizard ? "wizard" : "window", name, root));
        return 1;
    }
    bool ok = false;
    const QByteArray old = standin::read(page, &ok);
    if (old.contains("FALHA_DO_BUILD")) {
        standin::say(QStringLiteral("[ERROR] Fatal: metadados inválidos para %1\n").arg(name));
        return 1;
    }
    const QFileInfo info(page);
    const QString folder = info.path();
    const QString base = info.completeBaseName();
    QByteArray html = "<html>\r\n<!-- " + base.toUtf8() + " gerada dos metadados da release " + release.toUtf8() + " -->\r\n";
    for (const QByteArray &line : old.split('\n')) {
        if (line.contains("Framework.showPreviousWizardStage"))
            html += line.trimmed() + "\r\n";
    }
    html += "</html>\r\n";
    const QByteArray js = "// " + base.toUtf8() + ": release " + release.toUtf8() + "\r\nvar janela = '" + base.toUtf8() + "';\r\n";
    const QByteArray ini = "; " + base.toUtf8() + "\r\ntitulo=" + base.toUtf8() + "\r\n";
    const bool written = standin::write(page, html) && standin::write(folder + u'/' + base + QStringLiteral(".js"), js)
                         && standin::write(folder + QStringLiteral("/i18n/") + base + QStringLiteral(".ini"), ini);
    if (!written) {
        standin::say(QStringLiteral("[ERROR] Fatal: não foi possível gravar os arquivos de %1\n").arg(name));
        return 1;
    }
    standin::say(QStringLiteral("[INFO] %1 %2 gerada: 3 arquivos\n").arg(wizard ? "wizard" : "window", name));
    return 0;
}
