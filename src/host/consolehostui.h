#pragma once

// The HostUi of the command line: messages and the runner's lines are printed as they
// come, questions are asked on the terminal (no answer counts as No; the command line
// answers the ones its options cover before they get here), progress and the busy
// captions go to the error stream, and no window is ever shown.

#include "host/hostui.h"

#include <cstdio>

class ConsoleHostUi : public HostUi {
public:
    explicit ConsoleHostUi(std::FILE *input = stdin, std::FILE *output = stdout, std::FILE *errors = stderr);

    int showMessage(const QString &text, DialogType type, int buttons) override;
    void showDetailError(const QString &text, const QString &detail) override;
    void showBusy(const QString &caption) override;
    void hideBusy() override {}
    bool headless() const override { return true; }
    void logLine(const QString &line) override;
    void progress(const QString &text) override;

    // The errors shown, so that the caller knows whether a failure has been told already.
    int errorsShown() const { return m_errors; }

private:
    void write(std::FILE *stream, const QString &text);

    std::FILE *m_input;
    std::FILE *m_output;
    std::FILE *m_errorStream;
    QString m_lastBusy;
    int m_errors = 0;
};
