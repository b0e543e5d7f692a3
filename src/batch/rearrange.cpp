// SPDX-License-Identifier: BSD-3-Clause
// rearrange.cpp - the transpose behind rowsTogether.
#include "batch/rearrange.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vorlex {

namespace {

// Tiles keep both the rows read and the rows written in cache.
constexpr size_t kTile = 32;

template <typename Element>
void transpose(const Element* in, size_t rows, size_t count, Element* out) {
    for (size_t r0 = 0; r0 < rows; r0 += kTile) {
        size_t r1 = std::min(rows, r0 + kTile);
        for (size_t k0 = 0; k0 < count; k0 += kTile) {
            size_t k1 = std::min(count, k0 + kTile);
            for (size_t r = r0; r < r1; ++r)
                for (size_t k = k0; k < k1; ++k) out[r * count + k] = in[k * rows + r];
        }
    }
}

}  // namespace

void rowsTogether(const void* column, size_t rows, size_t count, size_t elementSize, void* out) {
    switch (elementSize) {
        case 1:
            transpose(static_cast<const uint8_t*>(column), rows, count, static_cast<uint8_t*>(out));
            break;
        case 2:
            transpose(static_cast<const uint16_t*>(column), rows, count,
                      static_cast<uint16_t*>(out));
            break;
        case 4:
            transpose(static_cast<const uint32_t*>(column), rows, count,
                      static_cast<uint32_t*>(out));
            break;
        default:
            transpose(static_cast<const uint64_t*>(column), rows, count,
                      static_cast<uint64_t*>(out));
            break;
    }
}

}  // namespace vorlex
