// connect.hpp - the gateway's types on a connection.
#pragma once

#include <libpq-fe.h>

namespace vorlex {

// Attaches libpqtypes to an open connection and registers the gateway's
// types and prepared specifiers on it; raises on failure (the caller owns
// the connection).
void registerGatewayTypes(PGconn* conn);

// Makes room for `extra` more type handlers on the connection.  libpqtypes
// 1.5.1 grows the handler array while registering a sub-class and then
// reads the base type through a pointer into the array it just freed when
// the base is itself a registered type (json, xml): with the room made
// beforehand, registration never moves the array.
void reserveTypeHandlers(PGconn* conn, int extra);

}  // namespace vorlex
