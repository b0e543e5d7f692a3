// SPDX-License-Identifier: BSD-3-Clause
// codecs.hpp - element and scalar codecs between Octave arrays and
// PostgreSQL's binary values.
//
// One codec per base type, held by the type's row of the type catalogue
// (type_catalogue.hpp).  Writers and readers are pure functions of their
// arguments: they never raise, they report a failure with a text and return
// false, so that the libpqtypes procedures built on them can hand the text
// to libpqtypes instead of unwinding through its frames.
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlex {

// --- Calendar ------------------------------------------------------------
// Octave date numbers count days; PostgreSQL counts from its own epoch,
// 2000-01-01 00:00, which is date number 730486.
constexpr double kPostgresEpochDatenum = 730486.0;
constexpr int32_t kPostgresEpochDays = 730486;
constexpr double kMicrosecondsPerDay = 86400000000.0;
constexpr double kSecondsPerDay = 86400.0;

// --- Conversions from double ---------------------------------------------
// Truncation toward zero; values beyond the target's range saturate and NaN
// gives 0, where a plain C++ cast would be undefined.
int32_t truncateToInt32(double value);
int64_t truncateToInt64(double value);

// The writers' text for a double the type has no value for: NaN, or an
// infinity where the type has none.
std::string refusedDoubleText(double value, const char* type);

// --- Element codecs ------------------------------------------------------
// Where an element writer reads from: the data of a numeric Octave array
// (doubles when isDouble), or a cell array for the variable-length types.
struct ElementSource {
    const void* data;
    const mxArray* cell;
    bool isDouble;
};

// Where an element reader stores: the destination array and, for numeric
// classes, its data.
struct ElementTarget {
    mxArray* array;
    void* data;
};

// Writes element `index` at `out`, which has room for the element's size.
using ElementWriter = bool (*)(char* out, const ElementSource& source, size_t index,
                               const PGtypeFormatInfo& server, std::string& error);
// Bytes that cell `index` will take on the wire (variable-length types).
using ElementSizer = bool (*)(const mxArray* cell, size_t index, size_t& size, std::string& error);
// Reads one element of `length` bytes into element `index` of the target.
using ElementReader = bool (*)(const char* bytes, size_t length, const ElementTarget& target,
                               size_t index, const PGtypeFormatInfo& server, std::string& error);
// Creates the destination array of a decoded value.
using ArrayCreator = mxArray* (*)(mwSize ndim, const mwSize* dims);

struct ElementCodec {
    const char* name;      // the gateway's name of the element type
    const char* baseName;  // PostgreSQL's name of the element type
    Oid baseOid;
    int width;  // bytes per element on the wire; 0 when variable
    // The Octave class a writer reads besides double (mxUNKNOWN_CLASS: only
    // double; mxCELL_CLASS: the variable-length types).
    mxClassID sourceClass;
    ElementWriter write;
    ElementSizer size;  // variable-length types only
    ElementReader read;
    ArrayCreator create;
};

// Numbers and bool.
bool writeInt2(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeInt4(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeInt8(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeFloat4(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeFloat8(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeBool(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readInt2(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
bool readInt4(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
bool readInt8(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
bool readFloat4(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                std::string&);
bool readFloat8(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                std::string&);
bool readBool(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);

// Integers and bool read into doubles (bool: 0 and 1).  An int8 beyond
// +-2^53, where doubles are no longer exact, is refused with the text of
// int8PrecisionText.
bool readInt2AsDouble(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                      std::string&);
bool readInt4AsDouble(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                      std::string&);
bool readInt8AsDouble(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                      std::string&);
bool readBoolAsDouble(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                      std::string&);

// Stores an int8 as a double, or gives the refusal's text for one beyond
// +-2^53; and whether a reader's error is that refusal.
bool storeInt8AsDouble(int64_t value, const ElementTarget& target, size_t index,
                       std::string& error);
bool isInt8PrecisionError(const std::string& error);

// Dates and times, from and to date numbers.
bool writeTimestamp(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeTime(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeTimetz(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeDate(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readTimestamp(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                   std::string&);
bool readTime(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
bool readDate(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);

// The date/time wire values themselves; `integerDatetimes` is the server's
// setting.  Each writes 8 bytes (date: 4) and reads what it writes.
void encodeTimestamp(char* out, double datenum, bool integerDatetimes);
double decodeTimestamp(const char* in, bool integerDatetimes);
void encodeTime(char* out, double datenum, bool integerDatetimes);
double decodeTime(const char* in, bool integerDatetimes);
void encodeDate(char* out, double datenum);
double decodeDate(const char* in);
// An interval of `days` (finite, whole part within int32): 16 bytes, the
// whole days in its day field and the fraction in its time field, to the
// microsecond.
constexpr size_t kIntervalBytes = 16;
void encodeIntervalDays(char* out, double days, bool integerDatetimes);

// Text-like types, bytea, serialised values and numeric: cells of char or
// uint8 rows.
bool sizeText(const mxArray*, size_t, size_t&, std::string&);
bool writeText(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
bool sizeBytea(const mxArray*, size_t, size_t&, std::string&);
bool writeBytea(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readBytea(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
               std::string&);
bool readSerialised(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                    std::string&);
bool sizeNumeric(const mxArray*, size_t, size_t&, std::string&);
bool writeNumeric(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readNumeric(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                 std::string&);

// A 1-by-n uint8 row of the bytes (0-by-0 when there are none).
mxArray* createByteRow(const char* bytes, size_t length);

// Name of the Octave function that turns serialised bytes back into a
// value, and of its twin that serialises a value.
inline constexpr const char kDeserialiseFunction[] = "vorlex_deserialize";
inline constexpr const char kSerialiseFunction[] = "vorlex_serialize";

}  // namespace vorlex
