#pragma once

// What the module library exports to its host: the entry points, resolved by name (C
// linkage, C++ parameter types), and the module-wide variables the dialogs share.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

class Dataset;
class TfrmExecCommands;
class TfrmDependencias;
class TfrmJustHomol;
class TfrmGPatch;

extern "C" {

// Opens the homologation screen (the argument is held for the call and not read).
Q_DECL_EXPORT void IniProc(const QVariant &argument);
// Creates the screen once and shows it maximised.
Q_DECL_EXPORT void CriaGrupSoliHom();
// Patch generation of a request list (keys one per line), product code, product tree code.
Q_DECL_EXPORT bool GeraSolicitacoes(const QString &requests, const QString &product, const QString &productTree);
// Runs a command script; answers a list [success flag, whole output].
Q_DECL_EXPORT QVariant ExecCommands(const QString &caption, const QString &script, bool show);
// Interdependency viewer: source files, generated files, groupings, requests.
Q_DECL_EXPORT void ShowDeps(Dataset *sourceFiles, Dataset *generatedFiles, Dataset *groupings, Dataset *requests);
// Justification dialog of a request decision: branch, group, request, operator.
Q_DECL_EXPORT void CriaJustificativa(const QString &branch, const QString &group, const QString &request,
                                     const QString &operatorCode);

// The command line (groups, advance, log, where) on the HostUi in force; answers the exit status.
Q_DECL_EXPORT int HomologaLinhaDeComando(const QStringList &arguments);
// Without any data: prints the usage (answers 0) or a bad use (answers 2); -1 when the
// command is well formed and must run on the data.
Q_DECL_EXPORT int HomologaUsoDaLinhaDeComando(const QStringList &arguments);

// The command runner window of the running script.
Q_DECL_EXPORT extern TfrmExecCommands *frmExecCommands;
// The interdependency viewer.
Q_DECL_EXPORT extern TfrmDependencias *frmDependencias;
// The justification dialog and the key of the request it justifies.
Q_DECL_EXPORT extern TfrmJustHomol *frmJustHomol;
Q_DECL_EXPORT extern QString stFil, stGrHom, stSoli, stOper;
// A justification was confirmed; false when the module is loaded.
Q_DECL_EXPORT extern bool boConfirma_Atividade;
// The patch generation screen and the state of its run.
Q_DECL_EXPORT extern TfrmGPatch *frmGPatch;
Q_DECL_EXPORT extern QString SemaStatus;  // "G" idle or finished, "Y" running, "R" finished with errors
Q_DECL_EXPORT extern int inErros;
Q_DECL_EXPORT extern QStringList stlSoli, stlResultadoBuild, stlSaida, stlResult;
Q_DECL_EXPORT extern QDateTime dtFaseTram;
Q_DECL_EXPORT extern bool boPatchEmpty;
Q_DECL_EXPORT extern QString stVssUser, stVssPass, stUserSubVersion, stPassSubVersion, stListaSoli, stCdArvProd,
    stCdProduto, stDirBaseRep, stCdFilial, stNrSoliServ, stDirVss, stDiretorio, stVersao;
}
