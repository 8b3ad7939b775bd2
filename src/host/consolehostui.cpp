#include "host/consolehostui.h"

#include "platform/process.h"

#include <QCoreApplication>

ConsoleHostUi::ConsoleHostUi(std::FILE *input, std::FILE *output, std::FILE *errors)
    : m_input(input), m_output(output), m_errorStream(errors)
{
}

void ConsoleHostUi::write(std::FILE *stream, const QString &text)
{
    // The product's texts break lines the Windows way.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    std::fputs(lines.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int ConsoleHostUi::showMessage(const QString &text, DialogType type, int buttons)
{
    const bool question = buttons & (mbYes | mbNo);
    if (type == DialogType::Error && !question) {
        ++m_errors;
        write(m_errorStream, QStringLiteral("Erro: ") + text);
        return mbOK;
    }
    if (!question) {
        write(m_output, text);
        return mbOK;
    }
    write(m_output, text + QStringLiteral(" [s/n]"));
    // While the operator thinks, the operation that asks stays alive (its leases renewed).
    while (!platform::waitForInput(m_input, 500))
        QCoreApplication::processEvents();
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, m_input))
        return mbNo;  // nobody to answer: the cautious choice
    const QString reply = QString::fromUtf8(answer).trimmed().toLower();
    return reply == u"s" || reply == u"sim" || reply == u"y" || reply == u"yes" ? mbYes : mbNo;
}

void ConsoleHostUi::showDetailError(const QString &text, const QString &detail)
{
    ++m_errors;
    write(m_errorStream, QStringLiteral("Erro: ") + text);
    write(m_errorStream, detail);
}

void ConsoleHostUi::showBusy(const QString &caption)
{
    if (caption.isEmpty() || caption == m_lastBusy)
        return;
    m_lastBusy = caption;
    write(m_errorStream, caption);
}

void ConsoleHostUi::logLine(const QString &line) { write(m_output, line); }

void ConsoleHostUi::progress(const QString &text) { write(m_errorStream, text); }
