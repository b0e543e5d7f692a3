// SPDX-License-Identifier: BSD-3-Clause
// mat_decode.cpp - arrays from the bytes of one MAT-file Level 5 miMATRIX
// element (mat_element.hpp; the layout is described in mat_format.hpp).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "host/errors.hpp"
#include "matfile/mat_element.hpp"
#include "matfile/mat_format.hpp"
#include "matfile/mat_text.hpp"

namespace vorlex {
namespace matfile {
namespace {

// MATLAB's limit on the elements of one array; Octave's is higher.
constexpr uint64_t kMaxElementCount = (uint64_t{1} << 48) - 1;

// Octave has no complex integer arrays (creating one raises), MATLAB has.
// Octave is also the host whose chars are bytes, which is how the sources
// tell the two apart.
constexpr bool kHostHasComplexIntegers = sizeof(mxChar) == 2;

// Bytes per value of a numeric data type; 0 for the other types.
size_t numericWidth(uint32_t type) {
    switch (type) {
        case miINT8:
        case miUINT8:
            return 1;
        case miINT16:
        case miUINT16:
            return 2;
        case miINT32:
        case miUINT32:
        case miSINGLE:
            return 4;
        case miDOUBLE:
        case miINT64:
        case miUINT64:
            return 8;
        default:
            return 0;
    }
}

// A data element found in the input: its type and where its data lies.
struct Element {
    uint32_t type;
    const unsigned char* data;
    size_t size;
};

// Walks the data elements inside a range of the input.  Every tag is checked
// against the bytes that are left before its data is handed out.
class ElementReader {
  public:
    ElementReader(const unsigned char* data, size_t size) : next_(data), left_(size) {}

    size_t left() const { return left_; }

    Element next() {
        if (left_ < kTagSize)
            raiseError("truncated", "a data element's tag needs 8 bytes; %zu are left", left_);
        uint32_t word = loadLittle32(next_);
        if (word >> 16) {
            size_t size = word >> 16;
            if (size > 4)
                raiseError("badTag", "a small data element declares %zu bytes; it holds 4", size);
            Element element{word & 0xFFFF, next_ + 4, size};
            advance(kTagSize);
            return element;
        }
        size_t size = loadLittle32(next_ + 4);
        if (size > left_ - kTagSize)
            raiseError("truncated", "a data element of type %u declares %zu bytes; %zu are left",
                       word, size, left_ - kTagSize);
        Element element{word, next_ + kTagSize, size};
        // The padding after the last element of a range may be left out.
        advance(std::min(left_, kTagSize + padded(size)));
        return element;
    }

    void expectEnd() const {
        if (left_)
            raiseError("trailingBytes", "%zu bytes follow the last data element of an array",
                       left_);
    }

  private:
    void advance(size_t n) {
        next_ += n;
        left_ -= n;
    }

    const unsigned char* next_;
    size_t left_;
};

struct ArrayHeader {
    uint8_t matClass;
    uint8_t flags;
    std::vector<mwSize> dims;
};

ArrayHeader readArrayHeader(ElementReader& in) {
    Element flags = in.next();
    if (flags.type != miUINT32 || flags.size != 8)
        raiseError("badFlags",
                   "an array starts with its flags (type 6, 8 bytes), not type %u of %zu bytes",
                   flags.type, flags.size);
    ArrayHeader header{};
    uint32_t word = loadLittle32(flags.data);
    header.matClass = static_cast<uint8_t>(word);
    header.flags = static_cast<uint8_t>(word >> 8);

    Element dims = in.next();
    if (dims.type != miINT32 || dims.size < 8 || dims.size % 4)
        raiseError("badDims",
                   "the dimensions are two or more int32 (type 5), not type %u of %zu bytes",
                   dims.type, dims.size);
    for (size_t d = 0; d < dims.size / 4; ++d) {
        auto extent = static_cast<int32_t>(loadLittle32(dims.data + 4 * d));
        if (extent < 0) raiseError("badDims", "dimension %zu is negative (%d)", d + 1, extent);
        header.dims.push_back(extent);
    }

    Element name = in.next();
    if (name.type != miINT8)
        raiseError("badName", "the array name is int8 data (type 1), not type %u", name.type);
    return header;
}

// The number of elements of a full array.  Zero extents aside, the product
// is capped, since hosts refuse (or fail on) larger arrays even when they
// would hold nothing.
size_t elementCount(const ArrayHeader& header) {
    uint64_t product = 1;
    bool hasZero = false;
    for (mwSize extent : header.dims) {
        if (extent == 0) {
            hasZero = true;
        } else if (product > kMaxElementCount / static_cast<uint64_t>(extent)) {
            raiseError("tooLarge", "the dimensions give more than %llu elements",
                       static_cast<unsigned long long>(kMaxElementCount));
        } else {
            product *= static_cast<uint64_t>(extent);
        }
    }
    return hasZero ? 0 : static_cast<size_t>(product);
}

// The number of values in numeric data `element`.
size_t numberCount(const Element& element) {
    size_t width = numericWidth(element.type);
    if (!width) raiseError("dataType", "type %u does not hold numbers", element.type);
    if (element.size % width)
        raiseError("dataSize", "%zu bytes are not a whole number of %zu-byte values", element.size,
                   width);
    return element.size / width;
}

void expectNumberCount(const Element& element, size_t count) {
    size_t found = numberCount(element);
    if (found != count)
        raiseError("dataSize", "the array has %zu elements but its data holds %zu", count, found);
}

template <typename T>
T loadValue(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Converts as Octave converts between classes: floats to integers round to
// the nearest and saturate, NaN gives 0; integers saturate.  Other writers
// store values in narrower types only when they fit, so this matters for
// hostile data alone, where it keeps every cast defined.
template <typename To, typename From>
To convertValue(From value) {
    using Limits = std::numeric_limits<To>;
    if constexpr (std::is_floating_point_v<To>) {
        if constexpr (sizeof(From) > sizeof(To) && std::is_floating_point_v<From>) {
            if (value > Limits::max()) return Limits::infinity();
            if (value < Limits::lowest()) return -Limits::infinity();
        }
        return static_cast<To>(value);
    } else if constexpr (std::is_floating_point_v<From>) {
        if (std::isnan(value)) return 0;
        From rounded = std::round(value);
        if (rounded <= static_cast<From>(Limits::min())) return Limits::min();
        if (rounded >= static_cast<From>(Limits::max())) return Limits::max();
        return static_cast<To>(rounded);
    } else {
        if constexpr (std::is_signed_v<From>) {
            if (value < 0) {
                if constexpr (std::is_signed_v<To>)
                    return value < Limits::min() ? Limits::min() : static_cast<To>(value);
                else
                    return 0;
            }
        }
        return static_cast<uint64_t>(value) > static_cast<uint64_t>(Limits::max())
                   ? Limits::max()
                   : static_cast<To>(value);
    }
}

// Calls visit with a null pointer of the C++ type that numeric `type` holds.
template <typename Visit>
void withNumericType(uint32_t type, Visit visit) {
    switch (type) {
        case miINT8:
            return visit(static_cast<int8_t*>(nullptr));
        case miUINT8:
            return visit(static_cast<uint8_t*>(nullptr));
        case miINT16:
            return visit(static_cast<int16_t*>(nullptr));
        case miUINT16:
            return visit(static_cast<uint16_t*>(nullptr));
        case miINT32:
            return visit(static_cast<int32_t*>(nullptr));
        case miUINT32:
            return visit(static_cast<uint32_t*>(nullptr));
        case miSINGLE:
            return visit(static_cast<float*>(nullptr));
        case miDOUBLE:
            return visit(static_cast<double*>(nullptr));
        case miINT64:
            return visit(static_cast<int64_t*>(nullptr));
        case miUINT64:
            return visit(static_cast<uint64_t*>(nullptr));
    }
}

// Stores the first `count` values of numeric `element` in `out`.
template <typename To>
void convertValues(const Element& element, size_t count, To* out) {
    withNumericType(element.type, [&](auto* typed) {
        using From = std::remove_pointer_t<decltype(typed)>;
        for (size_t i = 0; i < count; ++i)
            out[i] = convertValue<To>(loadValue<From>(element.data + i * sizeof(From)));
    });
}

// The first `count` values of `element`, in class `numeric`, into `out`:
// a plain copy when they are stored in the class's own type.
void storeValues(const Element& element, size_t count, const NumericClass& numeric, void* out) {
    if (element.type == numeric.dataType) {
        if (count) std::memcpy(out, element.data, count * numeric.width);
        return;
    }
    withNumericType(numeric.dataType, [&](auto* typed) {
        using To = std::remove_pointer_t<decltype(typed)>;
        convertValues(element, count, static_cast<To*>(out));
    });
}

void storeLogicals(const Element& element, size_t count, mxLogical* out) {
    withNumericType(element.type, [&](auto* typed) {
        using From = std::remove_pointer_t<decltype(typed)>;
        for (size_t i = 0; i < count; ++i)
            out[i] = loadValue<From>(element.data + i * sizeof(From)) != 0;
    });
}

// Runs fill, which sets the parts of a new cell or struct array; when it
// raises, the array and the parts set so far are destroyed first.
template <typename Fill>
mxArray* fillOrDestroy(mxArray* array, Fill fill) {
    try {
        fill();
    } catch (const GatewayError&) {
        mxDestroyArray(array);
        throw;
    } catch (const std::bad_alloc&) {
        mxDestroyArray(array);
        throw;
    }
    return array;
}

mxArray* decodeMatrix(const Element& element, int depth);

mxArray* decodeNumeric(ElementReader& in, const ArrayHeader& header, const NumericClass& numeric) {
    bool complex = header.flags & kComplexFlag;
    if (complex && numeric.isInteger && !kHostHasComplexIntegers)
        raiseError("complexInteger", "complex integer arrays cannot be held here");
    size_t count = elementCount(header);
    Element real = in.next();
    expectNumberCount(real, count);
    Element imaginary{};
    if (complex) {
        imaginary = in.next();
        expectNumberCount(imaginary, count);
    }
    in.expectEnd();
    mxArray* array = mxCreateUninitNumericArray(header.dims.size(), header.dims.data(), numeric.id,
                                                complex ? mxCOMPLEX : mxREAL);
    storeValues(real, count, numeric, mxGetData(array));
    if (complex) storeValues(imaginary, count, numeric, mxGetImagData(array));
    return array;
}

mxArray* decodeLogical(ElementReader& in, const ArrayHeader& header) {
    size_t count = elementCount(header);
    Element data = in.next();
    expectNumberCount(data, count);
    in.expectEnd();
    mxArray* array = mxCreateLogicalArray(header.dims.size(), header.dims.data());
    storeLogicals(data, count, mxGetLogicals(array));
    return array;
}

// The text of char data in the host's units.  Octave's are UTF-8 bytes:
// 8-bit data is taken as it is, 16-bit data converted.  MATLAB's are UTF-16
// units: 16-bit data is taken as it is, 8-bit data converted when it is
// UTF-8, else read as Latin-1, one char per byte.
std::basic_string<mxChar> hostText(const Element& data) {
    bool isBytes = data.type == miUTF8 || data.type == miINT8 || data.type == miUINT8;
    bool isUnits = data.type == miUTF16 || data.type == miINT16 || data.type == miUINT16;
    if (!isBytes && !isUnits)
        raiseError("dataType", "char data is 8- or 16-bit (types 1 to 4, 16, 17), not type %u",
                   data.type);
    if (isUnits && data.size % 2)
        raiseError("dataSize", "16-bit char data has an odd number of bytes (%zu)", data.size);
    std::basic_string<mxChar> text;
    if constexpr (sizeof(mxChar) == 1) {
        if (isBytes)
            text.assign(reinterpret_cast<const mxChar*>(data.data), data.size);
        else
            appendUtf16AsUtf8(data.data, data.size / 2, text);
    } else {
        if (isUnits) {
            for (size_t i = 0; i < data.size / 2; ++i)
                text.push_back(static_cast<mxChar>(loadLittle16(data.data + 2 * i)));
        } else if (!utf8ToUtf16(data.data, data.size, [&](uint16_t unit) {
                       text.push_back(static_cast<mxChar>(unit));
                   })) {
            text.clear();
            for (size_t i = 0; i < data.size; ++i)
                text.push_back(static_cast<mxChar>(data.data[i]));
        }
    }
    return text;
}

// A text whose length in the host's units differs from the element count is
// taken when the array is a row, which then gets the text's length (this is
// how text travels between hosts with different units); other shapes cannot
// hold it.
mxArray* decodeChar(ElementReader& in, const ArrayHeader& header) {
    size_t count = elementCount(header);
    Element data = in.next();
    in.expectEnd();
    std::basic_string<mxChar> text = hostText(data);
    std::vector<mwSize> dims = header.dims;
    if (text.size() != count) {
        if (!isTwoDimensionalRow(dims.size(), dims.data()))
            raiseError("charShape",
                       "a char array of %zu elements holds text of %zu chars here; only a row "
                       "can change its length",
                       count, text.size());
        dims[1] = static_cast<mwSize>(text.size());
    }
    mxArray* array = mxCreateCharArray(dims.size(), dims.data());
    if (!text.empty()) std::memcpy(mxGetChars(array), text.data(), text.size() * sizeof(mxChar));
    return array;
}

// Containers: every part is an element of at least a tag, so the count is
// checked against the bytes left before the array is made.
void expectRoomForParts(const ElementReader& in, size_t parts) {
    if (parts > in.left() / kTagSize)
        raiseError("truncated", "the array has %zu parts but only %zu bytes are left", parts,
                   in.left());
}

mxArray* decodeCell(ElementReader& in, const ArrayHeader& header, int depth) {
    size_t count = elementCount(header);
    expectRoomForParts(in, count);
    mxArray* cell = mxCreateCellArray(header.dims.size(), header.dims.data());
    return fillOrDestroy(cell, [&] {
        for (size_t i = 0; i < count; ++i) mxSetCell(cell, i, decodeMatrix(in.next(), depth + 1));
        in.expectEnd();
    });
}

std::vector<std::string> readFieldNames(ElementReader& in) {
    Element slotElement = in.next();
    if (slotElement.type != miINT32 || slotElement.size != 4)
        raiseError("badFieldNames", "the field name length is one int32, not type %u of %zu bytes",
                   slotElement.type, slotElement.size);
    auto slot = static_cast<int32_t>(loadLittle32(slotElement.data));
    Element names = in.next();
    if (names.type != miINT8 || slot < 0 || (slot == 0 && names.size) ||
        (slot > 0 && names.size % static_cast<size_t>(slot)))
        raiseError("badFieldNames", "%zu bytes of type %u are no whole number of %d-byte names",
                   names.size, names.type, slot);
    size_t fields = slot ? names.size / static_cast<size_t>(slot) : 0;
    if (fields > INT_MAX) raiseError("badFieldNames", "%zu fields are too many", fields);
    std::vector<std::string> fieldNames;
    for (size_t f = 0; f < fields; ++f) {
        const char* name = reinterpret_cast<const char*>(names.data) + f * slot;
        const void* end = std::memchr(name, 0, static_cast<size_t>(slot));
        fieldNames.emplace_back(name, end ? static_cast<const char*>(end) - name : slot);
    }
    std::vector<std::string> sorted = fieldNames;
    std::sort(sorted.begin(), sorted.end());
    auto repeated = std::adjacent_find(sorted.begin(), sorted.end());
    if (repeated != sorted.end())
        raiseError("duplicateField", "the field name '%s' appears twice", repeated->c_str());
    return fieldNames;
}

mxArray* decodeStruct(ElementReader& in, const ArrayHeader& header, int depth) {
    size_t count = elementCount(header);
    std::vector<std::string> fieldNames = readFieldNames(in);
    size_t fields = fieldNames.size();
    if (fields && count > in.left() / kTagSize / fields)
        raiseError("truncated", "%zu elements of %zu fields need more than the %zu bytes left",
                   count, fields, in.left());
    std::vector<const char*> names;
    for (const std::string& name : fieldNames) names.push_back(name.c_str());
    mxArray* array = mxCreateStructArray(header.dims.size(), header.dims.data(),
                                         static_cast<int>(fields), names.data());
    return fillOrDestroy(array, [&] {
        // Element by element, field by field: the order of the parts.
        for (size_t part = 0; part < count * fields; ++part)
            mxSetFieldByNumber(array, part / fields, static_cast<int>(part % fields),
                               decodeMatrix(in.next(), depth + 1));
        in.expectEnd();
    });
}

// Reads int32 index data of at least `least` entries.
Element indexData(ElementReader& in, size_t least, const char* what) {
    Element element = in.next();
    if (element.type != miINT32 || element.size % 4 || element.size / 4 < least)
        raiseError("badSparse", "the %s are at least %zu int32 (type 5), not type %u of %zu bytes",
                   what, least, element.type, element.size);
    return element;
}

int32_t indexAt(const Element& element, size_t k) {
    return static_cast<int32_t>(loadLittle32(element.data + 4 * k));
}

// Column starts from 0 up to the stored count, and in each column rows that
// rise strictly within the row count: the layout both hosts assume.
size_t checkSparseLayout(const Element& rows, const Element& starts, size_t rowCount,
                         size_t columns) {
    if (indexAt(starts, 0) != 0)
        raiseError("badSparse", "the first column starts at %d, not 0", indexAt(starts, 0));
    for (size_t c = 0; c < columns; ++c) {
        int32_t first = indexAt(starts, c), end = indexAt(starts, c + 1);
        if (end < first || static_cast<size_t>(end) > rows.size / 4)
            raiseError("badSparse", "column %zu ends at %d, outside %d to %zu", c + 1, end, first,
                       rows.size / 4);
        for (int32_t k = first; k < end; ++k) {
            int32_t row = indexAt(rows, k);
            if (row < 0 || static_cast<size_t>(row) >= rowCount ||
                (k > first && row <= indexAt(rows, k - 1)))
                raiseError("badSparse", "row index %d of column %zu is out of order or range", row,
                           c + 1);
        }
    }
    return static_cast<size_t>(indexAt(starts, columns));
}

Element sparseValues(ElementReader& in, size_t stored) {
    Element values = in.next();
    if (numberCount(values) < stored)
        raiseError("dataSize", "the sparse array stores %zu elements but has %zu values", stored,
                   numberCount(values));
    return values;
}

mxArray* decodeSparse(ElementReader& in, const ArrayHeader& header) {
    bool logical = header.flags & kLogicalFlag;
    bool complex = header.flags & kComplexFlag;
    if (header.dims.size() != 2 || (logical && complex))
        raiseError("badSparse", "a sparse array is two-dimensional, and logical or complex");
    auto rowCount = static_cast<size_t>(header.dims[0]);
    auto columns = static_cast<size_t>(header.dims[1]);
    Element rows = indexData(in, 0, "row indices");
    Element starts = indexData(in, columns + 1, "column starts");
    if (starts.size / 4 != columns + 1)
        raiseError("badSparse", "%zu columns need %zu column starts, not %zu", columns, columns + 1,
                   starts.size / 4);
    size_t stored = checkSparseLayout(rows, starts, rowCount, columns);
    Element real = sparseValues(in, stored);
    Element imaginary{};
    if (complex) imaginary = sparseValues(in, stored);
    in.expectEnd();

    // Both hosts keep room for at least one element.
    mwSize room = std::max<mwSize>(stored, 1);
    mxArray* array = logical
                         ? mxCreateSparseLogicalMatrix(rowCount, columns, room)
                         : mxCreateSparse(rowCount, columns, room, complex ? mxCOMPLEX : mxREAL);
    mwIndex* arrayRows = mxGetIr(array);
    mwIndex* arrayStarts = mxGetJc(array);
    for (size_t k = 0; k < stored; ++k) arrayRows[k] = indexAt(rows, k);
    for (size_t c = 0; c <= columns; ++c) arrayStarts[c] = indexAt(starts, c);
    if (logical) {
        storeLogicals(real, stored, mxGetLogicals(array));
        return array;
    }
    const NumericClass& asDouble = *numericClassOf(mxDOUBLE_CLASS);
    storeValues(real, stored, asDouble, mxGetData(array));
    if (complex) storeValues(imaginary, stored, asDouble, mxGetImagData(array));
    return array;
}

mxArray* decodeMatrix(const Element& element, int depth) {
    if (element.type == miCOMPRESSED)
        raiseError("compressed",
                   "compressed elements (type 15) are not read; save without compression");
    if (element.type != miMATRIX)
        raiseError("notMatrix", "an array is an miMATRIX element (type 14), not type %u",
                   element.type);
    if (depth > kMatElementMaxDepth)
        raiseError("tooDeep", "cells and structs are nested more than %d levels deep",
                   kMatElementMaxDepth);
    // Other writers store an unset cell or field as an element with no bytes.
    if (element.size == 0) return mxCreateDoubleMatrix(0, 0, mxREAL);

    ElementReader in(element.data, element.size);
    ArrayHeader header = readArrayHeader(in);
    bool logical = header.flags & kLogicalFlag;
    switch (header.matClass) {
        case kCellClass:
            return decodeCell(in, header, depth);
        case kStructClass:
            return decodeStruct(in, header, depth);
        case kCharClass:
            return decodeChar(in, header);
        case kSparseClass:
            return decodeSparse(in, header);
        default:
            break;
    }
    const NumericClass* numeric = numericClassOfMat(header.matClass);
    if (!numeric)
        raiseError("unsupportedClass", "array class %u is not read (objects, function handles)",
                   header.matClass);
    if (!logical) return decodeNumeric(in, header, *numeric);
    if (header.matClass != kUint8Class || (header.flags & kComplexFlag))
        raiseError("badFlags", "the logical flag goes with real uint8 arrays, not class %u",
                   header.matClass);
    return decodeLogical(in, header);
}

}  // namespace
}  // namespace matfile

mxArray* decodeMatElement(const unsigned char* bytes, size_t length) {
    matfile::ElementReader in(bytes, length);
    matfile::Element top = in.next();
    in.expectEnd();
    return matfile::decodeMatrix(top, 0);
}

}  // namespace vorlex
