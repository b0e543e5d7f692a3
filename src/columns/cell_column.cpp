// SPDX-License-Identifier: BSD-3-Clause
// cell_column.cpp - cell columns gathered flat.
#include "columns/cell_column.hpp"

#include <algorithm>
#include <cstring>

#include "backend/host_classes.hpp"

namespace vorlex {

namespace {

constexpr int kRowShape = -1;
constexpr int kMissingShape = 0;

}  // namespace

CellColumn::CellColumn(mxClassID classId, mxClassID missingClass, mxClassID elementClass)
    : classId_(classId),
      missingClass_(missingClass),
      elementClass_(elementClass),
      elementSize_(classElementSize(classId)) {
    if (classId == mxCELL_CLASS)
        elements_ = std::make_unique<CellColumn>(elementClass, mxUNKNOWN_CLASS);
}

CellColumn CellColumn::ofHostArrays() {
    CellColumn column;
    column.hostRows_ = true;
    return column;
}

void CellColumn::reserve(size_t rows) {
    if (hostRows_)
        hostArrays_.reserve(rows);
    else
        ends_.reserve(rows);
}

void CellColumn::extendShape(int ndims, const mwSize* dims) {
    size_t row = ends_.size();
    if (!shapes_.empty()) {
        RowShape& last = shapes_.back();
        bool same = last.ndims == ndims &&
                    (ndims <= 0 || std::equal(dims, dims + ndims, dims_.begin() + last.firstDim));
        if (same) {
            last.endRow = row + 1;
            return;
        }
    }
    shapes_.push_back(RowShape{row + 1, ndims, dims_.size()});
    if (ndims > 0) dims_.insert(dims_.end(), dims, dims + ndims);
}

void CellColumn::addRow(const void* elements, size_t count) {
    extendShape(kRowShape, nullptr);
    const char* bytes = static_cast<const char*>(elements);
    data_.insert(data_.end(), bytes, bytes + count * elementSize_);
    ends_.push_back((ends_.empty() ? 0 : ends_.back()) + count);
}

void* CellColumn::addShaped(int ndims, const mwSize* dims, size_t count) {
    extendShape(ndims, dims);
    ends_.push_back((ends_.empty() ? 0 : ends_.back()) + count);
    if (classId_ == mxCELL_CLASS) return nullptr;
    size_t at = data_.size();
    data_.resize(at + count * elementSize_);
    return data_.data() + at;
}

void CellColumn::addMissing() {
    extendShape(kMissingShape, nullptr);
    ends_.push_back(ends_.empty() ? 0 : ends_.back());
}

void CellColumn::addHostArray(mxArray* array) { hostArrays_.emplace_back(array); }

FlatRows CellColumn::flatRows(const FlatRows* elements) const {
    return FlatRows{classId_, missingClass_,  ends_.size(),   ends_.data(), data_.data(),
                    elements, shapes_.data(), shapes_.size(), dims_.data()};
}

mxArray* CellColumn::make() {
    if (hostRows_) {
        mxArray* cells = mxCreateCellMatrix(hostArrays_.size(), 1);
        for (size_t row = 0; row < hostArrays_.size(); ++row)
            mxSetCell(cells, row, hostArrays_[row].release());
        hostArrays_.clear();
        return cells;
    }
    // The elements of cells are rows, not cells themselves.
    FlatRows elements = elements_ ? elements_->flatRows(nullptr) : FlatRows{};
    mxArray* cells = createRowCells(flatRows(elements_ ? &elements : nullptr));
    *this = CellColumn(classId_, missingClass_, elementClass_);
    return cells;
}

}  // namespace vorlex
