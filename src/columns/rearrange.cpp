// SPDX-License-Identifier: BSD-3-Clause
// rearrange.cpp - the transpose behind rowsTogether.
#include "columns/rearrange.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vorlex {

namespace {

// Tiles keep both the rows read and the rows written in cache.
constexpr size_t kTile = 32;

template <typename Element>
void transpose(const Element* in, size_t stride, size_t rows, size_t count, Element* out) {
    for (size_t r0 = 0; r0 < rows; r0 += kTile) {
        size_t r1 = std::min(rows, r0 + kTile);
        for (size_t k0 = 0; k0 < count; k0 += kTile) {
            size_t k1 = std::min(count, k0 + kTile);
            for (size_t r = r0; r < r1; ++r)
                for (size_t k = k0; k < k1; ++k) out[r * count + k] = in[k * stride + r];
        }
    }
}

// Swaps, in each pair of words (a, b), the bytes of `mask` shifted up by
// `shift` in a with those of `mask` in b.
void swapBytes(uint64_t& a, uint64_t& b, int shift, uint64_t mask) {
    uint64_t t = ((a >> shift) ^ b) & mask;
    a ^= t << shift;
    b ^= t;
}

// Byte j of a word is the one at offset j in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a little-endian host");

// Eight words of eight bytes as an 8-by-8 matrix, word i byte j, turned
// into its transpose: halves, quarters, then single bytes trade places.
void transpose8x8(uint64_t (&m)[8]) {
    for (int i = 0; i < 4; ++i) swapBytes(m[i], m[i + 4], 32, 0x00000000FFFFFFFFull);
    for (int i : {0, 1, 4, 5}) swapBytes(m[i], m[i + 2], 16, 0x0000FFFF0000FFFFull);
    for (int i : {0, 2, 4, 6}) swapBytes(m[i], m[i + 1], 8, 0x00FF00FF00FF00FFull);
}

// Bytes (a char matrix's), eight rows by eight elements at a time: eight
// loads of a column's eight rows, transposed in registers, eight stores of
// a row's eight elements; one byte at a time costs several times more.
void transposeBytes(const uint8_t* in, size_t stride, size_t rows, size_t count, uint8_t* out) {
    size_t rows8 = rows - rows % 8, count8 = count - count % 8;
    for (size_t r = 0; r < rows8; r += 8) {
        for (size_t k = 0; k < count8; k += 8) {
            uint64_t block[8];
            for (size_t i = 0; i < 8; ++i) std::memcpy(&block[i], in + (k + i) * stride + r, 8);
            transpose8x8(block);
            for (size_t j = 0; j < 8; ++j) std::memcpy(out + (r + j) * count + k, &block[j], 8);
        }
        for (size_t k = count8; k < count; ++k)
            for (size_t j = 0; j < 8; ++j) out[(r + j) * count + k] = in[k * stride + r + j];
    }
    for (size_t r = rows8; r < rows; ++r)
        for (size_t k = 0; k < count; ++k) out[r * count + k] = in[k * stride + r];
}

}  // namespace

void rowsTogether(const void* column, size_t stride, size_t rows, size_t count, size_t elementSize,
                  void* out) {
    switch (elementSize) {
        case 1:
            transposeBytes(static_cast<const uint8_t*>(column), stride, rows, count,
                           static_cast<uint8_t*>(out));
            break;
        case 2:
            transpose(static_cast<const uint16_t*>(column), stride, rows, count,
                      static_cast<uint16_t*>(out));
            break;
        case 4:
            transpose(static_cast<const uint32_t*>(column), stride, rows, count,
                      static_cast<uint32_t*>(out));
            break;
        default:
            transpose(static_cast<const uint64_t*>(column), stride, rows, count,
                      static_cast<uint64_t*>(out));
            break;
    }
}

}  // namespace vorlex
