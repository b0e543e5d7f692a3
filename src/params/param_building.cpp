// SPDX-License-Identifier: BSD-3-Clause
// param_building.cpp - records of a parameter format and the put of one
// value.
#include "params/param_building.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "types/codec_numeric.hpp"
#include "types/codecs.hpp"
#include "types/libpqtypes_error.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_tables.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

ParamRecord makeRecord(PGtypeHandler* handler, int flags, int position,
                       const std::string& valueClass) {
    ParamRecord record{};
    record.flags = flags;
    record.handler = handler;
    record.position = position;
    record.valueClass = valueClass;
    record.isArray = (flags & kSpecArray) != 0;
    record.checkEmptyShape = true;
    if (isDateTimeOid(handler->typoid) && !isGatewayHandler(handler))
        raiseError("dateTimeSchema",
                   "%s: date and time parameters take date numbers through the %s types; "
                   "name the type without a schema",
                   contextOf(record).c_str(), kTypeSchema);
    record.type = typeOfHandler(handler);
    if (!record.type)
        raiseError("unsupportedType", "%s: the type %s.%s (OID %u) is not supported",
                   contextOf(record).c_str(), handler->typschema, handler->typname,
                   handler->typoid);
    record.isVariableLength = isVariableLength(record.type->kind);
    record.isNumericLike = takesDoubles(record.type->kind);
    record.isSerialised = record.type->kind == TypeKind::serialised;
    record.classId = record.type->classId;
    return record;
}

// Consumes the "!" and "@" modifiers that may follow an array specifier.
const char* takeArrayModifiers(const char* rest, ParamRecord& record) {
    for (;; ++rest) {
        if (*rest == '!')
            record.checkEmptyShape = false;
        else if (*rest == '@')
            record.flags |= kSpecFlatten;
        else
            return rest;
    }
}

}  // namespace

std::string specifierText(const PGtypeHandler* handler, int flags) {
    std::string text(1, (flags & kSpecByName) ? '#' : '%');
    text += std::string(handler->typschema) + "." + handler->typname;
    if (flags & kSpecArray) text += "[]";
    if (flags & kSpecPointer) text += "*";
    return text;
}

std::string specifierOf(const ParamRecord& record) {
    return specifierText(record.handler, record.flags);
}

std::string contextOf(const ParamRecord& record) {
    if (!record.context.empty()) return record.context;
    return "parameter " + std::to_string(record.position) + " (" + specifierOf(record) + ", a " +
           record.valueClass + " value)";
}

std::string formatArg(const mxArray* const prhs[], int index) {
    return charArg(prhs, index, {"format", "formatNotChar", "formatUnreadable", "formatHasNul"});
}

const char* parseSpecifier(const char* format, const TypeHandlers& handlers,
                           SpecifierParse& parse) {
    // libpqtypes counts a specifier it refuses, or not, by the failure.
    int parsed = parse.position;
    const char* rest = parseTypeSpecifier(format, handlers, parse);
    if (!rest)
        raiseError("badFormat", "specifier %d of the format: %s", parsed + 1,
                   takeTypesError().c_str());
    return rest;
}

std::vector<ParamRecord> buildRecords(const char* format, const TypeHandlers& handlers,
                                      const std::vector<std::string>& classNames) {
    std::vector<ParamRecord> records;
    records.reserve(classNames.size());
    SpecifierParse parse;
    for (const char* rest = format; *rest;) {
        rest = parseSpecifier(rest, handlers, parse);
        if (!parse.handler) continue;
        if (static_cast<size_t>(parse.position) > classNames.size())
            raiseError("tooManySpecifiers", "the format has more specifiers than the %zu value(s)",
                       classNames.size());
        records.push_back(
            makeRecord(parse.handler, parse.flags, parse.position, classNames[parse.position - 1]));
        if (parse.flags & kSpecArray) rest = takeArrayModifiers(rest, records.back());
    }
    if (records.size() < classNames.size())
        raiseError("tooFewSpecifiers", "the format has %zu specifier(s) for %zu values",
                   records.size(), classNames.size());
    return records;
}

void raiseValueTooLarge(const std::string& what, size_t size) {
    raiseError("valueTooLarge", "%s: %zu bytes; PostgreSQL takes at most %zu bytes for a value",
               what.c_str(), size, kMostValueBytes);
}

namespace {

// --- Checks -------------------------------------------------------------------

bool isRowVector(const mxArray* array) {
    return mxGetNumberOfDimensions(array) == 2 && !mxIsSparse(array) &&
           (mxIsEmpty(array) || mxGetM(array) == 1);
}

void requireRowVector(const ParamRecord& record, const mxArray* array) {
    if (!isRowVector(array))
        raiseError("notRow", "%s: a row vector is needed, not a %zux%zu array",
                   contextOf(record).c_str(), static_cast<size_t>(mxGetM(array)),
                   static_cast<size_t>(mxGetN(array)));
}

// Extents may not be zero, except for the 0-by-0 empty array.
template <typename Extent>
bool hasRefusedZeroExtent(size_t ndims, const Extent* dims) {
    if (ndims == 2 && dims[0] == 0 && dims[1] == 0) return false;
    return std::find(dims, dims + ndims, Extent{0}) != dims + ndims;
}

void checkEmptyShape(const ParamRecord& record, const ValueSource& source) {
    bool refused = source.offset < 0
                       ? source.array && hasRefusedZeroExtent(mxGetNumberOfDimensions(source.array),
                                                              mxGetDimensions(source.array))
                       : hasRefusedZeroExtent(source.slice->ndims, source.slice->dims);
    if (refused)
        raiseError("emptyShape",
                   "%s: an array with an extent of 0 (other than 0x0) is refused; put \"!\" "
                   "after the specifier to send it",
                   contextOf(record).c_str());
}

void checkShape(const ParamRecord& record, const ValueSource& source) {
    const mxArray* array = source.offset < 0 ? source.array : nullptr;
    if (record.isArray) {
        if (record.checkEmptyShape) checkEmptyShape(record, source);
        if (record.isVariableLength) {
            if (!array)
                raiseError("textArraySource", "%s: arrays of this type are sent from a cell array",
                           contextOf(record).c_str());
            if (!mxIsCell(array))
                raiseError("textArrayNotCell", "%s: arrays of this type need a cell array, not %s",
                           contextOf(record).c_str(), mxGetClassName(array));
        } else if (source.offset < 0 && !array) {
            raiseError("missingValue", "%s: the value is missing", contextOf(record).c_str());
        }
        return;
    }
    if (!array) {
        if (record.isSerialised)
            raiseError(
                "serialisedSource",
                "Values of serbytea and serbytea_wn must be passed in column cell arrays: %s",
                contextOf(record).c_str());
        return;
    }
    if (!record.isVariableLength && (mxGetNumberOfElements(array) != 1 ||
                                     mxGetNumberOfDimensions(array) != 2 || mxIsSparse(array)))
        raiseError("notScalar", "%s: one value (1x1) is needed, not a %zux%zu array",
                   contextOf(record).c_str(), static_cast<size_t>(mxGetM(array)),
                   static_cast<size_t>(mxGetN(array)));
}

void checkClass(const ParamRecord& record, const mxArray* array) {
    if (record.isSerialised) return;
    bool accepted = (record.isArray && record.isVariableLength) ||
                    isOfClass(array, record.classId) || (mxIsDouble(array) && record.isNumericLike);
    if (!accepted)
        raiseError("wrongClass", "%s: %s values cannot be sent as this type (it takes %s%s)",
                   contextOf(record).c_str(), mxGetClassName(array), classIdName(record.classId),
                   record.isNumericLike && record.classId != mxDOUBLE_CLASS ? " or double" : "");
    // The imaginary part would be dropped without a word.
    if (mxIsComplex(array))
        raiseError("complexValue", "%s: complex values cannot be sent", contextOf(record).c_str());
}

// The checks every value passes before it is encoded.
void checkValue(const ParamRecord& record, const ValueSource& source) {
    checkShape(record, source);
    if (source.offset < 0 && source.array) checkClass(record, source.array);
}

void requirePresent(const ParamRecord& record, const ValueSource& source) {
    if (source.offset < 0 && !source.array)
        raiseError("missingValue", "%s: the value is missing", contextOf(record).c_str());
}

// --- Scalars --------------------------------------------------------------------

char* reserve(const ValueRoom& room, const ParamRecord& record, size_t size) {
    if (size > kMostValueBytes) raiseValueTooLarge(contextOf(record), size);
    return room.reserve(room.context, size);
}

void raiseCodecFailure(const ParamRecord& record, const std::string& error) {
    raiseError("putFailed", "%s: %s", contextOf(record).c_str(), error.c_str());
}

size_t encodeBytes(const ValueRoom& room, const ParamRecord& record, const void* bytes,
                   size_t size) {
    char* out = reserve(room, record, size);
    if (size) std::memcpy(out, bytes, size);
    return size;
}

size_t encodeFixedWidth(const ValueRoom& room, const ParamRecord& record, const ElementCodec& codec,
                        const ValueSource& source, const PGtypeFormatInfo& server) {
    requirePresent(record, source);
    size_t width = static_cast<size_t>(codec.width);
    char* out = reserve(room, record, width);
    ElementSource elements{source.data, nullptr, source.isDouble};
    size_t index = static_cast<size_t>(source.offset);
    if (source.offset < 0) {
        elements = {mxGetData(source.array), nullptr, mxIsDouble(source.array)};
        index = 0;
    }
    std::string error;
    if (!codec.write(out, elements, index, server, error)) raiseCodecFailure(record, error);
    return width;
}

// The text of a char scalar: the direct form's row, or the slice form's
// `count` characters at element `offset`.  Where the host's chars are
// bytes a slice is read in place; else the text is copied or converted
// into `owned`.
struct ScalarText {
    const char* data = "";
    size_t size = 0;
    std::string owned;
};

void readScalarText(const ParamRecord& record, const ValueSource& source, ScalarText& text) {
    if (source.rowBytes) {
        text.data = source.rowBytes;
        text.size = source.rowLength;
    } else if (source.offset < 0) {
        if (!source.array) return;
        requireRowVector(record, source.array);
        if (!charRowBytes(source.array, text.owned))
            raiseError("textUnreadable", "%s: the text could not be read",
                       contextOf(record).c_str());
        text.data = text.owned.data();
        text.size = text.owned.size();
    } else {
        const ColumnSlice& slice = *source.slice;
        if constexpr (sizeof(mxChar) == 1) {
            text.data = static_cast<const char*>(slice.data) + source.offset;
            text.size = slice.count;
        } else {
            std::memcpy(mxGetChars(slice.scratch),
                        static_cast<const mxChar*>(slice.data) + source.offset,
                        slice.count * sizeof(mxChar));
            if (!charArrayBytes(slice.scratch, text.owned))
                raiseError("textUnreadable", "%s: the text could not be read",
                           contextOf(record).c_str());
            text.data = text.owned.data();
            text.size = text.owned.size();
        }
    }
    // A text holds no NUL: the server refuses one, and libpq's text
    // forms would cut the value short at it.
    if (text.size && std::memchr(text.data, '\0', text.size))
        raiseError("textHasNul", "%s: the text holds a NUL character", contextOf(record).c_str());
}

size_t encodeText(const ValueRoom& room, const ParamRecord& record, const ValueSource& source) {
    ScalarText text;
    readScalarText(record, source, text);
    return encodeBytes(room, record, text.data, text.size);
}

// numeric takes decimal text; the server knows infinities from version 14.
size_t encodeNumericText(const ValueRoom& room, const ParamRecord& record,
                         const ValueSource& source, const PGtypeFormatInfo& server) {
    ScalarText text;
    readScalarText(record, source, text);
    std::string wire, error;
    if (!encodeNumeric(text.data, text.size, server.sversion >= 140000, wire, error))
        raiseCodecFailure(record, error);
    return encodeBytes(room, record, wire.data(), wire.size());
}

size_t encodeByteRow(const ValueRoom& room, const ParamRecord& record, const ValueSource& source) {
    if (source.offset >= 0) {
        const ColumnSlice& slice = *source.slice;
        return encodeBytes(room, record, static_cast<const char*>(slice.data) + source.offset,
                           slice.count);
    }
    if (source.rowBytes) return encodeBytes(room, record, source.rowBytes, source.rowLength);
    if (!source.array) return encodeBytes(room, record, nullptr, 0);
    requireRowVector(record, source.array);
    return encodeBytes(room, record, mxGetData(source.array), mxGetNumberOfElements(source.array));
}

// The bytes of `value` serialised by the Octave function, as a uint8 row.
mxArray* serialise(const ParamRecord& record, const mxArray* value) {
    mxArray* input = const_cast<mxArray*>(value);
    mxArray* output;
    std::string error;
    if (!callHostFunction(kSerialiseFunction, input, output, error))
        raiseError("serialiseFailed", "%s: %s", contextOf(record).c_str(), error.c_str());
    HostArrayOwner bytes(output);
    if (!mxIsUint8(output) || !isRowVector(output))
        raiseError("serialiseFailed", "%s: %s must return a uint8 row, not a %zux%zu %s",
                   contextOf(record).c_str(), kSerialiseFunction,
                   static_cast<size_t>(mxGetM(output)), static_cast<size_t>(mxGetN(output)),
                   mxGetClassName(output));
    return bytes.release();
}

size_t encodeSerialised(const ValueRoom& room, const ParamRecord& record,
                        const ValueSource& source) {
    HostArrayOwner bytes(serialise(record, source.array));
    return encodeBytes(room, record, mxGetData(bytes.get()), mxGetNumberOfElements(bytes.get()));
}

// --- Arrays ---------------------------------------------------------------------

size_t encodeArray(const ValueRoom& room, const ParamRecord& record, const ValueSource& source,
                   const char* mask, const PGtypeFormatInfo& server) {
    const ElementCodec& codec = record.type->codec;
    bool flatten = (record.flags & kSpecFlatten) != 0;
    ArrayValue value;
    std::string error;
    size_t total;
    bool described = source.offset < 0
                         ? checkDirectSource(source.array, codec, error) &&
                               describeArray(source.array, mask, flatten, value, error)
                         : describeSlice(*source.slice, mask, flatten,
                                         static_cast<size_t>(source.offset), value, error);
    if (described) value.nulls = nullElementsOf(value, codec, record.nanIsNull, record.cellNulls);
    if (!described || !arrayEncodedSize(value, codec, total, error))
        raiseCodecFailure(record, error);
    char* out = reserve(room, record, total);
    if (!writeArrayFrame(out, value, codec, codec.baseOid, server, error))
        raiseCodecFailure(record, error);
    return total;
}

// Numeric and serialised arrays come from cells whose elements are checked
// or serialised one by one, first of all their extents.
void checkCellExtents(const ParamRecord& record, const mxArray* cell) {
    size_t ndims = mxGetNumberOfDimensions(cell);
    if (ndims > kMaxArrayDims)
        raiseError("tooManyDims", "%s: %zu dimensions; arrays have at most %d",
                   contextOf(record).c_str(), ndims, kMaxArrayDims);
    const mwSize* extents = mxGetDimensions(cell);
    for (size_t d = 0; d < ndims; ++d)
        if (extents[d] > static_cast<mwSize>(INT32_MAX))
            raiseError("tooLarge", "%s: the array is too large", contextOf(record).c_str());
}

// Calls visit(index, element) for each element of the cell that is not
// NULL, in the order the frame lists them (row-major unless flattened).
template <typename Visit>
void forEachSentElement(const ParamRecord& record, const mxArray* cell, const char* mask,
                        Visit visit) {
    int ndims = static_cast<int>(mxGetNumberOfDimensions(cell));
    size_t dims[kMaxArrayDims];
    std::copy(mxGetDimensions(cell), mxGetDimensions(cell) + ndims, dims);
    bool flatten = (record.flags & kSpecFlatten) != 0;
    size_t count = mxGetNumberOfElements(cell);
    RowMajorWalk walk(ndims, dims);
    for (size_t i = 0; i < count; ++i, walk.next()) {
        size_t index = flatten ? i : walk.index();
        if (!(mask && mask[index])) visit(index, mxGetCell(cell, index));
    }
}

// numeric elements are decimal texts, each one a row without NUL
// characters (as a numeric scalar's text).
void checkNumericElements(const ParamRecord& record, const mxArray* cell, const char* mask) {
    checkCellExtents(record, cell);
    forEachSentElement(record, cell, mask, [&](size_t, const mxArray* element) {
        if (!element || (record.cellNulls && isNullCellValue(element))) return;
        if (!mxIsChar(element))
            raiseError("numericNotText", "%s: numeric elements are decimal texts, not %s",
                       contextOf(record).c_str(), mxGetClassName(element));
        requireRowVector(record, element);
        const mxChar* chars = mxGetChars(element);
        size_t count = mxGetNumberOfElements(element);
        if (std::find(chars, chars + count, mxChar{0}) != chars + count)
            raiseError("textHasNul", "%s: the text holds a NUL character",
                       contextOf(record).c_str());
    });
}

// Each element sent is serialised (an element never set gives no bytes),
// and the cell of their bytes framed as bytea.
size_t encodeSerialisedArray(const ValueRoom& room, const ParamRecord& record,
                             const ValueSource& source, const char* mask,
                             const PGtypeFormatInfo& server) {
    const mxArray* cell = source.array;
    checkCellExtents(record, cell);
    HostArrayOwner bytes(mxCreateCellArray(mxGetNumberOfDimensions(cell), mxGetDimensions(cell)));
    forEachSentElement(record, cell, mask, [&](size_t index, const mxArray* element) {
        mxSetCell(bytes.get(), index,
                  element ? serialise(record, element) : createByteRow(nullptr, 0));
    });
    ValueSource serialised;
    serialised.array = bytes.get();
    return encodeArray(room, record, serialised, mask, server);
}

}  // namespace

size_t encodeValue(const ValueRoom& room, const ParamRecord& record, const ValueSource& source,
                   const char* mask, const PGtypeFormatInfo& server) {
    checkValue(record, source);
    TypeKind kind = record.type->kind;
    if (record.isArray) {
        if (kind == TypeKind::serialised)
            return encodeSerialisedArray(room, record, source, mask, server);
        if (kind == TypeKind::numeric) checkNumericElements(record, source.array, mask);
        return encodeArray(room, record, source, mask, server);
    }
    switch (kind) {
        case TypeKind::textLike:
            return encodeText(room, record, source);
        case TypeKind::numeric:
            return encodeNumericText(room, record, source, server);
        case TypeKind::bytes:
            return encodeByteRow(room, record, source);
        case TypeKind::serialised:
            return encodeSerialised(room, record, source);
        default:
            return encodeFixedWidth(room, record, record.type->codec, source, server);
    }
}

namespace {

// Appends a NULL of the record's type: the slot the value then goes into.
void putNull(PGparam* param, const ParamRecord& record) {
    appendNullValue(param, record.isArray ? record.handler->typoid_array : record.handler->typoid);
}

}  // namespace

void putValue(PGparam* param, const ParamRecord& record, const ValueSource& source,
              const char* mask, bool isNull) {
    int slot = PQparamCount(param);
    putNull(param, record);
    if (isNull) return;
    try {
        replaceValue(param, slot, record, source, mask, false);
    } catch (...) {
        dropLastValue(param);
        throw;
    }
}

void replaceValue(PGparam* param, int slot, const ParamRecord& record, const ValueSource& source,
                  const char* mask, bool isNull) {
    if (isNull) {
        setSlotNull(param, slot);
        return;
    }
    ParamSlot value = paramSlot(param, slot);
    encodeValue(ValueRoom{writeSlotValue, value.value}, record, source, mask, *value.server);
}

}  // namespace vorlex
