// SPDX-License-Identifier: BSD-3-Clause
// pqtypes_layout.hpp - the structures of libpqtypes 1.5.1 that its public
// header leaves out, and the private functions that work on them.
//
// The library exports these symbols but declares them only in its own
// sources.  The layouts below were read off the installed x86_64 library;
// tests/unit/pqtypes_private_test.cpp pins them against it, so that an
// incompatible libpqtypes fails a test rather than a user's session.
//
// Only pqtypes_private.cpp (and that test) includes this header: the rest
// of the module reaches these structures through the named operations of
// pqtypes_private.hpp.
#pragma once

#include <libpq-events.h>
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstddef>

#include "types/pqtypes_private.hpp"

extern "C" {

// One value of a parameter set.
struct PqtParamValue {
    int ptrl;  // allocated length of ptr
    void* ptr;
    int datal;   // value length, -1 for NULL
    char* data;  // the value, may be null
    int format;  // 0 text, 1 binary
    Oid oid;     // type OID sent for the value
};

// A prepared specifier (PQspecPrepare).
struct PqtPreparedSpec {
    char* name;
    char* stmt;
    int idcnt;  // handler ids, one per specifier of the format
    int* idlist;
    unsigned char* flags;  // one flag byte per id
};

// PGparam: what PQparamCreate builds.  It copies the connection's user
// handlers and prepared specifiers at that moment.
struct pg_param {
    int vcnt;  // values put (PQparamCount)
    int vmax;
    PqtParamValue* vals;
    PGtypeFormatInfo fmtinfo;
    int typhcnt;
    PGtypeHandler* typhandlers;
    int typspeccnt;
    PqtPreparedSpec* typspecs;
};

// Type data of a connection, and of each result made on it (libpqtypes
// copies the connection's handlers and specifiers into it when the result
// is created).
struct PqtTypeData {
    PGtypeFormatInfo fmtinfo;
    int typhcnt;  // user-registered handlers
    int typhmax;
    PGtypeHandler* typhandlers;
    int typspeccnt;
    int typspecmax;
    PqtPreparedSpec* typspecs;
};

int pqt_eventproc(PGEventId id, void* info, void* passThrough);
char* pqt_parse(const char* format, PGtypeHandler* h, int hcnt, char* stmtBuf, size_t stmtBufLen,
                PGtypeHandler** out, size_t* stmtPos, int* typpos, int* flags);
char* pqt_parsetype(const char* spec, char* schema, char* typname, int* flags, int typpos);
PGtypeHandler* pqt_gethandler(PGtypeHandler* handlers, int hcnt, const char* schema,
                              const char* typname);
PGtypeHandler* pqt_gethandlerbyid(PGtypeHandler* handlers, int hcnt, int id);
// Copies of handler and prepared-specifier arrays, as libpqtypes makes for
// each result, and their release (which frees the array itself too).
PGtypeHandler* pqt_duphandlers(PGtypeHandler* handlers, int hcnt);
void pqt_freehandlers(PGtypeHandler* handlers, int hcnt);
PqtPreparedSpec* pqt_dupspecs(PqtPreparedSpec* specs, int count);
void pqt_freespecs(PqtPreparedSpec* specs, int count);

}  // extern "C"

namespace vorlex {

// Schema and type names (pqt_parsetype) are at most 64 characters.
constexpr size_t kTypeNameBuffer = 65;

// Handlers built into libpqtypes 1.5.1; user handlers are numbered after.
constexpr int kBuiltinHandlerCount = 34;

// The type data of a connection or result, or null when libpqtypes has
// none for it (no PQinitTypes on its connection).
inline PqtTypeData* connectionTypeData(const PGconn* conn) {
    return static_cast<PqtTypeData*>(PQinstanceData(conn, pqt_eventproc));
}
inline PqtTypeData* resultTypeData(const PGresult* result) {
    return static_cast<PqtTypeData*>(PQresultInstanceData(result, pqt_eventproc));
}

static_assert(offsetof(pg_param, vals) == 8 && offsetof(pg_param, fmtinfo) == 16 &&
                  offsetof(pg_param, typhcnt) == 76 && offsetof(pg_param, typhandlers) == 80 &&
                  offsetof(pg_param, typspeccnt) == 88 && offsetof(pg_param, typspecs) == 96 &&
                  sizeof(pg_param) == 104,
              "PGparam layout of libpqtypes 1.5.1 on 64-bit hosts");
static_assert(offsetof(PqtTypeData, typhcnt) == 60 && offsetof(PqtTypeData, typhandlers) == 72 &&
                  offsetof(PqtTypeData, typspeccnt) == 80 &&
                  offsetof(PqtTypeData, typspecs) == 88 && sizeof(PqtTypeData) == 96,
              "type data layout of libpqtypes 1.5.1 on 64-bit hosts");
static_assert(sizeof(PqtPreparedSpec) == 40 && sizeof(PGtypeHandler) == 1472,
              "element sizes pqt_dupspecs and pqt_duphandlers of libpqtypes 1.5.1 use");

}  // namespace vorlex
