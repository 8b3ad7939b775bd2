// The patch screen itself: its components, the entry that opens it, the run in its order
// and the closing step that moves the requests on and attaches the artefacts.

#include "patch/frmgpatch.h"
#include "patch/internos.h"
#include "patch/mensagens.h"
#include "patch/textodoarquivo.h"

#include "datamodule/travagrupo.h"

#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostapp.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "host/services.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/settings.h"
#include "runner/analisesaida.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

#include <zip.h>

#include <algorithm>

using namespace patch::internos;

namespace {

constexpr int kAlturaDoItem = 16;
const QString kArquivoDeEstado = QStringLiteral("C:\\subversion\\date\\cdsdatagpatch.cds");
const QString kMarcaWindows = QStringLiteral("\\sources\\generated\\windows\\");

patch::Publicador &publicador()
{
    static patch::Publicador hook;
    return hook;
}

void Publica(const TfrmGPatch *form)
{
    if (publicador())
        publicador()(form);
}

QString ComBarra(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'\\'))
        return folder;
    return folder + u'\\';
}

QIcon Semaforo(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(color.darker());
    painter.drawEllipse(2, 2, 12, 12);
    return QIcon(pixmap);
}

class DesenhoDoProgresso : public QStyledItemDelegate {
public:
    DesenhoDoProgresso(const TfrmGPatch *form, QObject *parent) : QStyledItemDelegate(parent), m_form(form) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        m_form->lsbProgressoDrawItem(painter, option.rect, index.data().toString());
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {option.fontMetrics.horizontalAdvance(index.data().toString()) + 4, kAlturaDoItem};
    }

private:
    const TfrmGPatch *m_form;
};

// The hint of the file grid is the path of the row under the mouse.
class DicaDaGrade : public QObject {
public:
    DicaDaGrade(TfrmGPatch *form) : QObject(form), m_form(form) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove) {
            const QPoint ponto = static_cast<QMouseEvent *>(event)->position().toPoint();
            const int linha = m_form->dbgArquivos->rowAt(ponto.y());
            Dataset &arquivos = *m_form->cdsDArquivos;
            QString dica;
            if (linha >= 0 && linha < arquivos.gridRowCount())
                dica = arquivos.displayText(arquivos.gridRow(linha), arquivos.fieldIndex(QStringLiteral("DSARQPATCH")));
            m_form->dbgArquivos->setToolTip(dica);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TfrmGPatch *m_form;
};

QList<FieldDef> CamposDosArquivos(bool distintos)
{
    QList<FieldDef> campos{{QStringLiteral("DSARQPATCH"), FieldType::String, 250},
                           {QStringLiteral("CDVERPRODUTO"), FieldType::String, 10},
                           {QStringLiteral("CDRELVERPROD"), FieldType::String, 10},
                           {QStringLiteral("CDPATCHVERPR"), FieldType::String, 10}};
    if (!distintos)
        campos << FieldDef{QStringLiteral("CDFILIAL"), FieldType::String, 4}
               << FieldDef{QStringLiteral("NRSOLISERV"), FieldType::String, 10};
    campos << FieldDef{QStringLiteral("NRTAREFA"), FieldType::String, 10}
           << FieldDef{QStringLiteral("NRPLATIVTARE"), FieldType::String, 5}
           << FieldDef{QStringLiteral("NRSEQPATCH"), FieldType::String, 3}
           << FieldDef{QStringLiteral("CDRELEASEMETA"), FieldType::String, 20}
           << FieldDef{QStringLiteral("CDTIPOITTRAB"), FieldType::String, 2}
           << FieldDef{QStringLiteral("CDPRODGRUP"), FieldType::String, 10};
    return campos;
}

// The name a file (or folder) has on disk (names are matched without regard to case), for
// the archive and its entry; the name given when it cannot be told.
QString NomeNoDisco(const QString &path, platform::files::EntryKind kind = platform::files::EntryKind::Files)
{
    try {
        const QStringList nomes = platform::files::listDir(PastaDe(path), NomeDe(path), kind);
        for (const QString &nome : nomes) {
            if (nome.compare(NomeDe(path), Qt::CaseInsensitive) == 0)
                return nome;
        }
    } catch (const platform::PlatformError &) {
    }
    return NomeDe(path);
}

// One artefact in a one-file archive with deflate compression.
void Zipa(const QString &artefact, const QString &zipPath)
{
    if (!platform::files::fileExists(artefact))
        throw EHomologa(QStringLiteral("O arquivo gerado %1 não foi encontrado para ser anexado.").arg(artefact));
    const QByteArray destino = platform::files::nativePath(zipPath).toUtf8();
    const QByteArray origem = platform::files::nativePath(artefact).toUtf8();
    int erro = 0;
    zip_t *arquivo = zip_open(destino.constData(), ZIP_CREATE | ZIP_EXCL, &erro);
    if (!arquivo)
        throw EHomologa(QStringLiteral("Não foi possível criar o arquivo compactado %1.").arg(zipPath));
    const auto falha = [&](const QString &texto) {
        const QString detalhe = QString::fromUtf8(zip_strerror(arquivo));
        zip_discard(arquivo);
        throw EHomologa(texto + QStringLiteral(" ") + detalhe);
    };
    zip_source_t *fonte = zip_source_file(arquivo, origem.constData(), 0, 0);
    if (!fonte)
        falha(QStringLiteral("Não foi possível ler o arquivo %1 para compactá-lo.").arg(artefact));
    const zip_int64_t indice = zip_file_add(arquivo, NomeNoDisco(artefact).toUtf8().constData(), fonte, ZIP_FL_ENC_UTF_8);
    if (indice < 0) {
        zip_source_free(fonte);
        falha(QStringLiteral("Não foi possível compactar o arquivo %1.").arg(artefact));
    }
    zip_set_file_compression(arquivo, zip_uint64_t(indice), ZIP_CM_DEFLATE, 0);
    if (zip_close(arquivo) != 0)
        falha(QStringLiteral("Não foi possível gravar o arquivo compactado %1.").arg(zipPath));
}

}  // namespace

namespace patch {

void setPublicador(Publicador hook) { publicador() = std::move(hook); }

}  // namespace patch

TfrmGPatch::TfrmGPatch(QWidget *parent)
    : TfrmRotiGeral(QStringLiteral("frmGPatch"), QStringLiteral("Geração de Patch"), QStringLiteral("VOP03409"), parent),
      netGrupSoliHom(QStringLiteral("netGrupSoliHom"), QStringLiteral("VOP42000.rdmGrupSoliHom")),
      netGPatch(QStringLiteral("netGPatch"), QStringLiteral("VOP03409.rdmGPatch"))
{
    msgPadrao = patch::MensagensDaGeracao();
    CriaComponentes();
}

TfrmGPatch::~TfrmGPatch() = default;

void TfrmGPatch::CriaComponentes()
{
    resize(780, 560);
    cdsArquivos = new Dataset(QStringLiteral("cdsArquivos"), this);
    cdsArquivos->setFields(CamposDosArquivos(false));
    cdsArquivos->CreateDataSet();
    cdsDArquivos = new Dataset(QStringLiteral("cdsDArquivos"), this);
    cdsDArquivos->setFields(CamposDosArquivos(true));
    cdsDArquivos->CreateDataSet();
    cdsDArquivos->setIndexFieldNames(QStringLiteral("NRSEQPATCH"));
    cdsDtUltTram = new Dataset(QStringLiteral("cdsDtUltTram"), this);
    cdsDtUltTram->setFields({{QStringLiteral("CDFILIAL"), FieldType::String, 4},
                             {QStringLiteral("NRSOLISERV"), FieldType::String, 10},
                             {QStringLiteral("DTALFASETRAM"), FieldType::DateTime}});
    cdsDtUltTram->CreateDataSet();
    cdsdatagpatch = new Dataset(QStringLiteral("cdsdatagpatch"), this);
    cdsdatagpatch->setFields({{QStringLiteral("DTULTIMOUPDATE"), FieldType::String, 16}});
    cdsdatagpatch->CreateDataSet();
    cdsCds = new Dataset(QStringLiteral("cdsCds"), this);

    dtsDArquivos = new TDataSource(QStringLiteral("dtsDArquivos"), this, cdsDArquivos);
    dbgArquivos = new TDBGrid(QStringLiteral("dbgArquivos"), pnlPrincipal);
    dbgArquivos->setDataSource(dtsDArquivos);
    GridColumn coluna(QStringLiteral("DSARQPATCH"), QStringLiteral("Arquivos a serem gerados"), true);
    coluna.width = 720;
    dbgArquivos->setColumns({coluna});
    dbgArquivos->setReadOnly(true);
    dbgArquivos->setMouseTracking(true);
    dbgArquivos->viewport()->setMouseTracking(true);
    dbgArquivos->viewport()->installEventFilter(new DicaDaGrade(this));

    lsbProgresso = new QListWidget(pnlPrincipal);
    lsbProgresso->setObjectName(QStringLiteral("lsbProgresso"));
    lsbProgresso->setUniformItemSizes(true);
    lsbProgresso->setItemDelegate(new DesenhoDoProgresso(this, lsbProgresso));
    lsbAux = new QListWidget(pnlPrincipal);
    lsbAux->setObjectName(QStringLiteral("lsbAux"));
    lsbAux->hide();

    imlSemaforo = {Semaforo(QColor(0, 160, 0)), Semaforo(QColor(230, 190, 0)), Semaforo(QColor(220, 0, 0))};
    sbtBuscaErros = new QToolButton(pnlPrincipal);
    sbtBuscaErros->setObjectName(QStringLiteral("sbtBuscaErros"));
    sbtBuscaErros->setIcon(imlSemaforo[0]);
    connect(sbtBuscaErros, &QToolButton::clicked, this, host::guarded([this] { sbtBuscaErrosClick(); }));
    pgbProgresso = new QProgressBar(pnlPrincipal);
    pgbProgresso->setObjectName(QStringLiteral("pgbProgresso"));
    pgbProgresso->setRange(0, 1);
    pgbProgresso->setValue(0);
    pgbProgresso->setTextVisible(false);
    lblProgresso = new QLabel(pnlPrincipal);
    lblProgresso->setObjectName(QStringLiteral("lblProgresso"));
    lblPercentual = new QLabel(pnlPrincipal);
    lblPercentual->setObjectName(QStringLiteral("lblPercentual"));
    lblOKErro = new QLabel(pnlPrincipal);
    lblOKErro->setObjectName(QStringLiteral("lblOKErro"));
    sbtConfirma = sbtConfirm;

    auto *barra = new QHBoxLayout;
    barra->addWidget(sbtBuscaErros);
    barra->addWidget(pgbProgresso, 1);
    barra->addWidget(lblProgresso);
    barra->addWidget(lblPercentual);
    barra->addWidget(lblOKErro);
    auto *layout = new QVBoxLayout(pnlPrincipal);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(dbgArquivos, 1);
    layout->addWidget(lsbProgresso, 2);
    layout->addLayout(barra);
}

void TfrmGPatch::FormCreate()
{
    TfrmRotiGeral::FormCreate();
    netGrupSoliHom.open();
    netGPatch.open();
    SemaStatus = QStringLiteral("G");
    glyph = 0;
    stUserSubVersion = QStringLiteral("svn_") + platform::files::logonName();
    stPassSubVersion = platform::settings::repositoryPassword();
    MostraEstado();
}

void TfrmGPatch::FormDestroy()
{
    netGrupSoliHom.close();
    netGPatch.close();
    TfrmRotiGeral::FormDestroy();
}

void TfrmGPatch::sbtCancelClick()
{
    if (m_executando)
        return;
    stlResult.clear();
    reject();
}

void TfrmGPatch::FormClose(bool &allowClose)
{
    if (m_executando) {
        allowClose = false;
        return;
    }
    // A run with errors is not a generated patch: leaving it moves nothing on.
    if (SemaStatus == u"R")
        stlResult.clear();
    allowClose = stlResult.isEmpty() || TramitaEAnexa();
    Publica(this);
}

QJsonValue TfrmGPatch::ChamaGPatch(const QString &method, const QList<RemoteArg> &args)
{
    return Consiste::CheckResultServ(netGPatch.call(method, args), true, 0);
}

QString TfrmGPatch::Rebaseia(const QString &path) const
{
    // Only a path that really lies under the server base folder is moved; both are
    // compared with their drive and without regard to case.
    const QString caminho = ComDrive(path);
    const QString base = ComDrive(stDiretorio);
    if (!base.isEmpty() && caminho.startsWith(base, Qt::CaseInsensitive))
        return stDirBaseRep + caminho.mid(base.size());
    return caminho;
}

void TfrmGPatch::CarregaArquivos(const QString &requestList, const QString &product, const QString &productTree)
{
    stlSoli.clear();
    for (const QString &linha : runner::LinhasDoTexto(requestList)) {
        if (!linha.trimmed().isEmpty())
            stlSoli.append(linha.trimmed());
    }
    stCdProduto = product;
    stCdArvProd = productTree;
    Showavi::Scope animacao(msgPadrao.Msg(QStringLiteral("Recebendo")));
    QString lista = stlSoli.join(kFimDeLinha);
    ChamaGPatch(QStringLiteral("TransfPatchFaseTram"), {RemoteArg::ref(lista)});

    QString produto = product;
    const QJsonArray locais = Consiste::CheckResultServ(netGrupSoliHom.call(QStringLiteral("getLocations"),
                                                                            {RemoteArg::ref(produto)}),
                                                        true, 0)
                                  .toArray();
    stDiretorio = ComBarra(locais.at(1).toString());
    stDirVss = locais.at(2).toString();
    stDirBaseRep = ComBarra(ComDrive(locais.at(3).toString()));

    QString metodo = QStringLiteral("getArquivosSetForms");
    if (productTree.contains(QLatin1StringView("P5")) || productTree.contains(QLatin1StringView("P6")))
        metodo = QStringLiteral("getArquivos");
    else if (productTree.contains(QLatin1StringView("P15")))
        metodo = QStringLiteral("getArquivosAsp");
    lista = stlSoli.join(kFimDeLinha);
    cdsArquivos->setData(packet::Packet::fromJson(ChamaGPatch(metodo, {lista}).toObject()));

    cdsDArquivos->EmptyDataSet();
    for (cdsArquivos->First(); !cdsArquivos->Eof(); cdsArquivos->Next()) {
        const QString caminho = Rebaseia(cdsArquivos->FieldByName(QStringLiteral("DSARQPATCH")).AsString());
        const QString sequencia = cdsArquivos->FieldByName(QStringLiteral("NRSEQPATCH")).AsString();
        if (cdsDArquivos->Locate(QStringLiteral("DSARQPATCH"), caminho, loCaseInsensitive)) {
            if (sequencia.toInt() < cdsDArquivos->FieldByName(QStringLiteral("NRSEQPATCH")).AsString().toInt()) {
                cdsDArquivos->Edit();
                cdsDArquivos->FieldByName(QStringLiteral("NRSEQPATCH")).setAsString(sequencia);
                cdsDArquivos->Post();
            }
            continue;
        }
        cdsDArquivos->Append();
        for (const FieldDef &campo : cdsDArquivos->fieldDefs())
            cdsDArquivos->FieldByName(campo.name).setAsString(cdsArquivos->FieldByName(campo.name).AsString());
        cdsDArquivos->FieldByName(QStringLiteral("DSARQPATCH")).setAsString(caminho);
        cdsDArquivos->Post();
    }
    cdsDArquivos->MergeChangeLog();
    cdsDArquivos->First();
    Publica(this);
}

bool TfrmGPatch::PrecisaAtualizar(const QString &stored, const QDateTime &now)
{
    const QDate dia = QDate::fromString(stored.left(10), QStringLiteral("dd/MM/yyyy"));
    if (!dia.isValid())
        return true;
    if (dia < now.date())
        return true;
    if (dia > now.date())
        return false;
    const int guardado = stored.mid(11, 2).toInt() * 100 + stored.mid(14, 2).toInt();
    const int agora = now.time().hour() * 100 + now.time().minute();
    return agora - guardado > 100;
}

void TfrmGPatch::VerificaAtualizacaoDaCopia(const QDateTime &now)
{
    bool atualiza = true;
    if (platform::files::fileExists(kArquivoDeEstado)) {
        try {
            cdsdatagpatch->LoadFromFile(kArquivoDeEstado);
            cdsdatagpatch->First();
            atualiza = cdsdatagpatch->IsEmpty()
                       || PrecisaAtualizar(cdsdatagpatch->FieldByName(QStringLiteral("DTULTIMOUPDATE")).AsString(), now);
        } catch (const std::exception &) {
            // an unreadable record is no proof of a recent update
            atualiza = true;
        }
    } else {
        platform::files::forceDirectories(QStringLiteral("C:\\subversion\\date"));
    }
    if (!atualiza)
        return;
    AtualizaCopiaDeTrabalho();
    cdsdatagpatch->Close();
    cdsdatagpatch->setFields({{QStringLiteral("DTULTIMOUPDATE"), FieldType::String, 16}});
    cdsdatagpatch->CreateDataSet();
    cdsdatagpatch->Append();
    cdsdatagpatch->FieldByName(QStringLiteral("DTULTIMOUPDATE")).setAsString(now.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    cdsdatagpatch->Post();
    cdsdatagpatch->MergeChangeLog();
    cdsdatagpatch->SaveToFile(kArquivoDeEstado);
}

QString TfrmGPatch::DataHoraTexto(const QDateTime &time) { return time.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")); }

void TfrmGPatch::Adiciona(QListWidget *list, const QStringList &lines)
{
    if (!list || lines.isEmpty())
        return;
    list->addItems(lines);
    list->setCurrentRow(list->count() - 1);
    if (list == lsbProgresso && hostUi().headless()) {
        for (const QString &linha : lines)
            hostUi().logLine(linha);
    }
}

void TfrmGPatch::ContaErro(const QString &text)
{
    ++inErros;
    Loga(QStringLiteral("Error: ") + text);
}

void TfrmGPatch::AvancaProgresso()
{
    const int posicao = pgbProgresso->value() + 1;
    const int maximo = pgbProgresso->maximum();
    pgbProgresso->setValue(posicao);
    lblProgresso->setText(QStringLiteral("%1/%2").arg(posicao).arg(maximo));
    lblPercentual->setText(QString::number(maximo > 0 ? posicao * 100.0 / maximo : 0.0, 'f', 2) + u'%');
    lblOKErro->setText(QStringLiteral("OK/Erros : %1/%2").arg(posicao - inErros).arg(inErros));
    if (hostUi().headless())
        hostUi().progress(lblProgresso->text());
    QCoreApplication::processEvents();
}

void TfrmGPatch::MostraEstado()
{
    sbtBuscaErros->setIcon(imlSemaforo.value(glyph));
    sbtBuscaErros->setToolTip(HintDoStatus());
}

QString TfrmGPatch::HintDoStatus() const
{
    const int posicao = pgbProgresso->value();
    const bool completa = posicao >= pgbProgresso->maximum();
    if (SemaStatus == u"Y")
        return QStringLiteral("Aguarde...");
    if (SemaStatus == u"R")
        return completa ? QStringLiteral("Versão gerada com erros") : QStringLiteral("Versão incompleta gerada com erros");
    if (posicao == 0)
        return {};
    return completa ? QStringLiteral("Versão gerada sem erros") : QStringLiteral("Versão incompleta gerada sem erros");
}

void TfrmGPatch::sbtBuscaErrosClick()
{
    if (SemaStatus == u"R") {
        lsbProgresso->setFocus();
        const int total = lsbProgresso->count();
        if (total == 0)
            return;
        const int inicio = lsbProgresso->currentRow();
        for (int passo = 1; passo <= total; ++passo) {
            const int linha = (inicio + passo) % total;
            if (linha == inicio)
                return;
            const QString texto = lsbProgresso->item(linha)->text();
            if (texto.contains(QLatin1StringView("Fatal")) || texto.contains(QLatin1StringView("Error"))) {
                lsbProgresso->setCurrentRow(linha);
                return;
            }
        }
        return;
    }
    if (SemaStatus == u"G" && !HintDoStatus().isEmpty())
        hostUi().showMessage(HintDoStatus(), DialogType::Information, mbOK);
}

QColor TfrmGPatch::CorDaLinha(const QString &line, const QColor &windowText) const
{
    const QString texto = runner::SemCodigosDeErro(line);
    bool vermelha = texto.contains(QLatin1StringView("Fatal")) || texto.contains(QLatin1StringView("is already locked by user"))
                    || texto.contains(QStringLiteral("svn: Falhou ao adicionar diretório"))
                    || texto.contains(QLatin1StringView("travada")) || texto.contains(msgPadrao.Msg(QStringLiteral("PHP_BUILD_ERROR")))
                    || texto.contains(QLatin1StringView("Error"));
    for (int i = 1; i <= 8 && !vermelha; ++i)
        vermelha = runner::Contem(msgPadrao, texto, QStringLiteral("SUB_ERRO%1").arg(i));
    if (vermelha)
        return QColor(255, 0, 0);
    for (int i = 1; i <= 5; ++i) {
        if (texto.contains(msgPadrao.Msg(QStringLiteral("SUB_ACAO%1").arg(i))))
            return QColor(0, 0, 255);
    }
    if (texto.contains(msgPadrao.Msg(QStringLiteral("PHP_BUILD_WARNING"))))
        return QColor(128, 128, 0);
    return windowText;
}

void TfrmGPatch::lsbProgressoDrawItem(QPainter *painter, const QRect &rect, const QString &text) const
{
    const QPalette &cores = lsbProgresso->palette();
    painter->save();
    painter->fillRect(rect, cores.color(QPalette::Base));
    painter->setPen(CorDaLinha(text, cores.color(QPalette::Text)));
    painter->drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

void TfrmGPatch::FinalizaRun()
{
    m_executando = false;
    Consiste::SetChildEnabled(pnlPrincipal, true);
    sbtConfirm->setEnabled(true);
    sbtCancel->setEnabled(true);
    lsbAux->hide();
    MostraEstado();
}

void TfrmGPatch::sbtConfirmaClick()
{
    if (m_executando)
        return;
    m_executando = true;
    bool terminou = false;
    const auto fim = qScopeGuard([&] {
        if (!terminou) {
            // A failure that ended the run: it is not a run without errors.
            SemaStatus = QStringLiteral("R");
            glyph = 2;
        }
        stlAntes.clear();
        stlWindows.clear();
        stlResultadoBuild.clear();
        FinalizaRun();
        Publica(this);
    });

    // 1. The build working copy is brought up to date at most once an hour.
    lsbProgresso->clear();
    sbtConfirm->setEnabled(false);
    sbtCancel->setEnabled(false);
    // Without a usable build folder no Subversion command runs: step 3 says what is wrong.
    if (BaseAbsoluta(stDirBaseRep))
        VerificaAtualizacaoDaCopia(QDateTime::currentDateTime());

    // 2.
    pgbProgresso->setRange(0, cdsDArquivos->RecordCount() + 1);
    pgbProgresso->setValue(0);
    stlResult.clear();
    inErros = 0;
    SemaStatus = QStringLiteral("Y");
    glyph = 1;
    MostraEstado();
    platform::files::setCurrentDir(platform::files::windowsDir().left(3));

    // 3.
    try {
        if (stDirBaseRep.isEmpty())
            ErroInterrompe(msgPadrao.Msg(QStringLiteral("Dir_Empty")));
        if (!BaseAbsoluta(stDirBaseRep) || !platform::files::dirExists(stDirBaseRep))
            ErroInterrompe(msgPadrao.Msg(QStringLiteral("Dir_Inv")));
    } catch (...) {
        const QString texto = TextoDaFalha();
        ++inErros;
        Loga(QString());
        Loga(QStringLiteral("Error: ") + texto);
    }

    if (inErros == 0) {
        // 4. The product version.
        QString produto = stCdProduto;
        const QJsonArray versao = ChamaGPatch(QStringLiteral("getVersaoProd"), {RemoteArg::ref(produto)}).toArray();
        stMajor = versao.at(0).toString();
        stMinor = versao.at(1).toString();
        stRelease = versao.at(2).toString();
        if (stMajor.isEmpty()) {
            stMajor = QStringLiteral("1");
            stMinor = QStringLiteral("00");
            stRelease = QStringLiteral("000");
        }
        stVersao = stMajor + u'.' + stMinor + u'.' + stRelease;
        // A version that is not numbers would be stamped as zeros into every file.
        for (const QString &parte : {stMajor, stMinor, stRelease}) {
            bool numero = !parte.isEmpty();
            for (const QChar c : parte)
                numero = numero && c >= u'0' && c <= u'9';
            if (!numero) {
                ContaErro(msgPadrao.Msg(QStringLiteral("VERSAO_INVALIDA"), {stVersao}));
                break;
            }
        }
    }

    if (inErros == 0) {

        // 5. The version resource of the compiled and web products.
        if (stCdArvProd.contains(QLatin1StringView("P5")) || stCdArvProd.contains(QLatin1StringView("P15"))
            || stCdArvProd.contains(QLatin1StringView("P6"))) {
            Loga(Regua());
            Loga(QStringLiteral("Gerando versao.res (Versão atual: ") + stVersao + QStringLiteral(")..."));
            Loga(Regua());
            Loga(QString());
            try {
                const QString rc = stDirBaseRep + QStringLiteral("res\\versao.rc");
                TornaGravavel(stDirBaseRep + QStringLiteral("res"), QStringLiteral("versao.rc"));
                patch::TextoDoArquivo texto = patch::TextoDoArquivo::Le(rc);
                QStringList &linhas = texto.linhas;
                while (linhas.size() < 2)
                    linhas.append(QString());
                linhas[0] = QStringLiteral("#define VER_PRODUCTVERSION_STR      \"") + stVersao + u'"';
                // The parts are numbers (checked above); written as the compiler wants them.
                linhas[1] = QStringLiteral("#define VER_PRODUCTVERSION          %1,%2,%3,0")
                                .arg(stMajor.toInt())
                                .arg(stMinor.toInt())
                                .arg(stRelease.toInt());
                texto.Grava(rc);
                TornaGravavel(stDirBaseRep + QStringLiteral("res"), QStringLiteral("versao.res"));
                Execute(QStringLiteral("brcc32 ") + stDirBaseRep + QStringLiteral("res\\versao.rc -fo") + stDirBaseRep
                            + QStringLiteral("res\\versao.res"),
                        lsbProgresso, true);
            } catch (...) {
                ContaErro(TextoDaFalha());
            }
            AvancaProgresso();
        }

        // 6.
        Consiste::SetChildEnabled(dbgArquivos, false);
        cdsDArquivos->First();
        stIdGerReleaseMeta.clear();
        if (!cdsDArquivos->IsEmpty()) {
            Dataset meta;
            meta.setData(packet::Packet::fromJson(
                ChamaGPatch(QStringLiteral("GetGeraReleaseMeta"),
                            {cdsDArquivos->FieldByName(QStringLiteral("CDPRODGRUP")).AsString()})
                    .toObject()));
            if (meta.hasField(QStringLiteral("IDGERRELEASEMETA")) && !meta.IsEmpty())
                stIdGerReleaseMeta = meta.FieldByName(QStringLiteral("IDGERRELEASEMETA")).AsString();
        }

        // 7. Every file, in sequence order.
        const QString drive = platform::files::currentDir().left(2);
        for (cdsDArquivos->First(); !cdsDArquivos->Eof(); cdsDArquivos->Next()) {
            const QString caminho = cdsDArquivos->FieldByName(QStringLiteral("DSARQPATCH")).AsString();
            Loga(Regua());
            Loga(QStringLiteral("Gerando ") + (caminho.startsWith(u'\\') ? drive : QString()) + caminho
                 + QStringLiteral("..."));
            Loga(Regua());
            Loga(QString());
            if (!DentroDaCopia(caminho)) {
                ContaErro(msgPadrao.Msg(QStringLiteral("FORA_DA_COPIA"), {caminho, SolicitacoesDoArquivo(caminho), stDirBaseRep}));
                AvancaProgresso();
                continue;
            }
            GeraPorTipo(GetPrefix(caminho), caminho);
            const QString comDrive = ComDrive(caminho);
            try {
                const QDateTime modificado = platform::files::modificationTime(comDrive);
                if (modificado.isValid())
                    stlAntes.append(comDrive + u'=' + DataHoraTexto(modificado));
            } catch (const platform::PlatformError &) {
            }
            if (stIdGerReleaseMeta == u"S"
                && cdsDArquivos->FieldByName(QStringLiteral("CDTIPOITTRAB")).AsString() == u"72"
                && caminho.toLower().contains(kMarcaWindows))
                ColetaWindow(comDrive, cdsDArquivos->FieldByName(QStringLiteral("CDRELEASEMETA")).AsString(),
                             cdsDArquivos->FieldByName(QStringLiteral("NRTAREFA")).AsString(),
                             cdsDArquivos->FieldByName(QStringLiteral("NRPLATIVTARE")).AsString());
            AvancaProgresso();
        }

        // 8, 9. The windows of the metadata product and what their build produced.
        GeraWindows();
        ResultadosDoBuild();

        // 10.
        try {
            QStringList log;
            for (int i = 0; i < lsbProgresso->count(); ++i)
                log.append(lsbProgresso->item(i)->text());
            platform::files::writeLines(TempDir() + QStringLiteral("\\Resultado_Geracao.txt"), log);
        } catch (const std::exception &) {
        }
    }

    // 11.
    SemaStatus = inErros == 0 ? QStringLiteral("G") : QStringLiteral("R");
    glyph = inErros == 0 ? 0 : 2;
    terminou = true;
    FinalizaRun();

    // 12. The version of the generated files is recorded before the operator is told the
    // patch is done: without it the requests must not move on.
    if (inErros == 0 && (stCdArvProd.contains(QLatin1StringView("P5")) || stCdArvProd.contains(QLatin1StringView("P6")))) {
        QString lista = stlSoli.join(kFimDeLinha);
        QString falha;
        try {
            const ServerAnswer resposta = netGPatch.call(
                QStringLiteral("setPatchFaseTram"),
                {RemoteArg::ref(lista), RemoteArg::ref(stMajor), RemoteArg::ref(stMinor), RemoteArg::ref(stRelease)});
            if (!resposta.ok)
                falha = resposta.error;
        } catch (...) {
            falha = TextoDaFalha();
        }
        if (!falha.isEmpty()) {
            ContaErro(falha);
            SemaStatus = QStringLiteral("R");
            glyph = 2;
            MostraEstado();
            Publica(this);
        }
    }
    if (inErros != 0) {
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Gera_Erro")), false);
        return;
    }
    msgPadrao.ShowMsg(QStringLiteral("Gera_OK"), DialogType::Information, mbOK);
    if (!hostUi().headless() && isVisible())
        done(QDialog::Accepted);
}

bool TfrmGPatch::BaseAbsoluta(const QString &folder)
{
    return folder.size() >= 3 && folder[0].isLetter() && folder[1] == u':' && folder[2] == u'\\';
}

bool TfrmGPatch::DentroDaCopia(const QString &path) const
{
    const QString caminho = ComDrive(path);
    if (!BaseAbsoluta(stDirBaseRep) || caminho.size() <= stDirBaseRep.size()
        || !caminho.startsWith(stDirBaseRep, Qt::CaseInsensitive))
        return false;
    for (const QString &parte : caminho.mid(stDirBaseRep.size()).split(u'\\')) {
        if (parte.isEmpty() || parte == u"." || parte == u".." || parte.contains(u'/'))
            return false;
    }
    return true;
}

QString TfrmGPatch::SolicitacoesDoArquivo(const QString &path) const
{
    QStringList numeros;
    const packet::Packet dados = cdsArquivos->Data();
    const int campoCaminho = dados.fieldIndex(QStringLiteral("DSARQPATCH"));
    const int campoNumero = dados.fieldIndex(QStringLiteral("NRSOLISERV"));
    for (const packet::Row &linha : dados.rows) {
        if (Rebaseia(linha.value(campoCaminho).toString()).compare(path, Qt::CaseInsensitive) == 0
            && !numeros.contains(linha.value(campoNumero).toString()))
            numeros.append(linha.value(campoNumero).toString());
    }
    return numeros.join(QStringLiteral(", "));
}

void TfrmGPatch::VerificaArtefatos()
{
    // Every artefact of every request is looked for before any request moves on.
    const auto semFiltro = qScopeGuard([this] { cdsArquivos->setFiltered(false); });
    cdsArquivos->setFiltered(false);
    for (cdsArquivos->First(); !cdsArquivos->Eof(); cdsArquivos->Next()) {
        const QString chave = cdsArquivos->FieldByName(QStringLiteral("CDFILIAL")).AsString()
                              + cdsArquivos->FieldByName(QStringLiteral("NRSOLISERV")).AsString();
        if (!stlSoli.contains(chave))
            continue;
        const QString caminho = Rebaseia(cdsArquivos->FieldByName(QStringLiteral("DSARQPATCH")).AsString());
        const QString artefato = ArtefatoGerado(caminho);
        const bool gerado = (GetPrefix(caminho).isEmpty() || stlResult.contains(artefato, Qt::CaseInsensitive))
                            && platform::files::fileExists(artefato);
        if (!DentroDaCopia(caminho) || !gerado)
            throw EHomologa(msgPadrao.Msg(QStringLiteral("ARTEFATO_AUSENTE"),
                                          {artefato, cdsArquivos->FieldByName(QStringLiteral("NRSOLISERV")).AsString()}));
    }
}

QList<QPair<QString, QString>> TfrmGPatch::AnexosDaSolicitacao(const QStringList &artefatos) const
{
    QStringList distintos;
    for (const QString &artefato : artefatos) {
        if (!distintos.contains(artefato, Qt::CaseInsensitive))
            distintos.append(artefato);
    }
    QStringList nomes;
    for (const QString &artefato : distintos)
        nomes.append(NomeNoDisco(artefato));
    QList<QPair<QString, QString>> anexos;
    QStringList usados;  // a lone name is never changed: the names told apart come second
    QList<qsizetype> homonimos;
    for (qsizetype i = 0; i < distintos.size(); ++i) {
        const auto mesmoNome = [&](const QString &outro) { return outro.compare(nomes[i], Qt::CaseInsensitive) == 0; };
        if (std::count_if(nomes.cbegin(), nomes.cend(), mesmoNome) > 1)
            homonimos.append(i);
        else
            usados.append(nomes[i] + QStringLiteral(".zip"));
        anexos.append({distintos[i], nomes[i] + QStringLiteral(".zip")});
    }
    for (const qsizetype i : homonimos) {
        // Its folders under the build copy, as they are on disk, tell it from its namesakes.
        const QString caminho = ComDrive(distintos[i]);
        const bool naCopia = !stDirBaseRep.isEmpty() && caminho.startsWith(stDirBaseRep, Qt::CaseInsensitive);
        QString pasta = naCopia ? stDirBaseRep.chopped(1) : caminho.left(2);
        QStringList partes = caminho.mid(naCopia ? stDirBaseRep.size() : 3).split(u'\\', Qt::SkipEmptyParts);
        if (!partes.isEmpty())
            partes.removeLast();
        for (QString &parte : partes) {
            parte = NomeNoDisco(pasta + u'\\' + parte, platform::files::EntryKind::Dirs);
            pasta += u'\\' + parte;
        }
        const QString nome = (partes << nomes[i]).join(u'_');
        // A name still taken (a file named like another's folders and name) gets a number.
        QString zip = nome + QStringLiteral(".zip");
        for (int n = 2; usados.contains(zip, Qt::CaseInsensitive); ++n)
            zip = nome + QStringLiteral("~%1.zip").arg(n);
        usados.append(zip);
        anexos[i].second = zip;
    }
    return anexos;
}

bool TfrmGPatch::TramitaEAnexa()
{
    if (stlResult.isEmpty())
        return true;
    try {
        const QString lista = stlSoli.join(kFimDeLinha);
        VerificaArtefatos();
        {
            Showavi::Scope animacao(msgPadrao.Msg(QStringLiteral("Tramitando")));
            ChamaGPatch(QStringLiteral("TramitaSoliGeradas"), {lista, Horvane::Operador()});
        }
        Showavi::Scope animacao(msgPadrao.Msg(QStringLiteral("Anexando")));
        const QString pasta = ComBarra(Dbgeral::DirArqSoli());
        if (Criptografa::Uncripto(Dbgeral::DirArqSoli(), 2).isEmpty()) {
            // Without a folder there is nowhere to attach to: the requests move on without it.
            msgPadrao.ShowMsg(QStringLiteral("DIRETORIO_ANEXO"), DialogType::Warning, mbOK);
            Publica(this);
            return true;
        }
        cdsDtUltTram->setData(packet::Packet::fromJson(ChamaGPatch(QStringLiteral("getDtUltTram"), {lista}).toObject()));
        const auto semFiltro = qScopeGuard([this] { cdsArquivos->setFiltered(false); });
        for (const QString &chave : stlSoli) {
            stCdFilial = chave.left(4);
            stNrSoliServ = chave.mid(4, 10);
            dtFaseTram = QDateTime();
            if (cdsDtUltTram->Locate(QStringLiteral("CDFILIAL;NRSOLISERV"), QVariantList{stCdFilial, stNrSoliServ}))
                dtFaseTram = cdsDtUltTram->FieldByName(QStringLiteral("DTALFASETRAM")).AsDateTime();
            const QString carimbo = dtFaseTram.toString(QStringLiteral("yyyyMMddHHmmss"));
            cdsArquivos->ApplyFilter(QStringLiteral("CDFILIAL = '%1' AND NRSOLISERV = '%2'").arg(stCdFilial, stNrSoliServ));
            QStringList artefatos;
            for (cdsArquivos->First(); !cdsArquivos->Eof(); cdsArquivos->Next())
                artefatos.append(ArtefatoGerado(Rebaseia(cdsArquivos->FieldByName(QStringLiteral("DSARQPATCH")).AsString())));
            for (const auto &[artefato, nome] : AnexosDaSolicitacao(artefatos)) {
                for (const QString &folder : {pasta + stNrSoliServ, pasta + stNrSoliServ + u'\\' + carimbo}) {
                    if (!platform::files::dirExists(folder) && !platform::files::forceDirectories(folder))
                        ErroInterrompe(msgPadrao.Msg(QStringLiteral("Create_Dir"), {folder}));
                }
                const QString zip = pasta + stNrSoliServ + u'\\' + carimbo + u'\\' + nome;
                if (!platform::files::fileExists(zip))
                    Zipa(ComDrive(artefato), zip);
            }
        }
        Publica(this);
        return true;
    } catch (...) {
        const bool mostrada = [] {
            try {
                throw;
            } catch (const EAbort &) {
                return true;
            } catch (...) {
                return false;
            }
        }();
        const QString texto = TextoDaFalha();
        stlResult.clear();
        if (!mostrada)
            hostUi().showMessage(texto, DialogType::Error, mbOK);
        Publica(this);
        return false;
    }
}

namespace patch {

bool GeraSolicitacoes(const QString &requestList, const QString &product, const QString &productTree)
{
    const std::unique_ptr<TfrmGPatch, void (*)(TfrmGPatch *)> form(new TfrmGPatch(host::mainWindow()),
                                                                   [](TfrmGPatch *screen) { TfrmRotiGeral::Free(screen); });
    form->Create();
    Publica(form.get());
    const auto esquece = qScopeGuard([] { Publica(nullptr); });
    // The requests enter generation only under the lease of their groups: the advance that
    // opened this screen holds it already; otherwise it is taken here.
    const QString grupos = Consiste::CheckResultServ(form->netGrupSoliHom.call(QStringLiteral("groupsOfRequests"), {requestList}),
                                                     true, 0)
                               .toString();
    const TravaDeGrupos trava(form->netGrupSoliHom, runner::LinhasDoTexto(grupos), QString(),
                              TravaDeGrupos::Aninhamento::Aceita);
    form->CarregaArquivos(requestList, product, productTree);
    if (form->cdsDArquivos->IsEmpty()) {
        form->msgPadrao.ShowMsg(QStringLiteral("Gera_Empty"), DialogType::Information, mbOK);
        form->stlResult = QStringList{QStringLiteral("EMPTY")};
        form->boPatchEmpty = true;
    } else if (hostUi().headless()) {
        // No window: the run starts at once and only a run without errors whose requests
        // moved on counts.
        bool gerado = false;
        try {
            form->sbtConfirmaClick();
            gerado = form->SemaStatus == u"G" && form->inErros == 0 && form->TramitaEAnexa();
        } catch (const EAbort &) {
        } catch (...) {
            hostUi().showMessage(host::currentErrorText(), DialogType::Error, mbOK);
        }
        if (!gerado)
            form->stlResult.clear();
    } else {
        form->exec();
    }
    Publica(form.get());
    return !form->stlResult.isEmpty();
}

}  // namespace patch
