#pragma once

// The patch generation screen ("VOP03409", "Geração de Patch"): lists the files that the
// requests release, brings the build working copy up to date, compiles packages,
// libraries and programs, stamps the product version into scripts, reports, menu
// datasets and web files, rebuilds the metadata windows of the web product, and on
// closing moves the requests on and zips every artefact into their attachment folders.
//
// The run's pieces live in files by job: frmgpatch.cpp (screen, run, closing),
// compilados.cpp (build commands and the build runner), carimbos.cpp (version stamps),
// subversion.cpp (repository runner, working copy, folders in the repository) and
// windows.cpp (window build and release registration).

#include "host/basescreens.h"
#include "host/connection.h"
#include "host/dataset.h"
#include "host/datasource.h"
#include "host/dbgrid.h"
#include "host/messages.h"

#include <QColor>
#include <QDateTime>
#include <QIcon>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QPainter;
class QProgressBar;
class QRect;
class QToolButton;

class TfrmGPatch : public TfrmRotiGeral {
    Q_OBJECT

public:
    explicit TfrmGPatch(QWidget *parent = nullptr);
    ~TfrmGPatch() override;

    // ---- components
    TDBGrid *dbgArquivos = nullptr;
    TDataSource *dtsDArquivos = nullptr;
    QListWidget *lsbProgresso = nullptr;
    QListWidget *lsbAux = nullptr;  // hidden: output of auxiliary commands
    QProgressBar *pgbProgresso = nullptr;
    QLabel *lblProgresso = nullptr;
    QLabel *lblPercentual = nullptr;
    QLabel *lblOKErro = nullptr;
    QToolButton *sbtBuscaErros = nullptr;
    QList<QIcon> imlSemaforo;  // 0 idle or without errors, 1 running, 2 with errors
    QPushButton *sbtConfirma = nullptr;

    Dataset *cdsArquivos = nullptr;
    Dataset *cdsDArquivos = nullptr;
    Dataset *cdsDtUltTram = nullptr;
    Dataset *cdsdatagpatch = nullptr;
    Dataset *cdsCds = nullptr;

    TNetConnection netGrupSoliHom;
    TNetConnection netGPatch;

    // ---- run state
    QStringList stlSoli;        // request keys: CDFILIAL (4) + NRSOLISERV (10)
    QString stCdProduto;
    QString stCdArvProd;
    QString stDiretorio;        // server base folder (location 1), with a trailing "\"
    QString stDirVss;           // repository URL (location 2)
    QString stDirBaseRep;       // build base folder (location 3), with a trailing "\"
    QString stVersao;           // major.minor.release
    QString stMajor, stMinor, stRelease;
    QString stUserSubVersion;
    QString stPassSubVersion;
    QStringList stlResult;      // the artefacts generated ("EMPTY" when there was nothing to generate)
    int inErros = 0;
    QString SemaStatus = QStringLiteral("G");  // "G" idle or without errors, "Y" running, "R" with errors
    int glyph = 0;
    bool boPatchEmpty = false;
    QStringList stlSvnInfo;     // framed output of the last "svn info"
    QString stSvnStatus;        // output of the last "svn status"
    QString stCdFilial, stNrSoliServ;  // the request being attached
    QDateTime dtFaseTram;              // its last phase change
    QString stIdGerReleaseMeta;        // "S": the windows of the metadata product are rebuilt

    // Part of the window build: file -> modification time before the build, window pages
    // -> release/task/activity, produced files -> time/release/task/activity.
    QStringList stlAntes;
    QStringList stlWindows;
    QStringList stlResultadoBuild;

    TMessages &mensagens() { return msgPadrao; }

    // ---- screen
    void FormCreate() override;
    void FormClose(bool &allowClose) override;
    void FormDestroy() override;
    void sbtConfirmClick() override { sbtConfirmaClick(); }
    void sbtCancelClick() override;

    // Steps 2 to 5 of the entry: the requests enter generation, the locations, the files of
    // the requests and the distinct files to generate.
    void CarregaArquivos(const QString &requestList, const QString &product, const QString &productTree);
    // The run.
    void sbtConfirmaClick();
    // The closing step: requests moved on, artefacts zipped. False (with the generated list
    // emptied and the failure shown) when it could not be done.
    bool TramitaEAnexa();
    // Throws EHomologa naming the first artefact of a listed request that this run did not
    // generate (or a file that is not there to be attached).
    void VerificaArtefatos();
    void AvancaProgresso();
    QString HintDoStatus() const;
    void sbtBuscaErrosClick();
    QColor CorDaLinha(const QString &line, const QColor &windowText) const;
    void lsbProgressoDrawItem(QPainter *painter, const QRect &rect, const QString &text) const;
    // Appends lines to a list and selects the last one; lines of the log also go to the
    // command line when there is no window.
    void Adiciona(QListWidget *list, const QStringList &lines);
    void Loga(const QString &line) { Adiciona(lsbProgresso, {line}); }
    // Counts a failure of the current file and logs it.
    void ContaErro(const QString &text);

    // The working-copy freshness rule: true when a stored update time (day/month/year
    // hours:minutes) calls for a new update at `now`.
    static bool PrecisaAtualizar(const QString &stored, const QDateTime &now);
    void VerificaAtualizacaoDaCopia(const QDateTime &now);
    // The path of a file moved from the server base folder to the build base folder.
    QString Rebaseia(const QString &path) const;
    // True for a folder with a drive ("C:\..."); the build folder must be one.
    static bool BaseAbsoluta(const QString &folder);
    // True when a path lies inside the build working copy (no "." or ".." on the way).
    bool DentroDaCopia(const QString &path) const;
    // The requests (NRSOLISERV, comma-separated) that carry a rebased path.
    QString SolicitacoesDoArquivo(const QString &path) const;
    // Where the build of a file leaves its artefact: the one place the generators list it
    // and the closing step attaches it from (the stamped file itself for scripts, reports,
    // menus and web files; the file itself for a file that is not generated).
    QString ArtefatoGerado(const QString &path) const;
    // The archive name of each distinct artefact of one request (paths equal without regard
    // to case are one): its name on disk + ".zip"; artefacts of one name in different folders
    // are told apart by their folders under the build copy ("SQL_Oracle_ATU_0001.sql.zip"),
    // so that no archive of the request takes another's place.
    QList<QPair<QString, QString>> AnexosDaSolicitacao(const QStringList &artefacts) const;
    // The system's date-time text of a file's modification time.
    static QString DataHoraTexto(const QDateTime &time);

    // ---- build commands
    static QString GetPrefix(const QString &path);
    void GeraBPL(const QString &path);
    void GeraPKG(const QString &path);
    void GeraEXE(const QString &path);
    void GeraDLL(const QString &path);
    // The build runner: runs one command to its end; false (and one error counted) when it
    // cannot be started or prints "Fatal" or "Error".
    bool Execute(const QString &commandLine, QListWidget *log, bool capture);

    // ---- version stamps
    void GeraSql(const QString &path);
    void GeraQr2(const QString &path);
    void GeraCds(const QString &path);
    void GeraAsp(const QString &path);
    void GeraPhp(const QString &path, bool generatedByBuild);
    void GeraCss(const QString &path, bool generatedByBuild);
    void GeraJs(const QString &path, bool generatedByBuild);
    void GeraIni(const QString &path, bool generatedByBuild);
    void GeraTwig(const QString &path, bool generatedByBuild);
    void GeraHtml(const QString &path, bool generatedByBuild);
    void GeraXml(const QString &path, bool generatedByBuild);
    void GeraRptDesign(const QString &path, bool generatedByBuild);
    // The generator of a file type (GetPrefix); false for a type that is not generated.
    bool GeraPorTipo(const QString &type, const QString &path);

    // ---- repository actions
    bool ExecuteSubVersion(const QString &caption, const QString &commandLine, bool capture, QListWidget *list);
    void AtualizaCopiaDeTrabalho();
    void Cria_Diretorios(const QString &path);
    void TornaGravavel(const QString &folder, const QString &pattern);
    static QString TempDir();
    // The password as written on a command line.
    QString SenhaNaLinha() const;

    // ---- window build
    void ColetaWindow(const QString &path, const QString &releaseMeta, const QString &task, const QString &activity);
    void GeraWindows();
    // Adds the build-list entries of an `svn status --xml` output.
    void ColetaSaidaDoStatus(const QString &statusOutput, const QString &release, const QString &task,
                             const QString &activity);
    void ResultadosDoBuild();
    // The last commit revision of a file ("0" when it is not in the repository).
    QString LeRevisao(const QString &path);

    // A stamp form of the web family: the marker and the stamp line around the version.
    struct FormaDoCarimbo;

private:
    void CriaComponentes();
    QJsonValue ChamaGPatch(const QString &method, const QList<RemoteArg> &args);
    void GeraWeb(const QString &path, bool generatedByBuild, const FormaDoCarimbo &forma);
    void ComandoDoArquivo(const char *step, const QString &path);
    void Destrava(const QString &path);
    // A stamp lock that this operator's interrupted run left on the file is released and
    // its change reverted, so that stamping starts again from the repository's content.
    void LiberaTravaInterrompida(const QString &path);
    // Brings the copy of `path` up to date when its last revision in the repository is this
    // version's stamp committed by an interrupted run (`info`: the file's `svn info --xml`).
    void AtualizaCarimboJaEnviado(const QString &path, const QString &info);
    // True while a failure already reported is being undone: the undoing is not judged again.
    bool m_desfazendo = false;
    // A stamp of `path` under the repository's lock, brought back to its repository content
    // first: a failure unlocks the file, counts one error and logs it; the run goes on.
    void CarimbaSobTrava(const QString &path, const std::function<void(const QString &arquivo)> &carimbo);
    bool CompilaComo(const QString &commandLine);
    // The artefact's modification time (invalid when it is missing), and its listing after
    // a compile that succeeded: only a file this compile wrote is listed, else one error.
    QDateTime HoraDoArtefato(const QString &path) const;
    void RegistraArtefato(const QString &path, const QDateTime &before);
    void FinalizaRun();
    void MostraEstado();

    bool m_executando = false;
    bool m_cancelado = false;
};

namespace patch {

// Patch generation of a request list (keys one per line), product and product tree:
// true when the screen closes with artefacts generated (or nothing to generate). Without
// a window (the command line) the run starts at once and its outcome decides.
bool GeraSolicitacoes(const QString &requestList, const QString &product, const QString &productTree);

// What the module exports of the screen's state is kept current through this hook (the
// screen while it lives, null when it goes away).
using Publicador = std::function<void(const TfrmGPatch *)>;
void setPublicador(Publicador publicador);

}  // namespace patch
