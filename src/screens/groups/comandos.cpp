// Command states of the homologation screen, the lock of a screen that may not change
// data, what the grids allow to be typed, and the keys of the grids.

#include "screens/groups/frmgrupsolihom.h"

#include <QAction>
#include <QKeyEvent>
#include <QTabWidget>

namespace {

const QString kMarcado = QStringLiteral("IDMARCADO");

void enablePages(QTabWidget *pages, std::initializer_list<QWidget *> which, bool enabled)
{
    for (QWidget *page : which)
        pages->setTabEnabled(pages->indexOf(page), enabled);
}

bool isDecisionFlag(const QString &field)
{
    return field == u"IDHOMOLSOL" || field == u"IDENCSOLPATCREG" || field == u"IDRETSOLERROPRO";
}

}  // namespace

void TfrmGrupSoliHom::LigaEventos()
{
    dm->AntesDaTrocaDeGrupo = [this] { AntesDaTrocaDeGrupo(); };
    dm->DepoisDaTrocaDeGrupo = [this] { DepoisDaTrocaDeGrupo(); };
    dm->AtualizaDados = [this] { sbtVerificarClick(); };
    dtsSoli->OnStateChange = [this](TDataSource &) { dtsSoliStateChange(); };
    dtsArq->OnStateChange = [this](TDataSource &) { dtsArqStateChange(); };

    dbgPadrao->OnCellClick = [this](TDBGrid &grid) {
        if (grid.SelectedField() == kMarcado)
            dm->MarcaGrupo();
    };
    dbgPadrao->OnTitleClick = [this](TDBGrid &grid, int column) {
        if (column == grid.columnOfField(kMarcado))
            dm->MarcaTodosGrupos();
    };
    for (TDBGrid *grid : {dbgPadrao, dbgSoli})
        grid->OnColEnter = [this](TDBGrid &entered) { AjustaEdicaoDaColuna(entered); };
    for (TDBGrid *grid : {dbgSoli, dbgArq, dbgArqLib})
        grid->OnKeyDown = [this](TDBGrid &pressed, QKeyEvent *event) { return dbgPadraoKeyDown(pressed, event); };
    // Moving off a row still being typed asks as Cancelar does; No keeps the cursor on it.
    for (TDBGrid *grid : {dbgPadrao, dbgSoli}) {
        grid->OnLeavePendingRow = [this](TDBGrid &left) {
            Dataset *dataset = left.dataSet();
            if (!PerguntaCancelamento(*dataset))
                return false;
            dataset->Cancel();
            return true;
        };
    }
}

// ====================================================================== command states

void TfrmGrupSoliHom::ComandosPadrao(bool confirmar, bool incluir, bool alterar, bool excluir, const Dataset &dataset)
{
    const bool browse = dataset.State() == dsBrowse;
    mnuConfirmar->setEnabled(confirmar);
    mnuCancelar->setEnabled(confirmar);
    mnuIncluir->setEnabled(incluir);
    mnuAlterar->setEnabled(alterar);
    mnuExcluir->setEnabled(excluir);
    mnuProcurar->setEnabled(browse && !dataset.IsEmpty());
    mnuVerificar->setEnabled(browse);
    // Moving to another group while a row is pending would post it half-typed or drop it.
    dbnPadrao->setEnabled(browse && dm->cdsGrupo->State() == dsBrowse);
}

void TfrmGrupSoliHom::ControlaBotoesGrupo()
{
    const bool browse = dm->cdsGrupo->State() == dsBrowse;
    const bool filled = !dm->cdsGrupo->IsEmpty();
    ComandosPadrao(!browse && dm->boEditavel, browse && dm->boEditavel, browse && filled && dm->boEditavel,
                   browse && filled && dm->boEditavel && dm->statusGrupo() == u"001", *dm->cdsGrupo);
    const bool outrasPaginas = browse && filled;
    enablePages(pgcPadrao, {tshSoli, tshArq, tshArqLib}, outrasPaginas);
    mnuSoli->setEnabled(outrasPaginas);
    mnuArq->setEnabled(outrasPaginas);
    ControlaBotoesTramita();
}

void TfrmGrupSoliHom::ControlaBotoesSoli()
{
    const DataSetState state = dm->cdsSoli->State();
    const bool browse = state == dsBrowse;
    // Requests that could not be read are not added to nor removed from.
    const bool pendente = dm->statusGrupo() == u"001" && m_dadosDoGrupoLidos;
    ComandosPadrao(state == dsInsert && dm->boEditavel, browse && dm->boEditavel && pendente, false,
                   browse && !dm->cdsSoli->IsEmpty() && dm->boEditavel && pendente, *dm->cdsSoli);
    // A request being added is finished (or cancelled) before the operator leaves the
    // page: reading another page replaces the requests.
    const bool outrasPaginas = state != dsInsert;
    enablePages(pgcPadrao, {tshPadrao, tshArq, tshArqLib}, outrasPaginas);
    mnuGrupo->setEnabled(outrasPaginas);
    mnuArq->setEnabled(outrasPaginas);
    ControlaBotoesTramita();
}

void TfrmGrupSoliHom::ControlaBotoesArq()
{
    ComandosPadrao(false, false, false, false, *dm->cdsArq);
    ControlaBotoesTramita();
}

void TfrmGrupSoliHom::ControlaBotoesTramita()
{
    mnuVoltaFase->setEnabled(false);
    const bool grupoGravado = !dm->cdsGrupo->IsEmpty() && dm->cdsGrupo->State() != dsInsert;
    mnuLinhaDoTempo->setEnabled(grupoGravado);
    mnuLogTramitacao->setEnabled(grupoGravado);
    mnuAvancaFase->setEnabled(dm->boEditavel && !dm->cdsGrupo->IsEmpty() && dm->statusGrupo() != u"007"
                              && !mnuCancelar->isEnabled());
}

void TfrmGrupSoliHom::ControlaBotoesDaPagina()
{
    QWidget *page = pgcPadrao->currentWidget();
    if (page == tshSoli)
        ControlaBotoesSoli();
    else if (page == tshArq || page == tshArqLib)
        ControlaBotoesArq();
    else
        ControlaBotoesGrupo();
}

void TfrmGrupSoliHom::dtsPadraoStateChange()
{
    if (pgcPadrao->currentWidget() == tshPadrao)
        ControlaBotoesGrupo();
}

void TfrmGrupSoliHom::dtsSoliStateChange()
{
    // A request is changed only through its decision flags, and only while its group is
    // under test ("006"); any other edit is undone at once.
    if (dm->cdsSoli->State() == dsEdit && (dm->statusGrupo() != u"006" || !isDecisionFlag(dbgSoli->SelectedField()))) {
        dm->cdsSoli->Cancel();
        return;
    }
    if (pgcPadrao->currentWidget() == tshSoli)
        ControlaBotoesSoli();
}

void TfrmGrupSoliHom::dtsArqStateChange()
{
    if (pgcPadrao->currentWidget() == tshArq)
        ControlaBotoesArq();
}

// ====================================================================== lock, typing and keys

void TfrmGrupSoliHom::TravaTela()
{
    dbgPadrao->setReadOnly(true);
    dbgSoli->setReadOnly(true);
}

void TfrmGrupSoliHom::AjustaEdicaoDaColuna(TDBGrid &grid)
{
    // Marks and decision flags change by a click, never by typing.
    const QString field = grid.SelectedField();
    if (&grid == dbgSoli)
        grid.setEditing(!isDecisionFlag(field));
    else if (&grid == dbgPadrao)
        grid.setEditing(field != kMarcado);
}

bool TfrmGrupSoliHom::dbgPadraoKeyDown(TDBGrid &grid, QKeyEvent *event)
{
    if (TfrmPadraoGrid::dbgPadraoKeyDown(grid, event))
        return true;
    // Requests are added and removed only while their group is pending; a locked screen
    // stays locked.
    if (pgcPadrao->currentWidget() == tshSoli)
        dbgSoli->setReadOnly(!dm->boEditavel || dm->statusGrupo() != u"001");
    if (event->key() == Qt::Key_Space) {
        const Qt::KeyboardModifiers modifiers =
            event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (modifiers == Qt::ShiftModifier) {
            dm->MarcaGrupo();
            return true;
        }
        if (modifiers == Qt::ControlModifier) {
            dm->MarcaTodosGrupos();
            return true;
        }
    }
    return false;
}
