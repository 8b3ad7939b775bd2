#pragma once

// Helpers for the runner tests: an operator that closes the runner window once its run
// has ended, and the host's dialogs recorded instead of shown.

#include "host/hostui.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Installs a ScriptedHostUi for the lifetime of a test.
class DialogosGravados {
public:
    DialogosGravados() { setHostUi(&ui); }
    ~DialogosGravados() { setHostUi(nullptr); }
    ScriptedHostUi ui;
};

// Watches for the runner window (found by its object name, so that it also works for the
// window of the module library). While it runs, `duringRun` is called on every tick; once
// OK is enabled, `whenDone` is called and OK is clicked.
class OperadorDaJanela {
public:
    using Observador = std::function<void(QDialog &)>;

    explicit OperadorDaJanela(Observador whenDone = {}, Observador duringRun = {})
        : m_whenDone(std::move(whenDone)), m_duringRun(std::move(duringRun))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start(10);
    }

    int vezesMostrada() const { return m_closed; }
    bool vistaExecutando() const { return m_seenRunning; }

private:
    void tick()
    {
        auto *janela = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!janela || janela->objectName() != QLatin1StringView("frmExecCommands") || !janela->isVisible())
            return;
        auto *ok = janela->findChild<QPushButton *>(QStringLiteral("btnOk"));
        if (!ok)
            return;
        if (!ok->isEnabled()) {
            m_seenRunning = true;
            if (m_duringRun)
                m_duringRun(*janela);
            return;
        }
        if (m_whenDone)
            m_whenDone(*janela);
        ++m_closed;
        ok->click();
    }

    QTimer m_timer;
    Observador m_whenDone;
    Observador m_duringRun;
    int m_closed = 0;
    bool m_seenRunning = false;
};
