#pragma once

// The guard every slot that starts an operation runs in, so that no exception ever
// crosses the Qt event loop: the silent stop (EAbort) ends the operation quietly, any
// other failure is shown in the host's error box. The busy animation is taken down too,
// in case the failing operation had left it up.

#include <QString>

#include <exception>
#include <functional>

namespace host {

// Runs `operation`; true when it ran to its end.
bool runGuarded(const std::function<void()> &operation);

// A slot for connect(): the callable run inside the guard.
template <typename F>
auto guarded(F operation)
{
    return [operation = std::move(operation)]() { runGuarded(operation); };
}

// The operator's text of an exception (EHomologa, platform and packet errors, anything else).
QString errorText(const std::exception &error);
QString currentErrorText();  // of the exception being handled

}  // namespace host
