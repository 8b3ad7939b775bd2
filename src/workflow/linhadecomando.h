#pragma once

// The workflow from a terminal or a CI job, without a window, on the same data module and
// operations as the screen:
//
//   groups [--json]           every group with code, name, product, phase and release
//   advance GROUP... [--yes] [--from PHASE]
//                             the transition of the group's phase, as the screen's Avançar;
//                             from "006" the groups named are the marked ones; with --from,
//                             refused unless the groups are at PHASE (a job run twice
//                             advances once)
//   log GROUP                 the stored transition logs of the group
//   unlock GROUP [--yes]      breaks, once confirmed, the lease of an advance whose holder died
//
// Exit status: 0 carried out, 1 declined or failed (the error on the error stream), 2 a
// bad use.

#include <QStringList>

#include <cstdio>

class TdmGrupSoliHom;

class LinhaDeComando {
public:
    enum Saida { Feito = 0, Falhou = 1, UsoInvalido = 2 };

    LinhaDeComando(TdmGrupSoliHom &dm, std::FILE *output = stdout, std::FILE *errors = stderr)
        : dm(dm), m_output(output), m_errors(errors)
    {
    }

    // `arguments` starts with the command ("advance", ...). The HostUi in force answers
    // the questions.
    int executa(const QStringList &arguments);
    static QString uso();

private:
    int grupos(bool json);
    int avanca(const QStringList &codigos, const QString &desde);
    int destrava(const QString &codigo);
    int log(const QString &codigo);
    void escreve(std::FILE *stream, const QString &text);

    TdmGrupSoliHom &dm;
    std::FILE *m_output;
    std::FILE *m_errors;
};
