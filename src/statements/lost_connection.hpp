// SPDX-License-Identifier: BSD-3-Clause
// lost_connection.hpp - what an error says when the connection went with it.
#pragma once

#include <libpq-fe.h>

#include <cstring>
#include <string>
#include <utility>

#include "host/errors.hpp"

namespace vorlex {

// Whether `conn` is gone after a failure: libpq has found it closed, or the
// server's error in `result` (if any) ended the session (FATAL or PANIC:
// the server closes the connection after it).  A SQLSTATE of class 08
// alone does not tell: dblink and postgres_fdw raise them at ERROR for
// their own connections to other servers.
inline bool isConnectionLost(PGconn* conn, const PGresult* result = nullptr) {
    if (PQstatus(conn) == CONNECTION_BAD) return true;
    const char* severity = PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED);
    return severity && (std::strcmp(severity, "FATAL") == 0 || std::strcmp(severity, "PANIC") == 0);
}

// An error raised while `conn` was in use becomes "connectionLost" when the
// connection went with the failure, its message kept and the way back
// added.
inline void noteLostConnection(PGconn* conn, GatewayError& error,
                               const PGresult* result = nullptr) {
    if (!isConnectionLost(conn, result)) return;
    error.id = errorId("connectionLost");
    error.message += "\nThe connection is lost; reset restores it.";
}

// Raises "<check>" with `message`, or "connectionLost" as above.
[[noreturn]] inline void raiseOnConnection(PGconn* conn, const char* check, std::string message,
                                           const PGresult* result = nullptr) {
    GatewayError error{errorId(check), std::move(message)};
    noteLostConnection(conn, error, result);
    throw error;
}

}  // namespace vorlex
