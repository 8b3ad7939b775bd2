#pragma once

// Host services the screens call by the names they have always had: the busy animation
// (Showavi), the pick list (Pesquisa), the find dialog (Procurar), the detail error box
// (Dberros) and the deciphering routines (Criptografa). Each goes through HostUi.

#include "host/dataset.h"

#include <QString>

class QWidget;
class TDataSource;

namespace Showavi {
// Kind 0: the animation alone (screen creation); kind 1: with a caption.
void ActiveShowAvi(QWidget *mainWindow, int kind, const QString &caption = {});
void DeactiveShowAvi();

// Shows the animation for as long as it lives: the animation goes away on the failure
// path too.
class Scope {
public:
    explicit Scope(const QString &caption, int kind = 1);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
};
}  // namespace Showavi

namespace Pesquisa {
// Modal pick list over the rows of a dataset; true when a row was chosen, the dataset then
// stands on it. The two flags are kept for callers that pass them: several rows cannot be
// chosen at once (a true `multiSelect` is refused), `searchBox` shows the typing search.
bool Pesquisar(Dataset &dataset, const QString &caption, bool multiSelect = false, bool searchBox = true);
bool Pesquisar(TDataSource *source, const QString &caption, bool multiSelect = false, bool searchBox = true);
}  // namespace Pesquisa

namespace Procurar {
// Modal find dialog that positions the dataset on the row found.
bool Procura(Dataset &dataset);
// The search of the find dialog: the first row after the current one whose field matches,
// going round to the top; true when found (the dataset then stands on it).
bool ProcuraProximo(Dataset &dataset, const QString &field, const QString &value, LocateOptions options);
}  // namespace Procurar

namespace Dberros {
void ShowDetailError(const QString &text, const QString &detail);
}

namespace Criptografa {
// The host keeps its settings in clear text (secrets live in files only the operator can
// read), so there is nothing to decipher: both routines give back what they are given.
QString Uncripto(const QString &text, int mode = 2);
QString UncriptoPlus(const QString &text);
}  // namespace Criptografa
