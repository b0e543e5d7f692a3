// SPDX-License-Identifier: BSD-3-Clause
// mat_format.hpp - what the encoder (mat_encode.cpp) and the decoder
// (mat_decode.cpp) share of the MAT-file Level 5 format.
//
// An miMATRIX element is a tag (type 14, byte count) followed by data
// elements, each a tag and its data padded to 8 bytes (or, for 1 to 4 bytes
// of data, the small form: a 4-byte tag and the data in the next 4 bytes):
//
//   array flags  miUINT32 x2: class | flag bits << 8, then nzmax (sparse)
//   dimensions   miINT32 x ndims (at least 2)
//   array name   miINT8
//   numeric      real part, then the imaginary part when complex
//   logical      uint8 class with the logical flag; miUINT8 data
//   char         miUINT16 code units, or miUTF8 bytes
//   cell         one miMATRIX per element, in column-major order
//   struct       field name length (miINT32), the names (miINT8, each
//                NUL-padded to that length), then for each element, for
//                each field, one miMATRIX
//   sparse       row indices and column starts (miINT32), then the real
//                and imaginary values of the stored elements (doubles,
//                also for logical arrays)
//
// Octave's and MATLAB's hosts are little-endian, like the elements written
// here, so bulk data is copied as it is; tags and single words go through
// explicit byte loads and stores.  Complex data uses the separate real and
// imaginary parts of the MEX API (the default API of both hosts), which is
// also how MAT-files lay it out.
#pragma once

#include <mex.h>

#include <cstddef>
#include <cstdint>

namespace vorlex::matfile {

// Data types of tags, under the names the format gives them.
enum DataType : uint32_t {
    miINT8 = 1,
    miUINT8 = 2,
    miINT16 = 3,
    miUINT16 = 4,
    miINT32 = 5,
    miUINT32 = 6,
    miSINGLE = 7,
    miDOUBLE = 9,
    miINT64 = 12,
    miUINT64 = 13,
    miMATRIX = 14,
    miCOMPRESSED = 15,
    miUTF8 = 16,
    miUTF16 = 17,
};

// Array classes of the flags word.
constexpr uint8_t kCellClass = 1;
constexpr uint8_t kStructClass = 2;
constexpr uint8_t kCharClass = 4;
constexpr uint8_t kSparseClass = 5;
constexpr uint8_t kDoubleClass = 6;
constexpr uint8_t kUint8Class = 9;

// Flag bits of the flags word (bits 8 to 15).
constexpr uint8_t kComplexFlag = 0x08;
constexpr uint8_t kLogicalFlag = 0x02;

constexpr size_t kTagSize = 8;
// A tag counts bytes in 32 bits: the largest count whose padded size still
// fits.
constexpr size_t kMaxElementBytes = 0xFFFFFFF8u;

// One row per numeric class: its Octave class, its class in the flags word
// and the data type (and width) it is written in.
struct NumericClass {
    mxClassID id;
    uint8_t matClass;
    uint32_t dataType;
    size_t width;
    bool isInteger;
};

inline constexpr NumericClass numericClasses[] = {
    {mxDOUBLE_CLASS, 6, miDOUBLE, 8, false}, {mxSINGLE_CLASS, 7, miSINGLE, 4, false},
    {mxINT8_CLASS, 8, miINT8, 1, true},      {mxUINT8_CLASS, 9, miUINT8, 1, true},
    {mxINT16_CLASS, 10, miINT16, 2, true},   {mxUINT16_CLASS, 11, miUINT16, 2, true},
    {mxINT32_CLASS, 12, miINT32, 4, true},   {mxUINT32_CLASS, 13, miUINT32, 4, true},
    {mxINT64_CLASS, 14, miINT64, 8, true},   {mxUINT64_CLASS, 15, miUINT64, 8, true},
};

inline const NumericClass* numericClassOf(mxClassID id) {
    for (const NumericClass& row : numericClasses)
        if (row.id == id) return &row;
    return nullptr;
}

inline const NumericClass* numericClassOfMat(uint8_t matClass) {
    for (const NumericClass& row : numericClasses)
        if (row.matClass == matClass) return &row;
    return nullptr;
}

inline size_t padded(size_t bytes) { return (bytes + 7) & ~size_t{7}; }

inline void storeLittle16(unsigned char* out, uint16_t value) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
}

inline void storeLittle32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint16_t loadLittle16(const unsigned char* in) {
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

inline uint32_t loadLittle32(const unsigned char* in) {
    return uint32_t{in[0]} | (uint32_t{in[1]} << 8) | (uint32_t{in[2]} << 16) |
           (uint32_t{in[3]} << 24);
}

inline bool isTwoDimensionalRow(mwSize ndims, const mwSize* dims) {
    return ndims == 2 && dims[0] == 1;
}

}  // namespace vorlex::matfile
