// param_building.cpp - records of a parameter format and the put of one
// value.
#include "params/param_building.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "types/codec_numeric.hpp"
#include "types/codecs.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_tables.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "handles/registry.hpp"

namespace vorlex {

namespace {

struct OidClass {
    Oid oid;
    mxClassID classId;
};

// Keep in step with the element codecs' classes (type_tables.cpp).
constexpr OidClass oidClasses[] = {
    {16, mxLOGICAL_CLASS},  {17, mxUINT8_CLASS},    {19, mxCHAR_CLASS},     {25, mxCHAR_CLASS},
    {114, mxCHAR_CLASS},    {142, mxCHAR_CLASS},    {1042, mxCHAR_CLASS},   {1043, mxCHAR_CLASS},
    {1700, mxCHAR_CLASS},   {20, mxINT64_CLASS},    {21, mxINT16_CLASS},    {23, mxINT32_CLASS},
    {700, mxSINGLE_CLASS},  {701, mxDOUBLE_CLASS},  {1082, mxDOUBLE_CLASS}, {1083, mxDOUBLE_CLASS},
    {1114, mxDOUBLE_CLASS}, {1184, mxDOUBLE_CLASS}, {1266, mxDOUBLE_CLASS},
};

constexpr Oid kNumericOid = 1700;

bool isNumericLikeOid(Oid oid) {
    for (Oid numericLike : {16, 20, 21, 23, 700, 701, 1082, 1083, 1114, 1184, 1266})
        if (oid == numericLike) return true;
    return false;
}

bool isSerialisedHandler(const PGtypeHandler* handler) {
    return isGatewayHandler(handler) &&
           (std::strcmp(handler->typname, kSerializedTypeName) == 0 ||
            std::strcmp(handler->typname, kSerializedWithNullsTypeName) == 0);
}

}  // namespace

const char* classIdName(mxClassID classId) {
    switch (classId) {
        case mxLOGICAL_CLASS:
            return "logical";
        case mxCHAR_CLASS:
            return "char";
        case mxDOUBLE_CLASS:
            return "double";
        case mxSINGLE_CLASS:
            return "single";
        case mxUINT8_CLASS:
            return "uint8";
        case mxINT16_CLASS:
            return "int16";
        case mxINT32_CLASS:
            return "int32";
        case mxINT64_CLASS:
            return "int64";
        default:
            return "?";
    }
}

namespace {

ParamRecord makeRecord(PGtypeHandler* handler, int flags, int position,
                       const std::string& valueClass) {
    ParamRecord record{};
    record.flags = flags;
    record.handler = handler;
    record.specifier = specifierText(handler, flags);
    record.context = "parameter " + std::to_string(position) + " (" + record.specifier + ", a " +
                     valueClass + " value)";
    record.isArray = (flags & kSpecArray) != 0;
    record.isTextLike = isTextLikeOid(handler->typoid);
    record.checkEmptyShape = true;
    record.isNumericLike = isNumericLikeOid(handler->typoid);
    record.isSerialised = isSerialisedHandler(handler);
    record.classId = classForTypeOid(handler->typoid);
    record.codec = elementCodecNamed(handler->typname);
    if (isDateTimeOid(handler->typoid) && !isGatewayHandler(handler))
        raiseError("dateTimeSchema",
                   "%s: date and time parameters take date numbers through the %s types; "
                   "name the type without a schema",
                   record.context.c_str(), kTypeSchema);
    if (!isSupportedHandler(handler))
        raiseError("unsupportedType", "%s: the type %s.%s (OID %u) is not supported",
                   record.context.c_str(), handler->typschema, handler->typname, handler->typoid);
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

mxClassID classForTypeOid(Oid oid) {
    for (const OidClass& entry : oidClasses)
        if (entry.oid == oid) return entry.classId;
    return mxUNKNOWN_CLASS;
}

bool isDateTimeOid(Oid oid) {
    return oid == 1082 || oid == 1083 || oid == 1114 || oid == 1184 || oid == 1266;
}

bool isTextLikeOid(Oid oid) {
    for (Oid textLike : {17, 19, 25, 114, 142, 1042, 1043, 1700})
        if (oid == textLike) return true;
    return false;
}

bool isSupportedHandler(const PGtypeHandler* handler) {
    return classForTypeOid(handler->typoid) != mxUNKNOWN_CLASS &&
           elementCodecNamed(handler->typname) != nullptr;
}

bool isGatewayHandler(const PGtypeHandler* handler) {
    return std::strcmp(handler->typschema, kTypeSchema) == 0;
}

std::string specifierText(const PGtypeHandler* handler, int flags) {
    std::string text(1, (flags & kSpecByName) ? '#' : '%');
    text += std::string(handler->typschema) + "." + handler->typname;
    if (flags & kSpecArray) text += "[]";
    if (flags & kSpecPointer) text += "*";
    return text;
}

std::string formatArg(const mxArray* const prhs[], int index) {
    const mxArray* arg = prhs[index];
    if (!mxIsChar(arg))
        raiseError("formatNotChar", "argument %d (format) must be char, not %s", argPosition(index),
                   mxGetClassName(arg));
    std::string format;
    if (!charArrayBytes(arg, format))
        raiseError("formatUnreadable", "argument %d (format) could not be read",
                   argPosition(index));
    // libpqtypes reads the format up to its first NUL.
    if (format.find('\0') != std::string::npos)
        raiseError("formatHasNul", "argument %d (format) holds a NUL character",
                   argPosition(index));
    return format;
}

const char* parseSpecifier(const char* format, PGtypeHandler* handlers, int count,
                           SpecifierParse& parse) {
    parse.handler = nullptr;
    parse.flags = 0;
    size_t statementPosition = 0;
    const char* rest = pqt_parse(format, handlers, count, nullptr, 0, &parse.handler,
                                 &statementPosition, &parse.position, &parse.flags);
    if (!rest) {
        std::string text = PQgeterror();
        PQseterror(nullptr);
        raiseError("badFormat", "specifier %d of the format: %s", parse.position + 1, text.c_str());
    }
    return rest;
}

std::vector<ParamRecord> buildRecords(const char* format, PGparam* param,
                                      const std::vector<std::string>& classNames) {
    std::vector<ParamRecord> records;
    records.reserve(classNames.size());
    SpecifierParse parse;
    for (const char* rest = format; *rest;) {
        rest = parseSpecifier(rest, param->typhandlers, param->typhcnt, parse);
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

namespace {

// The prepared specifier for a record's type: "@" + type name + suffix.
std::string prepared(const ParamRecord& record, const char* suffix = "") {
    return std::string("@") + record.handler->typname + suffix;
}

// libpqtypes' error text, left by a put that failed, raised with the
// parameter's context.
void raisePutFailure(const ParamRecord& record, int ok) {
    const char* pending = PQgeterror();
    if (pending && *pending) {
        std::string text(pending);
        PQseterror(nullptr);
        raiseError("putFailed", "%s: %s", record.context.c_str(), text.c_str());
    }
    if (!ok) raiseError("putFailed", "%s: the value could not be put", record.context.c_str());
}

// libpqtypes keeps a zero-length value with a null data pointer, which
// libpq would send as NULL: an empty text or bytea would arrive as NULL.
// Pointing it at an empty text sends the empty value it is.
void keepEmptyValueNotNull(PGparam* param) {
    PqtParamValue& last = param->vals[param->vcnt - 1];
    static char empty[1] = "";
    if (last.datal == 0 && !last.data) last.data = empty;
}

template <typename... Args>
void putChecked(PGparam* param, const ParamRecord& record, const std::string& name, Args... args) {
    int ok = PQputf(param, name.c_str(), args...);
    raisePutFailure(record, ok);
    keepEmptyValueNotNull(param);
}

bool isRowVector(const mxArray* array) {
    return mxGetNumberOfDimensions(array) == 2 && !mxIsSparse(array) &&
           (mxIsEmpty(array) || mxGetM(array) == 1);
}

void requireRowVector(const ParamRecord& record, const mxArray* array) {
    if (!isRowVector(array))
        raiseError("notRow", "%s: a row vector is needed, not a %zux%zu array",
                   record.context.c_str(), static_cast<size_t>(mxGetM(array)),
                   static_cast<size_t>(mxGetN(array)));
}

void putNull(PGparam* param, const ParamRecord& record) {
    putChecked(param, record, prepared(record, record.isArray ? "[]*" : "*"), nullptr);
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
                   record.context.c_str());
}

void checkShape(const ParamRecord& record, const ValueSource& source) {
    const mxArray* array = source.offset < 0 ? source.array : nullptr;
    if (record.isArray) {
        if (record.checkEmptyShape) checkEmptyShape(record, source);
        if (record.isTextLike) {
            if (!array)
                raiseError("textArraySource", "%s: arrays of this type are sent from a cell array",
                           record.context.c_str());
            if (!mxIsCell(array))
                raiseError("textArrayNotCell", "%s: arrays of this type need a cell array, not %s",
                           record.context.c_str(), mxGetClassName(array));
        } else if (source.offset < 0 && !array) {
            raiseError("missingValue", "%s: the value is missing", record.context.c_str());
        }
        return;
    }
    if (!array) {
        if (record.isSerialised)
            raiseError(
                "serialisedSource",
                "Values of serbytea and serbytea_wn must be passed in column cell arrays: %s",
                record.context.c_str());
        return;
    }
    if (!record.isTextLike && (mxGetNumberOfElements(array) != 1 ||
                               mxGetNumberOfDimensions(array) != 2 || mxIsSparse(array)))
        raiseError("notScalar", "%s: one value (1x1) is needed, not a %zux%zu array",
                   record.context.c_str(), static_cast<size_t>(mxGetM(array)),
                   static_cast<size_t>(mxGetN(array)));
}

void checkClass(const ParamRecord& record, const mxArray* array) {
    if (record.isSerialised) return;
    bool accepted = (record.isArray && record.isTextLike) ||
                    mxGetClassID(array) == record.classId ||
                    (mxIsDouble(array) && record.isNumericLike);
    if (!accepted)
        raiseError("wrongClass", "%s: %s values cannot be sent as this type (it takes %s%s)",
                   record.context.c_str(), mxGetClassName(array), classIdName(record.classId),
                   record.isNumericLike && record.classId != mxDOUBLE_CLASS ? " or double" : "");
    // The imaginary part would be dropped without a word.
    if (mxIsComplex(array))
        raiseError("complexValue", "%s: complex values cannot be sent", record.context.c_str());
}

// The checks every value passes before it is encoded.
void checkValue(const ParamRecord& record, const ValueSource& source) {
    checkShape(record, source);
    if (source.offset < 0 && source.array) checkClass(record, source.array);
}

// --- Array-object path: numeric and serialised arrays ---------------------

// The bytes of `value` serialised by the Octave function, as a uint8 row.
mxArray* serialise(const ParamRecord& record, const mxArray* value) {
    mxArray* input = const_cast<mxArray*>(value);
    mxArray* output;
    std::string error;
    if (!callHostFunction(kSerialiseFunction, input, output, error))
        raiseError("serialiseFailed", "%s: %s", record.context.c_str(), error.c_str());
    if (!mxIsUint8(output) || !isRowVector(output))
        raiseError("serialiseFailed", "%s: %s must return a uint8 row, not a %zux%zu %s",
                   record.context.c_str(), kSerialiseFunction, static_cast<size_t>(mxGetM(output)),
                   static_cast<size_t>(mxGetN(output)), mxGetClassName(output));
    return output;
}

// The bytes of a bytea value; an empty one still points somewhere, as a
// zero-length value is not NULL (see keepEmptyValueNotNull).
PGbytea byteaOf(const ParamRecord& record, const void* data, size_t length) {
    static char none = 0;
    if (length > static_cast<size_t>(INT32_MAX))
        raiseError("tooLong", "%s: %zu bytes; a value holds at most 2 GB", record.context.c_str(),
                   length);
    return PGbytea{static_cast<int>(length),
                   length ? static_cast<char*>(const_cast<void*>(data)) : &none};
}

void putSerialised(PGparam* param, const ParamRecord& record, const std::string& name,
                   const mxArray* value) {
    PGbytea bytes = byteaOf(record, nullptr, 0);
    mxArray* row = nullptr;
    if (value) {
        row = serialise(record, value);
        bytes = byteaOf(record, mxGetData(row), mxGetNumberOfElements(row));
    }
    putChecked(param, record, name, &bytes);
    if (row) mxDestroyArray(row);
}

void putNumericText(PGparam* param, const ParamRecord& record, const std::string& name,
                    const mxArray* element) {
    std::string text;
    if (element) {
        if (!mxIsChar(element))
            raiseError("numericNotText", "%s: numeric elements are decimal texts, not %s",
                       record.context.c_str(), mxGetClassName(element));
        requireRowVector(record, element);
        if (!charArrayBytes(element, text))
            raiseError("textUnreadable", "%s: a text could not be read", record.context.c_str());
    }
    putChecked(param, record, name, text.c_str());
}

void putArrayObject(PGparam* param, const ParamRecord& record, const mxArray* cell,
                    const char* mask) {
    PGparam* scratch = sharedParam();
    if (!scratch)
        raiseError("noConnection", "%s: numeric and serialised arrays need an open connection",
                   record.context.c_str());
    PGarray array{};
    array.param = scratch;
    size_t ndims = mxGetNumberOfDimensions(cell);
    if (ndims > kMaxArrayDims)
        raiseError("tooManyDims", "%s: %zu dimensions; arrays have at most %d",
                   record.context.c_str(), ndims, kMaxArrayDims);
    size_t dims[kMaxArrayDims];
    const mwSize* extents = mxGetDimensions(cell);
    for (size_t d = 0; d < ndims; ++d) {
        if (extents[d] > static_cast<mwSize>(INT32_MAX))
            raiseError("tooLarge", "%s: the array is too large", record.context.c_str());
        dims[d] = extents[d];
    }
    bool flatten = (record.flags & kSpecFlatten) != 0;
    if (!flatten) {
        array.ndims = static_cast<int>(ndims);
        for (size_t d = 0; d < ndims; ++d) {
            array.lbound[d] = 1;
            array.dims[d] = static_cast<int>(dims[d]);
        }
    }

    PQparamReset(scratch);
    std::string elementName = prepared(record), nullName = prepared(record, "*");
    size_t count = mxGetNumberOfElements(cell);
    RowMajorWalk walk(static_cast<int>(ndims), dims);
    for (size_t i = 0; i < count; ++i, walk.next()) {
        size_t pos = flatten ? i : walk.index();
        const mxArray* element = mxGetCell(cell, pos);
        if (mask && mask[pos])
            putChecked(scratch, record, nullName, nullptr);
        else if (record.isSerialised)
            putSerialised(scratch, record, elementName, element);
        else
            putNumericText(scratch, record, elementName, element);
    }
    putChecked(param, record, record.specifier, &array);
    PQparamReset(scratch);  // the elements' copies are not needed any more
}

// --- Scalars ---------------------------------------------------------------

// Element `offset` of the slice form's raw data, or element 0 of the
// direct form's array.
template <typename T>
T scalarAt(const ValueSource& source) {
    T value;
    if (source.offset < 0)
        std::memcpy(&value, mxGetData(source.array), sizeof(T));
    else
        std::memcpy(&value, static_cast<const char*>(source.data) + source.offset * sizeof(T),
                    sizeof(T));
    return value;
}

bool readsDouble(const ValueSource& source) {
    return source.offset < 0 ? source.array && mxIsDouble(source.array) : source.isDouble;
}

// The text of a char scalar: the direct form's row, or the slice form's
// `count` characters at element `offset`.  Where the host's chars are
// bytes a slice is read in place; else the text is copied or converted
// into `owned`.
struct ScalarText {
    const char* data = "";
    size_t size = 0;
    std::string owned;
    std::string copy() const { return std::string(data, size); }
};

void readScalarText(const ParamRecord& record, const ValueSource& source, ScalarText& text) {
    if (source.rowBytes) {
        text.data = source.rowBytes;
        text.size = source.rowLength;
    } else if (source.offset < 0) {
        if (!source.array) return;
        requireRowVector(record, source.array);
        if (!charRowBytes(source.array, text.owned))
            raiseError("textUnreadable", "%s: the text could not be read", record.context.c_str());
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
                           record.context.c_str());
            text.data = text.owned.data();
            text.size = text.owned.size();
        }
    }
    // libpqtypes takes NUL-terminated text: a NUL would cut the value short.
    if (text.size && std::memchr(text.data, '\0', text.size))
        raiseError("textHasNul", "%s: the text holds a NUL character", record.context.c_str());
}

std::string scalarText(const ParamRecord& record, const ValueSource& source) {
    ScalarText text;
    readScalarText(record, source, text);
    return text.copy();
}

PGbytea scalarBytes(const ParamRecord& record, const ValueSource& source) {
    if (source.offset >= 0) {
        const ColumnSlice& slice = *source.slice;
        return byteaOf(record, static_cast<const char*>(slice.data) + source.offset, slice.count);
    }
    if (source.rowBytes) return byteaOf(record, source.rowBytes, source.rowLength);
    if (!source.array) return byteaOf(record, nullptr, 0);
    requireRowVector(record, source.array);
    return byteaOf(record, mxGetData(source.array), mxGetNumberOfElements(source.array));
}

void requirePresent(const ParamRecord& record, const ValueSource& source) {
    if (source.offset < 0 && !source.array)
        raiseError("missingValue", "%s: the value is missing", record.context.c_str());
}

void putScalar(PGparam* param, const ParamRecord& record, const ValueSource& source) {
    std::string name = prepared(record);
    if (record.classId != mxCHAR_CLASS && record.classId != mxUINT8_CLASS)
        requirePresent(record, source);
    bool fromDouble = readsDouble(source);
    switch (record.classId) {
        case mxLOGICAL_CLASS:
            putChecked(param, record, name,
                       fromDouble ? truncateToInt32(scalarAt<double>(source)) & 0xFF
                                  : int{scalarAt<mxLogical>(source)});
            return;
        case mxCHAR_CLASS:
            putChecked(param, record, name, scalarText(record, source).c_str());
            return;
        case mxDOUBLE_CLASS:
            putChecked(param, record, name, scalarAt<double>(source));
            return;
        case mxSINGLE_CLASS:
            putChecked(param, record, name,
                       static_cast<double>(fromDouble ? static_cast<float>(scalarAt<double>(source))
                                                      : scalarAt<float>(source)));
            return;
        case mxUINT8_CLASS:
            if (record.isSerialised) {
                putSerialised(param, record, name, source.array);
            } else {
                PGbytea bytes = scalarBytes(record, source);
                putChecked(param, record, name, &bytes);
            }
            return;
        case mxINT16_CLASS:  // a double keeps the low 16 bits of its int32 truncation
            putChecked(
                param, record, name,
                int{fromDouble ? static_cast<int16_t>(truncateToInt32(scalarAt<double>(source)))
                               : scalarAt<int16_t>(source)});
            return;
        case mxINT32_CLASS:
            putChecked(
                param, record, name,
                fromDouble ? truncateToInt32(scalarAt<double>(source)) : scalarAt<int32_t>(source));
            return;
        case mxINT64_CLASS:
            putChecked(param, record, name,
                       static_cast<PGint8>(fromDouble ? truncateToInt64(scalarAt<double>(source))
                                                      : scalarAt<int64_t>(source)));
            return;
        default:
            raiseError("unsupportedType", "%s: values of class %s are not supported",
                       record.context.c_str(), classIdName(record.classId));
    }
}

}  // namespace

void putValue(PGparam* param, const ParamRecord& record, const ValueSource& source,
              const char* mask, bool isNull) {
    if (isNull) {
        putNull(param, record);
        return;
    }
    checkValue(record, source);
    if (record.isArray && (record.isSerialised || record.handler->typoid == kNumericOid)) {
        putArrayObject(param, record, source.array, mask);
    } else if (record.isArray) {
        std::string name = prepared(record, kArraySuffix);
        const void* value =
            source.offset < 0 ? static_cast<const void*>(source.array) : source.slice;
        putChecked(param, record, name, value, mask, (record.flags & kSpecFlatten) ? 1 : 0,
                   static_cast<long long>(source.offset));
    } else {
        putScalar(param, record, source);
    }
}

namespace {

// --- Values encoded without libpqtypes ---------------------------------------

char* reserve(const ValueRoom& room, size_t size) { return room.reserve(room.context, size); }

void raiseCodecFailure(const ParamRecord& record, const std::string& error) {
    raiseError("putFailed", "%s: %s", record.context.c_str(), error.c_str());
}

size_t encodeBytes(const ValueRoom& room, const ParamRecord& record, const void* bytes,
                   size_t size) {
    if (size > static_cast<size_t>(INT32_MAX))
        raiseError("tooLong", "%s: %zu bytes; a value holds at most 2 GB", record.context.c_str(),
                   size);
    char* out = reserve(room, size);
    if (size) std::memcpy(out, bytes, size);
    return size;
}

size_t encodeFixedWidth(const ValueRoom& room, const ParamRecord& record, const ElementCodec& codec,
                        const ValueSource& source, const PGtypeFormatInfo& format) {
    requirePresent(record, source);
    size_t width = static_cast<size_t>(codec.width);
    char* out = reserve(room, width);
    ElementSource elements{source.data, nullptr, source.isDouble};
    size_t index = static_cast<size_t>(source.offset);
    if (source.offset < 0) {
        elements = {mxGetData(source.array), nullptr, mxIsDouble(source.array)};
        index = 0;
    }
    std::string error;
    if (!codec.write(out, elements, index, format, error)) raiseCodecFailure(record, error);
    return width;
}

// numeric takes decimal text; the server knows infinities from version 14.
size_t encodeNumericText(const ValueRoom& room, const ParamRecord& record,
                         const ValueSource& source, const PGtypeFormatInfo& format) {
    std::string text = scalarText(record, source), wire, error;
    if (!encodeNumeric(text.data(), text.size(), format.sversion >= 140000, wire, error))
        raiseCodecFailure(record, error);
    return encodeBytes(room, record, wire.data(), wire.size());
}

size_t encodeArray(const ValueRoom& room, const ParamRecord& record, const ElementCodec& codec,
                   const ValueSource& source, const char* mask, const PGtypeFormatInfo& format) {
    bool flatten = (record.flags & kSpecFlatten) != 0;
    ArrayValue value;
    std::string error;
    size_t total;
    bool described = source.offset < 0
                         ? checkDirectSource(source.array, codec, error) &&
                               describeArray(source.array, mask, flatten, value, error)
                         : describeSlice(*source.slice, mask, flatten,
                                         static_cast<size_t>(source.offset), value, error);
    if (!described || !arrayEncodedSize(value, codec, total, error))
        raiseCodecFailure(record, error);
    char* out = reserve(room, total);
    if (!writeArrayFrame(out, value, codec, codec.baseOid, format, error))
        raiseCodecFailure(record, error);
    return total;
}

}  // namespace

bool encodesDirectly(const ParamRecord& record) {
    return record.codec && !record.isSerialised &&
           !(record.isArray && record.handler->typoid == kNumericOid);
}

size_t encodeValue(const ValueRoom& room, const ParamRecord& record, const ValueSource& source,
                   const char* mask, const PGtypeFormatInfo& format) {
    checkValue(record, source);
    if (record.isArray) return encodeArray(room, record, *record.codec, source, mask, format);
    if (record.handler->typoid == kNumericOid)
        return encodeNumericText(room, record, source, format);
    if (record.classId == mxCHAR_CLASS) {
        ScalarText text;
        readScalarText(record, source, text);
        return encodeBytes(room, record, text.data, text.size);
    }
    if (record.classId == mxUINT8_CLASS) {
        PGbytea bytes = scalarBytes(record, source);
        return encodeBytes(room, record, bytes.data, static_cast<size_t>(bytes.len));
    }
    return encodeFixedWidth(room, record, *record.codec, source, format);
}

namespace {

// Room for `size` bytes in a slot's own buffer, which libpqtypes allocated
// with malloc and releases with free; the slot's value points at it.  A
// zero-length value still points somewhere (see keepEmptyValueNotNull).
char* slotRoom(void* context, size_t size) {
    auto& slot = *static_cast<PqtParamValue*>(context);
    static char empty[1] = "";
    slot.data = empty;
    if (size == 0) return empty;
    if (size > static_cast<size_t>(INT32_MAX)) throw std::bad_alloc();
    if (static_cast<size_t>(slot.ptrl) < size) {
        void* grown = std::realloc(slot.ptr, size);
        if (!grown) throw std::bad_alloc();
        slot.ptr = grown;
        slot.ptrl = static_cast<int>(size);
    }
    slot.data = static_cast<char*>(slot.ptr);
    return slot.data;
}

// Puts through libpqtypes into one slot: the set's count is moved back to
// the slot for the put, which reuses the slot's buffer, and then restored.
class SlotPut {
  public:
    SlotPut(PGparam* param, int slot) : param_(param), count_(param->vcnt) { param->vcnt = slot; }
    ~SlotPut() { param_->vcnt = count_; }
    SlotPut(const SlotPut&) = delete;
    SlotPut& operator=(const SlotPut&) = delete;

  private:
    PGparam* param_;
    int count_;
};

}  // namespace

void replaceValue(PGparam* param, int slot, const ParamRecord& record, const ValueSource& source,
                  const char* mask, bool isNull) {
    PqtParamValue& value = param->vals[slot];
    if (isNull) {
        value.datal = -1;
        value.data = nullptr;
        return;
    }
    if (encodesDirectly(record)) {
        size_t size =
            encodeValue(ValueRoom{slotRoom, &value}, record, source, mask, param->fmtinfo);
        // Every value the gateway puts travels in binary.
        value.datal = static_cast<int>(size);
        value.format = 1;
        return;
    }
    SlotPut put(param, slot);
    putValue(param, record, source, mask, false);
}

}  // namespace vorlex
