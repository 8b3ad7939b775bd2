// The module-wide variables the module exports beside its entry points.

#include "module/exports.h"

// frmExecCommands lives with the command runner (src/runner); the justification dialog's
// variables with the dialog (src/workflow/frmjusthomol.cpp).
TfrmDependencias *frmDependencias = nullptr;
TfrmGPatch *frmGPatch = nullptr;
QString SemaStatus = QStringLiteral("G");
int inErros = 0;
QStringList stlSoli, stlResultadoBuild, stlSaida, stlResult;
QDateTime dtFaseTram;
bool boPatchEmpty = false;
QString stVssUser, stVssPass, stUserSubVersion, stPassSubVersion, stListaSoli, stCdArvProd, stCdProduto, stDirBaseRep,
    stCdFilial, stNrSoliServ, stDirVss, stDiretorio, stVersao;
