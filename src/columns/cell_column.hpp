// SPDX-License-Identifier: BSD-3-Clause
// cell_column.hpp - a cell column gathered flat while its rows are read,
// and made by the host in one pass at the end (backend/host_cells.hpp)
// instead of one host array per row.
//
// Rows are 1-by-n rows of bytes or texts (0-by-0 when empty), arrays of a
// shape, cells of the rows of an elements' column, or missing (NULL).
// Values an Octave function makes one at a time (serialised values) are
// kept as the host arrays they are.
#pragma once

#include <mex.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "backend/host_cells.hpp"
#include "host/owners.hpp"

namespace vorlex {

class CellColumn {
  public:
    // Rows of `classId`; a missing row is a 0-by-0 array of `missingClass`
    // (mxUNKNOWN_CLASS: an unset element).  Cell rows hold the rows of
    // elements(), of `elementClass`, which the caller fills; a missing
    // element is left unset.
    CellColumn(mxClassID classId, mxClassID missingClass, mxClassID elementClass = mxUNKNOWN_CLASS);
    // Rows that are host arrays made one by one.
    static CellColumn ofHostArrays();

    CellColumn(CellColumn&&) = default;
    CellColumn& operator=(CellColumn&&) = default;

    size_t rows() const { return hostRows_ ? hostArrays_.size() : ends_.size(); }
    CellColumn& elements() { return *elements_; }
    void reserve(size_t rows);

    // A 1-by-n row of `count` elements (0-by-0 when there are none).
    void addRow(const void* elements, size_t count);
    // An array of `ndims` extents and `count` elements, which the caller
    // writes at the room returned (cells: adds that many rows to
    // elements() instead; the room is null).  Valid until the next add.
    void* addShaped(int ndims, const mwSize* dims, size_t count);
    void addMissing();
    // A host array, which the column then owns.
    void addHostArray(mxArray* array);

    // The N-by-1 cell of the rows; the column is left empty.
    mxArray* make();

  private:
    CellColumn() = default;
    void extendShape(int ndims, const mwSize* dims);
    // The flat view the backend reads, with the elements' view of cells.
    FlatRows flatRows(const FlatRows* elements) const;

    mxClassID classId_ = mxUNKNOWN_CLASS;
    mxClassID missingClass_ = mxUNKNOWN_CLASS;
    mxClassID elementClass_ = mxUNKNOWN_CLASS;
    size_t elementSize_ = 0;
    std::vector<char> data_;
    std::vector<size_t> ends_;
    std::vector<RowShape> shapes_;
    std::vector<mwSize> dims_;
    std::unique_ptr<CellColumn> elements_;
    std::vector<HostArrayOwner> hostArrays_;
    bool hostRows_ = false;
};

}  // namespace vorlex
