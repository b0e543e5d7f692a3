// SPDX-License-Identifier: BSD-3-Clause
// value_sources.hpp - where a value put in a test comes from.
#pragma once

#include "params/param_building.hpp"

namespace vorlex {

// Element `row` of a column's raw data (the slice form of a scalar).
inline ValueSource rawRow(const void* data, long long row, bool isDouble) {
    ValueSource source;
    source.data = data;
    source.isDouble = isDouble;
    source.offset = row;
    return source;
}

// A value of a column slice, from element `offset` on.
inline ValueSource sliceAt(const ColumnSlice& slice, long long offset) {
    ValueSource source;
    source.slice = &slice;
    source.offset = offset;
    return source;
}

// One Octave array (the direct form).
inline ValueSource direct(const mxArray* array) {
    ValueSource source;
    source.array = array;
    return source;
}

}  // namespace vorlex
