#include <QVariant>

// Entry points the host resolves by name.
extern "C" Q_DECL_EXPORT void IniProc(const QVariant &)
{
}
