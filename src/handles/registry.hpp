// SPDX-License-Identifier: BSD-3-Clause
// registry.hpp - the live connections, results, parameter sets and cursors.
//
// Octave code holds objects only as handles: 1-by-1 uint32 numbers that the
// registry issues.  A number is never issued twice, and numbers are unique
// across the four kinds, so a released handle, a made-up number or a handle
// of another kind is always refused before any object is touched.
//
// Per kind the registry keeps an ordered HandleSet of the live numbers and a
// live count; the set exists only while the count is above 0.  Beside them
// it keeps the connection each result came from, the cursor open on each
// connection (ended when the connection is finished or reset) and each
// connection's last server error, each dropped with its handle.
//
// Failures are raised (GatewayError) under the running command's identifier.
#pragma once

#include <mex.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/owners.hpp"

namespace vorlex {

enum class HandleKind { connection, result, param, cursor };

// Registration: takes the object over and returns its new handle number.
// On failure the object is released by its owner as the error unwinds.
uint32_t registerConnection(ConnectionOwner conn);
// A result records the handle of the connection it was made on (0: none).
uint32_t registerResult(ResultOwner result, uint32_t connection = 0);
uint32_t registerParam(ParamOwner param);

// A cursor's state belongs to the layer that reads its rows: the registry
// holds it with the function that releases it.  While the cursor is open
// its connection takes no other command (connectionArg refuses it); the
// cursor ends when its rows are done, when a fetch fails, or when its
// connection is finished or reset, and its handle lives until close.
using CursorRelease = void (*)(void* state);
uint32_t registerCursor(void* state, CursorRelease release, uint32_t connection);

// Ends a cursor: its state released, its connection free for other
// commands.  `why` completes what a later fetch says ("has returned its
// last rows").  Nothing happens to a cursor that has ended already.
void endCursor(uint32_t number, const char* why);

// The live object behind a handle number, or an error naming argument
// `position`: the kind's none-live message when nothing of the kind is
// live, its not-live message when this number is not.
void* findLive(HandleKind kind, uint32_t number, int position);

// Drops a handle and releases its object (PQfinish, PQclear or
// PQparamClear); the same errors as findLive.
void releaseHandle(HandleKind kind, uint32_t number, int position);

// Live objects of a kind, as counted by the registry.
int32_t liveCount(HandleKind kind);

// Releases every live object (cursors, results, parameter sets, then connections,
// which PQfinish closes on the server) and forgets their handles: the
// module's exit handler, run when the host unloads it.  A later load in
// the same process goes on numbering from the last handle issued.
void releaseEverything();

// The connection a live result was made on, while that connection is
// live; null otherwise.  Refused (cursorOpen) while a cursor reads on it.
PGconn* resultConnection(uint32_t result);

// The last server error seen on a connection, as its error fields in the
// order lastError gives them (statements/server_error.cpp); empty when there
// was none.  It lives as long as the connection (a reset keeps it): a new
// connection starts without one, and finish forgets it.
using ServerErrorFields = std::vector<std::string>;
void keepLastError(const PGconn* conn, ServerErrorFields fields);
const ServerErrorFields& lastErrorOf(const PGconn* conn);

// --- Handle arguments -----------------------------------------------------
// Whether a command also requires the handle array to have exactly one row.
enum class RowRule { anyRows, oneRow };

// The class check alone, for commands that check other arguments before
// the handle's shape.
void requireHandleClass(HandleKind kind, const mxArray* const prhs[], int index);

// Checks input `index` in order (uint32 class, row count where the command
// asks for it, at least one element) and looks up its first element.
void* validateHandle(HandleKind kind, const mxArray* const prhs[], int index, RowRule rows);
// connectionArg refuses a connection a cursor is reading on (cursorOpen);
// anyConnectionArg takes it, for the commands that leave its statement be
// (status, lastError) or end the cursor (reset).
PGconn* connectionArg(const mxArray* const prhs[], int index, RowRule rows);
PGconn* anyConnectionArg(const mxArray* const prhs[], int index, RowRule rows);
PGresult* resultArg(const mxArray* const prhs[], int index, RowRule rows);
PGparam* paramArg(const mxArray* const prhs[], int index, RowRule rows);

// The cursor at input `index`: its number, state and connection, the
// last two null once it has ended.
struct OpenCursor {
    uint32_t number;
    void* state;
    PGconn* conn;
};
OpenCursor cursorArg(const mxArray* const prhs[], int index);
// The same, refusing a cursor that has ended (cursorDone), saying why.
OpenCursor openCursorArg(const mxArray* const prhs[], int index);

// Ends the cursor reading on connection `connection`, if one is (reset).
void endConnectionCursor(uint32_t connection, const char* why);

// The same checks, then releaseHandle.
void releaseHandleArg(HandleKind kind, const mxArray* const prhs[], int index, RowRule rows);

// A new 1-by-1 uint32 array holding a handle number, which a command may
// return as an output of its own (backend/host_cells.hpp).
mxArray* createHandle(uint32_t number);

}  // namespace vorlex
