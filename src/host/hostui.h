#pragma once

// Every modal question, message, pick list, find dialog and busy animation of the module
// goes through HostUi: the host application installs its Qt implementation, tests a
// scripted one. No operation creates a message box by itself.

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>

class Dataset;

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
    // Modeless busy animation over the main window; an empty caption shows none. Shows
    // nest: each hide takes down the latest show, and the animation stays up, with the
    // caption of the show below it, until the first show is hidden too.
    virtual void showBusy(const QString &caption) = 0;
    virtual void hideBusy() = 0;
    // How many shows are up (0 for a host without an animation).
    virtual int busyDepth() const { return 0; }
    // Modal pick list over the dataset's rows; true when the operator chose one, and the
    // dataset then stands on it. On cancel the dataset stays where it was.
    virtual bool pickFromList(Dataset &dataset, const QString &caption)
    {
        (void)dataset;
        (void)caption;
        return false;
    }
    // Modal find dialog that positions the dataset on the row found; true when found.
    virtual bool findInDataset(Dataset &dataset)
    {
        (void)dataset;
        return false;
    }
    // True when no window may be shown (the command line): the screens that do work (the
    // command runner, patch generation) run at once without a window and report through
    // logLine and progress.
    virtual bool headless() const { return false; }
    // One line of an operation's log, as it comes (the command line prints it).
    virtual void logLine(const QString &line) { (void)line; }
    // How far a long operation is ("Copiando 3 de 40"); the command line writes it to stderr.
    virtual void progress(const QString &text) { (void)text; }
};

// The HostUi in force. Without one installed, a ScriptedHostUi that answers every question
// with its default answer is used, so that no code path ever dereferences null.
HostUi &hostUi();
void setHostUi(HostUi *ui);

// Hides every show of the busy animation above `depth`: what a failed operation left up.
void hideBusyTo(int depth);

// Installs a HostUi for as long as it lives and puts the previous one back.
class HostUiScope {
public:
    explicit HostUiScope(HostUi &ui) : m_previous(&hostUi()) { setHostUi(&ui); }
    ~HostUiScope() { setHostUi(m_previous); }
    HostUiScope(const HostUiScope &) = delete;
    HostUiScope &operator=(const HostUiScope &) = delete;

private:
    HostUi *m_previous;
};

// A HostUi for tests: answers come from a queue, every text shown is recorded.
class ScriptedHostUi : public HostUi {
public:
    struct Shown {
        enum class Kind { Message, DetailError, Busy, PickList, Find } kind;
        QString text;
        DialogType type = DialogType::Information;
        int buttons = 0;
        QString detail;
    };

    // Queues the answer of the next question (mbYes, mbNo, ...).
    void answer(int button) { m_answers.push_back(button); }
    // The answer given when the queue is empty.
    void setDefaultAnswer(int button) { m_defaultAnswer = button; }
    // Answers the next pick list: the row whose `keyField` equals `value` is chosen (a
    // value found in no row counts as cancel). Without an answer queued, a pick list is
    // cancelled.
    void answerPick(const QString &keyField, const QString &value) { m_picks.push_back({keyField, value}); }
    void answerPickCancel() { m_picks.push_back({}); }
    // Answers the next find dialog: the text searched in `field` (from the row after the
    // current one, without regard to case, the start of the field); no answer cancels.
    void answerFind(const QString &field, const QString &value) { m_finds.push_back({field, value}); }

    int showMessage(const QString &text, DialogType type, int buttons) override;
    void showDetailError(const QString &text, const QString &detail) override;
    void showBusy(const QString &caption) override;
    void hideBusy() override;
    bool pickFromList(Dataset &dataset, const QString &caption) override;
    bool findInDataset(Dataset &dataset) override;
    bool headless() const override { return m_headless; }
    void logLine(const QString &line) override { m_log.append(line); }
    void progress(const QString &text) override { m_progress.append(text); }

    // Runs as the command line does: no window.
    void setHeadless(bool headless) { m_headless = headless; }
    const QStringList &logLines() const { return m_log; }
    const QStringList &progressTexts() const { return m_progress; }

    const QList<Shown> &shown() const { return m_shown; }
    // Texts of the messages and questions shown, in order.
    QList<QString> messages() const;
    bool busyVisible() const { return m_busy > 0; }
    int busyDepth() const override { return m_busy; }
    int pendingAnswers() const { return int(m_answers.size() + m_picks.size() + m_finds.size()); }
    void clear() { m_shown.clear(); }

private:
    struct KeyAnswer {
        QString field;
        QString value;
    };
    std::deque<int> m_answers;
    std::deque<KeyAnswer> m_picks;
    std::deque<KeyAnswer> m_finds;
    int m_defaultAnswer = mbYes;
    QList<Shown> m_shown;
    int m_busy = 0;
    bool m_headless = false;
    QStringList m_log;
    QStringList m_progress;
};
