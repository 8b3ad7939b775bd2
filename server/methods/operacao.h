#pragma once

// Operations: every advance (a transition, the homologation of several groups, patch
// generation) is a plan that the server keeps, with its steps and the state of each. The
// operation holds the leases of all the groups it changes, together or not at all; the
// lease token is the operation's id followed by the number of its run ("id#2"), so that a
// run that lost its leases, or an older run of the same operation, is refused at its next
// write (a fencing token). A step's server-side effect and the step's "done" are written in
// one transaction (concluiPasso); a step already done is never run again.

#include "methods/dispatcher.h"

namespace server {

class Database;

// Refuses, naming the group and its holder, when `token` no longer holds every group of
// its operation; extends the leases it holds otherwise. Every write that carries a token
// goes through it, inside the write's own transaction.
void fenceOperation(Database &db, const QString &token);
// Refuses when `group` is not one of the groups that `token`'s operation leased (a write
// made for an operation may change only the groups it holds).
void requireGroupOfOperation(Database &db, const QString &token, const QString &group);

// Remote methods of VOP42000.rdmGrupSoliHom (described in operacao.cpp).
Json abreOperacao(Call &call);
Json getOperacaoAberta(Call &call);
Json retomaOperacao(Call &call);
Json concluiPasso(Call &call);
Json reabrePasso(Call &call);
Json renovaOperacao(Call &call);
Json liberaOperacao(Call &call);
Json abandonaOperacao(Call &call);

}  // namespace server
