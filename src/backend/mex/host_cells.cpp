// SPDX-License-Identifier: BSD-3-Clause
// host_cells.cpp - whole columns through documented MEX and MX functions.
//
// The MX functions make and read one host array at a time.  Where one of
// the host's builtins does a whole column in one call (zeros, num2cell,
// cellfun), it is called through `builtin`, which passes over a user's
// function of the same name, with its errors trapped; a column the host
// did not make is made element by element.
#include "backend/host_cells.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "backend/host_classes.hpp"

namespace vorlex {

namespace {

// Below this many rows a call of the host costs more than it saves.
constexpr size_t kHostCallRows = 4096;

// builtin(inputs...) with one output, the inputs destroyed but those in
// `kept` (the caller's); null when the call failed.
mxArray* callBuiltin(std::vector<mxArray*> inputs, size_t kept = 0) {
    mxArray* output = nullptr;
    mxArray* failure = mexCallMATLABWithTrap(1, &output, static_cast<int>(inputs.size()),
                                             inputs.data(), "builtin");
    for (size_t i = 0; i < inputs.size(); ++i)
        if (!(kept & (size_t{1} << i))) mxDestroyArray(inputs[i]);
    if (failure) {
        mxDestroyArray(failure);
        if (output) mxDestroyArray(output);
        return nullptr;
    }
    return output;
}

mxArray* createArray(mxClassID classId, mwSize ndims, const mwSize* dims) {
    switch (classId) {
        case mxCHAR_CLASS:
            return mxCreateCharArray(ndims, dims);
        case mxLOGICAL_CLASS:
            return mxCreateLogicalArray(ndims, dims);
        case mxCELL_CLASS:
            return mxCreateCellArray(ndims, dims);
        default:
            return mxCreateNumericArray(ndims, dims, classId, mxREAL);
    }
}

mxArray* charRow(const char* bytes, size_t length) {
    mwSize dims[2] = {length ? mwSize{1} : mwSize{0}, static_cast<mwSize>(length)};
    if constexpr (sizeof(mxChar) == 1) {
        mxArray* row = mxCreateCharArray(2, dims);
        if (length) std::memcpy(mxGetChars(row), bytes, length);
        return row;
    } else {
        if (length == 0) return mxCreateCharArray(2, dims);
        return mxCreateString(std::string(bytes, length).c_str());
    }
}

// Row `row`'s array, made alone; null for a missing row left unset.
// Cells come back with their elements unset.
mxArray* rowArray(const FlatRows& rows, const RowShape& shape, size_t begin, size_t count) {
    if (shape.ndims == 0) {
        if (rows.missingClass == mxUNKNOWN_CLASS) return nullptr;
        mwSize empty[2] = {0, 0};
        return createArray(rows.missingClass, 2, empty);
    }
    if (shape.ndims < 0 && rows.classId == mxCHAR_CLASS)
        return charRow(static_cast<const char*>(rows.data) + begin, count);
    mwSize rowDims[2] = {count ? mwSize{1} : mwSize{0}, static_cast<mwSize>(count)};
    mwSize ndims = shape.ndims < 0 ? 2 : static_cast<mwSize>(shape.ndims);
    const mwSize* dims = shape.ndims < 0 ? rowDims : rows.dims + shape.firstDim;
    mxArray* array = createArray(rows.classId, ndims, dims);
    if (rows.classId != mxCELL_CLASS && count) {
        size_t size = classElementSize(rows.classId);
        std::memcpy(mxGetData(array), static_cast<const char*>(rows.data) + begin * size,
                    count * size);
    }
    return array;
}

std::vector<mxArray*> rowArrays(const FlatRows& rows) {
    std::vector<mxArray*> elements;
    if (rows.classId == mxCELL_CLASS) elements = rowArrays(*rows.elements);
    std::vector<mxArray*> arrays(rows.count, nullptr);
    size_t row = 0, begin = 0;
    for (size_t s = 0; s < rows.shapeCount; ++s) {
        const RowShape& shape = rows.shapes[s];
        for (; row < shape.endRow; begin = rows.ends[row++]) {
            size_t count = rows.ends[row] - begin;
            arrays[row] = rowArray(rows, shape, begin, count);
            if (rows.classId != mxCELL_CLASS || shape.ndims == 0) continue;
            for (size_t k = 0; k < count; ++k)
                if (elements[begin + k]) mxSetCell(arrays[row], k, elements[begin + k]);
        }
    }
    return arrays;
}

// Rows of one shape of a numeric or logical class, cut by the host's
// num2cell from one array whose last dimension counts the rows: two MX
// arrays per row (the value and Octave's copy of it) cost about a
// microsecond each.
mxArray* sameShapeCells(const FlatRows& rows) {
    const RowShape& shape = rows.shapes[0];
    std::vector<mwSize> dims(rows.dims + shape.firstDim, rows.dims + shape.firstDim + shape.ndims);
    dims.push_back(rows.count);
    mxArray* whole = createArray(rows.classId, dims.size(), dims.data());
    size_t total = rows.ends[rows.count - 1];
    if (total) std::memcpy(mxGetData(whole), rows.data, total * classElementSize(rows.classId));
    mxArray* sliceDims = mxCreateDoubleMatrix(1, shape.ndims, mxREAL);
    for (int d = 0; d < shape.ndims; ++d) mxGetPr(sliceDims)[d] = d + 1;
    mxArray* slices = callBuiltin({mxCreateString("num2cell"), whole, sliceDims});
    if (!slices || !mxIsCell(slices) || mxGetNumberOfElements(slices) != rows.count) {
        if (slices) mxDestroyArray(slices);
        return nullptr;
    }
    auto count = static_cast<double>(rows.count);
    mxArray* column = callBuiltin(
        {mxCreateString("reshape"), slices, mxCreateDoubleScalar(count), mxCreateDoubleScalar(1)});
    if (column && mxIsCell(column) && mxGetNumberOfDimensions(column) == 2 &&
        mxGetM(column) == rows.count && mxGetN(column) == 1)
        return column;
    if (column) mxDestroyArray(column);
    return nullptr;
}

bool hasOneShape(const FlatRows& rows) {
    return rows.classId != mxCELL_CLASS && rows.classId != mxCHAR_CLASS &&
           rows.count >= kHostCallRows && rows.shapeCount == 1 && rows.shapes[0].ndims > 0;
}

// The host's zeros (or false): an array the host made itself goes back to
// it without the copy that arrays made through the MX functions cost Octave.
mxArray* hostZeros(mxClassID classId, size_t rows) {
    bool logical = classId == mxLOGICAL_CLASS;
    std::vector<mxArray*> inputs = {mxCreateString(logical ? "false" : "zeros"),
                                    mxCreateDoubleScalar(static_cast<double>(rows)),
                                    mxCreateDoubleScalar(1)};
    if (!logical) inputs.push_back(mxCreateString(classIdName(classId)));
    mxArray* column = callBuiltin(inputs);
    bool made = column && mxGetClassID(column) == classId && mxGetNumberOfDimensions(column) == 2 &&
                mxGetM(column) == rows && mxGetN(column) == 1 && !mxIsComplex(column) &&
                !mxIsSparse(column) && (rows == 0 || mxGetData(column));
    if (made) return column;
    if (column) mxDestroyArray(column);
    return nullptr;
}

// builtin('cellfun', name, cells [, extra]) as doubles, one per element.
bool cellfunNumbers(const char* name, const mxArray* cells, const mxArray* extra,
                    std::vector<double>& numbers) {
    std::vector<mxArray*> inputs = {mxCreateString("cellfun"), mxCreateString(name),
                                    const_cast<mxArray*>(cells)};
    size_t kept = size_t{1} << 2;
    if (extra) {
        inputs.push_back(const_cast<mxArray*>(extra));
        kept |= size_t{1} << 3;
    }
    mxArray* output = callBuiltin(inputs, kept);
    bool answered = output && mxIsDouble(output) && !mxIsComplex(output) && !mxIsSparse(output) &&
                    mxGetNumberOfElements(output) == mxGetNumberOfElements(cells);
    if (answered) {
        const double* values = mxGetPr(output);
        numbers.assign(values, values + mxGetNumberOfElements(output));
    }
    if (output) mxDestroyArray(output);
    return answered;
}

// For each element, whether it is a 2-D array of one row, found by cellfun
// in one pass: asking each element for its dimensions costs Octave an
// allocation per element.  Empty when the host did not answer.
std::vector<uint8_t> oneRowElements(const mxArray* cells) {
    std::vector<double> ndims, rows;
    mxArray* first = mxCreateDoubleScalar(1);
    bool answered = cellfunNumbers("ndims", cells, nullptr, ndims) &&
                    cellfunNumbers("size", cells, first, rows);
    mxDestroyArray(first);
    std::vector<uint8_t> flags;
    if (!answered) return flags;
    flags.resize(ndims.size());
    for (size_t i = 0; i < flags.size(); ++i) flags[i] = ndims[i] == 2 && rows[i] == 1;
    return flags;
}

bool isRow(const mxArray* element) {
    return mxGetNumberOfDimensions(element) == 2 && !mxIsSparse(element) &&
           (mxIsEmpty(element) || mxGetM(element) == 1);
}

// Appends the bytes of a char row to `storage`; false when the host
// cannot convert the text.  On Octave mxGetChars on an element of a cell
// costs an allocation that lives until the call returns, mxGetString none.
bool appendCharRow(const mxArray* row, std::string& storage) {
    size_t count = mxGetNumberOfElements(row);
    if (count == 0) return true;
    if constexpr (sizeof(mxChar) == 1) {
        size_t at = storage.size();
        storage.resize(at + count + 1);
        if (mxGetString(row, &storage[at], count + 1) != 0) return false;
        storage.resize(at + count);
        return true;
    } else {
        char* converted = mxArrayToString(row);
        if (!converted) return false;
        storage += converted;
        mxFree(converted);
        return true;
    }
}

}  // namespace

extern "C" {

mxArray* createRowCells(const FlatRows& rows) {
    if (hasOneShape(rows))
        if (mxArray* cells = sameShapeCells(rows)) return cells;
    std::vector<mxArray*> arrays = rowArrays(rows);
    mxArray* cells = mxCreateCellMatrix(rows.count, 1);
    for (size_t row = 0; row < rows.count; ++row)
        if (arrays[row]) mxSetCell(cells, row, arrays[row]);
    return cells;
}

mxArray* joinRowCells(mxArray* const* parts, size_t count) {
    size_t rows = 0;
    for (size_t k = 0; k < count; ++k) rows += mxGetNumberOfElements(parts[k]);
    mxArray* cells = mxCreateCellMatrix(rows, 1);
    size_t row = 0;
    for (size_t k = 0; k < count; ++k) {
        size_t partRows = mxGetNumberOfElements(parts[k]);
        for (size_t i = 0; i < partRows; ++i, ++row) {
            mxSetCell(cells, row, mxGetCell(parts[k], i));
            mxSetCell(parts[k], i, nullptr);
        }
        mxDestroyArray(parts[k]);
    }
    return cells;
}

mxArray* createFieldStruct(int count, const char* const* names, mxArray* const* fields) {
    mxArray* output = mxCreateStructMatrix(1, 1, count, const_cast<const char**>(names));
    for (int k = 0; k < count; ++k) {
        bool repeated = std::find(fields, fields + k, fields[k]) != fields + k;
        mxSetFieldByNumber(output, 0, k,
                           repeated && fields[k] ? mxDuplicateArray(fields[k]) : fields[k]);
    }
    return output;
}

mxArray* createVectorColumnStruct(const char* const* names, mxClassID classId, size_t rows,
                                  void*& values, mxLogical*& valueNulls, mxLogical*& rowNulls) {
    mxArray* output = mxCreateStructMatrix(1, 1, 3, const_cast<const char**>(names));
    void* flags;
    mxSetFieldByNumber(output, 0, 0, createColumnArray(classId, rows, values));
    mxSetFieldByNumber(output, 0, 1, createColumnArray(mxLOGICAL_CLASS, rows, flags));
    valueNulls = static_cast<mxLogical*>(flags);
    mxSetFieldByNumber(output, 0, 2, createColumnArray(mxLOGICAL_CLASS, rows, flags));
    rowNulls = static_cast<mxLogical*>(flags);
    return output;
}

mxArray* createUint32Scalar(uint32_t value) {
    mxArray* scalar = mxCreateNumericMatrix(1, 1, mxUINT32_CLASS, mxREAL);
    *static_cast<uint32_t*>(mxGetData(scalar)) = value;
    return scalar;
}

// The MX functions made the struct: the host frees it with the call.
void settleOutputs(int, mxArray* const*) {}

void releaseOutputs() {}

mxArray* createColumnArray(mxClassID classId, size_t rows, void*& data) {
    mxArray* column = rows >= kHostCallRows ? hostZeros(classId, rows) : nullptr;
    if (!column)
        column = classId == mxLOGICAL_CLASS ? mxCreateLogicalMatrix(rows, 1)
                                            : mxCreateNumericMatrix(rows, 1, classId, mxREAL);
    data = mxGetData(column);
    return column;
}

void readCellRows(const mxArray* cells, mxClassID classId, CellRows& rows) {
    size_t count = mxGetNumberOfElements(cells);
    rows.bytes.assign(count, nullptr);
    rows.lengths.assign(count, 0);
    rows.storage.clear();
    if (count == 0) return;
    std::vector<uint8_t> oneRow = oneRowElements(cells);
    std::vector<size_t> stored(count, 0);  // chars: where each text starts in storage
    for (size_t k = 0; k < count; ++k) {
        const mxArray* element = mxGetCell(cells, k);
        if (!element || mxGetClassID(element) != classId) continue;
        if (!(oneRow.empty() ? isRow(element) : oneRow[k] || isRow(element))) continue;
        if (classId == mxUINT8_CLASS) {
            rows.lengths[k] = mxGetNumberOfElements(element);
            rows.bytes[k] = rows.lengths[k] ? static_cast<const char*>(mxGetData(element)) : "";
            continue;
        }
        stored[k] = rows.storage.size();
        if (!appendCharRow(element, rows.storage)) continue;
        rows.lengths[k] = rows.storage.size() - stored[k];
        rows.bytes[k] = "";  // pointed into the storage once it is complete
    }
    if (classId != mxCHAR_CLASS) return;
    for (size_t k = 0; k < count; ++k)
        if (rows.bytes[k] && rows.lengths[k]) rows.bytes[k] = rows.storage.data() + stored[k];
}

}  // extern "C"

}  // namespace vorlex
