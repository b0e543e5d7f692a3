// SPDX-License-Identifier: BSD-3-Clause
// server_types.cpp - the lookup of types in pg_type.
#include "results/server_types.hpp"

#include <cstdlib>

#include "connection/server_wait.hpp"

namespace vorlex {

namespace {

// The wanted types and, step by step, the base of each domain and the
// element of each array among them.
constexpr char kTypeLookup[] =
    "WITH RECURSIVE wanted(oid) AS ("
    " SELECT unnest($1::pg_catalog.oid[])"
    " UNION"
    " SELECT CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE t.typelem END"
    " FROM pg_catalog.pg_type t JOIN wanted w ON t.oid = w.oid"
    " WHERE t.typtype = 'd' OR (t.typcategory = 'A' AND t.typelem <> 0))"
    " SELECT t.oid, t.typname, t.typtype, t.typbasetype,"
    " CASE WHEN t.typcategory = 'A' THEN t.typelem ELSE 0 END,"
    " t.typreceive::pg_catalog.oid <> 0 AND t.typsend::pg_catalog.oid <> 0,"
    " pg_catalog.format_type(t.oid, -1)"
    " FROM pg_catalog.pg_type t JOIN wanted w ON t.oid = w.oid";

Oid oidAt(const PGresult* result, int row, int column) {
    return static_cast<Oid>(std::strtoul(PQgetvalue(result, row, column), nullptr, 10));
}

}  // namespace

bool lookUpServerTypes(PGconn* conn, const std::vector<Oid>& oids, ServerTypes& types) {
    std::string list = "{";
    for (Oid oid : oids) list += (list.size() > 1 ? "," : "") + std::to_string(oid);
    list += "}";
    const char* values[] = {list.c_str()};
    ResultOwner result = execParams(conn, kTypeLookup, 1, values, "the type lookup");
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) return false;
    for (int row = 0; row < PQntuples(result.get()); ++row)
        types[oidAt(result.get(), row, 0)] = {PQgetvalue(result.get(), row, 1),
                                              PQgetvalue(result.get(), row, 2)[0],
                                              oidAt(result.get(), row, 3),
                                              oidAt(result.get(), row, 4),
                                              PQgetvalue(result.get(), row, 5)[0] == 't',
                                              PQgetvalue(result.get(), row, 6)};
    return true;
}

std::string serverTypeName(PGconn* conn, Oid oid) {
    ServerTypes types;
    if (!lookUpServerTypes(conn, {oid}, types)) return "";
    auto found = types.find(oid);
    return found == types.end() ? "" : found->second.name;
}

}  // namespace vorlex
