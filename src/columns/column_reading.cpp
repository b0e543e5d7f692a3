// SPDX-License-Identifier: BSD-3-Clause
// column_reading.cpp - result columns into Octave arrays.
#include "columns/column_reading.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "backend/host_classes.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "params/param_building.hpp"
#include "types/array_codec.hpp"
#include "types/codec_numeric.hpp"
#include "types/element_access.hpp"
#include "types/pqtypes_private.hpp"
#include "types/text_values.hpp"
#include "types/type_tables.hpp"

namespace vorlex {

namespace {

// Texts and bytes: each value (or element) is a row of its cell.
bool isRowValued(const ResultColumn& column) {
    return column.classId == mxCHAR_CLASS || column.classId == mxUINT8_CLASS;
}

bool numericText(const char* bytes, size_t length, std::string& text, std::string& error) {
    return decodeNumeric(reinterpret_cast<const unsigned char*>(bytes), length, text, error);
}

mxArray* createEmpty(mxClassID classId) {
    mwSize dims[2] = {0, 0};
    if (classId == mxCHAR_CLASS) return mxCreateCharArray(2, dims);
    if (classId == mxLOGICAL_CLASS) return mxCreateLogicalArray(2, dims);
    return mxCreateNumericArray(2, dims, classId, mxREAL);
}

}  // namespace

ResultColumn describeSpecifier(const PGtypeHandler* handler, int flags, int position,
                               bool columnVectors) {
    ResultColumn column{};
    column.handler = handler;
    column.isArray = (flags & kSpecArray) != 0;
    column.position = position;
    column.flags = flags;
    if (isDateTimeOid(handler->typoid) && !isGatewayHandler(handler))
        raiseError("dateTimeSchema",
                   "%s: date and time columns are read as date numbers through the %s types; "
                   "name the type without a schema",
                   describe(column).c_str(), kTypeSchema);
    const PgType* type = typeOfHandler(handler);
    if (!type)
        raiseError("unsupportedType", "%s: the type %s.%s (OID %u) is not supported",
                   describe(column).c_str(), handler->typschema, handler->typname, handler->typoid);
    column.classId = type->classId;
    column.elementSize = classElementSize(column.classId);
    column.codec = &type->codec;
    column.cellValue = column.isArray || !columnVectors || isVariableLength(type->kind);
    column.cellMask = column.isArray || !columnVectors;
    if (type->kind == TypeKind::numeric) column.toText = numericText;
    return column;
}

std::string describe(const ResultColumn& column) {
    if (!column.description.empty()) return column.description;
    return "specifier " + std::to_string(column.position) + " (" +
           specifierText(column.handler, column.flags) + ")";
}

void requireColumnType(const ResultColumn& column, Oid actual) {
    Oid wanted = column.isArray ? column.handler->typoid_array : column.handler->typoid;
    if (actual != wanted)
        raiseError("typeMismatch", "%s: column %d has type OID %u, the specifier reads OID %u",
                   describe(column).c_str(), column.number, actual, wanted);
}

namespace {

const char* const kColumnFields[] = {"value", "valueIsNull", "rowIsNull"};

}  // namespace

mxArray* columnStruct(mxArray* value, mxArray* valueIsNull, mxArray* rowIsNull) {
    mxArray* fields[] = {value, valueIsNull ? valueIsNull : rowIsNull, rowIsNull};
    return createFieldStruct(3, kColumnFields, fields);
}

namespace {

bool isSerialised(const ResultColumn& column) { return column.codec->read == readSerialised; }

}  // namespace

std::optional<CellColumn> valueCellsOf(const ResultColumn& column) {
    if (!column.cellValue) return std::nullopt;
    // Restored one by one by an Octave function, as host arrays.
    if (isSerialised(column)) return CellColumn::ofHostArrays();
    // Arrays of texts or bytes: cells of rows.
    mxClassID missingClass = column.emptyAtNull ? mxUNKNOWN_CLASS : column.classId;
    if (column.isArray && isRowValued(column))
        return CellColumn(mxCELL_CLASS, missingClass, column.classId);
    return CellColumn(column.classId, missingClass);
}

std::optional<CellColumn> maskCellsOf(const ResultColumn& column) {
    if (!column.cellMask) return std::nullopt;
    if (column.isArray && isSerialised(column)) return CellColumn::ofHostArrays();
    return CellColumn(mxLOGICAL_CLASS, mxLOGICAL_CLASS);
}

ColumnParts::ColumnParts(const ResultColumn& column, size_t rows, ColumnForm form)
    : valueCells_(valueCellsOf(column)), maskCells_(maskCellsOf(column)) {
    if (form == ColumnForm::outputStruct && !valueCells_ && !maskCells_) {
        whole_.reset(createVectorColumnStruct(kColumnFields, column.classId, rows, valueData_,
                                              maskData_, rowIsNullData_));
        return;
    }
    if (valueCells_) valueCells_->reserve(rows);
    if (maskCells_) maskCells_->reserve(rows);
    void* data;
    if (!valueCells_) {
        value_.reset(createColumnArray(column.classId, rows, data));
        valueData_ = data;
    }
    rowIsNull_.reset(createColumnArray(mxLOGICAL_CLASS, rows, data));
    rowIsNullData_ = static_cast<mxLogical*>(data);
    // A scalar's flag is its row's: valueIsNull is rowIsNull.
    if (!maskCells_) maskData_ = rowIsNullData_;
}

ColumnOutput ColumnParts::output() {
    return {valueCells_ ? &*valueCells_ : nullptr, valueData_, maskCells_ ? &*maskCells_ : nullptr,
            maskData_, rowIsNullData_};
}

ColumnArrays ColumnParts::finish() {
    if (valueCells_) value_.reset(valueCells_->make());
    if (maskCells_) valueIsNull_.reset(maskCells_->make());
    return {std::move(value_), std::move(valueIsNull_), std::move(rowIsNull_), std::move(whole_)};
}

mxArray* columnStruct(ColumnArrays arrays) {
    if (arrays.whole) return arrays.whole.release();
    return columnStruct(arrays.value.release(), arrays.valueIsNull.release(),
                        arrays.rowIsNull.release());
}

void raiseReadFailure(const ResultColumn& column, size_t row, const std::string& error) {
    const char* check = isSerialised(column)          ? "deserialiseFailed"
                        : isInt8PrecisionError(error) ? "int8Precision"
                                                      : "readFailed";
    raiseError(check, "%s, row %zu: %s", describe(column).c_str(), row + column.firstRow,
               error.c_str());
}

namespace {

constexpr mwSize kScalarDims[2] = {1, 1};
constexpr mwSize kEmptyDims[2] = {0, 0};

// A logical 1-by-1 row of a mask cell.
void addFlag(CellColumn& cells, bool flag) {
    *static_cast<mxLogical*>(cells.addShaped(2, kScalarDims, 1)) = flag;
}

void markPresent(const ResultColumn& column, const ColumnOutput& out, size_t row) {
    out.rowIsNull[row] = false;
    if (column.cellMask)
        addFlag(*out.maskCells, false);
    else
        out.maskData[row] = false;
}

// Sets the elements of `values` that `nulls` flags to NaN, for a double or
// single column that reads NULL as NaN.
void fillNaN(const ResultColumn& column, void* values, const mxLogical* nulls, size_t count) {
    if (!column.nanAtNull) return;
    for (size_t k = 0; k < count; ++k) {
        if (!nulls[k]) continue;
        if (column.classId == mxDOUBLE_CLASS)
            storeAt(ElementTarget{nullptr, values}, k, std::numeric_limits<double>::quiet_NaN());
        else if (column.classId == mxSINGLE_CLASS)
            storeAt(ElementTarget{nullptr, values}, k, std::numeric_limits<float>::quiet_NaN());
    }
}

}  // namespace

void fillNullRow(const ResultColumn& column, const ColumnOutput& out, size_t row) {
    out.rowIsNull[row] = true;
    if (!column.cellValue) {
        char* value = static_cast<char*>(out.valueData) + row * column.elementSize;
        std::memset(value, 0, column.elementSize);
        const mxLogical isNull = true;
        fillNaN(column, value, &isNull, 1);
    } else if (isSerialised(column)) {
        out.valueCells->addHostArray(createEmpty(column.classId));
    } else {
        out.valueCells->addMissing();
    }
    if (!column.cellMask)
        out.maskData[row] = true;
    else if (!column.isArray)
        addFlag(*out.maskCells, true);
    else if (isSerialised(column))
        out.maskCells->addHostArray(createEmpty(mxLOGICAL_CLASS));
    else
        out.maskCells->addShaped(2, kEmptyDims, 0);
}

void fillScalarRow(const ResultColumn& column, const ColumnOutput& out, size_t row,
                   ElementRead read, const void* context) {
    std::string error;
    bool ok = column.cellValue
                  ? read(context, {nullptr, out.valueCells->addShaped(2, kScalarDims, 1)}, 0, error)
                  : read(context, {nullptr, out.valueData}, row, error);
    if (!ok) raiseReadFailure(column, row, error);
    markPresent(column, out, row);
}

void fillVariableRow(const ResultColumn& column, const ColumnOutput& out, size_t row,
                     const char* bytes, size_t length) {
    if (isSerialised(column)) {
        mxArray* input = createByteRow(bytes, length);
        mxArray* restored;
        std::string error;
        bool ok = callHostFunction(kDeserialiseFunction, input, restored, error);
        mxDestroyArray(input);
        if (!ok) raiseReadFailure(column, row, error);
        out.valueCells->addHostArray(restored);
    } else {
        out.valueCells->addRow(bytes, length);
    }
    markPresent(column, out, row);
}

namespace {

struct BinaryField {
    const ResultColumn* column;
    const char* bytes;
    size_t length;
    const PGtypeFormatInfo* server;
};

bool readBinary(const void* context, const ElementTarget& target, size_t index,
                std::string& error) {
    const auto& field = *static_cast<const BinaryField*>(context);
    return field.column->codec->read(field.bytes, field.length, target, index, *field.server,
                                     error);
}

// The shape of an array value, as decodeArrayFrame gives it.
struct ArrayShape {
    mwSize ndims;
    mwSize dims[kMaxArrayDims];
    size_t count;
};

ArrayShape arrayShape(const ResultColumn& column, size_t row, const char* bytes, size_t length) {
    ArrayShape shape;
    std::string error;
    if (!arrayFrameShape(bytes, length, column.handler->typoid, column.flatten, shape.ndims,
                         shape.dims, error))
        raiseReadFailure(column, row, error);
    shape.count = 1;
    for (mwSize d = 0; d < shape.ndims; ++d) shape.count *= shape.dims[d];
    return shape;
}

// Serialised arrays: every element restored by the Octave function.
void fillSerialisedArrayRow(const ResultColumn& column, const char* bytes, size_t length,
                            const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    mxArray *value, *mask;
    std::string error;
    if (!decodeArrayFrame(bytes, length, *column.codec, column.handler->typoid, column.flatten,
                          server, value, mask, error))
        raiseReadFailure(column, row, error);
    out.valueCells->addHostArray(value);
    out.maskCells->addHostArray(mask);
}

// Arrays of a fixed-width type: elements and mask decoded into their rows.
void fillFixedArrayRow(const ResultColumn& column, const char* bytes, size_t length,
                       const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    ArrayShape shape = arrayShape(column, row, bytes, length);
    void* values =
        out.valueCells->addShaped(static_cast<int>(shape.ndims), shape.dims, shape.count);
    void* mask = out.maskCells->addShaped(static_cast<int>(shape.ndims), shape.dims, shape.count);
    std::string error;
    if (!decodeArrayFrameInto(bytes, length, *column.codec, column.handler->typoid, server, values,
                              column.elementSize, static_cast<mxLogical*>(mask), error))
        raiseReadFailure(column, row, error);
    fillNaN(column, values, static_cast<mxLogical*>(mask), shape.count);
}

// Where an element of a text or byte array lies in the frame.
struct ElementSpan {
    const char* bytes;
    size_t length;
};

bool keepSpan(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string&) {
    static_cast<ElementSpan*>(target.data)[index] = {bytes, length};
    return true;
}

// An element of a row-valued array, as its cell holds it: its bytes, or
// toText's text of them.
void addElementRow(const ResultColumn& column, CellColumn& elements, const char* bytes,
                   size_t length, size_t row, size_t element) {
    if (!column.toText) {
        elements.addRow(bytes, length);
        return;
    }
    std::string text, error;
    if (!column.toText(bytes, length, text, error))
        raiseReadFailure(column, row, "element " + std::to_string(element + 1) + ": " + error);
    elements.addRow(text.data(), text.size());
}

// Arrays of texts, bytes or numerics: cells of rows, NULL elements unset.
void fillRowsArrayRow(const ResultColumn& column, const char* bytes, size_t length,
                      const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    ArrayShape shape = arrayShape(column, row, bytes, length);
    std::vector<ElementSpan> spans(shape.count);
    auto* mask = static_cast<mxLogical*>(
        out.maskCells->addShaped(static_cast<int>(shape.ndims), shape.dims, shape.count));
    ElementCodec spanning = *column.codec;
    spanning.read = keepSpan;
    std::string error;
    if (!decodeArrayFrameInto(bytes, length, spanning, column.handler->typoid, server, spans.data(),
                              sizeof(ElementSpan), mask, error))
        raiseReadFailure(column, row, error);
    out.valueCells->addShaped(static_cast<int>(shape.ndims), shape.dims, shape.count);
    CellColumn& elements = out.valueCells->elements();
    for (size_t k = 0; k < shape.count; ++k) {
        if (mask[k])
            elements.addMissing();
        else
            addElementRow(column, elements, spans[k].bytes, spans[k].length, row, k);
    }
}

// Arrays as the server's text: the literal parsed, then laid out as the
// binary frame's elements are (column-major, one dimension as a column).
void fillTextArrayRow(const ResultColumn& column, const char* text, size_t length,
                      const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    ArrayLiteral literal;
    std::string error;
    if (!parseArrayLiteral(text, length, literal, error)) raiseReadFailure(column, row, error);
    size_t count = literal.elements.size();
    auto rows = static_cast<mwSize>(count);
    ArrayShape shape{2, {rows, rows ? mwSize{1} : 0}, count};
    if (literal.ndims > 1 && !column.flatten) {
        shape.ndims = static_cast<mwSize>(literal.ndims);
        std::copy(literal.dims, literal.dims + literal.ndims, shape.dims);
    }
    // Where each written element goes.
    std::vector<size_t> at(count);
    RowMajorWalk walk(literal.ndims, literal.dims);
    for (size_t k = 0; k < count; ++k, walk.next()) at[k] = walk.index();
    int ndims = static_cast<int>(shape.ndims);
    auto* mask = static_cast<mxLogical*>(out.maskCells->addShaped(ndims, shape.dims, count));
    for (size_t k = 0; k < count; ++k) mask[at[k]] = literal.isNull[k];
    if (isRowValued(column)) {
        out.valueCells->addShaped(ndims, shape.dims, count);
        std::vector<size_t> written(count);  // the written element at each place
        for (size_t k = 0; k < count; ++k) written[at[k]] = k;
        for (size_t j = 0; j < count; ++j) {
            const std::string& element = literal.elements[written[j]];
            if (mask[j])
                out.valueCells->elements().addMissing();
            else
                addElementRow(column, out.valueCells->elements(), element.data(), element.size(),
                              row, j);
        }
        return;
    }
    void* values = out.valueCells->addShaped(ndims, shape.dims, count);
    for (size_t k = 0; k < count; ++k) {
        const std::string& element = literal.elements[k];
        if (!literal.isNull[k] &&
            !column.codec->read(element.data(), element.size(), ElementTarget{nullptr, values},
                                at[k], server, error))
            raiseReadFailure(column, row, "element " + std::to_string(at[k] + 1) + ": " + error);
    }
    fillNaN(column, values, mask, count);
}

}  // namespace

void fillBinaryRow(const ResultColumn& column, const char* bytes, size_t length,
                   const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    if (!column.isArray) {
        if (!isRowValued(column)) {
            BinaryField field{&column, bytes, length, &server};
            fillScalarRow(column, out, row, readBinary, &field);
        } else if (column.toText) {
            std::string text, error;
            if (!column.toText(bytes, length, text, error)) raiseReadFailure(column, row, error);
            fillVariableRow(column, out, row, text.data(), text.size());
        } else {
            fillVariableRow(column, out, row, bytes, length);
        }
        return;
    }
    if (column.arrayText)
        fillTextArrayRow(column, bytes, length, server, out, row);
    else if (isSerialised(column))
        fillSerialisedArrayRow(column, bytes, length, server, out, row);
    else if (!isRowValued(column))
        fillFixedArrayRow(column, bytes, length, server, out, row);
    else
        fillRowsArrayRow(column, bytes, length, server, out, row);
    out.rowIsNull[row] = false;
}

bool readsScalarsIntoVectors(const ResultColumn& column) {
    return !column.isArray && !column.cellValue && !column.cellMask && !isRowValued(column) &&
           !column.textFormat;
}

void fillScalarField(const ResultColumn& column, const char* bytes, size_t length,
                     const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    if (!bytes) {
        fillNullRow(column, out, row);
        return;
    }
    std::string error;
    if (!column.codec->read(bytes, length, {nullptr, out.valueData}, row, server, error))
        raiseReadFailure(column, row, error);
    out.rowIsNull[row] = false;
    out.maskData[row] = false;
}

void fillField(const ResultColumn& column, const char* bytes, size_t length,
               const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    if (!bytes)
        fillNullRow(column, out, row);
    else
        fillBinaryRow(column, bytes, length, server, out, row);
}

}  // namespace vorlex
