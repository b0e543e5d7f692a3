// connect.hpp - what connect leaves behind for the commands that build
// parameters.
#pragma once

namespace vorlex {

// The libpqtypes handler ids of the two serialised types, as the latest
// connect registered them; -1 before the first connect.
int serializedTypeHandlerId();
int serializedWithNullsTypeHandlerId();

}  // namespace vorlex
