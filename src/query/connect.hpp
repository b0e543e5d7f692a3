// connect.hpp - the gateway's types on a connection, and what connect
// leaves behind for the commands that build parameters.
#pragma once

#include <libpq-fe.h>

namespace vorlex {

// Attaches libpqtypes to an open connection and registers the gateway's
// types and prepared specifiers on it; raises on failure (the caller owns
// the connection).
void registerGatewayTypes(PGconn* conn);

// The libpqtypes handler ids of the two serialised types, as the latest
// connect registered them; -1 before the first connect.
int serializedTypeHandlerId();
int serializedWithNullsTypeHandlerId();

}  // namespace vorlex
