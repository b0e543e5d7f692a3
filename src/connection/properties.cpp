// SPDX-License-Identifier: BSD-3-Clause
// properties.cpp - the property queries: one libpq accessor each, on a
// connection or a result, returned as text, a number or a logical.
//
// One handler serves the whole family; the table row of the running
// command says which accessor and which kind of handle.
#include <libpq-fe.h>

#include <cstring>

#include "connection/connection_commands.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "handles/registry.hpp"

namespace vorlex {

namespace {

struct Property {
    const char* command;
    HandleKind kind;
    mxArray* (*read)(void* object);
};

PGconn* asConnection(void* object) { return static_cast<PGconn*>(object); }
PGresult* asResult(void* object) { return static_cast<PGresult*>(object); }

mxArray* numberOutput(int value) { return mxCreateDoubleScalar(static_cast<double>(value)); }

// Keep in step with the rows of the command table that name commandProperty.
const Property properties[] = {
    {"resultErrorMessage", HandleKind::result,
     [](void* o) { return createCharRow(PQresultErrorMessage(asResult(o))); }},
    {"resultStatus", HandleKind::result,
     [](void* o) { return numberOutput(PQresultStatus(asResult(o))); }},
    {"errorMessage", HandleKind::connection,
     [](void* o) { return createCharRow(PQerrorMessage(asConnection(o))); }},
    {"binaryTuples", HandleKind::result,
     [](void* o) { return mxCreateLogicalScalar(PQbinaryTuples(asResult(o)) != 0); }},
    {"cmdStatus", HandleKind::result,
     [](void* o) { return createCharRow(PQcmdStatus(asResult(o))); }},
    {"cmdTuples", HandleKind::result,
     [](void* o) { return createCharRow(PQcmdTuples(asResult(o))); }},
    {"db", HandleKind::connection, [](void* o) { return createCharRow(PQdb(asConnection(o))); }},
    {"host", HandleKind::connection,
     [](void* o) { return createCharRow(PQhost(asConnection(o))); }},
    {"options", HandleKind::connection,
     [](void* o) { return createCharRow(PQoptions(asConnection(o))); }},
    {"pass", HandleKind::connection,
     [](void* o) { return createCharRow(PQpass(asConnection(o))); }},
    {"port", HandleKind::connection,
     [](void* o) { return createCharRow(PQport(asConnection(o))); }},
    {"user", HandleKind::connection,
     [](void* o) { return createCharRow(PQuser(asConnection(o))); }},
};

const Property& runningProperty() {
    for (const Property& property : properties)
        if (std::strcmp(property.command, activeCommand()) == 0) return property;
    raiseError("notAProperty", "internal error: '%s' is not a property query", activeCommand());
}

}  // namespace

void commandProperty(int, mxArray* plhs[], int, const mxArray* prhs[]) {
    const Property& property = runningProperty();
    void* object = validateHandle(property.kind, prhs, 0, RowRule::oneRow);
    plhs[0] = property.read(object);
}

}  // namespace vorlex
