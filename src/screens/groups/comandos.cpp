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
    cdsGrupo->AfterScroll = [this](Dataset &) { cdsGrupoAfterScroll(); };
    cdsGrupo->AfterPost = [this](Dataset &) { cdsGrupoAfterPost(); };
    cdsGrupo->AfterDelete = [this](Dataset &) { cdsGrupoAfterPost(); };
    dtsSoli->OnStateChange = [this](TDataSource &) { dtsSoliStateChange(); };
    dtsArq->OnStateChange = [this](TDataSource &) { dtsArqStateChange(); };

    dbgPadrao->OnCellClick = [this](TDBGrid &grid) {
        if (grid.SelectedField() == kMarcado)
            MarcaGrupo();
    };
    dbgPadrao->OnTitleClick = [this](TDBGrid &grid, int column) {
        if (column == grid.columnOfField(kMarcado))
            MarcaTodosGrupos();
    };
    for (TDBGrid *grid : {dbgPadrao, dbgSoli})
        grid->OnColEnter = [this](TDBGrid &entered) { AjustaEdicaoDaColuna(entered); };
    for (TDBGrid *grid : {dbgSoli, dbgArq, dbgArqLib})
        grid->OnKeyDown = [this](TDBGrid &pressed, QKeyEvent *event) { return dbgPadraoKeyDown(pressed, event); };
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
}

void TfrmGrupSoliHom::ControlaBotoesGrupo()
{
    const bool browse = cdsGrupo->State() == dsBrowse;
    const bool filled = !cdsGrupo->IsEmpty();
    ComandosPadrao(!browse && boEditavel, browse && boEditavel, browse && filled && boEditavel,
                   browse && filled && boEditavel && statusGrupo() == u"001", *cdsGrupo);
    const bool outrasPaginas = browse && filled;
    enablePages(pgcPadrao, {tshSoli, tshArq, tshArqLib}, outrasPaginas);
    mnuSoli->setEnabled(outrasPaginas);
    mnuArq->setEnabled(outrasPaginas);
    ControlaBotoesTramita();
}

void TfrmGrupSoliHom::ControlaBotoesSoli()
{
    const DataSetState state = cdsSoli->State();
    const bool browse = state == dsBrowse;
    const bool pendente = statusGrupo() == u"001";
    ComandosPadrao(state == dsInsert && boEditavel, browse && boEditavel && pendente, false,
                   browse && !cdsSoli->IsEmpty() && boEditavel && pendente, *cdsSoli);
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
    ComandosPadrao(false, false, false, false, *cdsArq);
    ControlaBotoesTramita();
}

void TfrmGrupSoliHom::ControlaBotoesTramita()
{
    mnuVoltaFase->setEnabled(false);
    mnuAvancaFase->setEnabled(boEditavel && !cdsGrupo->IsEmpty() && statusGrupo() != u"007"
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
    if (cdsSoli->State() == dsEdit && (statusGrupo() != u"006" || !isDecisionFlag(dbgSoli->SelectedField()))) {
        cdsSoli->Cancel();
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
        dbgSoli->setReadOnly(!boEditavel || statusGrupo() != u"001");
    if (event->key() == Qt::Key_Space) {
        const Qt::KeyboardModifiers modifiers =
            event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (modifiers == Qt::ShiftModifier) {
            MarcaGrupo();
            return true;
        }
        if (modifiers == Qt::ControlModifier) {
            MarcaTodosGrupos();
            return true;
        }
    }
    return false;
}
