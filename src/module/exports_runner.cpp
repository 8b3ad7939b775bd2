#include "runner/frmexeccommands.h"

#include <QVariant>

// Runs a command script and returns [all lines succeeded, the whole output].
extern "C" Q_DECL_EXPORT QVariant ExecCommands(const QString &caption, const QString &script, bool show)
{
    return runner::ExecCommands(caption, script, show);
}
