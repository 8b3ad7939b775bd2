// Stand-in of the resource compiler brcc32: "brcc32 X.rc -foY.res" reads the script and
// writes the compiled resource where -fo says.

#include "standin.h"

int main(int argc, char **argv)
{
    const QStringList args = standin::arguments(argc, argv);
    standin::record("brcc32", args);
    standin::say(QStringLiteral("Borland Resource Compiler  Version 5.40\n"
                                "Copyright (c) 1990, 1999 Inprise Corporation.  All rights reserved.\n\n"));
    QString script;
    QString output;
    for (const QString &arg : args) {
        if (arg.startsWith(QLatin1String("-fo"), Qt::CaseInsensitive))
            output = arg.mid(3);
        else if (!arg.startsWith(u'-'))
            script = arg;
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
