// SPDX-License-Identifier: BSD-3-Clause
// connect.cpp - opening a connection and preparing it for typed binary
// exchange.
//
// Before a handle is handed out, the connection gets libpqtypes' event
// procedure, the gateway's type tables (types/type_tables.hpp), the OID
// exchange that turns each array entry into the array type libpqtypes
// matches, and four prepared specifiers per type name, which its results
// share instead of copying (types/pqtypes_private.hpp).  A connection that
// fails any step is finished before the error is raised.
#include "connection/connect.hpp"

#include <cstring>
#include <string>

#include "connection/server_wait.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_tables.hpp"
#include "host/command.hpp"
#include "types/libpqtypes_error.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "handles/registry.hpp"

namespace vorlex {

namespace {

// The connection string as it may be shown: password values are masked.
std::string shownConnInfo(const std::string& conninfo) {
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr);
    if (!options) return "(unparsable connection string)";
    std::string shown;
    for (PQconninfoOption* option = options; option->keyword; ++option) {
        if (!option->val) continue;
        if (!shown.empty()) shown += ' ';
        bool secret = std::strcmp(option->keyword, "password") == 0;
        shown += std::string(option->keyword) + "=" + (secret ? "***" : option->val);
    }
    PQconninfoFree(options);
    return shown;
}

// As PQconnectdb, with the wait made interruptible.
ConnectionOwner openConnection(const std::string& conninfo) {
    ConnectionOwner conn(PQconnectStart(conninfo.c_str()));
    if (!conn) raiseError("connectFailed", "could not connect (out of memory)");
    Connecting outcome = PQstatus(conn.get()) == CONNECTION_BAD
                             ? Connecting::ended
                             : awaitConnecting(conn.get(), PQconnectPoll);
    if (outcome == Connecting::interrupted)
        raiseError("interrupted", "interrupted: the connection to '%s' was given up",
                   shownConnInfo(conninfo).c_str());
    if (outcome == Connecting::timedOut)
        raiseError("connectFailed", "could not connect with '%s': timeout expired",
                   shownConnInfo(conninfo).c_str());
    raisePendingTypesError("libpqtypes");
    if (PQstatus(conn.get()) == CONNECTION_BAD)
        raiseError("connectFailed", "could not connect with '%s': %s",
                   shownConnInfo(conninfo).c_str(), libpqText(PQerrorMessage(conn.get())).c_str());
    return conn;
}

// Sub-classes are registered on the client alone; other kinds are looked
// up on the server, with the lookup sent and awaited like a statement, so
// that the user can interrupt it.
void registerTable(PGconn* conn, int kind, const TypeTable& table, const char* what) {
    if (!reserveTypeHandlers(conn, table.count))
        raiseError("registerTypes", "out of memory while registering types");
    int ok = PQregisterTypes(conn, kind, table.entries, table.count, 1);
    if (ok && kind != PQT_SUBCLASS) {
        ResultOwner lookup = awaitStatement(conn, "the lookup of the types");
        ok = PQregisterResult(conn, kind, table.entries, table.count, lookup.get());
    }
    raisePendingTypesError("registerTypes");
    if (!ok) raiseError("registerTypes", "the %s types could not be registered", what);
}

void requireHandler(PGconn* conn, const char* name) {
    if (!findTypeHandler(conn, kTypeSchema, name))
        raiseError("missingType", "the type %s.%s is missing after registration", kTypeSchema,
                   name);
}

// From now on the handler's typoid is the array type's OID (what
// libpqtypes sends and matches columns by) and typoid_array the element's.
void exchangeArrayOids(PGconn* conn) {
    for (const PgType& type : typeCatalogue()) {
        std::string name = std::string(type.name) + kArraySuffix;
        PGtypeHandler* handler = findTypeHandler(conn, kTypeSchema, name.c_str());
        if (!handler)
            raiseError("missingType", "the type %s.%s is missing after registration", kTypeSchema,
                       name.c_str());
        std::swap(handler->typoid, handler->typoid_array);
    }
}

void prepareSpecifier(PGconn* conn, const std::string& name, const std::string& format) {
    PQspecPrepare(conn, name.c_str(), format.c_str(), 0);
    raisePendingTypesError("prepareSpecifier");
}

// Per type name T: "T", "T<array suffix>", "T*" and "T[]*".
void prepareSpecifiers(PGconn* conn) {
    for (const PgType& type : typeCatalogue()) {
        std::string name(type.name);
        prepareSpecifier(conn, name, "%" + name);
        prepareSpecifier(conn, name + kArraySuffix, "%" + name + kArraySuffix);
        prepareSpecifier(conn, name + "*", pointerFormat(type));
        prepareSpecifier(conn, name + "[]*", "%" + name + "[]*");
    }
}

}  // namespace

void registerGatewayTypes(PGconn* conn) {
    if (!prepareTypeSharing(conn))
        raiseError("initTypes", "the connection's results could not be set up to share types");
    if (!PQinitTypes(conn))
        raiseError("initTypes", "libpqtypes could not be attached to the connection");
    registerTable(conn, PQT_USERDEFINED, serverTypes(), "server");
    registerTable(conn, PQT_SUBCLASS, gatewayTypes(), "date/time, numeric and serialised");
    requireHandler(conn, kSerializedTypeName);
    requireHandler(conn, kSerializedWithNullsTypeName);
    registerTable(conn, PQT_SUBCLASS, arrayTypes(), "array");
    exchangeArrayOids(conn);
    registerTable(conn, PQT_SUBCLASS, nullCarrierTypes(), "NULL carrier");
    prepareSpecifiers(conn);
    if (!shareTypeData(conn))
        raiseError("registerTypes", "out of memory while sharing the types with results");
}

void commandConnect(const Command&, int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    std::string conninfo;
    if (nrhs == 1) {
        conninfo = charArg(prhs, 0,
                           {"conninfo", "connInfoNotChar", "connInfoUnreadable", "connInfoHasNul"});
    } else {
        warn("noConnInfo",
             "no connection string given: connecting with libpq's defaults and PG* variables");
    }

    ConnectionOwner conn = openConnection(conninfo);
    // Commands send without blocking and wait on the socket themselves
    // (server_wait.hpp).
    if (PQsetnonblocking(conn.get(), 1) != 0)
        raiseError("connectFailed", "the connection could not be made non-blocking: %s",
                   libpqText(PQerrorMessage(conn.get())).c_str());
    registerGatewayTypes(conn.get());
    plhs[0] = createHandle(registerConnection(std::move(conn)));
}

}  // namespace vorlex
