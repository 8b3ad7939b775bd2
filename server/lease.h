#pragma once

// Leases on groups: one advance of a group at a time, whichever host or server it runs
// through. An advance takes the lease of its groups when it starts and gives it back when
// it ends; a second advance is refused at once with the holder's name. A lease whose holder
// died is broken by an explicit command or runs out after the expiry time of the server
// that granted it.

#include "dispatcher.h"

#include <chrono>

namespace server {

class Database;

// Creates the table of the leases when it is missing. Apart from the other tables: a
// database made before leases existed gets it on its next opening.
void createLeaseTable(Database &db);

// How long a lease granted from now on lasts when its holder never gives it back
// (homologa-server --lease-expiry; 4 hours by default). Process-wide.
void setLeaseExpiry(std::chrono::seconds expiry);
std::chrono::seconds leaseExpiry();

// Remote methods of VOP42000.rdmGrupSoliHom (described in lease.cpp).
Json takeGroupLease(Call &call);
Json releaseGroupLease(Call &call);
Json getGroupLease(Call &call);
Json breakGroupLease(Call &call);
Json groupsOfRequests(Call &call);

}  // namespace server
