#pragma once

// What the host tells its modules about the operator and the server, read from the
// [host] section of the settings file:
//
//   [host]
//   operator=000000000001        operator code (Horvane.Operador)
//   branch=0001                  operator's branch, CDFILIAL (Horvane.FiliProc)
//   server_host=                 application server host; empty: the server runs in process
//   server_port=8090             application server port
//   keep_connected=false         hold one server connection while the screen is open
//   attachment_folder=           folder of the requests' attachments (Dbgeral.DirArqSoli)

#include <QString>

namespace host {

struct HostSettings {
    QString operador;
    QString filial;
    QString webUrl;
    int webPort = 8090;
    bool keepConnected = false;
    QString dirArqSoli;
};

// The settings in force; read from the settings file on first use.
HostSettings &hostSettings();
// Reads them again from the settings file.
void loadHostSettings();

}  // namespace host

namespace Horvane {
inline QString Operador() { return host::hostSettings().operador; }
inline QString FiliProc() { return host::hostSettings().filial; }
inline QString WebURL() { return host::hostSettings().webUrl; }
inline int WebPort() { return host::hostSettings().webPort; }
}  // namespace Horvane

namespace Dbgeral {
inline bool KeepConnected() { return host::hostSettings().keepConnected; }
inline QString DirArqSoli() { return host::hostSettings().dirArqSoli; }
}  // namespace Dbgeral
