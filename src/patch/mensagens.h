#pragma once

// The texts of the patch generation screen: its message table (msgPadrao of TfrmGPatch).

#include "host/messages.h"

namespace patch {

TMessages MensagensDaGeracao();

}  // namespace patch
