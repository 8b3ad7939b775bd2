#pragma once

// The workflow's operations against the server embedded in the test process, without any
// window: a data module created directly on the screen tests' data, plus the groups below.

#include "screens/screenenv.h"

#include "datamodule/dmgrupsolihom.h"

#include <memory>

// Beside the screen tests' groups (screenenv.h):
//   0000000008 P501 "002" "Geração": request 109 (no file at all), 111 (modified Novo.dpr,
//              Novo.pas, Extra.qr2; releases Novo.dpr and Novo.sql)
//   0000000009 P501 "006" "Sem release", no request
//   0000000010 P501 "001" "Release menor": request 124 (release 501020)
// Requests outside any group: 120 (release 501023), 121 (501020), 122 (501025),
// 123 (502010), 125 (no release).
extern const QByteArray kWorkflowDocument;

class DataModuleTest : public ScreenTest {
protected:
    void SetUp() override;

    // A data module loaded as the command line loads it (GetInitialData), no filter.
    std::unique_ptr<TdmGrupSoliHom> openDataModule();
    // Marks a group through the marking rule (it must be markable).
    void mark(TdmGrupSoliHom &dm, const QString &code);
    // Sets the status of a request in its group on the server.
    void setStatus(const QString &numero, const QString &status);
    bool busyShown(const QString &caption) const;
};

// The codes of the marked groups of the list, in order.
QStringList markedGroups(TdmGrupSoliHom &dm);
