#include "hostapp.h"

#include <QApplication>
#include <QMdiArea>
#include <QPointer>

namespace host {

namespace {
QPointer<QWidget> &mainWindowRef()
{
    static QPointer<QWidget> window;
    return window;
}
QPointer<QMdiArea> &mdiAreaRef()
{
    static QPointer<QMdiArea> area;
    return area;
}
}  // namespace

void setMainWindow(QWidget *mainWindow, QMdiArea *mdiArea)
{
    mainWindowRef() = mainWindow;
    mdiAreaRef() = mdiArea;
}

QWidget *mainWindow() { return mainWindowRef(); }
QMdiArea *mdiArea() { return mdiAreaRef(); }

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace host
