// SPDX-License-Identifier: BSD-3-Clause
// Cell columns gathered flat and made by the host backend: every kind of
// row comes out with its class, shape and elements, in order, whatever the
// runs of shapes between them; equal rows stay equal, and a column made
// twice starts empty the second time.
#include "columns/cell_column.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vorlex {
namespace {

// Asking a host-made array for its dimensions before one of its elements
// makes Octave 7 free its cached dimensions twice when it converts the
// array: the elements are asked for first.
struct MadeCells {
    mxArray* cells;
    explicit MadeCells(CellColumn& column) : cells(column.make()) {
        if (mxGetNumberOfElements(cells)) mxGetCell(cells, 0);
    }
    ~MadeCells() { mxDestroyArray(cells); }
    MadeCells(const MadeCells&) = delete;
    MadeCells& operator=(const MadeCells&) = delete;
    const mxArray* at(size_t row) const { return mxGetCell(cells, row); }
};

std::vector<size_t> dimsOf(const mxArray* array) {
    const mwSize* dims = mxGetDimensions(array);
    return std::vector<size_t>(dims, dims + mxGetNumberOfDimensions(array));
}

std::string textOf(const mxArray* array) {
    return std::string(static_cast<const char*>(mxGetData(array)), mxGetNumberOfElements(array));
}

// An element left unset reads as an empty double; the host may give one.
bool isUnset(const mxArray* element) {
    return !element || (mxIsDouble(element) && mxIsEmpty(element) &&
                        dimsOf(element) == std::vector<size_t>{0, 0});
}

TEST(CellColumns, RowsOfTextsAndBytes) {
    struct Case {
        const char* text;  // null: missing
        std::vector<size_t> dims;
    };
    const std::vector<Case> cases = {
        {"abc", {1, 3}}, {"abc", {1, 3}},   {"", {0, 0}}, {nullptr, {0, 0}},
        {"x", {1, 1}},   {nullptr, {0, 0}}, {"", {0, 0}}, {"longer text", {1, 11}},
    };
    for (mxClassID classId : {mxCHAR_CLASS, mxUINT8_CLASS}) {
        CellColumn column(classId, classId);
        for (const Case& row : cases)
            if (row.text)
                column.addRow(row.text, std::strlen(row.text));
            else
                column.addMissing();
        ASSERT_EQ(column.rows(), cases.size());
        MadeCells made(column);
        EXPECT_EQ(dimsOf(made.cells), (std::vector<size_t>{cases.size(), 1}));
        for (size_t row = 0; row < cases.size(); ++row) {
            SCOPED_TRACE("row " + std::to_string(row));
            const mxArray* element = made.at(row);
            ASSERT_TRUE(element);
            EXPECT_EQ(mxGetClassID(element), classId);
            EXPECT_EQ(dimsOf(element), cases[row].dims);
            if (cases[row].text) {
                EXPECT_EQ(textOf(element), cases[row].text);
            }
        }
    }
}

TEST(CellColumns, ShapedRowsInRunsOfShapes) {
    struct Case {
        std::vector<mwSize> dims;  // empty: missing
        std::vector<int32_t> values;
    };
    const std::vector<Case> cases = {
        {{2, 1}, {1, 2}}, {{2, 1}, {3, 4}}, {{2, 1}, {3, 4}},
        {{}, {}},         {{0, 0}, {}},     {{2, 2, 2}, {1, 2, 3, 4, 5, 6, 7, 8}},
        {{2, 1}, {5, 6}}, {{1, 1}, {9}},    {{}, {}},
    };
    CellColumn column(mxINT32_CLASS, mxINT32_CLASS);
    for (const Case& row : cases) {
        if (row.dims.empty()) {
            column.addMissing();
            continue;
        }
        void* room =
            column.addShaped(static_cast<int>(row.dims.size()), row.dims.data(), row.values.size());
        if (!row.values.empty())
            std::memcpy(room, row.values.data(), row.values.size() * sizeof(int32_t));
    }
    MadeCells made(column);
    for (size_t row = 0; row < cases.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const mxArray* element = made.at(row);
        ASSERT_TRUE(element);
        EXPECT_EQ(mxGetClassID(element), mxINT32_CLASS);
        std::vector<size_t> dims(cases[row].dims.begin(), cases[row].dims.end());
        if (dims.empty()) dims = {0, 0};
        EXPECT_EQ(dimsOf(element), dims);
        const auto* values = static_cast<const int32_t*>(mxGetData(element));
        EXPECT_EQ(std::vector<int32_t>(values, values + mxGetNumberOfElements(element)),
                  cases[row].values);
    }
}

TEST(CellColumns, CellsOfRowsWithUnsetElements) {
    CellColumn column(mxCELL_CLASS, mxCHAR_CLASS, mxCHAR_CLASS);
    const mwSize twoByTwo[2] = {2, 2};
    const mwSize none[2] = {0, 0};
    column.addShaped(2, twoByTwo, 4);  // {'a', 'c'; [], ''} in column-major order
    column.elements().addRow("a", 1);
    column.elements().addMissing();
    column.elements().addRow("c", 1);
    column.elements().addRow("", 0);
    column.addMissing();
    column.addShaped(2, none, 0);
    MadeCells made(column);
    const mxArray* first = made.at(0);
    ASSERT_TRUE(first && mxIsCell(first));
    EXPECT_EQ(textOf(mxGetCell(first, 0)), "a");
    EXPECT_EQ(dimsOf(first), (std::vector<size_t>{2, 2}));
    EXPECT_TRUE(isUnset(mxGetCell(first, 1)));
    EXPECT_EQ(textOf(mxGetCell(first, 2)), "c");
    EXPECT_TRUE(mxIsChar(mxGetCell(first, 3)) && mxIsEmpty(mxGetCell(first, 3)));
    const mxArray* missing = made.at(1);
    EXPECT_TRUE(mxIsChar(missing) && dimsOf(missing) == (std::vector<size_t>{0, 0}));
    const mxArray* empty = made.at(2);
    EXPECT_TRUE(mxIsCell(empty) && dimsOf(empty) == (std::vector<size_t>{0, 0}));
}

TEST(CellColumns, AColumnMadeTwiceStartsEmpty) {
    CellColumn column(mxCHAR_CLASS, mxCHAR_CLASS);
    column.addRow("one", 3);
    { MadeCells first(column); }
    EXPECT_EQ(column.rows(), 0u);
    column.addRow("two", 3);
    MadeCells second(column);
    ASSERT_EQ(mxGetNumberOfElements(second.cells), 1u);
    EXPECT_EQ(textOf(second.at(0)), "two");
}

}  // namespace
}  // namespace vorlex
