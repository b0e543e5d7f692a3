// SPDX-License-Identifier: BSD-3-Clause
// query_params.hpp - the parameters of a query: Octave values encoded in
// binary by the module's encoder (encodeValue), with the type OIDs the
// statement is prepared with.
//
// Without a format each value's class picks its type:
//   double float8, single float4, int8 int2, int16 int2, int32 int4,
//   int64 int8, uint8 int2, uint16 int4, uint32 int8, logical bool
//     (a 1x1 value; any other shape is an array of the type)
//   uint8 row or empty   bytea
//   char row             text
//   cell of char rows    text[]
//   [] (0x0 double)      NULL of a type the server infers
// With a format, its specifiers name the types as paramPut's do, and []
// is a NULL of the specifier's type.
#pragma once

#include <libpq-fe.h>
#include <mex.h>

#include <string>
#include <vector>

namespace vorlex {

struct QueryParams {
    std::vector<Oid> types;  // 0: the server infers the type
    std::vector<std::string> values;
    std::vector<char> isNull;

    int count() const { return static_cast<int>(types.size()); }
    // What libpq sends: pointers (null for NULL), lengths and formats.
    std::vector<const char*> pointers() const;
    std::vector<int> lengths() const;
    std::vector<int> formats() const;
};

// The values of `cell` (null: no values), encoded with the types `format`
// names, or by their classes when `format` is null.
QueryParams queryParams(PGconn* conn, const mxArray* cell, const std::string* format);

}  // namespace vorlex
