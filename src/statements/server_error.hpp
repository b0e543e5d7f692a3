// SPDX-License-Identifier: BSD-3-Clause
// server_error.hpp - the words of an error the server sent.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace vorlex {

// The condition name of a SQLSTATE code ("unique_violation" for "23505"),
// null for a code PostgreSQL 15 does not define (sqlstate_names.cpp).
const char* sqlstateName(const char* code);

// sqlstateName, or for a code the table lacks its class's name ("22P99"
// is a data_exception, as 22000 is); null when the class is unknown too.
const char* conditionName(const char* code);

// The server's error that `result` carries, as the module raises it, kept
// as conn's last error too (keepServerError):
//
//   ERROR 23505 (unique_violation): duplicate key value violates unique constraint "t_pkey"
//   DETAIL: Key (a)=(1) already exists.
//   HINT: ...
//
// The code is named by conditionName.  A failure libpq made itself has no
// code: its text is given unchanged, as it is for a result without an
// error.
std::string serverErrorText(PGconn* conn, const PGresult* result);

// The server's error of `result`, or libpq's on `conn` when a call made no
// result at all.
std::string failureText(PGconn* conn, const PGresult* result);

// Keeps the server's error that `result` carries as the last error of
// `conn`, which vorlex('lastError', conn) gives; a result without a
// SQLSTATE (no error, or one libpq made itself) keeps the one before.
// Called where a failure is seen, never on the way of a success.
void keepServerError(const PGconn* conn, const PGresult* result);

}  // namespace vorlex
