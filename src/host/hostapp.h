#pragma once

// The host's main window as the modules see it: where screens open as child windows.

class QWidget;
class QMdiArea;

namespace host {

void setMainWindow(QWidget *mainWindow, QMdiArea *mdiArea);
QWidget *mainWindow();
// Null when no host window is up (a module driven by tests): screens then open on their own.
QMdiArea *mdiArea();

// Hourglass cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

}  // namespace host
