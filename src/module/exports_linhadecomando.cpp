// The command line's entry into the module: the same data module and workflow as the
// screen, driven by the HostUi in force (the host installs its console one).

#include "module/exports.h"

#include "datamodule/dmgrupsolihom.h"
#include "workflow/linhadecomando.h"

int HomologaUsoDaLinhaDeComando(const QStringList &arguments) { return LinhaDeComando::semDados(arguments); }

int HomologaLinhaDeComando(const QStringList &arguments)
{
    // The usage and a bad use are told before any data is read.
    if (const int status = LinhaDeComando::semDados(arguments); status >= 0)
        return status;
    TdmGrupSoliHom dm;
    dm.GeraSolicitacoes = [](const QString &requests, const QString &product, const QString &productTree) {
        return GeraSolicitacoes(requests, product, productTree);
    };
    return LinhaDeComando(dm).executa(arguments);
}
