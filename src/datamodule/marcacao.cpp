// Marking the groups under test that are to be homologated together. Marks stay on the
// screen, in the pending changes of the group list, until the next group save carries them.

#include "datamodule/dmgrupsolihom.h"

#include "host/consiste.h"

#include <functional>
#include <optional>

namespace {

const QString kMarcado = QStringLiteral("IDMARCADO");
const QString kCdGrupHomol = QStringLiteral("CDGRUPHOMOL");
const QString kRelease = QStringLiteral("CDRELEASEGHOM");

}  // namespace

bool TdmGrupSoliHom::PodeMarcarGrupo(bool mostraMensagem)
{
    const bool emTeste = statusGrupo() == u"006";

    // Asked in every case, so that the operator hears of a blocked group even before it is
    // under test.
    cdsVerifSoliGrupModel->setData(Pacote(
        ChamaServidor(QStringLiteral("VerificaModelagemSoliGrup"), {codigoGrupo()}), QStringLiteral("VerificaModelagemSoliGrup")));
    const bool modelagemHomologada = cdsVerifSoliGrupModel->IsEmpty();
    if (!modelagemHomologada && mostraMensagem)
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("SOLI_PROJ_N_OK"),
                                         {cdsVerifSoliGrupModel->FieldByName(QStringLiteral("NRSOLISERV")).AsString()}),
                           false);

    // Groups homologated together share one release.
    cdsGrupoAux->CopyFrom(*cdsGrupo);
    cdsGrupoAux->ApplyFilter(QStringLiteral("IDMARCADO = 'S'"));
    const bool mesmaRelease = cdsGrupoAux->IsEmpty()
        || cdsGrupoAux->FieldByName(kRelease).AsString() == cdsGrupo->FieldByName(kRelease).AsString();

    return emTeste && modelagemHomologada && mesmaRelease;
}

void TdmGrupSoliHom::MarcaGrupo()
{
    // A group row being typed into is finished by its own commands first.
    if (cdsGrupo->IsEmpty() || cdsGrupo->State() != dsBrowse)
        return;
    if (!PodeMarcarGrupo(true))
        return;
    TField marcado = cdsGrupo->FieldByName(kMarcado);
    DetachedEvent save(cdsGrupo->AfterPost);
    cdsGrupo->Edit();
    marcado.setAsString(marcado.AsString() != u"S" ? QStringLiteral("S") : QStringLiteral("N"));
    cdsGrupo->Post();
}

void TdmGrupSoliHom::MarcaTodosGrupos()
{
    if (cdsGrupo->IsEmpty() || cdsGrupo->State() != dsBrowse)
        return;
    const QString lembrado = codigoGrupo();
    cdsGrupo->DisableControls();
    {
        // The walk neither saves nor reads each group's requests: the current group is the
        // same again at the end.
        DetachedEvent save(cdsGrupo->AfterPost);
        DetachedEvent scroll(cdsGrupo->AfterScroll);
        try {
            TField marcado = cdsGrupo->FieldByName(kMarcado);
            std::optional<QString> novoValor;
            for (cdsGrupo->First(); !cdsGrupo->Eof() && !novoValor; cdsGrupo->Next()) {
                if (PodeMarcarGrupo(false))
                    novoValor = marcado.AsString() == u"S" ? QStringLiteral("N") : QStringLiteral("S");
            }
            if (novoValor) {
                for (cdsGrupo->First(); !cdsGrupo->Eof(); cdsGrupo->Next()) {
                    if (!PodeMarcarGrupo(false))
                        continue;
                    cdsGrupo->Edit();
                    marcado.setAsString(*novoValor);
                    cdsGrupo->Post();
                }
            }
        } catch (...) {
            cdsGrupo->Locate(kCdGrupHomol, lembrado, loCaseInsensitive);
            cdsGrupo->EnableControls();
            throw;
        }
        cdsGrupo->Locate(kCdGrupHomol, lembrado, loCaseInsensitive);
    }
    cdsGrupo->EnableControls();
}
