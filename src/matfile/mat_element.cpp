// mat_element.cpp - MAT-file Level 5 miMATRIX elements from and to arrays.
//
// An miMATRIX element is a tag (type 14, byte count) followed by data
// elements, each a tag and its data padded to 8 bytes (or, for 1 to 4 bytes
// of data, the small form: a 4-byte tag and the data in the next 4 bytes):
//
//   array flags  miUINT32 x2: class | flag bits << 8, then nzmax (sparse)
//   dimensions   miINT32 x ndims (at least 2)
//   array name   miINT8
//   numeric      real part, then the imaginary part when complex
//   logical      uint8 class with the logical flag; miUINT8 data
//   char         miUINT16 code units, or miUTF8 bytes
//   cell         one miMATRIX per element, in column-major order
//   struct       field name length (miINT32), the names (miINT8, each
//                NUL-padded to that length), then for each element, for
//                each field, one miMATRIX
//   sparse       row indices and column starts (miINT32), then the real
//                and imaginary values of the stored elements (doubles,
//                also for logical arrays)
//
// Octave's and MATLAB's hosts are little-endian, like the elements written
// here, so bulk data is copied as it is; tags and single words go through
// explicit byte loads and stores.  Complex data uses the separate real and
// imaginary parts of the MEX API (the default API of both hosts), which is
// also how MAT-files lay it out.
#include "matfile/mat_element.hpp"

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

namespace vorlex {

namespace {

static_assert(sizeof(mxLogical) == 1, "logical data is copied as bytes");

// --- The format ----------------------------------------------------------
// Data types of tags, under the names the format gives them.
enum DataType : uint32_t {
    miINT8 = 1,
    miUINT8 = 2,
    miINT16 = 3,
    miUINT16 = 4,
    miINT32 = 5,
    miUINT32 = 6,
    miSINGLE = 7,
    miDOUBLE = 9,
    miINT64 = 12,
    miUINT64 = 13,
    miMATRIX = 14,
    miCOMPRESSED = 15,
    miUTF8 = 16,
    miUTF16 = 17,
};

// Array classes of the flags word.
constexpr uint8_t kCellClass = 1;
constexpr uint8_t kStructClass = 2;
constexpr uint8_t kCharClass = 4;
constexpr uint8_t kSparseClass = 5;
constexpr uint8_t kDoubleClass = 6;
constexpr uint8_t kUint8Class = 9;

// Flag bits of the flags word (bits 8 to 15).
constexpr uint8_t kComplexFlag = 0x08;
constexpr uint8_t kLogicalFlag = 0x02;

constexpr size_t kTagSize = 8;
// A tag counts bytes in 32 bits: the largest count whose padded size still
// fits.
constexpr size_t kMaxElementBytes = 0xFFFFFFF8u;
// MATLAB's limit on the elements of one array; Octave's is higher.
constexpr uint64_t kMaxElementCount = (uint64_t{1} << 48) - 1;

// Octave has no complex integer arrays (creating one raises), MATLAB has.
// Octave is also the host whose chars are bytes, which is how the sources
// tell the two apart.
constexpr bool kHostHasComplexIntegers = sizeof(mxChar) == 2;

// One row per numeric class: its Octave class, its class in the flags word
// and the data type (and width) it is written in.
struct NumericClass {
    mxClassID id;
    uint8_t matClass;
    uint32_t dataType;
    size_t width;
    bool isInteger;
};

constexpr NumericClass numericClasses[] = {
    {mxDOUBLE_CLASS, 6, miDOUBLE, 8, false}, {mxSINGLE_CLASS, 7, miSINGLE, 4, false},
    {mxINT8_CLASS, 8, miINT8, 1, true},      {mxUINT8_CLASS, 9, miUINT8, 1, true},
    {mxINT16_CLASS, 10, miINT16, 2, true},   {mxUINT16_CLASS, 11, miUINT16, 2, true},
    {mxINT32_CLASS, 12, miINT32, 4, true},   {mxUINT32_CLASS, 13, miUINT32, 4, true},
    {mxINT64_CLASS, 14, miINT64, 8, true},   {mxUINT64_CLASS, 15, miUINT64, 8, true},
};

const NumericClass* numericClassOf(mxClassID id) {
    for (const NumericClass& row : numericClasses)
        if (row.id == id) return &row;
    return nullptr;
}

const NumericClass* numericClassOfMat(uint8_t matClass) {
    for (const NumericClass& row : numericClasses)
        if (row.matClass == matClass) return &row;
    return nullptr;
}

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

size_t padded(size_t bytes) { return (bytes + 7) & ~size_t{7}; }

void storeLittle16(unsigned char* out, uint16_t value) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
}

void storeLittle32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint16_t loadLittle16(const unsigned char* in) {
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

uint32_t loadLittle32(const unsigned char* in) {
    return uint32_t{in[0]} | (uint32_t{in[1]} << 8) | (uint32_t{in[2]} << 16) |
           (uint32_t{in[3]} << 24);
}

bool isTwoDimensionalRow(mwSize ndims, const mwSize* dims) { return ndims == 2 && dims[0] == 1; }

// --- Text ------------------------------------------------------------------
constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Reads the code point that strict UTF-8 encodes at `at` and moves past it;
// false for overlong forms, surrogates, values beyond U+10FFFF and cut or
// stray bytes.
bool nextUtf8(const unsigned char*& at, const unsigned char* end, uint32_t& code) {
    unsigned char lead = *at;
    if (lead < 0x80) {
        code = lead;
        ++at;
        return true;
    }
    size_t length;
    uint32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, code = lead & 0x07;
    } else {
        return false;
    }
    if (static_cast<size_t>(end - at) < length) return false;
    for (size_t i = 1; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80) return false;
        code = (code << 6) | (at[i] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    at += length;
    return true;
}

// Hands `emit` the UTF-16 units of the UTF-8 text; false (after some units
// perhaps) when the text is not strict UTF-8.
template <typename Emit>
bool utf8ToUtf16(const unsigned char* bytes, size_t count, Emit emit) {
    const unsigned char* end = bytes + count;
    uint32_t code;
    while (bytes < end) {
        if (!nextUtf8(bytes, end, code)) return false;
        if (code < 0x10000) {
            emit(static_cast<uint16_t>(code));
        } else {
            code -= 0x10000;
            emit(static_cast<uint16_t>(0xD800 | (code >> 10)));
            emit(static_cast<uint16_t>(0xDC00 | (code & 0x3FF)));
        }
    }
    return true;
}

template <typename Text>
void appendUtf8(uint32_t code, Text& out) {
    using Unit = typename Text::value_type;
    if (code < 0x80) {
        out.push_back(static_cast<Unit>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<Unit>(0xC0 | (code >> 6)));
        out.push_back(static_cast<Unit>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<Unit>(0xE0 | (code >> 12)));
        out.push_back(static_cast<Unit>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<Unit>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<Unit>(0xF0 | (code >> 18)));
        out.push_back(static_cast<Unit>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<Unit>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<Unit>(0x80 | (code & 0x3F)));
    }
}

// Appends the UTF-8 form of `units` little-endian UTF-16 units; a surrogate
// without its partner becomes U+FFFD.
template <typename Text>
void appendUtf16AsUtf8(const unsigned char* data, size_t units, Text& out) {
    for (size_t i = 0; i < units; ++i) {
        uint32_t unit = loadLittle16(data + 2 * i);
        uint32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = loadLittle16(data + 2 * (i + 1));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                code = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) code = kReplacementCharacter;
        appendUtf8(code, out);
    }
}

// --- Encoding --------------------------------------------------------------
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

// --- Decoding --------------------------------------------------------------
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

mxArray* encodeMatElement(const mxArray* value) {
    Writer counter(nullptr);
    putMatrix(counter, value, kMatElementName, 0);
    size_t size = counter.position();
    mxArray* bytes = mxCreateUninitNumericMatrix(1, size, mxUINT8_CLASS, mxREAL);
    Writer out(static_cast<unsigned char*>(mxGetData(bytes)));
    putMatrix(out, value, kMatElementName, 0);
    return bytes;
}

mxArray* decodeMatElement(const unsigned char* bytes, size_t length) {
    ElementReader in(bytes, length);
    Element top = in.next();
    in.expectEnd();
    return decodeMatrix(top, 0);
}

}  // namespace vorlex
