// SPDX-License-Identifier: BSD-3-Clause
// insert_typing.cpp - the type each of insert's columns is sent as: the
// catalogue's row of its type or its elements, text for enums and jsonb,
// and texts the server converts for the types with no encoder here; one
// record each.
#include <string>
#include <vector>

#include "connection/server_wait.hpp"
#include "host/errors.hpp"
#include "insert/insert_load.hpp"
#include "results/server_types.hpp"
#include "statements/lost_connection.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_oids.hpp"

namespace vorlex {

namespace {

// Whether COPY can take values of `oid` in binary: it and its elements
// have binary forms.
bool takesBinary(const ServerTypes& types, Oid oid) {
    auto type = types.find(oid);
    if (type == types.end() || !type->second.hasBinary) return false;
    return type->second.element == 0 || takesBinary(types, type->second.element);
}

}  // namespace

// The catalogue's row each column's values are sent as: its type, the
// element type of an array, or text for enums, jsonb and the types the
// server converts from texts (cast to the column's own type, so that a
// domain's constraints are checked before the COPY).
void typeColumns(PGconn* conn, InsertLoad& load) {
    std::vector<Oid> unknown;
    for (InsertColumn& bound : load.columns) {
        Oid base = bound.column->baseType;
        if ((bound.type = typeOfOid(base))) continue;
        if ((bound.type = typeOfArrayOid(base))) {
            bound.isArray = true;
            continue;
        }
        if (base == kJsonbOid) {
            bound.type = typeNamed("text");
            bound.sending = Sending::jsonb;
            continue;
        }
        unknown.push_back(base);
        unknown.push_back(bound.column->ownType);
    }
    ServerTypes types;
    if (!unknown.empty() && !lookUpServerTypes(conn, unknown, types)) {
        GatewayError error{errorId("copyFailed"), "the column types could not be looked up: " +
                                                      libpqText(PQerrorMessage(conn))};
        noteLostConnection(conn, error);
        throw error;
    }
    for (InsertColumn& bound : load.columns) {
        if (bound.type) continue;
        auto base = types.find(bound.column->baseType);
        auto own = types.find(bound.column->ownType);
        bool isEnum = base != types.end() && base->second.kind == 'e';
        if (own == types.end() || (!isEnum && !takesBinary(types, bound.column->baseType)))
            raiseError("unsupportedType",
                       "%s: insert cannot send values of type %s, which has no binary form; use "
                       "batchExec with a cast in its statement",
                       bound.label.c_str(), bound.column->typeName.c_str());
        bound.type = typeNamed("text");
        if (isEnum) continue;
        bound.sending = Sending::serverCast;
        bound.castType = own->second.sqlName;
        bound.castsArray = base->second.element != 0;
    }
}

// One record per column, from specifiers of the catalogue's names.
void buildColumnRecords(InsertLoad& load, PGparam* param, const mxArray* data) {
    std::string format;
    std::vector<std::string> classNames;
    for (const InsertColumn& bound : load.columns) {
        format += std::string(format.empty() ? "%" : " %") + bound.type->name +
                  (bound.isArray ? "[]" : "");
        classNames.push_back(mxGetClassName(mxGetFieldByNumber(data, 0, bound.field)));
    }
    std::vector<ParamRecord> records =
        buildRecords(format.c_str(), paramTypeHandlers(param), classNames);
    for (size_t i = 0; i < records.size(); ++i) {
        InsertColumn& bound = load.columns[i];
        bound.record = records[i];
        bound.record.context = bound.label;
        bound.record.checkEmptyShape = false;  // an empty array is sent as one
        bound.record.nanIsNull = bound.nanIsNull;
        bound.record.cellNulls = true;
        bound.vectorRecord = bound.record;
        bound.vectorRecord.flags |= kSpecFlatten;
    }
}

}  // namespace vorlex
