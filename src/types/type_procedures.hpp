// SPDX-License-Identifier: BSD-3-Clause
// type_procedures.hpp - the libpqtypes procedures of the module's scalar
// types (type_procedures.cpp), named by the type catalogue's rows.
//
// libpqtypes calls these from inside PQputf and PQgetf: they report a
// failure through args->errorf and return -1, never by raising.
#pragma once

#include <libpqtypes.h>

namespace vorlex {

// Date numbers for the date and time types.
int putDatenumTimestamp(PGtypeArgs* args);
int putDatenumTime(PGtypeArgs* args);
int putDatenumTimetz(PGtypeArgs* args);
int putDatenumDate(PGtypeArgs* args);
int getDatenumTimestamp(PGtypeArgs* args);
int getDatenumTime(PGtypeArgs* args);
int getDatenumDate(PGtypeArgs* args);

// numeric as decimal text, in binary on the wire.
int putNumericText(PGtypeArgs* args);
int getNumericText(PGtypeArgs* args);

// The NULL carriers: NULL through the pointer form, nothing else.
int putNullOnly(PGtypeArgs* args);
int getRefused(PGtypeArgs* args);

}  // namespace vorlex
