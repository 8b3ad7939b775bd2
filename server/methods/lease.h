#pragma once

// Leases on groups: one advance of a group at a time, whichever host or server it runs
// through. An advance takes the lease of its groups when it starts and gives it back when
// it ends; a second advance is refused at once with the holder's name. A lease whose holder
// died is broken by an explicit command or runs out after the expiry time of the server
// that granted it.

#include "methods/dispatcher.h"

#include <chrono>

namespace server {

class Database;

// How long a lease granted from now on lasts when its holder never gives it back
// (homologa-server --lease-expiry; 5 minutes by default, renewed by the advance while it runs). Process-wide.
void setLeaseExpiry(std::chrono::seconds expiry);
std::chrono::seconds leaseExpiry();

// Group codes separated by commas, semicolons, blanks or line breaks; each once.
QStringList leaseGroupList(const QString &text);
// Takes the leases of `groups` for `token`, all or none (the caller's transaction rolls
// back a partial take), refusing with the holder's name; with `phase` not empty, refused
// too when a group is no longer at that phase. A lease held by `replacing` (a run of the
// same operation whose process is gone) is taken over as a lease past its time is.
void takeLeases(Database &db, const QStringList &groups, const QString &token, const QString &operatorCode,
                const QString &host, const QString &phase, const QString &replacing = {});
// Extends the leases held by `token`; how many it holds.
int renewLeases(Database &db, const QString &token);
// Who holds the lease of `group`, as a refusal says it; empty when nobody does.
QString describeLease(Database &db, const QString &group);

// Remote methods of VOP42000.rdmGrupSoliHom (described in lease.cpp).
Json takeGroupLease(Call &call);
Json releaseGroupLease(Call &call);
Json getGroupLease(Call &call);
Json breakGroupLease(Call &call);
Json groupsOfRequests(Call &call);
Json renewGroupLease(Call &call);

}  // namespace server
