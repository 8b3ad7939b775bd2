// The module-wide variables the module exports beside its entry points.

#include "module/exports.h"

// frmExecCommands lives with the command runner (src/runner), the justification dialog's
// variables with the dialog (src/workflow/frmjusthomol.cpp), the patch screen's with patch
// generation (exports_patch.cpp).
TfrmDependencias *frmDependencias = nullptr;
