#pragma once

// The workflow from a terminal or a CI job, without a window, on the same data module and
// operations as the screen:
//
//   groups [--json]                          every group with code, name, product, phase, release
//   advance GROUP... [--yes] [--send-back] [--from PHASE]
//                                            the transition of the group's phase, as the screen's
//                                            Avançar; from "006" the groups named are the marked ones;
//                                            with --from, refused unless the groups are at PHASE
//   advance GROUP... --check                 the transition's checks, and what it would do
//   log GROUP                                the stored transition logs of the group
//   unlock GROUP [--yes]                     breaks, once confirmed, the lease of an advance whose
//                                            holder died
//   where                                    the settings, the database and the native folders
//   help [COMMAND]                           the usage
//
// Exit status: 0 carried out (or, with --check, would go), 1 refused, declined or failed
// (the reason on the error stream), 2 a bad use (unknown command or option, conflicting
// options, a group that does not exist). Group numbers are zero-filled as the screen shows
// them: "1" is 0000000001.

#include "workflow/operacao.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>

class TdmGrupSoliHom;

class LinhaDeComando {
public:
    enum Saida { Feito = 0, Falhou = 1, UsoInvalido = 2 };

    // What the arguments ask for, before any data is read.
    struct Pedido {
        QString comando;
        QStringList grupos;  // zero-filled
        bool json = false;
        bool sim = false;        // --yes: the transition's own questions answered Yes
        bool devolve = false;    // --send-back: the question that sends other groups back answered Yes
        bool verifica = false;   // --check
        bool ajuda = false;      // help, --help, -h
        QHash<QString, QString> valores;  // the options that take a value, with it
        QString erro;            // a bad use, said in Portuguese
    };
    static Pedido analisa(const QStringList &arguments);

    // Without data: prints the usage (exit 0) or the bad use (exit 2) of `arguments`; -1
    // when the command is well formed and must run on the data.
    static int semDados(const QStringList &arguments, std::FILE *output = stdout, std::FILE *errors = stderr);

    LinhaDeComando(TdmGrupSoliHom &dm, std::FILE *output = stdout, std::FILE *errors = stderr)
        : dm(dm), m_output(output), m_errors(errors)
    {
    }

    // `arguments` starts with the command ("advance", ...). The HostUi in force shows the
    // messages and asks what the options do not answer.
    int executa(const QStringList &arguments);
    // The usage: the whole of it, or the one of `comando`.
    static QString uso(const QString &comando = {});
    // A group number as the screen shows it (digits zero-filled to ten); empty when it is not one.
    static QString codigoDeGrupo(const QString &texto);

private:
    int grupos(bool json);
    int avanca(const Pedido &pedido);
    // The rerun of an interrupted operation of the first group named.
    int continua(const Pedido &pedido, const Operacao::Aberta &aberta);
    // The advance of the current group. Stopped by Ctrl-C or SIGTERM at a step boundary: the
    // exit status of the interruption (128 + the signal); otherwise nothing, with whether it
    // was carried out. `aoParar` says why before any other stop goes on.
    std::optional<int> tramita(bool &feita, const std::function<void()> &aoParar);
    int SaidaDaInterrupcao();
    int verifica(const QString &fase, const QStringList &codigos);
    int destrava(const Pedido &pedido);
    int log(const QString &codigo);
    int onde();
    // Every group named exists; otherwise says which does not.
    bool existem(const QStringList &codigos);
    void escreve(std::FILE *stream, const QString &text);

    TdmGrupSoliHom &dm;
    std::FILE *m_output;
    std::FILE *m_errors;
};
