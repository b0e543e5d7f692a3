// lost_connection.hpp - what an error says when the connection went with it.
#pragma once

#include <libpq-fe.h>

#include "host/errors.hpp"

namespace vorlex {

// Adds the way back to an error raised while `conn` was in use, when the
// connection is gone.
inline void noteLostConnection(PGconn* conn, GatewayError& error) {
    if (PQstatus(conn) == CONNECTION_BAD)
        error.message += "\nThe connection is lost; reset restores it.";
}

}  // namespace vorlex
