#pragma once

#include "methods/dispatcher.h"

namespace server {


// setGrupo (delta of cdsGrupo) and setSoli (delta of cdsSoli): the whole delta in the
// call's transaction. A modified or deleted row is refused, naming it, when the stored
// row no longer has the delta's original values.
Json saveGroups(Call &call);
Json saveRequests(Call &call);

}  // namespace server
