// SPDX-License-Identifier: BSD-3-Clause
// codec_text.cpp - variable-length elements: text-like types, bytea,
// serialised values and numeric.
//
// On the Octave side these are cells: char rows for text and numeric,
// uint8 rows for bytea.  Every element of a cell that is sent must be set
// and must be empty or a single row.
#include "types/codec_text.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <string>

#include "backend/host_classes.hpp"
#include "host/host.hpp"
#include "types/codec_numeric.hpp"
#include "types/element_access.hpp"

namespace vorlex {

namespace {

std::string shapeText(const mxArray* array) {
    mwSize ndims = mxGetNumberOfDimensions(array);
    const mwSize* dims = mxGetDimensions(array);
    std::string text;
    for (mwSize d = 0; d < ndims; ++d) {
        if (d) text += 'x';
        text += std::to_string(dims[d]);
    }
    return text;
}

// The cell's element `index` when it is an empty or one-row array of the
// class wanted, else null with the reason in `error`.
const mxArray* rowElement(const mxArray* cell, size_t index, mxClassID wanted,
                          const char* wantedName, std::string& error) {
    const mxArray* element = mxGetCell(cell, index);
    if (!element) {
        error = "the cell element is not set";
        return nullptr;
    }
    bool isRow = mxGetNumberOfDimensions(element) == 2 && !mxIsSparse(element) &&
                 (mxIsEmpty(element) || mxGetM(element) == 1);
    if (!isOfClass(element, wanted)) {
        error = std::string("a ") + wantedName + " row is needed, not " + mxGetClassName(element);
        return nullptr;
    }
    if (!isRow) {
        error = std::string("a ") + wantedName + " row is needed, not a " + shapeText(element) +
                " array";
        return nullptr;
    }
    return element;
}

bool elementText(const mxArray* cell, size_t index, std::string& text, std::string& error) {
    const mxArray* element = rowElement(cell, index, mxCHAR_CLASS, "char", error);
    if (!element) return false;
    if (!charRowBytes(element, text)) {
        error = "the text could not be converted";
        return false;
    }
    return true;
}

}  // namespace

mxArray* createByteRow(const char* bytes, size_t length) {
    mwSize dims[2] = {length ? mwSize{1} : mwSize{0}, static_cast<mwSize>(length)};
    mxArray* row = mxCreateNumericArray(2, dims, mxUINT8_CLASS, mxREAL);
    if (length) std::memcpy(mxGetData(row), bytes, length);
    return row;
}

bool sizeText(const mxArray* cell, size_t index, size_t& size, std::string& error) {
    if constexpr (sizeof(mxChar) == 1) {
        // Octave: one byte per char, no conversion needed to know the size.
        const mxArray* element = rowElement(cell, index, mxCHAR_CLASS, "char", error);
        if (!element) return false;
        size = mxGetNumberOfElements(element);
        return true;
    } else {
        std::string text;
        if (!elementText(cell, index, text, error)) return false;
        size = text.size();
        return true;
    }
}

bool writeText(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string& error) {
    std::string text;
    if (!elementText(source.cell, index, text, error)) return false;
    std::memcpy(out, text.data(), text.size());
    return true;
}

bool readText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string&) {
    mxSetCell(target.array, index, createCharRow(bytes, length));
    return true;
}

bool sizeBytea(const mxArray* cell, size_t index, size_t& size, std::string& error) {
    const mxArray* element = rowElement(cell, index, mxUINT8_CLASS, "uint8", error);
    if (!element) return false;
    size = mxGetNumberOfElements(element);
    return true;
}

bool writeBytea(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
                std::string& error) {
    const mxArray* element = rowElement(source.cell, index, mxUINT8_CLASS, "uint8", error);
    if (!element) return false;
    size_t count = mxGetNumberOfElements(element);
    if (count) std::memcpy(out, mxGetData(element), count);
    return true;
}

bool readBytea(const char* bytes, size_t length, const ElementTarget& target, size_t index,
               const PGtypeFormatInfo&, std::string&) {
    mxSetCell(target.array, index, createByteRow(bytes, length));
    return true;
}

bool readSerialised(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                    const PGtypeFormatInfo&, std::string& error) {
    mxArray* input = createByteRow(bytes, length);
    mxArray* output;
    bool restored = callHostFunction(kDeserialiseFunction, input, output, error);
    mxDestroyArray(input);
    if (!restored) return false;
    mxSetCell(target.array, index, output);
    return true;
}

bool sizeNumeric(const mxArray* cell, size_t index, size_t& size, std::string& error) {
    std::string text, wire;
    if (!elementText(cell, index, text, error)) return false;
    // Infinity takes as many bytes as any other short value; whether the
    // server accepts it is the writer's question.
    if (!encodeNumeric(text.data(), text.size(), true, wire, error)) return false;
    size = wire.size();
    return true;
}

bool writeNumeric(char* out, const ElementSource& source, size_t index,
                  const PGtypeFormatInfo& server, std::string& error) {
    std::string text, wire;
    if (!elementText(source.cell, index, text, error)) return false;
    if (!encodeNumeric(text.data(), text.size(), server.sversion >= 140000, wire, error))
        return false;
    std::memcpy(out, wire.data(), wire.size());
    return true;
}

bool readNumeric(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                 const PGtypeFormatInfo&, std::string& error) {
    std::string text;
    if (!decodeNumeric(reinterpret_cast<const unsigned char*>(bytes), length, text, error))
        return false;
    mxSetCell(target.array, index, createCharRow(text.data(), text.size()));
    return true;
}

namespace {

// numeric's text: digits with a point and no exponent, NaN or Infinity.
bool parseDouble(const char* text, size_t length, const ElementTarget& target, size_t index,
                 std::string& error) {
    double value = 0;
    auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ptr != text + length ||
        (parsed.ec != std::errc() && parsed.ec != std::errc::result_out_of_range)) {
        error = "'" + std::string(text, length) + "' is not a number";
        return false;
    }
    if (parsed.ec == std::errc::result_out_of_range) {
        bool negative = text[0] == '-';
        bool fraction = text[negative] == '0';
        value = fraction ? 0.0 : std::numeric_limits<double>::infinity();
        if (negative) value = -value;
    }
    storeAt(target, index, value);
    return true;
}

}  // namespace

bool readNumericDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                       const PGtypeFormatInfo&, std::string& error) {
    std::string text;
    if (!decodeNumeric(reinterpret_cast<const unsigned char*>(bytes), length, text, error))
        return false;
    return parseDouble(text.data(), text.size(), target, index, error);
}

bool readDecimalDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                       const PGtypeFormatInfo&, std::string& error) {
    return parseDouble(bytes, length, target, index, error);
}

}  // namespace vorlex
