// SPDX-License-Identifier: BSD-3-Clause
// mat_element.hpp - any Octave value as the bytes of one MAT-file element,
// and back.
//
// The bytes are one Level 5 miMATRIX data element, little-endian, every
// sub-element padded to 8 bytes, with the array named "value": written
// after a standard 128-byte MAT-file header they make a file that `load`
// (or any MAT-file reader) turns back into the value, as the variable
// `value`.  This is how serialised values are stored in bytea columns.
//
// Encoding covers numeric arrays of every class (real and complex),
// logical, char, cell, struct and sparse arrays of any shape, nested up to
// kMatElementMaxDepth levels.  Char data is written as 16-bit code units
// where that keeps the value exact, else as the host's UTF-8 bytes
// (miUTF8).  Function handles and objects are refused.
//
// Decoding reads what encoding writes and also the usual variants of other
// writers: numeric data stored in any numeric type (narrower integers in
// particular), small data elements anywhere, 8- or 16-bit char data, any
// field name length, empty miMATRIX elements inside containers.  Compressed
// elements are refused.  Every field is checked against the bytes that are
// there before anything is allocated, so no input leads outside the buffer
// or to an allocation larger than the input justifies.
//
// Failures raise GatewayError (errors.hpp) under the active command, with
// the checks listed below; arrays made before a failure are destroyed.
#pragma once

#include <mex.h>

#include <cstddef>

namespace vorlex {

// The name the top-level array carries.
inline constexpr const char kMatElementName[] = "value";

// Cells and structs nested deeper than this are refused either way: the
// decoder recurses once per level, on input that may be hostile.
inline constexpr int kMatElementMaxDepth = 256;

// The element of `value` as a 1-by-n uint8 row that the caller owns.
// Raises "unsupportedClass" (function handles, objects), "tooLarge" (a
// dimension or an element beyond what MAT-file sizes hold) and "tooDeep".
mxArray* encodeMatElement(const mxArray* value);

// The value held by `length` bytes that make exactly one element.  The
// caller owns the result.  Raises "truncated", "trailingBytes", "badTag",
// "notMatrix", "compressed", "unsupportedClass", "badFlags", "badDims",
// "badName", "dataType", "dataSize", "charShape", "badFieldNames",
// "duplicateField", "badSparse", "complexInteger", "tooLarge" or "tooDeep".
mxArray* decodeMatElement(const unsigned char* bytes, size_t length);

}  // namespace vorlex
