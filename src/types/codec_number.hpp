// SPDX-License-Identifier: BSD-3-Clause
// codec_number.hpp - the procedures of int2, int4, int8, float4, float8 and
// bool (codec_number.cpp), named by the type catalogue's rows.
#pragma once

#include "types/codecs.hpp"

namespace vorlex {

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
// The server's text of a number or bool, read into `Stored` (the type's
// class, or double), for a statement whose results come as text; the
// forms the rows name are instantiated beside the definitions.
//   int2, int4, int8    -12 (int8 as a double refused beyond +-2^53, as
//                       readInt8AsDouble refuses it)
//   float4, float8      -1.5e-07, Infinity, -Infinity, NaN (shortest
//                       exact text: the same value as the binary form)
//   bool                t, f (logical, or a double 0/1)
template <typename T, typename Stored>
bool readIntegerText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                     std::string&);
template <typename T, typename Stored>
bool readFloatingText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                      std::string&);
template <typename Stored>
bool readBoolText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                  std::string&);
bool readInt8TextAsDouble(const char*, size_t, const ElementTarget&, size_t,
                          const PGtypeFormatInfo&, std::string&);

// insert's rules for a number in a column of the type.
const char* fitInt2(long double value);
const char* fitInt4(long double value);
const char* fitInt8(long double value);
const char* fitBool(long double value);
const char* fitFloat4(long double value);

}  // namespace vorlex
