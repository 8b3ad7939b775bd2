#include "workflow/frmdependencias.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/hostui.h"

#include <QHash>
#include <QHeaderView>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

QTreeWidget *NovaArvore(QWidget *pagina, const QString &nome)
{
    auto *layout = new QVBoxLayout(pagina);
    auto *arvore = new QTreeWidget(pagina);
    arvore->setObjectName(nome);
    arvore->setHeaderHidden(true);
    arvore->setColumnCount(1);
    arvore->setEditTriggers(QAbstractItemView::NoEditTriggers);
    arvore->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(arvore);
    return arvore;
}

QString Valor(const Dataset &dataset, int row, int field)
{
    return field < 0 ? QString() : Dataset::valueText(dataset.gridRow(row).value(field));
}

}  // namespace

// ====================================================================== the dialog

TfrmDependencias::TfrmDependencias(QWidget *parent)
    : TfrmRotiGeral(QStringLiteral("frmDependencias"), QStringLiteral("Interdependência Primária entre Solicitações"),
                    QStringLiteral("VOP42002"), parent)
{
    cdsSoliServ = new Dataset(QStringLiteral("cdsSoliServ"), this);
    cdsSoliServ->setFields({FieldDef(QStringLiteral("CDGRUPHOMOL"), packet::FieldType::String, 10, {}, false),
                            FieldDef(QStringLiteral("CDFILIAL"), packet::FieldType::String, 4, {}, false),
                            FieldDef(QStringLiteral("NRSOLISERV"), packet::FieldType::String, 10, QStringLiteral("Número")),
                            FieldDef(QStringLiteral("IDSTSOLIGRUP"), packet::FieldType::String, 3, QStringLiteral("Status")),
                            FieldDef(QStringLiteral("DSREFESOLI"), packet::FieldType::String, 60, QStringLiteral("Referência")),
                            FieldDef(QStringLiteral("TXOBSOLIGER"), packet::FieldType::String, 250,
                                     QStringLiteral("Obs. Geral"))});
    cdsSoliServ->CreateDataSet();
    cdsSoliServ->setIndexFieldNames(QStringLiteral("CDFILIAL;NRSOLISERV"));

    auto *layout = new QVBoxLayout(pnlPrincipal);
    layout->setContentsMargins(0, 0, 0, 0);
    pgcDependencias = new QTabWidget(pnlPrincipal);
    pgcDependencias->setObjectName(QStringLiteral("pgcDependencias"));
    layout->addWidget(pgcDependencias);
    tshCodFonte = new QWidget(pgcDependencias);
    tshCodFonte->setObjectName(QStringLiteral("tshCodFonte"));
    tshArqBin = new QWidget(pgcDependencias);
    tshArqBin->setObjectName(QStringLiteral("tshArqBin"));
    tshAgrupa = new QWidget(pgcDependencias);
    tshAgrupa->setObjectName(QStringLiteral("tshAgrupa"));
    pgcDependencias->addTab(tshCodFonte, QStringLiteral("Código Fonte"));
    pgcDependencias->addTab(tshArqBin, QStringLiteral("Arquivos gerados"));
    pgcDependencias->addTab(tshAgrupa, QStringLiteral("Agrupamentos"));
    trvCodFonte = NovaArvore(tshCodFonte, QStringLiteral("trvCodFonte"));
    trvArqBin = NovaArvore(tshArqBin, QStringLiteral("trvArqBin"));
    trvAgrupa = NovaArvore(tshAgrupa, QStringLiteral("trvAgrupa"));
    pgcDependencias->setCurrentWidget(tshArqBin);
    resize(640, 480);
}

TfrmDependencias::~TfrmDependencias() = default;

void TfrmDependencias::MontaTrvCodFonte(const Dataset &arquivosFonte)
{
    MontaArvore(*trvCodFonte, arquivosFonte, QStringLiteral("DSDIRARQCHECKOU"));
}

void TfrmDependencias::MontaTrvArqBin(const Dataset &arquivosGerados)
{
    MontaArvore(*trvArqBin, arquivosGerados, QStringLiteral("DSARQPATCH"));
}

void TfrmDependencias::MontaTrvAgrupa(const Dataset &agrupamentos)
{
    MontaArvore(*trvAgrupa, agrupamentos, QStringLiteral("NRSEQAGRUPASOLI"));
}

void TfrmDependencias::MontaArvore(QTreeWidget &arvore, const Dataset &entrada, const QString &campo)
{
    arvore.clear();
    struct Raiz {
        QString legenda;  // the value as first met
        std::vector<int> linhas;
    };
    std::vector<Raiz> raizes;
    QHash<QString, int> raizDoValor;  // upper-case value -> root
    const int valor = entrada.fieldIndex(campo);
    for (int row = 0; row < entrada.RecordCount(); ++row) {
        const QString texto = Valor(entrada, row, valor);
        const QString chave = texto.toUpper();
        auto it = raizDoValor.constFind(chave);
        if (it == raizDoValor.cend()) {
            it = raizDoValor.insert(chave, int(raizes.size()));
            raizes.push_back({texto, {}});
        }
        raizes[size_t(*it)].linhas.push_back(row);
    }
    std::stable_sort(raizes.begin(), raizes.end(), [](const Raiz &a, const Raiz &b) {
        return a.legenda.compare(b.legenda, Qt::CaseInsensitive) < 0;
    });

    const QIcon imagem0 = style()->standardIcon(QStyle::SP_DirIcon);
    const int filial = entrada.fieldIndex(QStringLiteral("CDFILIAL"));
    const int numero = entrada.fieldIndex(QStringLiteral("NRSOLISERV"));
    const int referencia = cdsSoliServ->fieldIndex(QStringLiteral("DSREFESOLI"));
    for (const Raiz &raiz : raizes) {
        auto *no = new QTreeWidgetItem(&arvore, QStringList{raiz.legenda});
        no->setIcon(0, imagem0);
        for (int row : raiz.linhas) {
            const QString n = Valor(entrada, row, numero);
            const int solicitacao = cdsSoliServ->findRow(QStringLiteral("CDFILIAL;NRSOLISERV"),
                                                         QVariantList{Valor(entrada, row, filial), n}, loCaseInsensitive);
            // A request the group's list does not hold shows its number alone.
            const QString legenda =
                solicitacao < 0 ? n : n + QStringLiteral(" - ") + Valor(*cdsSoliServ, solicitacao, referencia);
            new QTreeWidgetItem(no, QStringList{legenda});
        }
    }
}

QStringList TfrmDependencias::Linhas(const QTreeWidget &arvore)
{
    QStringList linhas;
    for (int i = 0; i < arvore.topLevelItemCount(); ++i) {
        const QTreeWidgetItem *raiz = arvore.topLevelItem(i);
        linhas << raiz->text(0);
        for (int j = 0; j < raiz->childCount(); ++j)
            linhas << QStringLiteral("  ") + raiz->child(j)->text(0);
    }
    return linhas;
}

void TfrmDependencias::ShowDeps(Dataset *arquivosFonte, Dataset *arquivosGerados, Dataset *agrupamentos,
                                Dataset *solicitacoes, TfrmDependencias **instancia)
{
    auto *dialogo = new TfrmDependencias;
    if (instancia)
        *instancia = dialogo;
    try {
        dialogo->Create();
        if (solicitacoes)
            dialogo->cdsSoliServ->setData(solicitacoes->Data());
        Dataset vazio;
        dialogo->MontaTrvCodFonte(arquivosFonte ? *arquivosFonte : vazio);
        dialogo->MontaTrvArqBin(arquivosGerados ? *arquivosGerados : vazio);
        dialogo->MontaTrvAgrupa(agrupamentos ? *agrupamentos : vazio);
        if (hostUi().headless()) {
            for (int pagina = 0; pagina < dialogo->pgcDependencias->count(); ++pagina) {
                const auto *arvore = dialogo->pgcDependencias->widget(pagina)->findChild<QTreeWidget *>();
                hostUi().logLine(dialogo->pgcDependencias->tabText(pagina) + u':');
                for (const QString &linha : Linhas(*arvore))
                    hostUi().logLine(QStringLiteral("  ") + linha);
            }
        } else {
            dialogo->exec();
        }
    } catch (...) {
        if (instancia)
            *instancia = nullptr;
        Free(dialogo);
        throw;
    }
    if (instancia)
        *instancia = nullptr;
    Free(dialogo);
}

// ====================================================================== collecting the lists

Dependencias::Dependencias(TdmGrupSoliHom &dm)
    : Mostra([](Dataset *a, Dataset *b, Dataset *c, Dataset *d) { TfrmDependencias::ShowDeps(a, b, c, d); }), dm(dm)
{
}

void Dependencias::SoRepetidos(Dataset &copia, const Dataset &origem, const QString &campo)
{
    packet::Packet dados = origem.Data();
    const int valor = dados.fieldIndex(campo);
    QHash<QString, int> vezes;
    for (const packet::Row &row : dados.rows)
        ++vezes[valor < 0 ? QString() : Dataset::valueText(row.value(valor)).toUpper()];
    QList<packet::Row> repetidos;
    for (const packet::Row &row : dados.rows) {
        if (vezes.value(valor < 0 ? QString() : Dataset::valueText(row.value(valor)).toUpper()) >= 2)
            repetidos.append(row);
    }
    dados.rows = repetidos;
    copia.setData(dados);
}

void Dependencias::sbtInterDependenciaClick()
{
    const QString grupo = dm.codigoGrupo();
    Dependencias::SoRepetidos(*dm.cdsArqAux, *dm.cdsArq, QStringLiteral("DSDIRARQCHECKOU"));
    dm.CarregaPacote(dm.cdsArqSoli, QStringLiteral("getArqSoli"), {grupo});
    Dependencias::SoRepetidos(*dm.cdsAuxArqSoli, *dm.cdsArqSoli, QStringLiteral("DSARQPATCH"));
    dm.CarregaPacote(dm.cdsAgrupaSoli, QStringLiteral("getAgrupaSoli"), {grupo});

    if (dm.cdsArqAux->RecordCount() + dm.cdsAuxArqSoli->RecordCount() + dm.cdsAgrupaSoli->RecordCount() > 0)
        Mostra(dm.cdsArqAux, dm.cdsAuxArqSoli, dm.cdsAgrupaSoli, dm.cdsSoli);
    else
        dm.msgPadrao.ShowMsg(QStringLiteral("SEM_DEP"), DialogType::Information, mbOK);
}
