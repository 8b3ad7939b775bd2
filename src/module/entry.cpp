// Entry points of the module. The host resolves them by name and calls them inside its
// own operation guard, so a failure here reaches the host's error box.

#include "module/exports.h"

#include "host/errors.h"
#include "host/hostapp.h"
#include "screens/groups/frmgrupsolihom.h"
#include "workflow/frmdependencias.h"
#include "workflow/frmjusthomol.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

void showScreen(TfrmGrupSoliHom *screen)
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(screen->parentWidget())) {
        frame->showMaximized();
        if (QMdiArea *area = frame->mdiArea())
            area->setActiveSubWindow(frame);
    } else {
        screen->showMaximized();
        screen->raise();
        screen->activateWindow();
    }
}

}  // namespace

void IniProc(const QVariant &argument)
{
    const QVariant held = argument;  // kept for the duration of the call
    Q_UNUSED(held);
    CriaGrupSoliHom();
}

void CriaGrupSoliHom()
{
    host::WaitCursor hourglass;
    if (!frmGrupSoliHom) {
        auto *screen = new TfrmGrupSoliHom;
        screen->dm->GeraSolicitacoes = [](const QString &requests, const QString &product, const QString &productTree) {
            return GeraSolicitacoes(requests, product, productTree);
        };
        QMdiSubWindow *frame = nullptr;
        if (QMdiArea *area = host::mdiArea()) {
            frame = area->addSubWindow(screen);
            frame->setAttribute(Qt::WA_DeleteOnClose);
            frame->setWindowIcon(screen->windowIcon());
        } else {
            screen->setAttribute(Qt::WA_DeleteOnClose);
        }
        frmGrupSoliHom = screen;
        try {
            screen->Create();
        } catch (...) {
            frmGrupSoliHom = nullptr;
            if (frame)
                delete frame;
            else
                delete screen;
            throw;
        }
    }
    showScreen(frmGrupSoliHom);
}

void ShowDeps(Dataset *sourceFiles, Dataset *generatedFiles, Dataset *groupings, Dataset *requests)
{
    TfrmDependencias::ShowDeps(sourceFiles, generatedFiles, groupings, requests, &frmDependencias);
}

void CriaJustificativa(const QString &branch, const QString &group, const QString &request, const QString &operatorCode)
{
    // The dialog stores through the homologation screen's connection; without the screen
    // open, through a data module of its own.
    if (frmGrupSoliHom) {
        CriaJustificativa(*frmGrupSoliHom->dm, branch, group, request, operatorCode);
        return;
    }
    TdmGrupSoliHom dm;
    CriaJustificativa(dm, branch, group, request, operatorCode);
}
