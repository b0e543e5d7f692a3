// SPDX-License-Identifier: BSD-3-Clause
// rearrange.hpp - one row's values side by side.
//
// A column of M rows whose values have K elements each is held column-major
// as an M-by-K matrix: the elements of one row lie M apart.  The batch
// command reads a row's value in place, so it first copies such a column
// once into K-by-M order, where row r's K elements are contiguous from
// element r * K on, still column-major within the value.
#pragma once

#include <cstddef>

namespace vorlex {

// Copies the rows-by-count matrix at `column` (elements of `elementSize`
// bytes: 1, 2, 4 or 8) into `out` with each row's elements together.
void rowsTogether(const void* column, size_t rows, size_t count, size_t elementSize, void* out);

}  // namespace vorlex
