// The module-wide variables the module exports beside its entry points.

#include "module/exports.h"

// frmExecCommands lives with the command runner (src/runner), the patch screen's variables
// with patch generation (exports_patch.cpp).
TfrmDependencias *frmDependencias = nullptr;
TfrmJustHomol *frmJustHomol = nullptr;
QString stFil, stGrHom, stSoli, stOper;
bool boConfirma_Atividade = false;
