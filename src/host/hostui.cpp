#include "hostui.h"

#include "host/dataset.h"
#include "host/services.h"

#include <algorithm>

static HostUi *g_installed = nullptr;

HostUi &hostUi()
{
    if (g_installed)
        return *g_installed;
    static ScriptedHostUi fallback;
    return fallback;
}

void setHostUi(HostUi *ui) { g_installed = ui; }

void hideBusyTo(int depth)
{
    for (int shown = hostUi().busyDepth(); shown > depth; --shown)
        hostUi().hideBusy();
}

int ScriptedHostUi::showMessage(const QString &text, DialogType type, int buttons)
{
    m_shown.append({Shown::Kind::Message, text, type, buttons, {}});
    if (!(buttons & (mbYes | mbNo | mbCancel)))
        return mbOK;
    if (m_answers.empty())
        return m_defaultAnswer;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void ScriptedHostUi::showDetailError(const QString &text, const QString &detail)
{
    m_shown.append({Shown::Kind::DetailError, text, DialogType::Error, mbOK, detail});
}

void ScriptedHostUi::showBusy(const QString &caption)
{
    ++m_busy;
    m_shown.append({Shown::Kind::Busy, caption, DialogType::Information, 0, {}});
}

void ScriptedHostUi::hideBusy() { m_busy = std::max(0, m_busy - 1); }

QList<QString> ScriptedHostUi::messages() const
{
    QList<QString> texts;
    for (const Shown &shown : m_shown) {
        if (shown.kind != Shown::Kind::Busy)
            texts.append(shown.text);
    }
    return texts;
}

bool ScriptedHostUi::pickFromList(Dataset &dataset, const QString &caption)
{
    m_shown.append({Shown::Kind::PickList, caption, DialogType::Information, mbOK | mbCancel, dataset.name()});
    if (m_picks.empty())
        return false;
    const KeyAnswer answer = m_picks.front();
    m_picks.pop_front();
    if (answer.field.isEmpty())
        return false;
    return dataset.Locate(answer.field, answer.value);
}

bool ScriptedHostUi::findInDataset(Dataset &dataset)
{
    m_shown.append({Shown::Kind::Find, dataset.name(), DialogType::Information, mbOK | mbCancel, {}});
    if (m_finds.empty())
        return false;
    const KeyAnswer answer = m_finds.front();
    m_finds.pop_front();
    return Procurar::ProcuraProximo(dataset, answer.field, answer.value, loCaseInsensitive | loPartialKey);
}
