// SPDX-License-Identifier: BSD-3-Clause
// mat_encode.cpp - arrays as the bytes of one MAT-file Level 5 miMATRIX
// element (mat_element.hpp; the layout is described in mat_format.hpp).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "host/errors.hpp"
#include "matfile/mat_element.hpp"
#include "matfile/mat_format.hpp"
#include "matfile/mat_text.hpp"

namespace vorlex {
namespace matfile {
namespace {

static_assert(sizeof(mxLogical) == 1, "logical data is copied as bytes");

// Writes an element in two passes with the same code: first with no buffer,
// which only counts the bytes and makes every check, then into a buffer of
// exactly that size, where nothing can fail any more.
class Writer {
  public:
    explicit Writer(unsigned char* out) : out_(out) {}

    size_t position() const { return position_; }

    // Room for `n` bytes that the caller fills; null when only counting.
    unsigned char* reserve(size_t n) {
        unsigned char* at = out_ ? out_ + position_ : nullptr;
        position_ += n;
        return at;
    }

    void put32(uint32_t value) {
        if (unsigned char* at = reserve(4)) storeLittle32(at, value);
    }

    void patch32(size_t at, uint32_t value) {
        if (out_) storeLittle32(out_ + at, value);
    }

  private:
    unsigned char* out_;
    size_t position_ = 0;
};

// Writes the tag of a data element of `bytes` bytes and returns where its
// data goes (null when counting); the padding after the data is zeroed.
unsigned char* reserveData(Writer& out, uint32_t type, size_t bytes) {
    if (bytes > kMaxElementBytes)
        raiseError("tooLarge", "the value needs a data element of %zu bytes; at most %zu fit",
                   bytes, kMaxElementBytes);
    bool small = bytes > 0 && bytes <= 4;
    out.put32(small ? static_cast<uint32_t>(bytes << 16) | type : type);
    if (!small) out.put32(static_cast<uint32_t>(bytes));
    size_t room = small ? 4 : padded(bytes);
    unsigned char* data = out.reserve(room);
    if (data) std::memset(data + bytes, 0, room - bytes);
    return data;
}

void putData(Writer& out, uint32_t type, const void* data, size_t bytes) {
    unsigned char* at = reserveData(out, type, bytes);
    if (at && bytes) std::memcpy(at, data, bytes);
}

void putDims(Writer& out, mwSize ndims, const mwSize* dims) {
    unsigned char* at = reserveData(out, miINT32, 4 * static_cast<size_t>(ndims));
    for (mwSize d = 0; d < ndims; ++d) {
        if (static_cast<uint64_t>(dims[d]) > INT32_MAX)
            raiseError("tooLarge", "dimension %d is %llu; MAT-file dimensions end at %d",
                       static_cast<int>(d + 1), static_cast<unsigned long long>(dims[d]),
                       INT32_MAX);
        if (at) storeLittle32(at + 4 * d, static_cast<uint32_t>(dims[d]));
    }
}

// Flags, dimensions and name: the part every array starts with.
void putArrayHeader(Writer& out, uint8_t matClass, uint8_t flags, uint32_t nzmax, mwSize ndims,
                    const mwSize* dims, const char* name) {
    unsigned char* at = reserveData(out, miUINT32, 8);
    if (at) {
        storeLittle32(at, matClass | (uint32_t{flags} << 8));
        storeLittle32(at + 4, nzmax);
    }
    putDims(out, ndims, dims);
    putData(out, miINT8, name, std::strlen(name));
}

void putMatrix(Writer& out, const mxArray* value, const char* name, int depth);

void putNumeric(Writer& out, const mxArray* value, const NumericClass& numeric, const char* name) {
    bool complex = mxIsComplex(value);
    putArrayHeader(out, numeric.matClass, complex ? kComplexFlag : 0, 0,
                   mxGetNumberOfDimensions(value), mxGetDimensions(value), name);
    size_t bytes = mxGetNumberOfElements(value) * numeric.width;
    putData(out, numeric.dataType, mxGetData(value), bytes);
    if (complex) putData(out, numeric.dataType, mxGetImagData(value), bytes);
}

void putLogical(Writer& out, const mxArray* value, const char* name) {
    putArrayHeader(out, kUint8Class, kLogicalFlag, 0, mxGetNumberOfDimensions(value),
                   mxGetDimensions(value), name);
    putData(out, miUINT8, mxGetLogicals(value), mxGetNumberOfElements(value));
}

// Char data goes out as 16-bit code units, which every reader takes.  Where
// the host's chars are UTF-8 bytes (Octave), that keeps the value exact when
// the text is ASCII, or when it is a row of valid UTF-8 (the row is then as
// many units long as the text needs, and readers turn it back into the same
// bytes); any other text goes out as its bytes, as miUTF8.
void putChar(Writer& out, const mxArray* value, const char* name) {
    mwSize ndims = mxGetNumberOfDimensions(value);
    const mwSize* dims = mxGetDimensions(value);
    size_t count = mxGetNumberOfElements(value);
    if constexpr (sizeof(mxChar) == 2) {
        putArrayHeader(out, kCharClass, 0, 0, ndims, dims, name);
        putData(out, miUINT16, mxGetChars(value), 2 * count);
    } else {
        const auto* bytes = reinterpret_cast<const unsigned char*>(mxGetChars(value));
        size_t units = 0;
        bool isUtf8 = utf8ToUtf16(bytes, count, [&](uint16_t) { ++units; });
        if (!isUtf8 || (units != count && !isTwoDimensionalRow(ndims, dims))) {
            putArrayHeader(out, kCharClass, 0, 0, ndims, dims, name);
            putData(out, miUTF8, bytes, count);
            return;
        }
        mwSize rowDims[2] = {1, static_cast<mwSize>(units)};
        putArrayHeader(out, kCharClass, 0, 0, ndims, units == count ? dims : rowDims, name);
        unsigned char* at = reserveData(out, miUINT16, 2 * units);
        if (!at) return;
        utf8ToUtf16(bytes, count, [&](uint16_t unit) {
            storeLittle16(at, unit);
            at += 2;
        });
    }
}

void putCell(Writer& out, const mxArray* value, const char* name, int depth) {
    putArrayHeader(out, kCellClass, 0, 0, mxGetNumberOfDimensions(value), mxGetDimensions(value),
                   name);
    size_t count = mxGetNumberOfElements(value);
    for (size_t i = 0; i < count; ++i) putMatrix(out, mxGetCell(value, i), "", depth + 1);
}

void putStruct(Writer& out, const mxArray* value, const char* name, int depth) {
    putArrayHeader(out, kStructClass, 0, 0, mxGetNumberOfDimensions(value), mxGetDimensions(value),
                   name);
    int fields = mxGetNumberOfFields(value);
    size_t longest = 0;
    for (int f = 0; f < fields; ++f)
        longest = std::max(longest, std::strlen(mxGetFieldNameByNumber(value, f)));
    if (longest >= INT32_MAX)
        raiseError("tooLarge", "a field name is %zu bytes long; MAT-files hold shorter ones",
                   longest);
    // Each name is NUL-padded to the longest one plus its terminating NUL.
    size_t slot = longest + 1;
    unsigned char slotWord[4];
    storeLittle32(slotWord, static_cast<uint32_t>(slot));
    putData(out, miINT32, slotWord, 4);
    unsigned char* names = reserveData(out, miINT8, slot * static_cast<size_t>(fields));
    for (int f = 0; names && f < fields; ++f) {
        const char* field = mxGetFieldNameByNumber(value, f);
        std::memset(names + f * slot, 0, slot);
        std::memcpy(names + f * slot, field, std::strlen(field));
    }
    size_t count = mxGetNumberOfElements(value);
    for (size_t i = 0; i < count; ++i)
        for (int f = 0; f < fields; ++f)
            putMatrix(out, mxGetFieldByNumber(value, i, f), "", depth + 1);
}

// Row indices and column starts as miINT32.
void putIndices(Writer& out, const mwIndex* indices, size_t count) {
    unsigned char* at = reserveData(out, miINT32, 4 * count);
    for (size_t k = 0; at && k < count; ++k)
        storeLittle32(at + 4 * k, static_cast<uint32_t>(indices[k]));
}

// The values of a sparse logical array go out as doubles, the type every
// reader takes for sparse values; the logical flag gives the class.  (Octave's
// own load ignores that flag and reads a double sparse array.)
void putLogicalsAsDoubles(Writer& out, const mxLogical* values, size_t count) {
    unsigned char* at = reserveData(out, miDOUBLE, 8 * count);
    for (size_t k = 0; at && k < count; ++k) {
        double number = values[k] ? 1.0 : 0.0;
        std::memcpy(at + 8 * k, &number, 8);
    }
}

void putSparse(Writer& out, const mxArray* value, const char* name) {
    const mwSize* dims = mxGetDimensions(value);
    const mwIndex* starts = mxGetJc(value);
    size_t columns = static_cast<size_t>(dims[1]);
    size_t stored = static_cast<size_t>(starts[columns]);
    if (stored > INT32_MAX)
        raiseError("tooLarge", "the sparse array stores %zu elements; MAT-files hold up to %d",
                   stored, INT32_MAX);
    bool logical = mxIsLogical(value);
    bool complex = mxIsComplex(value);
    uint8_t flags = (logical ? kLogicalFlag : 0) | (complex ? kComplexFlag : 0);
    putArrayHeader(out, kSparseClass, flags, static_cast<uint32_t>(stored), 2, dims, name);
    putIndices(out, mxGetIr(value), stored);
    putIndices(out, starts, columns + 1);
    if (logical) return putLogicalsAsDoubles(out, mxGetLogicals(value), stored);
    putData(out, miDOUBLE, mxGetData(value), 8 * stored);
    if (complex) putData(out, miDOUBLE, mxGetImagData(value), 8 * stored);
}

void putContents(Writer& out, const mxArray* value, const char* name, int depth) {
    // A cell or field that was never set is an empty double, as in Octave.
    if (!value) {
        mwSize empty[2] = {0, 0};
        putArrayHeader(out, kDoubleClass, 0, 0, 2, empty, name);
        putData(out, miDOUBLE, nullptr, 0);
        return;
    }
    if (mxIsSparse(value)) return putSparse(out, value, name);
    switch (mxGetClassID(value)) {
        case mxCELL_CLASS:
            return putCell(out, value, name, depth);
        case mxSTRUCT_CLASS:
            return putStruct(out, value, name, depth);
        case mxCHAR_CLASS:
            return putChar(out, value, name);
        case mxLOGICAL_CLASS:
            return putLogical(out, value, name);
        default:
            break;
    }
    const NumericClass* numeric = numericClassOf(mxGetClassID(value));
    if (!numeric)
        raiseError("unsupportedClass",
                   "a value of class %s cannot be serialised; numeric, logical, char, cell, "
                   "struct and sparse arrays can",
                   mxGetClassName(value));
    putNumeric(out, value, *numeric, name);
}

// One miMATRIX element; its size is filled in once its contents are written.
void putMatrix(Writer& out, const mxArray* value, const char* name, int depth) {
    if (depth > kMatElementMaxDepth)
        raiseError("tooDeep", "cells and structs are nested more than %d levels deep",
                   kMatElementMaxDepth);
    size_t start = out.position();
    out.put32(miMATRIX);
    out.put32(0);
    putContents(out, value, name, depth);
    size_t bytes = out.position() - start - kTagSize;
    if (bytes > kMaxElementBytes)
        raiseError("tooLarge", "the value needs %zu bytes; one MAT-file element holds at most %zu",
                   bytes, kMaxElementBytes);
    out.patch32(start + 4, static_cast<uint32_t>(bytes));
}

}  // namespace
}  // namespace matfile

mxArray* encodeMatElement(const mxArray* value) {
    matfile::Writer counter(nullptr);
    matfile::putMatrix(counter, value, kMatElementName, 0);
    size_t size = counter.position();
    mxArray* bytes = mxCreateUninitNumericMatrix(1, size, mxUINT8_CLASS, mxREAL);
    matfile::Writer out(static_cast<unsigned char*>(mxGetData(bytes)));
    matfile::putMatrix(out, value, kMatElementName, 0);
    return bytes;
}

}  // namespace vorlex
