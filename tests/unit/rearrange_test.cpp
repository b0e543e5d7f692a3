// SPDX-License-Identifier: BSD-3-Clause
// rowsTogether: each row's elements side by side, for every element size,
// across the cache tiles' edges, of a whole column or a block of its rows.
#include "columns/rearrange.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vorlex {
namespace {

// Rows [first, first + taken) of a rows-by-count column.
template <typename Element>
void expectRowsTogether(size_t rows, size_t count, size_t first, size_t taken) {
    std::vector<Element> column(rows * count), out(taken * count);
    for (size_t k = 0; k < count; ++k)
        for (size_t r = 0; r < rows; ++r) column[k * rows + r] = static_cast<Element>(r * 1000 + k);
    rowsTogether(column.data() + first, rows, taken, count, sizeof(Element), out.data());
    for (size_t r = 0; r < taken; ++r)
        for (size_t k = 0; k < count; ++k)
            ASSERT_EQ(out[r * count + k], static_cast<Element>((first + r) * 1000 + k))
                << rows << "x" << count << " from row " << first << ", at row " << r << ", element "
                << k;
}

TEST(RowsTogether, EveryElementSizeAndShape) {
    struct Shape {
        size_t rows, count, first, taken;
    };
    for (Shape shape : {Shape{2, 3, 0, 2},
                        {1, 5, 0, 1},
                        {5, 1, 0, 5},
                        {33, 65, 0, 33},
                        {100, 7, 0, 100},
                        {64, 16, 0, 64},
                        {1003, 20, 0, 1003},
                        {8, 9, 0, 8},
                        {1003, 20, 3, 500},
                        {100, 7, 97, 3},
                        {64, 16, 8, 17}}) {
        expectRowsTogether<uint8_t>(shape.rows, shape.count, shape.first, shape.taken);
        expectRowsTogether<uint16_t>(shape.rows, shape.count, shape.first, shape.taken);
        expectRowsTogether<uint32_t>(shape.rows, shape.count, shape.first, shape.taken);
        expectRowsTogether<uint64_t>(shape.rows, shape.count, shape.first, shape.taken);
    }
}

}  // namespace
}  // namespace vorlex
