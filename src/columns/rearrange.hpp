// SPDX-License-Identifier: BSD-3-Clause
// rearrange.hpp - one row's values side by side.
//
// A column of M rows whose values have K elements each is held column-major
// as an M-by-K matrix: the elements of one row lie M apart.  The batch
// commands read a row's value in place, so they copy such a column, a
// block of rows at a time, into K-by-rows order, where a row's K elements
// are contiguous, still column-major within the value.
#pragma once

#include <cstddef>

namespace vorlex {

// Copies `rows` rows of the matrix at `column`, whose `count` elements of
// `elementSize` bytes (1, 2, 4 or 8) lie `stride` elements apart, into
// `out` with each row's elements together.
void rowsTogether(const void* column, size_t stride, size_t rows, size_t count, size_t elementSize,
                  void* out);

}  // namespace vorlex
