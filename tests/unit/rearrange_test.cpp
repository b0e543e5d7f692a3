// SPDX-License-Identifier: BSD-3-Clause
// rowsTogether: each row's elements side by side, for every element size,
// across the cache tiles' edges.
#include "batch/rearrange.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vorlex {
namespace {

template <typename Element>
void expectRowsTogether(size_t rows, size_t count) {
    std::vector<Element> column(rows * count), out(rows * count);
    for (size_t k = 0; k < count; ++k)
        for (size_t r = 0; r < rows; ++r) column[k * rows + r] = static_cast<Element>(r * 1000 + k);
    rowsTogether(column.data(), rows, count, sizeof(Element), out.data());
    for (size_t r = 0; r < rows; ++r)
        for (size_t k = 0; k < count; ++k)
            ASSERT_EQ(out[r * count + k], static_cast<Element>(r * 1000 + k))
                << rows << "x" << count << " at row " << r << ", element " << k;
}

TEST(RowsTogether, EveryElementSizeAndShape) {
    for (auto [rows, count] : {std::pair<size_t, size_t>{2, 3},
                               {1, 5},
                               {5, 1},
                               {33, 65},
                               {100, 7},
                               {64, 16},
                               {1003, 20},
                               {8, 9}}) {
        expectRowsTogether<uint8_t>(rows, count);
        expectRowsTogether<uint16_t>(rows, count);
        expectRowsTogether<uint32_t>(rows, count);
        expectRowsTogether<uint64_t>(rows, count);
    }
}

}  // namespace
}  // namespace vorlex
