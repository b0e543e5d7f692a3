// SPDX-License-Identifier: BSD-3-Clause
// libpq_private.hpp - what the module reads of libpq's connection beyond
// its public API, as named operations.
//
// While a COPY FROM STDIN runs, libpq reads what the server sends into the
// connection's input buffer but leaves an error there unparsed until the
// stream is ended, and no public function tells that one waits.
// libpq_private.cpp is the only file that looks into the connection's
// private structure; it reads the input buffer through a mirror of the
// structure's leading part, trusted only when libpq is version 15 and the
// mirror's fields agree with what the public API reports for the same
// connection.  Otherwise every answer is the one that changes nothing.
#pragma once

#include <libpq-fe.h>

namespace vorlex {

// Whether the mirror of libpq's connection structure fits `conn`.
bool connectionLayoutKnown(PGconn* conn);

// Reads what the server has sent on `conn` without waiting, and tells
// whether an error message is among what libpq holds unparsed: during a
// COPY FROM STDIN, the server's refusal of the stream.  False when none
// has come, when the read fails (libpq's next call reports it), or when
// the layout is not known.
bool serverErrorWaits(PGconn* conn);

}  // namespace vorlex
