#include "workflow/logtramitacao.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "workflow/operacao.h"

void SalvaLog(TdmGrupSoliHom &dm, const QString &anterior, const QString &nova, const QString &log, const QString &grupo)
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("SALVA_LOG")));
    // The phases and the text go by reference; what the server writes back is not read.
    QString faseAnterior = anterior;
    QString faseNova = nova;
    QString texto = log;
    dm.ChamaServidor(QStringLiteral("setLogTram"),
                     {Horvane::Operador(), grupo.isEmpty() ? dm.codigoGrupo() : grupo, RemoteArg::ref(faseAnterior),
                      RemoteArg::ref(faseNova), RemoteArg::ref(texto)});
}

Chamada ChamadaDoLog(TdmGrupSoliHom &, const QString &anterior, const QString &nova, const QString &log, const QString &grupo)
{
    return Chamada{QStringLiteral("setLogTram"), {Horvane::Operador(), grupo, anterior, nova, log}};
}
