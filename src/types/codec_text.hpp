// SPDX-License-Identifier: BSD-3-Clause
// codec_text.hpp - the procedures of the text-like types, bytea and numeric
// (codec_text.cpp), named by the type catalogue's rows.
#pragma once

#include "types/codecs.hpp"

namespace vorlex {

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
bool sizeNumeric(const mxArray*, size_t, size_t&, std::string&);
bool writeNumeric(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readNumeric(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                 std::string&);
// numeric as a double: its binary value, or the server's text of it.
// Beyond double's range it gives infinity (or zero, for a fraction).
bool readNumericDouble(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                       std::string&);
bool readDecimalDouble(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                       std::string&);

}  // namespace vorlex
