// SPDX-License-Identifier: BSD-3-Clause
// connect.hpp - the gateway's types on a connection.
#pragma once

#include <libpq-fe.h>

namespace vorlex {

// Attaches libpqtypes to an open connection and registers the gateway's
// types and prepared specifiers on it; raises on failure (the caller owns
// the connection).
void registerGatewayTypes(PGconn* conn);

}  // namespace vorlex
