// SPDX-License-Identifier: BSD-3-Clause
// host_cells.cpp - whole columns through Octave's own value classes.
//
// mex.h presents Octave's mxArray to MEX files as void; this file sees the
// class itself (octave/mxarray.h), whose constructor wraps an octave_value
// in an mxArray that Octave takes back as it is, and whose as_octave_value
// gives a host array's value without converting it.  The interface is
// declared with C linkage, as the MEX functions are, so that both views of
// the same pointers link.

// The class first: mexproto.h includes only mxarray.h's declarations.
// clang-format off
#include <octave/Cell.h>
#include <octave/oct.h>
#include <octave/mxarray.h>
#include <octave/mexproto.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#define VORLEX_OCTAVE_CLASSES
#include "backend/host_cells.hpp"

namespace vorlex {

namespace {

mxArray* wrap(const octave_value& value) { return new mxArray(MX_HAS_INTERLEAVED_COMPLEX, value); }

dim_vector dimsOf(int ndims, const mwSize* extents) {
    dim_vector dims = dim_vector::alloc(ndims < 2 ? 2 : ndims);
    dims(1) = 1;
    for (int d = 0; d < ndims; ++d) dims(d) = static_cast<octave_idx_type>(extents[d]);
    return dims;
}

// Octave's value of an array; chars are single-quoted, as the MX
// functions make them.
octave_value valueOf(const Array<char>& chars) { return octave_value(chars, '\''); }
template <typename Element>
octave_value valueOf(const Array<Element>& values) {
    return octave_value(values);
}

template <typename Values>
octave_value emptyOf() {
    return valueOf(Values(dim_vector(0, 0)));
}

// Calls `make.template run<Values>()` with the Octave array class of a
// numeric, logical or char class.
template <typename Make>
auto byClass(mxClassID classId, Make&& make) {
    switch (classId) {
        case mxCHAR_CLASS:
            return make.template run<charNDArray>();
        case mxLOGICAL_CLASS:
            return make.template run<boolNDArray>();
        case mxUINT8_CLASS:
            return make.template run<uint8NDArray>();
        case mxINT16_CLASS:
            return make.template run<int16NDArray>();
        case mxINT32_CLASS:
            return make.template run<int32NDArray>();
        case mxINT64_CLASS:
            return make.template run<int64NDArray>();
        case mxSINGLE_CLASS:
            return make.template run<FloatNDArray>();
        default:
            return make.template run<NDArray>();
    }
}

struct EmptyValue {
    template <typename Values>
    octave_value run() {
        return emptyOf<Values>();
    }
};

// What a missing row stands for: an unset cell element reads as [].
octave_value missingValue(mxClassID missingClass) {
    if (missingClass == mxUNKNOWN_CLASS) return octave_value(Matrix());
    return byClass(missingClass, EmptyValue{});
}

void makeRows(const FlatRows& rows, octave_value* out);

// A row of an array that holds many rows' elements: Array's slice
// constructor, which shares the elements instead of copying them.
template <typename Element>
struct SliceOf : Array<Element> {
    SliceOf(const Array<Element>& all, const dim_vector& dims, size_t begin, size_t end)
        : Array<Element>(all, dims, static_cast<octave_idx_type>(begin),
                         static_cast<octave_idx_type>(end)) {}
};

// The extents of 1-by-n rows, made once for each n (a dim_vector, even an
// unset one, allocates).
class RowDims {
  public:
    const dim_vector& of(size_t count) {
        if (count >= known_.size()) known_.resize(count + 1);
        if (!known_[count]) known_[count] = dim_vector(1, static_cast<octave_idx_type>(count));
        return *known_[count];
    }

  private:
    std::vector<std::optional<dim_vector>> known_;
};

// A value made when first asked for: a column of a few rows seldom needs
// its empty or missing row.
class LazyValue {
  public:
    template <typename Make>
    const octave_value& get(Make&& make) {
        if (!value_.is_defined()) value_ = make();
        return value_;
    }

  private:
    octave_value value_;
};

// Rows of a numeric, logical or char class: every row is a slice of one
// array that holds all the elements, as Octave's own mat2cell cuts one.  A
// row equal to the one before it in shape and elements shares its value.
struct ArrayRows {
    const FlatRows& rows;
    octave_value* out;

    template <typename Values>
    void run() {
        using Element = typename Values::element_type;
        size_t total = rows.count ? rows.ends[rows.count - 1] : 0;
        if (rows.count == 1 && rows.shapes[0].ndims < 0 && total > 0) {
            // One 1-by-n row (a one-row result's text): made as it is.
            Array<Element> row(dim_vector(1, static_cast<octave_idx_type>(total)));
            std::memcpy(row.fortran_vec(), rows.data, total * sizeof(Element));
            out[0] = valueOf(row);
            return;
        }
        Array<Element> all(dim_vector(static_cast<octave_idx_type>(total), 1));
        if (total) std::memcpy(all.fortran_vec(), rows.data, total * sizeof(Element));
        const auto* elements = static_cast<const char*>(rows.data);
        LazyValue empty, missing;
        RowDims rowDims;

        size_t row = 0, begin = 0;
        for (size_t s = 0; s < rows.shapeCount; ++s) {
            const RowShape& shape = rows.shapes[s];
            dim_vector shaped =
                shape.ndims > 0 ? dimsOf(shape.ndims, rows.dims + shape.firstDim) : dim_vector();
            octave_value last;  // the run's last row made
            size_t lastBegin = 0, lastCount = 0;
            for (; row < shape.endRow; begin = rows.ends[row++]) {
                size_t count = rows.ends[row] - begin;
                if (shape.ndims == 0) {
                    out[row] = missing.get([&] { return missingValue(rows.missingClass); });
                } else if (count == 0 && shape.ndims < 0) {
                    out[row] = empty.get(emptyOf<Values>);
                } else if (last.is_defined() && count == lastCount &&
                           std::memcmp(elements + begin * sizeof(Element),
                                       elements + lastBegin * sizeof(Element),
                                       count * sizeof(Element)) == 0) {
                    out[row] = last;
                } else {
                    const dim_vector& dims = shape.ndims < 0 ? rowDims.of(count) : shaped;
                    last = valueOf(SliceOf<Element>(all, dims, begin, begin + count));
                    out[row] = last;
                    lastBegin = begin;
                    lastCount = count;
                }
            }
        }
    }
};

// Rows that are cells of the elements' rows.
void makeCellRows(const FlatRows& rows, octave_value* out) {
    std::vector<octave_value> elements(rows.elements->count);
    makeRows(*rows.elements, elements.data());
    octave_value missing = missingValue(rows.missingClass);
    size_t row = 0, begin = 0;
    for (size_t s = 0; s < rows.shapeCount; ++s) {
        const RowShape& shape = rows.shapes[s];
        for (; row < shape.endRow; begin = rows.ends[row++]) {
            size_t count = rows.ends[row] - begin;
            if (shape.ndims == 0) {
                out[row] = missing;
                continue;
            }
            mwSize rowDims[2] = {count ? mwSize{1} : 0, static_cast<mwSize>(count)};
            Cell cell(shape.ndims < 0 ? dimsOf(2, rowDims)
                                      : dimsOf(shape.ndims, rows.dims + shape.firstDim));
            octave_value* slots = cell.fortran_vec();
            for (size_t k = 0; k < count; ++k) slots[k] = elements[begin + k];
            out[row] = octave_value(cell);
        }
    }
}

void makeRows(const FlatRows& rows, octave_value* out) {
    if (rows.classId == mxCELL_CLASS)
        makeCellRows(rows, out);
    else
        byClass(rows.classId, ArrayRows{rows, out});
}

struct ZeroColumn {
    size_t rows;
    void*& data;

    template <typename Values>
    octave_value run() {
        using Element = typename Values::element_type;
        // A 1-by-1 column is a scalar of Octave's, made as one: an array
        // would be narrowed to one, at many times the cost.
        octave_value column =
            rows == 1
                ? octave_value(Element())
                : valueOf(Values(dim_vector(static_cast<octave_idx_type>(rows), 1), Element()));
        // The value's own elements.
        data = const_cast<void*>(column.mex_get_data());
        return column;
    }
};

// The bytes of a cell element that is a full 2-D row (or empty) of the
// class, else null.  The pointer is the element's own data.
const char* rowBytes(const octave_value& element, mxClassID classId, size_t& length) {
    bool ofClass = classId == mxCHAR_CLASS ? element.is_string() : element.is_uint8_type();
    if (!ofClass || element.issparse()) return nullptr;
    // One copy of the extents: every question an octave_value answers
    // about them copies them again.
    dim_vector dims = element.dims();
    if (dims.ndims() != 2 || !(dims(0) == 1 || dims.any_zero())) return nullptr;
    length = static_cast<size_t>(dims.numel());
    if (length == 0) return "";
    return static_cast<const char*>(element.mex_get_data());
}

}  // namespace

extern "C" {

mxArray* createRowCells(const FlatRows& rows) {
    // Every element is set below: none needs Cell's default, an empty
    // matrix made per cell.
    Cell cells(dim_vector(static_cast<octave_idx_type>(rows.count), 1), octave_value());
    makeRows(rows, cells.fortran_vec());
    return wrap(octave_value(cells));
}

// The rows' values are shared, not copied.
mxArray* joinRowCells(mxArray* const* parts, size_t count) {
    octave_idx_type rows = 0;
    for (size_t k = 0; k < count; ++k) rows += parts[k]->as_octave_value().numel();
    Cell cells(dim_vector(rows, 1), octave_value());
    octave_value* out = cells.fortran_vec();
    for (size_t k = 0; k < count; ++k) {
        const Cell part = parts[k]->as_octave_value().cell_value();
        out = std::copy(part.data(), part.data() + part.numel(), out);
        mxDestroyArray(parts[k]);
    }
    return wrap(octave_value(cells));
}

}  // extern "C"

namespace {

// The outputs createFieldStruct and createUint32Scalar made in this call,
// and the wrappers of those returned by earlier calls: the host converts
// an output into its own value and frees only the arrays the MX functions
// made.
std::vector<mxArray*>& madeOutputs() {
    static std::vector<mxArray*> made;
    return made;
}

std::vector<mxArray*>& returnedOutputs() {
    static std::vector<mxArray*> returned;
    return returned;
}

// The fields of structs made with `names` (distinct), which structs of
// the same names share: every struct of a result's columns has the same
// three, every row of a query's the same columns.  The last few lists of
// names are kept.
struct KnownFields {
    std::vector<std::string> names;
    octave_fields fields;
};

const octave_fields& fieldsNamed(int count, const char* const* names) {
    constexpr size_t kKnown = 8;
    static std::vector<KnownFields> known;
    static size_t next = 0;
    for (const KnownFields& entry : known)
        if (std::equal(entry.names.begin(), entry.names.end(), names, names + count))
            return entry.fields;
    std::vector<const char*> list(names, names + count);
    list.push_back(nullptr);
    KnownFields made{std::vector<std::string>(names, names + count), octave_fields(list.data())};
    if (known.size() < kKnown) {
        known.push_back(std::move(made));
        return known.back().fields;
    }
    known[next] = std::move(made);
    const octave_fields& fields = known[next].fields;
    next = (next + 1) % kKnown;
    return fields;
}

// An output of this call, wrapped: kept for settleOutputs.
mxArray* madeOutput(const octave_value& value) {
    std::vector<mxArray*>& made = madeOutputs();
    made.reserve(made.size() + 1);  // no failure once the wrapper is made
    made.push_back(wrap(value));
    return made.back();
}

}  // namespace

extern "C" {

void settleOutputs(int count, mxArray* const* outputs) {
    std::vector<mxArray*>& made = madeOutputs();
    for (int k = 0; k < count; ++k)
        if (outputs[k] && std::find(made.begin(), made.end(), outputs[k]) != made.end())
            returnedOutputs().push_back(outputs[k]);
    made.clear();
}

void releaseOutputs() {
    for (mxArray* output : returnedOutputs()) mxDestroyArray(output);
    returnedOutputs().clear();
    madeOutputs().clear();
}

mxArray* createFieldStruct(int count, const char* const* names, mxArray* const* fields) {
    octave_scalar_map map(fieldsNamed(count, names));
    for (int k = 0; k < count; ++k) {
        if (!fields[k]) {  // as the MX functions leave a field never set
            map.contents(k) = Matrix();
            continue;
        }
        mxArray* const* earlier = std::find(fields, fields + k, fields[k]);
        if (earlier != fields + k) {  // Octave copies it only when one is changed
            map.contents(k) = map.contents(static_cast<octave_idx_type>(earlier - fields));
            continue;
        }
        map.contents(k) = mxArray::as_octave_value(fields[k]);
        mxDestroyArray(fields[k]);
    }
    return madeOutput(octave_value(map));
}

mxArray* createColumnArray(mxClassID classId, size_t rows, void*& data) {
    return wrap(byClass(classId, ZeroColumn{rows, data}));
}

mxArray* createVectorColumnStruct(const char* const* names, mxClassID classId, size_t rows,
                                  void*& values, mxLogical*& valueNulls, mxLogical*& rowNulls) {
    void* flags;
    octave_scalar_map map(fieldsNamed(3, names));
    map.contents(0) = byClass(classId, ZeroColumn{rows, values});
    map.contents(1) = byClass(mxLOGICAL_CLASS, ZeroColumn{rows, flags});
    map.contents(2) = map.contents(1);
    valueNulls = rowNulls = static_cast<mxLogical*>(flags);
    return madeOutput(octave_value(map));
}

mxArray* createUint32Scalar(uint32_t value) {
    return madeOutput(octave_value(octave_uint32(value)));
}

void readCellRows(const mxArray* cells, mxClassID classId, CellRows& rows) {
    octave_value value = mxArray::as_octave_value(cells);
    Cell elements = value.cell_value();
    size_t count = static_cast<size_t>(elements.numel());
    rows.bytes.assign(count, nullptr);
    rows.lengths.assign(count, 0);
    for (size_t k = 0; k < count; ++k)
        rows.bytes[k] =
            rowBytes(elements.xelem(static_cast<octave_idx_type>(k)), classId, rows.lengths[k]);
}

}  // extern "C"

}  // namespace vorlex
