// SPDX-License-Identifier: BSD-3-Clause
// query_params.hpp - the parameters of a query: Octave values converted to
// the types the server has for them.
//
// A parameter whose type the call does not name is described with OID 0,
// so that the server infers its type from the statement, and its value is
// converted to that type by one table of rules (query_params.cpp):
//   a number (any numeric class) into int2/int4/int8 (whole and in range),
//     float4/float8, numeric, bool (0 or 1), date/time/timetz/timestamp/
//     timestamptz (a date number) and interval (days)
//   a logical into bool
//   a non-scalar number or logical into an array of those types
//   a char row into any type, sent as text for the server to read
//   a cell of char rows ([] a NULL element) into any array type, sent as
//     an array's text
//   a uint8 row into bytea
//   [] a NULL of the server's type
// Where the server cannot infer a type (`select $1`) the value's class
// picks it:
//   double float8, single float4, int8 int2, int16 int2, int32 int4,
//   int64 int8, uint8 int2, uint16 int4, uint32 int8, uint64 numeric,
//   logical bool (a 1x1 value; any other shape is an array of the type)
//   uint8 row bytea, char row text, cell of char rows text[], [] text
// A format names the types instead, its specifiers as paramPut's: a char
// format names one per value, a cell one per value or '' for the server's.
#pragma once

#include <libpq-fe.h>
#include <mex.h>

#include <cstdint>
#include <string>
#include <vector>

#include "params/param_building.hpp"
#include "types/time_zones.hpp"

namespace vorlex {

struct QueryParams {
    std::vector<Oid> types;  // 0: the server infers the type
    std::vector<std::string> values;
    std::vector<char> isNull;
    std::vector<int> wireFormats;  // 1 binary, 0 text

    int count() const { return static_cast<int>(types.size()); }
    // What libpq sends: pointers (null for NULL) and lengths.
    std::vector<const char*> pointers() const;
    std::vector<int> lengths() const;
};

// What a server type is to a value: the kind of it, or of its elements.
enum class TargetKind : uint8_t {
    int2,
    int4,
    int8,
    float4,
    float8,
    numeric,
    boolean,
    date,
    time,
    timetz,
    timestamp,
    timestamptz,
    interval,
    bytea,
    other,
};

// The server's type of one parameter, as a conversion needs it.
struct ParamTarget {
    Oid oid = 0;
    TargetKind kind = TargetKind::other;
    bool isArray = false;
};

// The parameters of one call as it gives them.
struct CallParams {
    std::vector<const mxArray*> values;
    // Per value: the record of the type its format names, with a null
    // type where the server's type applies.
    std::vector<ParamRecord> records;
    std::vector<Oid> named;       // per value: the OID its format names; 0: none
    std::vector<Oid> classTypes;  // per value named by none: its class's type

    int count() const { return static_cast<int>(values.size()); }
};

// The values of `cell` (null: no values) with the types a format names:
// `format` a char format (null: none) or `formatCell` a cell of one
// specifier per value (null: none).  Values no conversion could take are
// refused here, before anything is sent.
CallParams readParams(PGconn* conn, const mxArray* cell, const std::string* format,
                      const mxArray* formatCell);

// The server's type `oid` as a target.  A type the module does not know (a
// domain, an array of one) is looked up on the server when `lookUp`.
ParamTarget paramTarget(PGconn* conn, Oid oid, bool lookUp);

// Whether the value of a parameter named by no format needs to know what
// its server type is (a char row or NULL does not).
bool needsTargetKind(const CallParams& params, int index);

// The values encoded: each named one by its record, every other converted
// to its target (one per value).  A value its target cannot take is
// refused ("paramClass", "paramValue") before anything is sent.
QueryParams encodeParams(PGconn* conn, const CallParams& params,
                         const std::vector<ParamTarget>& targets, const TimeZone& zone);

}  // namespace vorlex
