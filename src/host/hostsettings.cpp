#include "hostsettings.h"

#include "platform/settings.h"

#include <QSettings>

namespace host {

namespace {
bool &loaded()
{
    static bool value = false;
    return value;
}
HostSettings &storage()
{
    static HostSettings settings;
    return settings;
}
}  // namespace

HostSettings &hostSettings()
{
    if (!loaded())
        loadHostSettings();
    return storage();
}

void loadHostSettings()
{
    auto file = platform::settings::open();
    file->beginGroup(QStringLiteral("host"));
    HostSettings settings;
    settings.operador = file->value(QStringLiteral("operator")).toString().trimmed();
    settings.filial = file->value(QStringLiteral("branch")).toString().trimmed();
    settings.webUrl = file->value(QStringLiteral("server_host")).toString().trimmed();
    bool ok = false;
    const int port = file->value(QStringLiteral("server_port"), 8090).toInt(&ok);
    settings.webPort = ok && port > 0 && port < 65536 ? port : 8090;
    settings.keepConnected = file->value(QStringLiteral("keep_connected"), false).toBool();
    settings.dirArqSoli = file->value(QStringLiteral("attachment_folder")).toString().trimmed();
    file->endGroup();
    storage() = settings;
    loaded() = true;
}

}  // namespace host
