#pragma once

// The host application's main window: an MDI area where the module's screens open, the
// menu entry that loads the homologation module, and the host's dialogs (installed as the
// HostUi of the process) with the busy animation over the window.

#include <QLibrary>
#include <QMainWindow>

#include <memory>

class QAction;
class QApplication;
class QLabel;
class QMdiArea;
class QtHostUi;

class HostWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit HostWindow(const QString &modulePath, QWidget *parent = nullptr);
    ~HostWindow() override;

    QMdiArea *mdiArea() const { return m_area; }
    QAction *homologationAction() const { return m_homologation; }
    QtHostUi *ui() const { return m_ui.get(); }

    // Loads the module (once) and calls its IniProc; a module that cannot be loaded or has
    // no IniProc is reported in the error box.
    void openHomologation();
    // The library beside the program: ../lib/libhomologa-module.so.
    static QString defaultModulePath();

    // Shows the operator, branch and server of the settings in force.
    void refreshStatus();

protected:
    // Every screen is asked to close first, and may refuse (a row still being typed, an
    // operation under way): the program then stays open as it was.
    void closeEvent(QCloseEvent *event) override;

private:
    QMdiArea *m_area;
    QAction *m_homologation;
    QLabel *m_status;
    std::unique_ptr<QtHostUi> m_ui;
    QLibrary m_module;
    QString m_modulePath;
};
