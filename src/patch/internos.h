#pragma once

// What the files of the patch screen share and nobody else needs.

#include "host/errors.h"

#include <QString>
#include <QStringList>

namespace patch::internos {

const QString kFimDeLinha = QStringLiteral("\r\n");
inline QString Regua() { return QString(92, u'='); }

// A failure already shown to the operator: it stops the action silently, like the
// host's abort, and still carries its text for the run's log ("Error: ...").
class EFalhaMostrada : public EAbort {
public:
    explicit EFalhaMostrada(const QString &text) : m_text(text) {}
    QString texto() const { return m_text; }

private:
    QString m_text;
};

// Shows `text` as an error and stops the current action.
[[noreturn]] void ErroInterrompe(const QString &text);
// The text of the exception being handled, for "Error: " lines.
QString TextoDaFalha();

// The path with "C:" in front when it has no drive.
QString ComDrive(const QString &path);
// The folder of a path, without its trailing "\"; the file name.
QString PastaDe(const QString &path);
QString NomeDe(const QString &path);
// Every line break removed.
QString SemQuebras(const QString &text);

}  // namespace patch::internos
