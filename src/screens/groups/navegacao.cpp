// Following the operator from group to group and from page to page, the group filter and
// the page refresh; the data module reads and saves.

#include "screens/groups/frmgrupsolihom.h"

#include "host/consiste.h"

#include <QAction>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>



// ====================================================================== loading

void TfrmGrupSoliHom::GetInitialData() { dm->GetInitialData(); }

void TfrmGrupSoliHom::GetUserPass() { dm->GetUserPass(); }

void TfrmGrupSoliHom::ConexaoPermanente(bool conecta) { dm->ConexaoPermanente(conecta); }

void TfrmGrupSoliHom::AntesDaTrocaDeGrupo()
{
    // What the page lists belongs to the group it was read for: when the new group's read
    // fails, the page shows nothing rather than the previous group's rows under the new name.
    for (Dataset *lista : {dm->cdsSoli, dm->cdsArq, dm->cdsArqLib}) {
        if (lista->State() == dsBrowse && !lista->IsEmpty())
            lista->EmptyDataSet();
    }
    // Until the new group's rows arrive, the pages hold nothing read.
    m_dadosDoGrupoLidos = false;
    MostraLeitura();
    QWidget *page = pgcPadrao->currentWidget();
    if (page == tshPadrao)
        ControlaBotoesGrupo();
    else if (page == tshSoli)
        ControlaBotoesSoli();
}

void TfrmGrupSoliHom::DepoisDaTrocaDeGrupo()
{
    if (pgcPadrao->currentWidget() == tshArqLib) {
        ControlaBotoesArq();
        dm->CarregaArquivosLiberados();
    }
    m_dadosDoGrupoLidos = true;
    MostraLeitura();
    ControlaBotoesDaPagina();
}

void TfrmGrupSoliHom::LePagina(const std::function<void()> &read)
{
    m_dadosDoGrupoLidos = false;
    try {
        read();
    } catch (...) {
        MostraLeitura();
        ControlaBotoesDaPagina();
        throw;
    }
    m_dadosDoGrupoLidos = true;
    MostraLeitura();
}

void TfrmGrupSoliHom::MostraLeitura()
{
    AtualizaTotalSoli();
    const bool paginaDoGrupo = pgcPadrao->currentWidget() != tshPadrao;
    lblLeitura->setVisible(!m_dadosDoGrupoLidos && paginaDoGrupo);
}

// ====================================================================== pages

void TfrmGrupSoliHom::MarcaMenuDaPagina(QWidget *page)
{
    mnuGrupo->setChecked(page == tshPadrao);
    mnuSoli->setChecked(page == tshSoli);
    mnuArq->setChecked(page == tshArq);
    const bool soli = page == tshSoli;
    lblTotalSoli->setVisible(soli);
    lblQtdeSoli->setVisible(soli);
    MostraLeitura();
    AjustaRodape();
}

void TfrmGrupSoliHom::pgcPadraoChange()
{
    QWidget *page = pgcPadrao->currentWidget();
    MarcaMenuDaPagina(page);
    if (page == tshPadrao) {
        ControlaBotoesGrupo();
        const QString lembrado = dm->codigoGrupo();
        dm->cdsGrupo->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("getGrupo"), {QString()}), QStringLiteral("getGrupo")));
        if (!lembrado.isEmpty() && dm->codigoGrupo() != lembrado)
            dm->cdsGrupo->Locate(QStringLiteral("CDGRUPHOMOL"), lembrado);
    } else if (page == tshSoli) {
        ControlaBotoesSoli();
        LePagina([this] {
            dm->cdsSoli->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("GetSoli"), {dm->codigoGrupo()}), QStringLiteral("GetSoli")));
        });
        // The commands follow what was read (Excluir and Procurar need rows).
        ControlaBotoesSoli();
    } else if (page == tshArq) {
        ControlaBotoesArq();
        LePagina([this] {
            dm->cdsArq->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("getArq"), {dm->codigoGrupo()}), QStringLiteral("getArq")));
        });
        ControlaBotoesArq();
    } else if (page == tshArqLib) {
        ControlaBotoesArq();
        LePagina([this] {
            dm->cdsSoli->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("GetSoli"), {dm->codigoGrupo()}), QStringLiteral("GetSoli")));
            dm->CarregaArquivosLiberados();
        });
    }
    MostraLeitura();
}

void TfrmGrupSoliHom::MostraPagina(QWidget *page)
{
    m_trocandoPaginaPeloMenu = true;
    pgcPadrao->setCurrentWidget(page);
    m_trocandoPaginaPeloMenu = false;
    MarcaMenuDaPagina(page);
    ControlaBotoesDaPagina();
}

void TfrmGrupSoliHom::mnuGrupoClick(QAction *entry)
{
    // Chosen from the menu, the page is shown as it stands: its data is not read again, but
    // its commands are those of the page now shown.
    MostraPagina(entry == mnuSoli ? tshSoli : entry == mnuArq ? tshArq : tshPadrao);
}

void TfrmGrupSoliHom::dbnPadraoClick(NavigateBtn button)
{
    Q_UNUSED(button);
    pgcPadraoChange();
}

void TfrmGrupSoliHom::sbtVerificarClick()
{
    QWidget *page = pgcPadrao->currentWidget();
    const bool lidosAntes = m_dadosDoGrupoLidos;
    if (page == tshPadrao) {
        GetInitialData();
        if (m_abertaSemDados) {
            // The first data the screen gets: it is set up as a fresh opening sets it up.
            m_abertaSemDados = false;
            dbgPadrao->setReadOnly(!dm->boEditavel);
            dbgSoli->setReadOnly(!dm->boEditavel);
            pgcPadraoChange();
        }
    } else if (page == tshSoli) {
        LePagina([this] {
            dm->cdsSoli->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("GetSoli"), {dm->codigoGrupo()}), QStringLiteral("GetSoli")));
        });
    } else if (page == tshArq) {
        LePagina([this] {
            dm->cdsArq->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("getArq"), {dm->codigoGrupo()}), QStringLiteral("getArq")));
        });
    } else if (page == tshArqLib) {
        LePagina([this] {
            dm->cdsSoli->setData(dm->Pacote(dm->ChamaServidor(QStringLiteral("GetSoli"), {dm->codigoGrupo()}), QStringLiteral("GetSoli")));
            dm->CarregaArquivosLiberados();
        });
    }
    // The command states stay as they are, but for the editing commands that come back
    // once a page that could not be read is read.
    if (page == tshSoli && m_dadosDoGrupoLidos != lidosAntes)
        ControlaBotoesSoli();
}

// ====================================================================== filter and save

void TfrmGrupSoliHom::tbtPendenteClick()
{
    QString filtro;
    if (!(tbtPendente->isChecked() && tbtAndamento->isChecked() && tbtHomologado->isChecked())) {
        QStringList partes;
        if (tbtPendente->isChecked())
            partes << QStringLiteral("IDSTGRUPHOM = '001'");
        if (tbtAndamento->isChecked())
            partes << QStringLiteral("IDSTGRUPHOM IN ('002','003','004','005','006' )");
        if (tbtHomologado->isChecked())
            partes << QStringLiteral("IDSTGRUPHOM = '007'");
        filtro = partes.isEmpty() ? QStringLiteral("0=1") : partes.join(QStringLiteral(" OR "));
    }
    dm->cdsGrupo->ApplyFilter(filtro);
}
