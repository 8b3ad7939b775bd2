#pragma once

// How the command runner reads a script and what the Subversion client prints.
//
// The texts searched for are those of the runner's message table, compared with regard
// to case. They were written for an older Portuguese client; today's client (1.14) puts
// an error code after "svn: " ("svn: E155004: ", "svn: warning: W160035: ") and words a
// few conditions differently. The code is taken out before searching, and every key
// whose condition today's client words differently has its current wording beside it
// under the same key with "_ATUAL" (and "_ATUAL2") appended.

#include "host/messages.h"

#include <QColor>
#include <QString>
#include <QStringList>

namespace runner {

// The runner's message table (msgPadrao of the runner window).
TMessages MensagensDoExecutor();

// The lines of a text: CR LF, a lone CR and a lone LF each end a line; a break at the
// very end adds no empty line, an empty line in the middle is a line of its own.
QStringList LinhasDoTexto(const QString &text);

// The text as the older client would have printed it: "svn: E155004: x" -> "svn: x",
// "svn: warning: W160035: x" -> "svn: aviso: x".
QString SemCodigosDeErro(const QString &text);

// True when `text` holds the entry `key` of the table, or today's wording of the same
// condition.
bool Contem(const TMessages &mensagens, const QString &text, const QString &key);

enum class Condicao {
    Nenhuma,              // nothing known: the line goes on
    CopiaTravada,         // the working copy is locked: ERRO_TRAVA_COPIA_DE_TRABALHO
    ErroGeral,            // a Subversion failure: ERRO_GERAL
    ServidorInacessivel,  // the server cannot be reached: the command is repeated
};

// What a piece of output says, first match wins: locked working copy, then the known
// failures, then an unreachable server.
Condicao InspecionaSaida(const TMessages &mensagens, const QString &text);

enum class CorDaLinha { Vermelha, Azul, Padrao };

// The colour of one line of the output list: failures red, completed actions blue.
CorDaLinha CorDoItem(const TMessages &mensagens, const QString &line);
QColor CorDoItem(const TMessages &mensagens, const QString &line, const QColor &windowText);

}  // namespace runner
