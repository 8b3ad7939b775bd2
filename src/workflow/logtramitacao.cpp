#include "workflow/logtramitacao.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/services.h"

void SalvaLog(TdmGrupSoliHom &dm, const QString &grupo, const QString &anterior, const QString &nova,
              const QString &log)
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("SALVA_LOG")));
    QString faseAnterior = anterior;
    QString faseNova = nova;
    QString texto = log;
    dm.ChamaServidor(QStringLiteral("setLogTram"), {Horvane::Operador(), grupo, RemoteArg::ref(faseAnterior),
                                                   RemoteArg::ref(faseNova), RemoteArg::ref(texto)});
}
