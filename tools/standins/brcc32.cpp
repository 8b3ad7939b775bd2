// Stand-in of the resource compiler brcc32: "brcc32 X.rc -foY.res" reads the script and
// writes the compiled resource where -fo says. Like the real one it takes one script and
// only the options it knows, and stops with an "Error" line on any other.

#include "standin.h"

#include <QRegularExpression>

namespace {

// -fo<file>, -d<name>[=<text>], -i<paths>, -c<code page>, -l<language>, and the plain
// -r, -v, -x, -m, -31, -w32.
bool knownOption(const QString &arg)
{
    static const QRegularExpression options(QStringLiteral("^-(fo.+|d.+|i.+|c\\d+|l[0-9a-f]+|r|v|x|m|31|w32)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return options.match(arg).hasMatch();
}

}  // namespace

int main(int argc, char **argv)
{
    const QStringList args = standin::arguments(argc, argv);
    standin::record("brcc32", args);
    standin::say(QStringLiteral("Borland Resource Compiler  Version 5.40\n"
                                "Copyright (c) 1990, 1999 Inprise Corporation.  All rights reserved.\n\n"));
    QString script;
    QString output;
    for (const QString &arg : args) {
        if (arg.startsWith(u'-')) {
            if (!knownOption(arg)) {
                standin::say(QStringLiteral("Error: Invalid switch: %1\n").arg(arg));
                return 1;
            }
            if (arg.startsWith(QLatin1String("-fo"), Qt::CaseInsensitive))
                output = arg.mid(3);
        } else if (!script.isEmpty()) {
            standin::say(QStringLiteral("Error: Too many input files: %1\n").arg(arg));
            return 1;
        } else {
            script = arg;
        }
    }
    if (script.isEmpty()) {
        standin::say(QStringLiteral("Error: No resource script given\n"));
        return 1;
    }
    bool ok = false;
    const QByteArray text = standin::read(script, &ok);
    if (!ok) {
        standin::say(QStringLiteral("Error %1: cannot open file\n").arg(script));
        return 1;
    }
    if (output.isEmpty())
        output = QFileInfo(script).path() + u'/' + QFileInfo(script).completeBaseName() + QStringLiteral(".res");
    if (!standin::write(output, "RES\n" + text)) {
        standin::say(QStringLiteral("Error %1: cannot create file\n").arg(output));
        return 1;
    }
    standin::say(QStringLiteral("Binding %1\n").arg(output));
    return 0;
}
