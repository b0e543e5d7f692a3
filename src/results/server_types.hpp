// SPDX-License-Identifier: BSD-3-Clause
// server_types.hpp - what the server's catalogue (pg_type) says about types
// the module does not know by their OIDs: their names, and which are enums,
// domains and arrays.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace vorlex {

struct ServerType {
    std::string name;  // typname
    char kind;         // typtype: 'b' base, 'd' domain, 'e' enum, 'c' composite, ...
    Oid base;          // a domain's base type
    Oid element;       // an array's element type; 0 for any other type
    bool hasBinary;    // a binary form (binary results, binary COPY)
    // As SQL names it, for a cast: format_type's with no type modifier (a
    // cast to "bit(3)" would cut a longer text, and "bit" alone is bit(1)).
    std::string sqlName;
};

using ServerTypes = std::unordered_map<Oid, ServerType>;

// The types of `oids`, and the base and element types they lead to, in one
// statement on `conn` (which must be idle); false, with nothing added, when
// the server refused it.  The wait is one of server_wait.hpp's.
bool lookUpServerTypes(PGconn* conn, const std::vector<Oid>& oids, ServerTypes& types);

// The server's name of a type; empty when the server does not answer.
std::string serverTypeName(PGconn* conn, Oid oid);

}  // namespace vorlex
