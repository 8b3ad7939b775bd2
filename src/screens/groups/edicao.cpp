// Editing on the homologation screen: groups (name and product) on the groups page,
// requests added and removed on the requests page, the decision flags of a group under
// test with their justification, the validations with their messages and the saves.

#include "screens/groups/frmgrupsolihom.h"

#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "workflow/frmjusthomol.h"
#include "workflow/verificacoes.h"

#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>

namespace {

const QString kCdGrupHomol = QStringLiteral("CDGRUPHOMOL");
const QString kDsGrupHomol = QStringLiteral("DSGRUPHOMOL");
const QString kCdArvProd = QStringLiteral("CDARVPROD");
const QString kCdProduto = QStringLiteral("CDPRODUTO");
const QString kNmProduto = QStringLiteral("NMPRODUTO");
const QString kNrSoliServ = QStringLiteral("NRSOLISERV");
const QString kCdFilial = QStringLiteral("CDFILIAL");
const QString kMarcado = QStringLiteral("IDMARCADO");

const QStringList kDecisoes = {QStringLiteral("IDHOMOLSOL"), QStringLiteral("IDENCSOLPATCREG"),
                               QStringLiteral("IDRETSOLERROPRO")};

// A validation of the screen: the error box, then the silent stop.
[[noreturn]] void recusa(const QString &text)
{
    Consiste::MensErro(text, false);
    Abort();
}

// A code with its name; a name not yet typed is left out, never shown as a dash with
// nothing after it.
QString comNome(const QString &codigo, const QString &nome)
{
    return nome.trimmed().isEmpty() ? codigo : codigo + QStringLiteral(" - ") + nome;
}

void copia(Dataset &para, Dataset &de, const QStringList &fields)
{
    for (const QString &field : fields)
        para.FieldByName(field).setAsString(de.FieldByName(field).AsString());
}

}  // namespace

void TfrmGrupSoliHom::LigaEdicao()
{
    Dataset *grupos = dm->cdsGrupo;
    Dataset *solicitacoes = dm->cdsSoli;
    grupos->OnNewRecord = [this](Dataset &) { cdsGrupoNewRecord(); };
    grupos->AfterEdit = [this](Dataset &) {
        m_grupoAntesDaEdicao = valoresDoGrupo(true);
        m_produtoAntesDaEdicao = dm->grupo(kCdArvProd);
    };
    grupos->BeforePost = [this](Dataset &) { cdsGrupoBeforePost(); };
    solicitacoes->OnNewRecord = [this](Dataset &) { cdsSoliNewRecord(); };
    solicitacoes->BeforePost = [this](Dataset &) { cdsSoliBeforePost(); };
    solicitacoes->AfterPost = [this](Dataset &) { cdsSoliAfterPost(); };
    solicitacoes->AfterDelete = [this](Dataset &) { cdsSoliAfterPost(); };

    // The decision of a request is justified in the dialog; a dialog left without a stored
    // justification leaves the decision as it was.
    dm->CriaJustificativa = [this](const QString &filial, const QString &grupo, const QString &solicitacao,
                                   const QString &operador) {
        if (!::CriaJustificativa(*dm, filial, grupo, solicitacao, operador, m_assuntoDaJustificativa))
            Abort();
    };

    dbgPadrao->OnEditButtonClick = [this](TDBGrid &) { dbgPadraoEditButtonClick(); };
    dbgSoli->OnEditButtonClick = [this](TDBGrid &) { dbgSoliEditButtonClick(); };
    dbgSoli->OnCellClick = [this](TDBGrid &) { dbgSoliCellClick(); };
    // Leaving the product column of a group being typed, or the number column of a new
    // request, for another column of the same row validates what was typed there (moving to
    // another row posts the row, which validates it anyway).
    const auto onLeaving = [this](TDBGrid *grid, const QString &field, std::function<bool()> pending,
                                  std::function<void()> validate) {
        connect(grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [grid, field, pending, validate](const QModelIndex &current, const QModelIndex &previous) {
                    if (!previous.isValid() || !current.isValid() || current.row() != previous.row()
                        || previous.column() == current.column() || previous.column() != grid->columnOfField(field)
                        || !pending())
                        return;
                    if (host::runGuarded(validate))
                        return;
                    // Refused: the cursor and the keys go back to what must be corrected.
                    QMetaObject::invokeMethod(grid, [grid, previous] {
                        if (previous.row() < grid->model()->rowCount())
                            grid->setCurrentIndex(previous);
                        grid->activateWindow();
                        grid->setFocus();
                    }, Qt::QueuedConnection);
                });
    };
    onLeaving(
        dbgPadrao, kCdArvProd, [this] { return dm->cdsGrupo->State() != dsBrowse; }, [this] { VD_Prod(); });
    onLeaving(
        dbgSoli, kNrSoliServ, [this] { return dm->cdsSoli->State() == dsInsert; }, [this] { VD_Ins_Soli(); });
    connect(solicitacoes, &Dataset::layoutReset, this, [this] { AtualizaTotalSoli(); });
    connect(solicitacoes, &Dataset::rowChanged, this, [this] { AtualizaTotalSoli(); });
}

void TfrmGrupSoliHom::AtualizaTotalSoli()
{
    // A count of rows that were never read would read as a group without requests.
    lblQtdeSoli->setText(m_dadosDoGrupoLidos ? QString::number(dm->cdsSoli->RecordCount()) : QStringLiteral("não lido"));
}

QStringList TfrmGrupSoliHom::valoresDoGrupo(bool semMarca)
{
    QStringList values;
    Dataset &grupos = *dm->cdsGrupo;
    for (int field = 0; field < grupos.FieldCount(); ++field) {
        if (semMarca && grupos.Fields(field).FieldName().compare(kMarcado, Qt::CaseInsensitive) == 0)
            continue;
        values << grupos.Fields(field).AsString();
    }
    return values;
}

Dataset *TfrmGrupSoliHom::dataSetEditavel() const
{
    QWidget *page = pgcPadrao->currentWidget();
    if (page == tshPadrao)
        return dm->cdsGrupo;
    if (page == tshSoli)
        return dm->cdsSoli;
    return nullptr;
}

// ====================================================================== commands

void TfrmGrupSoliHom::sbtIncluirClick()
{
    Dataset *dataset = dataSetEditavel();
    if (!dataset || dataset->State() != dsBrowse)
        return;
    if (dataset == dm->cdsGrupo)
        IncluiLinha(*dataset, dbgPadrao, kDsGrupHomol);
    else
        IncluiLinha(*dataset, dbgSoli, kNrSoliServ);
}

void TfrmGrupSoliHom::IncluiLinha(Dataset &dataset, TDBGrid *grid, const QString &primeiraColuna)
{
    dataset.Append();
    const int row = dataset.gridCurrentRow();
    const int column = grid->columnOfField(primeiraColuna);
    if (row >= 0 && column >= 0) {
        const QModelIndex cell = grid->model()->index(row, column);
        grid->setCurrentIndex(cell);
        grid->scrollTo(cell);
    }
    grid->setFocus();
}

QString TfrmGrupSoliHom::NomeDaLinha(Dataset &dataset)
{
    if (&dataset == dm->cdsSoli) {
        const QString numero = dataset.FieldByName(kNrSoliServ).AsString();
        return numero.isEmpty()
            ? QStringLiteral("Solicitação nova do grupo %1").arg(dm->codigoGrupo())
            : QStringLiteral("Solicitação: ") + comNome(numero, dataset.FieldByName(QStringLiteral("DSREFESOLI")).AsString());
    }
    const QString codigo = dm->codigoGrupo();
    const QString nome = dm->grupo(kDsGrupHomol);
    if (codigo.isEmpty())
        return nome.trimmed().isEmpty() ? QStringLiteral("Grupo novo, ainda sem nome") : QStringLiteral("Grupo novo: %1").arg(nome);
    return QStringLiteral("Grupo: ") + comNome(codigo, nome);
}

bool TfrmGrupSoliHom::PerguntaCancelamento(Dataset &dataset)
{
    return hostUi().showMessage(msgPadraoBase.Msg(QStringLiteral("Canc")) + QStringLiteral("\r\n\r\n") + NomeDaLinha(dataset),
                                DialogType::Confirmation, mbYes | mbNo)
        == mbYes;
}

void TfrmGrupSoliHom::sbtAlterarClick()
{
    if (pgcPadrao->currentWidget() != tshPadrao)
        return;
    if (Dataset *grupos = dm->cdsGrupo; grupos->State() == dsBrowse && !grupos->IsEmpty())
        grupos->Edit();
}

void TfrmGrupSoliHom::sbtExcluirClick()
{
    Dataset *dataset = dataSetEditavel();
    if (!dataset || dataset->State() != dsBrowse || dataset->IsEmpty())
        return;
    if (hostUi().showMessage(msgPadraoBase.Msg(QStringLiteral("Excl")) + QStringLiteral("\r\n\r\n") + NomeDaLinha(*dataset),
                             DialogType::Confirmation, mbYes | mbNo)
        != mbYes)
        return;
    // The commands follow what the grid shows, also after a refused delete.
    const auto comandos = qScopeGuard([this] { ControlaBotoesDaPagina(); });
    if (dataset == dm->cdsSoli) {
        ExcluiSolicitacao();
        return;
    }
    // A refused group delete puts the group back (the group save), and the cursor on it.
    const QString grupo = dm->codigoGrupo();
    try {
        dataset->Delete();
    } catch (...) {
        host::runGuarded([this, &grupo] { dm->LocalizaGrupo(grupo); });
        throw;
    }
}

void TfrmGrupSoliHom::ExcluiSolicitacao()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    {
        DetachedEvent semGravar(solicitacoes.AfterDelete);
        solicitacoes.Delete();
    }
    const ServerAnswer answer = dm->Chama(QStringLiteral("setSoli"), {solicitacoes.Delta()}, QStringLiteral("Atualizando"));
    if (answer.ok) {
        solicitacoes.MergeChangeLog();
        return;
    }
    // The request is still in the group: it comes back to the grid, as the server now holds
    // it when the server can be read.
    solicitacoes.CancelUpdates();
    host::runGuarded([this] {
        LePagina([this] {
            dm->cdsSoli->setData(
                dm->Pacote(dm->ChamaServidor(QStringLiteral("GetSoli"), {dm->codigoGrupo()}), QStringLiteral("GetSoli")));
        });
    });
    Consiste::MensErro(answer.error + QStringLiteral("\r\n\r\nA solicitação não foi excluída e continua no grupo."), true);
}

void TfrmGrupSoliHom::sbtConfirmarClick()
{
    Consiste::RefreshGrid(this);
    Dataset *dataset = dataSetEditavel();
    if (!dataset || dataset->State() == dsBrowse)
        return;
    if (dataset == dm->cdsGrupo)
        ConfirmaGrupo();
    else
        ConfirmaSolicitacao();
}

namespace {

const QString kNaoGravado = QStringLiteral("As alterações não foram gravadas. Os valores digitados continuam na linha: "
                                           "corrija-os ou confirme de novo, ou cancele a alteração.");

QList<QVariant> valoresDaLinha(Dataset &dataset)
{
    QList<QVariant> values;
    for (int field = 0; field < dataset.FieldCount(); ++field)
        values << dataset.currentValue(field);
    return values;
}

}  // namespace

void TfrmGrupSoliHom::ConfirmaGrupo()
{
    dm->ComplementoDeFalha = kNaoGravado;
    const auto limpa = qScopeGuard([this] { dm->ComplementoDeFalha.clear(); });
    Dataset &grupos = *dm->cdsGrupo;
    const DataSetState estado = grupos.State();
    const QString grupo = dm->codigoGrupo();
    {
        // A refused check leaves the row in edit with what was typed.
        DetachedEvent semGravar(grupos.AfterPost);
        grupos.Post();
    }
    const QList<QVariant> valores = valoresDaLinha(grupos);
    try {
        dm->GravaGrupos(grupo);
    } catch (const EHomologa &erro) {
        RestauraLinha(grupos, estado, grupo, valores);
        Consiste::MensErro(erro.message() + QStringLiteral("\r\n\r\n") + kNaoGravado, true);
    }
}

void TfrmGrupSoliHom::ConfirmaSolicitacao()
{
    dm->ComplementoDeFalha = kNaoGravado;
    const auto limpa = qScopeGuard([this] { dm->ComplementoDeFalha.clear(); });
    Dataset &solicitacoes = *dm->cdsSoli;
    const DataSetState estado = solicitacoes.State();
    {
        DetachedEvent semGravar(solicitacoes.AfterPost);
        solicitacoes.Post();
    }
    if (solicitacoes.ChangeCount() == 0)
        return;
    const QList<QVariant> valores = valoresDaLinha(solicitacoes);
    const ServerAnswer answer =
        dm->Chama(QStringLiteral("setSoli"), {solicitacoes.Delta()}, QStringLiteral("Atualizando"));
    if (answer.ok) {
        solicitacoes.MergeChangeLog();
        return;
    }
    RestauraLinha(solicitacoes, estado, dm->codigoGrupo(), valores);
    Consiste::MensErro(answer.error + QStringLiteral("\r\n\r\n") + kNaoGravado, true);
}

void TfrmGrupSoliHom::RestauraLinha(Dataset &dataset, DataSetState estado, const QString &grupo,
                                    const QList<QVariant> &valores)
{
    // Nothing is read while the row is put back: the server may be the reason of the failure.
    DetachedEvent semLer(dataset.AfterScroll);
    dataset.CancelUpdates();
    if (estado == dsInsert) {
        dataset.Append();
    } else {
        if (&dataset == dm->cdsGrupo)
            dataset.Locate(kCdGrupHomol, grupo, loCaseInsensitive);
        dataset.Edit();
    }
    for (int field = 0; field < dataset.FieldCount() && field < valores.size(); ++field)
        dataset.Fields(field).setValue(valores[field]);
}

void TfrmGrupSoliHom::sbtCancelarClick()
{
    Dataset *dataset = dataSetEditavel();
    if (!dataset || dataset->State() == dsBrowse)
        return;
    if (!PerguntaCancelamento(*dataset))
        return;
    dataset->Cancel();
    pgcPadraoChange();
}

void TfrmGrupSoliHom::closeEvent(QCloseEvent *event)
{
    if (emOperacao()) {
        event->ignore();
        hostUi().showMessage(QStringLiteral("Aguarde o fim da operação em andamento para fechar a tela."),
                             DialogType::Information, mbOK);
        return;
    }
    for (Dataset *dataset : {dm->cdsGrupo, dm->cdsSoli}) {
        if (dataset->State() == dsBrowse)
            continue;
        if (!PerguntaCancelamento(*dataset)) {
            event->ignore();
            return;
        }
        dataset->Cancel();
    }
    TfrmPadraoGrid::closeEvent(event);
}

// ====================================================================== groups

void TfrmGrupSoliHom::cdsGrupoNewRecord() { dm->cdsGrupo->FieldByName(QStringLiteral("IDSTGRUPHOM")).setAsString(QStringLiteral("001")); }

void TfrmGrupSoliHom::dbgPadraoEditButtonClick()
{
    if (!dm->boEditavel)
        return;
    dm->CarregaPacote(dm->cdsProd, QStringLiteral("getProd"), {Horvane::FiliProc(), QString()});
    if (!Pesquisa::Pesquisar(*dm->cdsProd, msgPadrao.Msg(QStringLiteral("Prod")), false, true))
        return;
    Dataset &grupos = *dm->cdsGrupo;
    if (grupos.State() == dsBrowse) {
        if (grupos.IsEmpty())
            grupos.Insert();
        else
            grupos.Edit();
    }
    copia(grupos, *dm->cdsProd, {kCdProduto, kNmProduto, kCdArvProd});
}

void TfrmGrupSoliHom::VD_Prod()
{
    Dataset &grupos = *dm->cdsGrupo;
    const QString arvore = dm->grupo(kCdArvProd);
    if (Consiste::EmptyString(arvore))
        return;
    if (grupos.State() == dsEdit && arvore.compare(m_produtoAntesDaEdicao, Qt::CaseInsensitive) != 0
        && !dm->cdsSoli->IsEmpty())
        RecusaGrupo(msgPadrao.Msg(QStringLiteral("N_PROD_CHANGE")));
    dm->CarregaPacote(dm->cdsProd, QStringLiteral("getProd"), {Horvane::FiliProc(), arvore});
    if (dm->cdsProd->IsEmpty())
        RecusaGrupo(msgPadrao.Msg(QStringLiteral("PROD_INV")));
    if (grupos.State() == dsBrowse) {
        if (grupos.IsEmpty())
            grupos.Insert();
        else
            grupos.Edit();
    }
    copia(grupos, *dm->cdsProd, {kCdProduto, kNmProduto, kCdArvProd});
}

void TfrmGrupSoliHom::cdsGrupoBeforePost()
{
    Dataset &grupos = *dm->cdsGrupo;
    // A mark is the screen's own: posting it is no change of the group to validate.
    if (grupos.State() == dsEdit && valoresDoGrupo(true) == m_grupoAntesDaEdicao)
        return;
    // A check that refuses what was typed discards every pending change of the group list
    // (marks included); a server that cannot be reached refuses nothing, and the row stays
    // as typed.
    m_validandoGrupo = true;
    const auto fim = qScopeGuard([this] { m_validandoGrupo = false; });
    if (Consiste::EmptyString(Consiste::AllTrim(dm->grupo(kDsGrupHomol))))
        RecusaGrupo(msgPadrao.Msg(QStringLiteral("NM_GRUPO_DEVE")));
    if (Consiste::EmptyString(Consiste::AllTrim(dm->grupo(kCdArvProd))))
        RecusaGrupo(msgPadrao.Msg(QStringLiteral("PROD_DEVE")));
    VD_Prod();
}

void TfrmGrupSoliHom::RecusaGrupo(const QString &texto)
{
    if (!m_validandoGrupo)
        recusa(texto);
    Consiste::MensErro(texto + QStringLiteral("\r\n\r\nAs alterações dos grupos que não tinham sido gravadas foram descartadas."),
                       false);
    dm->DescartaAlteracoesGrupo();
    Abort();
}

// ====================================================================== requests

void TfrmGrupSoliHom::cdsSoliNewRecord()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    solicitacoes.FieldByName(QStringLiteral("IDSTSOLIGRUP")).setAsString(QStringLiteral("001"));
    solicitacoes.FieldByName(kCdFilial).setAsString(Horvane::FiliProc());
    solicitacoes.FieldByName(kCdGrupHomol).setAsString(dm->codigoGrupo());
}

void TfrmGrupSoliHom::dbgSoliEditButtonClick()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    // A request is chosen for a new row only; an existing request keeps its number.
    if (!dm->boEditavel || dm->statusGrupo() != u"001" || solicitacoes.State() == dsEdit)
        return;
    dm->CarregaPacote(dm->cdsSoliDisp, QStringLiteral("getSoliDisp"), {dm->grupo(kCdProduto)});
    if (dm->cdsSoliDisp->IsEmpty())
        recusa(msgPadrao.Msg(QStringLiteral("N_SOLI_DISP")));
    if (!Pesquisa::Pesquisar(*dm->cdsSoliDisp, msgPadrao.Msg(QStringLiteral("SoliDisp")), false, true))
        return;
    if (solicitacoes.State() == dsBrowse)
        solicitacoes.Insert();
    copia(solicitacoes, *dm->cdsSoliDisp,
          {kNrSoliServ, QStringLiteral("DSREFESOLI"), kCdFilial, QStringLiteral("TXOBSOLIGER")});
}

void TfrmGrupSoliHom::VD_Ins_Soli()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    TField numero = solicitacoes.FieldByName(kNrSoliServ);
    if (Consiste::EmptyString(Consiste::AllTrim(numero.AsString())))
        return;
    const bool inserindo = solicitacoes.State() == dsInsert;
    if (inserindo)
        numero.setAsString(Consiste::Ajusta(numero.AsString(), 10));
    dm->CarregaPacote(dm->cdsVdSoli, QStringLiteral("getVdInsSoli"),
                      {solicitacoes.FieldByName(kCdFilial).AsString(), numero.AsString(), dm->grupo(kCdProduto)});
    Dataset &encontrada = *dm->cdsVdSoli;
    if (encontrada.IsEmpty())
        recusa(msgPadrao.Msg(QStringLiteral("SOLI_INV")));
    if (!Consiste::EmptyString(encontrada.FieldByName(kCdGrupHomol).AsString()))
        recusa(msgPadrao.Msg(QStringLiteral("SOLI_JA"), {encontrada.FieldByName(kCdGrupHomol).AsString(),
                                                         encontrada.FieldByName(kDsGrupHomol).AsString()}));
    if (inserindo)
        copia(solicitacoes, encontrada, {QStringLiteral("DSREFESOLI"), QStringLiteral("TXOBSOLIGER"), QStringLiteral("CDFASETRAM")});
}

void TfrmGrupSoliHom::cdsSoliBeforePost()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    const QString numero = solicitacoes.FieldByName(kNrSoliServ).AsString();
    if (Consiste::EmptyString(Consiste::AllTrim(numero)))
        recusa(msgPadrao.Msg(QStringLiteral("SOLI_DEVE")));
    if (solicitacoes.State() == dsInsert) {
        VD_Ins_Soli();
        Verificacoes(*dm).Vd_Release_Soli();
    }
    dm->CarregaPacote(dm->cdsItemTrabDesenv, QStringLiteral("GetItemTrabDesenv"),
                      {solicitacoes.FieldByName(kNrSoliServ).AsString()});
    Dataset &comuns = *dm->cdsItemTrabDesenv;
    if (comuns.IsEmpty())
        return;
    QStringList linhas;
    const TField outra = comuns.FieldByName(kNrSoliServ);
    const TField referencia = comuns.FieldByName(QStringLiteral("DSREFESOLI"));
    for (comuns.First(); !comuns.Eof(); comuns.Next())
        linhas << outra.AsString() + QStringLiteral(" - ") + referencia.AsString();
    comuns.First();
    hostUi().showMessage(msgPadrao.Msg(QStringLiteral("SOLI_DESENV")) + QStringLiteral("\r\n\r\n")
                             + linhas.join(QStringLiteral("\r\n")),
                         DialogType::Information, mbOK);
}

void TfrmGrupSoliHom::cdsSoliAfterPost()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    if (solicitacoes.ChangeCount() == 0)
        return;
    // A refused save keeps the change on the screen: the server's text names the request.
    dm->ChamaServidor(QStringLiteral("setSoli"), {solicitacoes.Delta()}, QStringLiteral("Atualizando"));
    solicitacoes.MergeChangeLog();
}

void TfrmGrupSoliHom::dbgSoliCellClick()
{
    Dataset &solicitacoes = *dm->cdsSoli;
    const QString campo = dbgSoli->SelectedField();
    const int qual = int(kDecisoes.indexOf(campo));
    if (qual < 0 || !dm->boEditavel || dm->statusGrupo() != u"006" || solicitacoes.IsEmpty()
        || solicitacoes.State() != dsBrowse)
        return;
    // Another operator may have decided first: nothing is changed on the server (neither the
    // justification nor the flags) from a row that no longer holds what is stored.
    {
        const QString grupo = dm->codigoGrupo();
        Dataset &atual = *dm->cdsSoliAux;
        atual.setData(TdmGrupSoliHom::Pacote(dm->ChamaServidor(QStringLiteral("GetSoli"), {grupo}), QStringLiteral("GetSoli")));
        const QString filial = solicitacoes.FieldByName(kCdFilial).AsString();
        const QString numero = solicitacoes.FieldByName(kNrSoliServ).AsString();
        bool igual = atual.Locate(QStringLiteral("CDFILIAL;NRSOLISERV"), QVariantList{filial, numero});
        for (const QString &field : kDecisoes + QStringList{QStringLiteral("IDSTSOLIGRUP")})
            igual = igual && atual.FieldByName(field).AsString() == solicitacoes.FieldByName(field).AsString();
        if (!igual)
            recusa(QStringLiteral("A solicitação %1/%2 do grupo %3 foi alterada por outro operador depois de lida. Nada foi "
                                  "gravado; use Verificar para ler os dados novamente e refaça a decisão.")
                       .arg(filial, numero, grupo));
    }
    try {
        solicitacoes.Edit();
        if (solicitacoes.State() != dsEdit)
            return;
        TField decisao = solicitacoes.FieldByName(campo);
        const QString filial = solicitacoes.FieldByName(kCdFilial).AsString();
        const QString grupo = solicitacoes.FieldByName(kCdGrupHomol).AsString();
        const QString numero = solicitacoes.FieldByName(kNrSoliServ).AsString();
        if (decisao.AsString() == u"S") {
            decisao.setAsString(QStringLiteral("N"));
            dm->ChamaServidor(QStringLiteral("setDeletaJustificativa"), {filial, grupo, numero});
        } else if (solicitacoes.FieldByName(kDecisoes[(qual + 1) % 3]).AsString() != u"S"
                   && solicitacoes.FieldByName(kDecisoes[(qual + 2) % 3]).AsString() != u"S") {
            decisao.setAsString(QStringLiteral("S"));
            dm->CarregaPacote(dm->cdsVdJust, QStringLiteral("getVdJustificativa"), {filial, grupo, numero});
            if (!dm->cdsVdJust->IsEmpty())
                dm->ChamaServidor(QStringLiteral("setDeletaJustificativa"),
                                  {dm->cdsVdJust->FieldByName(kCdFilial).AsString(),
                                   dm->cdsVdJust->FieldByName(kCdGrupHomol).AsString(),
                                   dm->cdsVdJust->FieldByName(kNrSoliServ).AsString()});
            const int coluna = dbgSoli->columnOfField(campo);
            m_assuntoDaJustificativa =
                QStringLiteral("Solicitação %1, do grupo %2\nDecisão: %3")
                    .arg(comNome(filial + u'/' + numero, solicitacoes.FieldByName(QStringLiteral("DSREFESOLI")).AsString()),
                         comNome(grupo, dm->grupo(kDsGrupHomol)),
                         dbgSoli->datasetModel()->headerData(coluna, Qt::Horizontal).toString());
            dm->CriaJustificativa(filial, grupo, numero, Horvane::Operador());
        }
        solicitacoes.Post();
    } catch (...) {
        // A decision that was not carried out is not left half-made in the row; a save the
        // server refused keeps its change (the row is posted by then).
        if (solicitacoes.State() == dsEdit)
            solicitacoes.Cancel();
        throw;
    }
}
