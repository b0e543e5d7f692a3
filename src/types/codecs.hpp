// SPDX-License-Identifier: BSD-3-Clause
// codecs.hpp - the forms of the codecs between Octave arrays and
// PostgreSQL's values, and the wire values the rest of the module shares.
//
// One codec per base type, held by the type's row of the type catalogue
// (type_catalogue.hpp).  The procedures of each family of types are
// declared in its own header (codec_number.hpp, codec_datetime.hpp,
// codec_text.hpp, text_forms.hpp), which only the catalogue includes: the
// rest of the module reaches a type's procedures through its row.
// Writers and readers are pure functions of their arguments: they never
// raise, they report a failure with a text and return false, so that the
// libpqtypes procedures built on them can hand the text to libpqtypes
// instead of unwinding through its frames.
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

// Why a number does not fit a column of the type insert fills (a text
// such as "is not a whole number"), or null when it fits.
using FitRule = const char* (*)(long double value);

// Decodes one binary value into the text the server would write for it;
// false, with the reason in `error`, for a value of the wrong length or form.
using TextDecoder = bool (*)(const char* bytes, size_t length, std::string& text,
                             std::string& error);

// The reader of the serialised types, by which their columns are known.
bool readSerialised(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                    std::string&);

// Stores an int8 as a double, or gives the refusal's text for one beyond
// +-2^53; and whether a reader's error is that refusal.
bool storeInt8AsDouble(int64_t value, const ElementTarget& target, size_t index,
                       std::string& error);
bool isInt8PrecisionError(const std::string& error);

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

// A 1-by-n uint8 row of the bytes (0-by-0 when there are none).
mxArray* createByteRow(const char* bytes, size_t length);

// Name of the Octave function that turns serialised bytes back into a
// value, and of its twin that serialises a value.
inline constexpr const char kDeserialiseFunction[] = "vorlex_deserialize";
inline constexpr const char kSerialiseFunction[] = "vorlex_serialize";

}  // namespace vorlex
