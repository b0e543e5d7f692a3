// SPDX-License-Identifier: BSD-3-Clause
// unnamed_statement.hpp - a statement prepared as the unnamed statement and
// described, in one round trip.
//
// The preparation, the description and a single sync point go to the
// server together in pipeline mode: the server takes them as one
// transaction, so that a pooler handing each transaction to another server
// connection (PgBouncer in transaction pooling) runs them on the same one.
// The caller learns the statement's parameters and columns from the
// description; it must not rely on the prepared statement afterwards, which
// its next transaction may not find: it sends the text again.
#pragma once

#include <libpq-fe.h>

#include <string>

#include "host/owners.hpp"

namespace vorlex {

struct UnnamedStatement {
    const char* sql;
    int count;            // parameter types given
    const Oid* types;     // 0: the server infers the type
    const char* subject;  // what messages call it: "the statement", "the query"
    // Called with `context` when the server refuses the statement, before
    // "queryFailed" is raised: it may raise an error that says better why.
    void (*whenRefused)(const void* context);
    const void* context;
    // Whether a refusal is expected and followed by another try: inside
    // the user's transaction block the round is then guarded by a
    // savepoint, so that the refusal does not abort the transaction.
    bool guardInTransaction = false;
};

// The statement's description (PQnparams, PQnfields, PQftype, ...).  The
// connection is first brought to idle, and is idle and out of pipeline
// mode again when this returns or raises: "queryFailed" ("<subject> was
// refused: ...", "<subject> could not be described: ..."), "connectionLost"
// when the connection went with the failure, or "interrupted".
ResultOwner describeUnnamed(PGconn* conn, const UnnamedStatement& statement);

// As describeUnnamed, but a statement the server refuses returns null with
// the refusal in `refusal` (whenRefused is not called): the caller may try
// again with other parameter types.
ResultOwner tryDescribeUnnamed(PGconn* conn, const UnnamedStatement& statement,
                               ResultOwner& refusal);

// Raises "queryFailed": `what`, then the failure (failureText), on the
// connection (raiseOnConnection: "connectionLost" when it went with it).
[[noreturn]] void raiseQueryFailed(PGconn* conn, const PGresult* result, const std::string& what);

}  // namespace vorlex
