#pragma once

// The history of one group, opened from the homologation screen: its timeline (the events
// the web board shows, with operator and time) and its stored transition logs, each page
// a list with the selected entry's whole text below it.

#include "host/dataset.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QTabWidget;
class TDBGrid;
class TDataSource;

class TfrmHistoricoGrupo : public QDialog {
    Q_OBJECT
public:
    enum Pagina { LinhaDoTempo = 0, LogsDeTramitacao = 1 };

    // `eventos` and `logs` hold the packets of getEventosGrupo and getLogTram; `fase` names a
    // phase code.
    TfrmHistoricoGrupo(const QString &grupo, const packet::Packet &eventos, const packet::Packet &logs,
                       const std::function<QString(const QString &)> &fase, QWidget *parent = nullptr);

    QTabWidget *pgcHistorico;
    TDBGrid *dbgEventos, *dbgLogs;
    QPlainTextEdit *memEvento, *memLog;  // the whole text of the selected entry
    QLabel *lblSemEventos, *lblSemLogs;  // shown instead of an empty list
    Dataset cdsEventos{QStringLiteral("cdsEventosGrupo")};
    Dataset cdsLogs{QStringLiteral("cdsLogTram")};

private:
    TDataSource *m_eventos, *m_logs;
};
