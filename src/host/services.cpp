#include "services.h"

#include "host/datasource.h"
#include "host/hostui.h"

namespace Showavi {

void ActiveShowAvi(QWidget *mainWindow, int kind, const QString &caption)
{
    Q_UNUSED(mainWindow);
    hostUi().showBusy(kind == 0 ? QString() : caption);
}

void DeactiveShowAvi() { hostUi().hideBusy(); }

Scope::Scope(const QString &caption, int kind) { ActiveShowAvi(nullptr, kind, caption); }

Scope::~Scope() { DeactiveShowAvi(); }

}  // namespace Showavi

namespace Pesquisa {

bool Pesquisar(Dataset &dataset, const QString &caption, bool multiSelect, bool searchBox)
{
    Q_UNUSED(searchBox);
    if (multiSelect)
        throw EHomologa(QStringLiteral("A lista de escolha não permite escolher várias linhas."));
    return hostUi().pickFromList(dataset, caption);
}

bool Pesquisar(TDataSource *source, const QString &caption, bool multiSelect, bool searchBox)
{
    if (!source || !source->DataSet())
        throw EHomologa(QStringLiteral("A lista de escolha \"%1\" não tem dados.").arg(caption));
    return Pesquisar(*source->DataSet(), caption, multiSelect, searchBox);
}

}  // namespace Pesquisa

namespace Procurar {

bool Procura(Dataset &dataset) { return hostUi().findInDataset(dataset); }

bool ProcuraProximo(Dataset &dataset, const QString &field, const QString &value, LocateOptions options)
{
    if (dataset.IsEmpty() || field.isEmpty())
        return false;
    const int start = dataset.RecNo();  // the row after the current one, as a view position
    int row = dataset.findRow(field, value, options, start);
    if (row < 0)
        row = dataset.findRow(field, value, options, 0);
    if (row < 0)
        return false;
    dataset.setRecNo(row + 1);
    return true;
}

}  // namespace Procurar

namespace Dberros {
void ShowDetailError(const QString &text, const QString &detail) { hostUi().showDetailError(text, detail); }
}  // namespace Dberros

namespace Criptografa {
QString Uncripto(const QString &text, int mode)
{
    Q_UNUSED(mode);
    return text;
}
QString UncriptoPlus(const QString &text) { return text; }
}  // namespace Criptografa
