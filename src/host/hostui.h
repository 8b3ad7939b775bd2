#pragma once

// Every modal question, message and busy animation of the module goes through HostUi:
// the host application installs its Qt implementation, tests a scripted one. No
// operation creates a message box by itself.

#include <QList>
#include <QString>

#include <deque>

enum class DialogType { Warning, Error, Information, Confirmation };

// Buttons of a question, and the answers.
enum MsgButton : int { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };

class HostUi {
public:
    virtual ~HostUi() = default;
    // Modal question or message with the given buttons; returns the button chosen.
    virtual int showMessage(const QString &text, DialogType type, int buttons) = 0;
    // The host's error box with a detail text.
    virtual void showDetailError(const QString &text, const QString &detail) = 0;
    // Modeless busy animation over the main window; an empty caption shows none.
    virtual void showBusy(const QString &caption) = 0;
    virtual void hideBusy() = 0;
};

// The HostUi in force. Without one installed, a ScriptedHostUi that answers every question
// with its default answer is used, so that no code path ever dereferences null.
HostUi &hostUi();
void setHostUi(HostUi *ui);

// A HostUi for tests: answers come from a queue, every text shown is recorded.
class ScriptedHostUi : public HostUi {
public:
    struct Shown {
        enum class Kind { Message, DetailError, Busy } kind;
        QString text;
        DialogType type = DialogType::Information;
        int buttons = 0;
        QString detail;
    };

    // Queues the answer of the next question (mbYes, mbNo, ...).
    void answer(int button) { m_answers.push_back(button); }
    // The answer given when the queue is empty.
    void setDefaultAnswer(int button) { m_defaultAnswer = button; }

    int showMessage(const QString &text, DialogType type, int buttons) override;
    void showDetailError(const QString &text, const QString &detail) override;
    void showBusy(const QString &caption) override;
    void hideBusy() override;

    const QList<Shown> &shown() const { return m_shown; }
    // Texts of the messages and questions shown, in order.
    QList<QString> messages() const;
    bool busyVisible() const { return m_busy; }
    int pendingAnswers() const { return int(m_answers.size()); }
    void clear() { m_shown.clear(); }

private:
    std::deque<int> m_answers;
    int m_defaultAnswer = mbYes;
    QList<Shown> m_shown;
    bool m_busy = false;
};
