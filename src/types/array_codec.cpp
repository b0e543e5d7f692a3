// SPDX-License-Identifier: BSD-3-Clause
// array_codec.cpp - the binary array frame: ndim, has-null flag, element
// OID, per dimension extent and lower bound, then per element a length (-1
// for NULL) and the element's bytes.
#include "types/array_codec.hpp"

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "backend/host_classes.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

constexpr size_t kFrameHeaderBytes = 12;  // ndim, has-null, element OID
constexpr size_t kBytesPerDimension = 8;  // extent, lower bound
constexpr size_t kBytesPerElementLength = 4;

std::string tooManyDimensions(size_t ndims) {
    return "an array value may have at most " + std::to_string(kMaxArrayDims) +
           " dimensions, this one has " + std::to_string(ndims);
}

// The shape the frame is written with: one dimension when flattening.
int frameDims(const ArrayValue& value, size_t* dims) {
    if (value.flatten) {
        dims[0] = value.count;
        return 1;
    }
    for (int d = 0; d < value.ndims; ++d) dims[d] = value.dims[d];
    return value.ndims;
}

// Element `index` is sent as NULL: by the mask, or by its value.
bool isNullElement(const ArrayValue& value, size_t index) {
    if (value.mask && value.mask[index]) return true;
    size_t at = index + value.firstIndex;
    switch (value.nulls) {
        case NullElements::none:
            return false;
        case NullElements::nanDoubles:
            return std::isnan(static_cast<const double*>(value.elements.data)[at]);
        case NullElements::nanSingles:
            return std::isnan(static_cast<const float*>(value.elements.data)[at]);
        case NullElements::nullCells:
            return isNullCellValue(mxGetCell(value.elements.cell, index));
    }
    return false;
}

}  // namespace

RowMajorWalk::RowMajorWalk(int ndims, const size_t* dims) : ndims_(ndims) {
    size_t stride = 1;
    for (int d = 0; d < ndims; ++d) {
        dims_[d] = dims[d];
        strides_[d] = stride;
        stride *= dims[d];
    }
}

void RowMajorWalk::next() {
    for (int d = ndims_ - 1; d >= 0; --d) {
        index_ += strides_[d];
        if (++subscripts_[d] < dims_[d]) return;
        index_ -= strides_[d] * subscripts_[d];
        subscripts_[d] = 0;
    }
}

bool checkDirectSource(const mxArray* source, const ElementCodec& codec, std::string& error) {
    if (codec.sourceClass == mxCELL_CLASS) {
        if (mxIsCell(source)) return true;
        error = std::string("a ") + codec.baseName + " array is sent from a cell array, not " +
                mxGetClassName(source);
        return false;
    }
    if (mxIsComplex(source) || mxIsSparse(source)) {
        error = "complex or sparse arrays cannot be sent";
        return false;
    }
    if (mxIsDouble(source) || isOfClass(source, codec.sourceClass)) return true;
    error = std::string("a ") + codec.baseName + " array cannot be sent from " +
            mxGetClassName(source) + " values";
    return false;
}

bool describeArray(const mxArray* array, const char* mask, bool flatten, ArrayValue& value,
                   std::string& error) {
    mwSize ndims = mxGetNumberOfDimensions(array);
    if (ndims > static_cast<mwSize>(kMaxArrayDims)) {
        error = tooManyDimensions(ndims);
        return false;
    }
    const mwSize* dims = mxGetDimensions(array);
    bool isCell = mxIsCell(array);
    value.elements = {isCell ? nullptr : mxGetData(array), isCell ? array : nullptr,
                      mxIsDouble(array)};
    value.count = mxGetNumberOfElements(array);
    value.ndims = static_cast<int>(ndims);
    for (mwSize d = 0; d < ndims; ++d) value.dims[d] = dims[d];
    value.mask = mask;
    value.firstIndex = 0;
    value.flatten = flatten;
    value.nulls = NullElements::none;
    return true;
}

bool describeSlice(const ColumnSlice& slice, const char* mask, bool flatten, size_t offset,
                   ArrayValue& value, std::string& error) {
    if (slice.ndims > static_cast<uint32_t>(kMaxArrayDims)) {
        error = tooManyDimensions(slice.ndims);
        return false;
    }
    value.elements = {slice.data, nullptr, slice.isDouble != 0};
    value.count = slice.count;
    value.ndims = static_cast<int>(slice.ndims);
    for (uint32_t d = 0; d < slice.ndims; ++d) value.dims[d] = slice.dims[d];
    value.mask = mask ? mask + offset : nullptr;
    value.firstIndex = offset;
    value.flatten = flatten;
    value.nulls = NullElements::none;
    return true;
}

NullElements nullElementsOf(const ArrayValue& value, const ElementCodec& codec, bool nanIsNull,
                            bool cellNulls) {
    if (value.elements.cell) return cellNulls ? NullElements::nullCells : NullElements::none;
    if (!nanIsNull) return NullElements::none;
    if (value.elements.isDouble) return NullElements::nanDoubles;
    return codec.sourceClass == mxSINGLE_CLASS ? NullElements::nanSingles : NullElements::none;
}

bool arrayEncodedSize(const ArrayValue& value, const ElementCodec& codec, size_t& total,
                      std::string& error) {
    size_t dims[kMaxArrayDims];
    int ndims = frameDims(value, dims);
    size_t payload = 0;
    if (!value.mask && value.nulls == NullElements::none && !codec.size) {
        payload = static_cast<size_t>(codec.width) * value.count;
    } else {
        for (size_t i = 0; i < value.count; ++i) {
            if (isNullElement(value, i)) continue;
            size_t size = static_cast<size_t>(codec.width);
            if (codec.size && !codec.size(value.elements.cell, i, size, error)) {
                error = "element " + std::to_string(i + 1) + ": " + error;
                return false;
            }
            payload += size;
        }
    }
    total = payload + kFrameHeaderBytes + kBytesPerDimension * ndims +
            kBytesPerElementLength * value.count;
    if (total > INT_MAX) {
        error = "the array value would take " + std::to_string(total) +
                " bytes, more than a parameter can hold";
        return false;
    }
    return true;
}

bool writeArrayFrame(char* out, const ArrayValue& value, const ElementCodec& codec, Oid elementOid,
                     const PGtypeFormatInfo& server, std::string& error) {
    size_t dims[kMaxArrayDims];
    int ndims = frameDims(value, dims);
    // The has-null flag is known once the elements are written.
    char* hasNullFlag = out + 4;
    bool hasNull = false;
    storeBig32(out, static_cast<uint32_t>(ndims));
    storeBig32(out + 8, elementOid);
    out += kFrameHeaderBytes;
    for (int d = 0; d < ndims; ++d) {
        storeBig32(out, static_cast<uint32_t>(dims[d]));
        storeBig32(out + 4, 1);  // lower bound
        out += kBytesPerDimension;
    }

    RowMajorWalk walk(value.ndims, value.dims);
    for (size_t k = 0; k < value.count; ++k) {
        // Flattening lists the elements in Octave's own (column-major) order.
        size_t j = value.flatten ? k : walk.index();
        walk.next();
        if (isNullElement(value, j)) {
            storeBig32(out, static_cast<uint32_t>(-1));
            out += kBytesPerElementLength;
            hasNull = true;
            continue;
        }
        size_t size = static_cast<size_t>(codec.width);
        if (codec.size && !codec.size(value.elements.cell, j, size, error)) return false;
        storeBig32(out, static_cast<uint32_t>(size));
        out += kBytesPerElementLength;
        if (!codec.write(out, value.elements, j + value.firstIndex, server, error)) {
            error = "element " + std::to_string(j + 1) + ": " + error;
            return false;
        }
        out += size;
    }
    storeBig32(hasNullFlag, hasNull ? 1 : 0);
    return true;
}

namespace {

// The frame's header, checked against what is left before anything is
// allocated: every element needs at least its 4-byte length.
struct FrameHeader {
    int ndims;
    size_t dims[kMaxArrayDims];
    size_t total;
};

bool readFrameHeader(WireReader& reader, Oid elementOid, FrameHeader& header, std::string& error) {
    int32_t ndims, hasNull, oid;
    if (!reader.readInt32(ndims) || !reader.readInt32(hasNull) || !reader.readInt32(oid)) {
        error = "the array value is shorter than its header";
        return false;
    }
    if (ndims < 0 || ndims > kMaxArrayDims) {
        error = "the array value claims " + std::to_string(ndims) + " dimensions";
        return false;
    }
    if (static_cast<Oid>(oid) != elementOid) {
        error = "the array's elements have type OID " + std::to_string(static_cast<Oid>(oid)) +
                ", expected " + std::to_string(elementOid);
        return false;
    }
    header.ndims = ndims;
    header.total = ndims ? 1 : 0;
    for (int d = 0; d < ndims; ++d) {
        int32_t extent, lowerBound;
        if (!reader.readInt32(extent) || !reader.readInt32(lowerBound)) {
            error = "the array value is shorter than its dimensions";
            return false;
        }
        if (extent < 0) {
            error = "the array value claims a negative extent";
            return false;
        }
        header.dims[d] = static_cast<size_t>(extent);
        if (extent && header.total > reader.left() / kBytesPerElementLength / extent) {
            error = "the array value claims more elements than it holds";
            return false;
        }
        header.total *= static_cast<size_t>(extent);
    }
    if (header.total > reader.left() / kBytesPerElementLength) {
        error = "the array value claims more elements than it holds";
        return false;
    }
    return true;
}

void octaveShape(const FrameHeader& header, bool flatten, mwSize& ndims, mwSize* dims) {
    ndims = 2;
    if (header.total == 0) {
        dims[0] = dims[1] = 0;
    } else if (flatten || header.ndims == 1) {
        dims[0] = header.total;
        dims[1] = 1;
    } else {
        ndims = header.ndims;
        for (int d = 0; d < header.ndims; ++d) dims[d] = header.dims[d];
    }
}

bool readElements(WireReader& reader, const FrameHeader& header, const ElementCodec& codec,
                  const PGtypeFormatInfo& server, const ElementTarget& target, mxLogical* nulls,
                  std::string& error) {
    RowMajorWalk walk(header.ndims, header.dims);
    for (size_t k = 0; k < header.total; ++k, walk.next()) {
        size_t j = walk.index();
        int32_t length;
        if (!reader.readInt32(length)) {
            error = "the array value ends before its element " + std::to_string(k + 1);
            return false;
        }
        if (length == -1) {
            nulls[j] = true;
            continue;
        }
        const char* bytes = length >= 0 ? reader.take(static_cast<size_t>(length)) : nullptr;
        if (!bytes) {
            error = "element " + std::to_string(j + 1) + " of the array value has a bad length";
            return false;
        }
        if (!codec.read(bytes, static_cast<size_t>(length), target, j, server, error)) {
            error = "element " + std::to_string(j + 1) + ": " + error;
            return false;
        }
    }
    return true;
}

}  // namespace

bool decodeArrayFrame(const char* bytes, size_t length, const ElementCodec& codec, Oid elementOid,
                      bool flatten, const PGtypeFormatInfo& server, mxArray*& value, mxArray*& mask,
                      std::string& error) {
    WireReader reader(bytes, length);
    FrameHeader header;
    if (!readFrameHeader(reader, elementOid, header, error)) return false;
    mwSize ndims;
    mwSize dims[kMaxArrayDims];
    octaveShape(header, flatten, ndims, dims);
    value = codec.create(ndims, dims);
    mask = mxCreateLogicalArray(ndims, dims);
    ElementTarget target{value, mxIsCell(value) ? nullptr : mxGetData(value)};
    if (!readElements(reader, header, codec, server, target, mxGetLogicals(mask), error)) {
        mxDestroyArray(value);
        mxDestroyArray(mask);
        value = mask = nullptr;
        return false;
    }
    return true;
}

bool arrayFrameShape(const char* bytes, size_t length, Oid elementOid, bool flatten, mwSize& ndims,
                     mwSize* dims, std::string& error) {
    WireReader reader(bytes, length);
    FrameHeader header;
    if (!readFrameHeader(reader, elementOid, header, error)) return false;
    octaveShape(header, flatten, ndims, dims);
    return true;
}

bool decodeArrayFrameInto(const char* bytes, size_t length, const ElementCodec& codec,
                          Oid elementOid, const PGtypeFormatInfo& server, void* data,
                          size_t elementSize, mxLogical* mask, std::string& error) {
    WireReader reader(bytes, length);
    FrameHeader header;
    if (!readFrameHeader(reader, elementOid, header, error)) return false;
    // An empty array's row has no elements, and may have no pointer to them.
    if (header.total > 0) {
        std::memset(data, 0, header.total * elementSize);
        std::memset(mask, 0, header.total * sizeof(mxLogical));
    }
    return readElements(reader, header, codec, server, ElementTarget{nullptr, data}, mask, error);
}

namespace {

int fail(PGtypeArgs* args, const std::string& error) {
    return args->errorf(args, "%s", error.c_str());
}

int putArrayValue(PGtypeArgs* args, const ElementCodec& codec) {
    void* source = va_arg(args->ap, void*);
    const char* mask = va_arg(args->ap, const char*);
    int flatten = va_arg(args->ap, int);
    long long offset = va_arg(args->ap, long long);
    if (!source) {  // the pointer form's NULL
        args->put.out = nullptr;
        return 0;
    }

    std::string error;
    ArrayValue value;
    if (offset < 0) {
        auto* array = static_cast<const mxArray*>(source);
        if (!checkDirectSource(array, codec, error) ||
            !describeArray(array, mask, flatten != 0, value, error))
            return fail(args, error);
    } else {
        if (codec.sourceClass == mxCELL_CLASS)
            return fail(args, std::string("a ") + codec.baseName +
                                  " array must be sent from a cell array, not a column slice");
        if (!describeSlice(*static_cast<const ColumnSlice*>(source), mask, flatten != 0,
                           static_cast<size_t>(offset), value, error))
            return fail(args, error);
    }

    size_t total;
    if (!arrayEncodedSize(value, codec, total, error)) return fail(args, error);
    if (args->put.expandBuffer(args, static_cast<int>(total)) == -1) return -1;
    if (!writeArrayFrame(args->put.out, value, codec, args->typhandler->typoid_array,
                         *args->fmtinfo, error))
        return fail(args, error);
    return static_cast<int>(total);
}

// The row-th cell of one of the output struct's fields, checked.
bool outputCells(const mxArray* target, const char* field, int row, mxArray*& cell) {
    if (!target || !mxIsStruct(target) || mxGetNumberOfElements(target) < 1) return false;
    cell = mxGetField(target, 0, field);
    return cell && mxIsCell(cell) && row >= 0 &&
           static_cast<size_t>(row) < mxGetNumberOfElements(cell);
}

int getArrayValue(PGtypeArgs* args, const ElementCodec& codec) {
    auto* target = va_arg(args->ap, mxArray*);
    int flatten = va_arg(args->ap, int);
    const PGresult* result = args->get.result;
    int row = args->get.tup_num, field = args->get.field_num;

    mxArray *values, *nulls;
    if (!outputCells(target, "value", row, values) ||
        !outputCells(target, "valueIsNull", row, nulls))
        return fail(args, "internal error: the array output has no cell for this row");
    if (PQfformat(result, field) == 0)
        return fail(args, "the array column is in text format; binary results are needed");

    mxArray *value, *mask;
    std::string error;
    if (!decodeArrayFrame(PQgetvalue(result, row, field),
                          static_cast<size_t>(PQgetlength(result, row, field)), codec,
                          args->typhandler->typoid_array, flatten != 0, *args->fmtinfo, value, mask,
                          error))
        return fail(args, error);
    mxSetCell(values, row, value);
    mxSetCell(nulls, row, mask);
    return 0;
}

}  // namespace

// Both procedures are called by libpqtypes: nothing may unwind out of them,
// so an allocation failure becomes libpqtypes' error text.
int putArray(PGtypeArgs* args, const ElementCodec& codec) {
    try {
        return putArrayValue(args, codec);
    } catch (const std::bad_alloc&) {
        return fail(args, "out of memory");
    }
}

int getArray(PGtypeArgs* args, const ElementCodec& codec) {
    try {
        return getArrayValue(args, codec);
    } catch (const std::bad_alloc&) {
        return fail(args, "out of memory");
    }
}

}  // namespace vorlex
