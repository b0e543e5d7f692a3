// SPDX-License-Identifier: BSD-3-Clause
// insert_values.cpp - insert's values checked against their columns
// before anything is sent: class and shape, every number against the type,
// the rows of cell columns, NaN as NULL; and the texts the server converts,
// converted.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "backend/host_classes.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "insert/insert_load.hpp"
#include "insert/insert_numbers.hpp"
#include "types/text_values.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

bool isVector(const mxArray* array) {
    return mxGetNumberOfDimensions(array) == 2 && (mxGetM(array) == 1 || mxGetN(array) == 1);
}

[[noreturn]] void raiseMisfit(const InsertColumn& bound, size_t row, long double value,
                              const char* reason) {
    raiseError("badValue", "%s, row %zu: %.17g %s", bound.label.c_str(), row + 1,
               static_cast<double>(value), reason);
}

// Every number of `array` must be a value of the column's type.  The rows
// of a column are its first dimension, NULL rows left out (and NaN, which
// is NULL unless 'nan', 'value'); a cell's value belongs to row `cellRow`.
void requireFit(const InsertColumn& bound, const mxArray* array, size_t rows,
                long long cellRow = -1) {
    const void* data = mxGetData(array);
    mxClassID classId = classOf(array);
    size_t count = mxGetNumberOfElements(array);
    for (size_t i = 0; i < count; ++i) {
        size_t row = cellRow >= 0 ? static_cast<size_t>(cellRow) : i % rows;
        if (cellRow < 0 && bound.nullRows && bound.nullRows[row]) continue;
        long double value = numberAt(data, classId, i);
        if (bound.nanIsNull && std::isnan(value)) continue;
        if (const char* reason = misfitReason(value, *bound.type))
            raiseMisfit(bound, row, value, reason);
    }
}

// Whether numbers of `classId` need checking against the column's type:
// every date number, and numbers of another class than the type's.
bool needsFit(const InsertColumn& bound, mxClassID classId) {
    return bound.type->kind == TypeKind::dateTime || classId != bound.type->classId;
}

void requireNumberColumn(const InsertColumn& bound, const mxArray* field, size_t rows) {
    if (!isNumberClass(classOf(field)) || mxIsSparse(field))
        raiseError("columnClass",
                   "%s: values of this type are given as a full numeric or logical column, "
                   "not %s (NULLs: the '%s' option)",
                   bound.label.c_str(), shapeText(field).c_str(), kNullsOption);
    if (mxIsComplex(field))
        raiseError("complexColumn", "%s: complex values cannot be sent", bound.label.c_str());
    if (!isColumnOf(field, rows))
        raiseError("columnShape", "%s: a %zu-by-1 column is needed, not %s", bound.label.c_str(),
                   rows, shapeText(field).c_str());
}

// Numbers of another class become the class the type's codec reads.
HostArrayOwner convertNumbers(const InsertColumn& bound, const mxArray* field, size_t rows) {
    mxClassID target = bound.type->classId;
    HostArrayOwner converted(target == mxLOGICAL_CLASS
                                 ? mxCreateLogicalMatrix(rows, 1)
                                 : mxCreateNumericMatrix(rows, 1, target, mxREAL));
    const void* data = mxGetData(field);
    mxClassID source = classOf(field);
    void* out = mxGetData(converted.get());
    for (size_t row = 0; row < rows; ++row) {
        if (bound.nullRows && bound.nullRows[row]) continue;
        long double value = numberAt(data, source, row);
        if (bound.nanIsNull && std::isnan(value)) continue;
        if (const char* reason = misfitReason(value, *bound.type))
            raiseMisfit(bound, row, value, reason);
        switch (target) {
            case mxLOGICAL_CLASS:
                static_cast<mxLogical*>(out)[row] = value != 0;
                break;
            case mxINT16_CLASS:
                static_cast<int16_t*>(out)[row] = static_cast<int16_t>(value);
                break;
            case mxINT32_CLASS:
                static_cast<int32_t*>(out)[row] = static_cast<int32_t>(value);
                break;
            case mxINT64_CLASS:
                static_cast<int64_t*>(out)[row] = static_cast<int64_t>(value);
                break;
            case mxSINGLE_CLASS:
                static_cast<float*>(out)[row] = static_cast<float>(value);
                break;
            default:
                static_cast<double*>(out)[row] = static_cast<double>(value);
                break;
        }
    }
    return converted;
}

// With 'nan', 'null', the rows of a double or single field that are NaN
// are NULL: found as the rows are sent, in the field's own numbers.
void findNanRows(InsertColumn& bound, const void* numbers, mxClassID classId) {
    if (!bound.nanIsNull || (classId != mxDOUBLE_CLASS && classId != mxSINGLE_CLASS)) return;
    bound.nanRows = numbers;
    bound.nanRowsSingle = classId == mxSINGLE_CLASS;
}

// Numbers into a fixed-width or date/time column.
void prepareNumbers(InsertColumn& bound, const mxArray* field, size_t rows) {
    requireNumberColumn(bound, field, rows);
    mxClassID classId = classOf(field);
    findNanRows(bound, mxGetData(field), classId);
    if (bound.type->kind == TypeKind::dateTime && classId != mxDOUBLE_CLASS)
        raiseError("columnClass", "%s: date and time values are date numbers (double), not %s",
                   bound.label.c_str(), shapeText(field).c_str());
    bound.values = field;
    if (classId != mxDOUBLE_CLASS && classId != bound.type->classId) {
        bound.converted = convertNumbers(bound, field, rows);
        bound.values = bound.converted.get();
    } else if (needsFit(bound, classId)) {
        requireFit(bound, field, rows);
    }
}

// Numbers into a numeric column, written as their shortest decimal text.
void prepareNumericNumbers(InsertColumn& bound, const mxArray* field, size_t rows,
                           const PGtypeFormatInfo& server) {
    requireNumberColumn(bound, field, rows);
    bound.sending = Sending::numericNumbers;
    bound.values = field;
    // Read once: Octave names an array's class to find its number, and
    // records every element pointer the call takes.
    bound.numbers = mxGetData(field);
    bound.numberClass = classOf(field);
    findNanRows(bound, bound.numbers, bound.numberClass);
    if (server.sversion >= 140000) return;
    for (size_t row = 0; row < rows; ++row) {
        long double value = numberAt(bound.numbers, bound.numberClass, row);
        if (std::isinf(value) && !(bound.nullRows && bound.nullRows[row]))
            raiseMisfit(bound, row, value, "has no numeric form before PostgreSQL 14");
    }
}

[[noreturn]] void raiseCellClass(const InsertColumn& bound, size_t row, const mxArray* value,
                                 const char* wanted) {
    raiseError("cellClass", "%s, row %zu: the cell holds a %s; this column takes %s ([] for NULL)",
               bound.label.c_str(), row + 1, shapeText(value).c_str(), wanted);
}

// A cell of a scalar column: a char row (text-like and numeric text) or a
// uint8 row (bytea).
void checkScalarCell(const InsertColumn& bound, size_t row, const mxArray* value) {
    bool isText = bound.record.classId == mxCHAR_CLASS;
    if (isText ? !mxIsChar(value) : !mxIsUint8(value))
        raiseCellClass(bound, row, value, isText ? "texts (char rows)" : "uint8 rows");
    if (!mxIsEmpty(value) && !(mxGetNumberOfDimensions(value) == 2 && mxGetM(value) == 1))
        raiseCellClass(bound, row, value, isText ? "texts (char rows)" : "uint8 rows");
}

// A cell of an array column: an array of the element type's class (or
// doubles for numbers, checked), or a cell for elements with a length of
// their own.
void checkArrayCell(const InsertColumn& bound, size_t row, const mxArray* value) {
    if (bound.record.isVariableLength) {
        if (!mxIsCell(value)) raiseCellClass(bound, row, value, "cell arrays of its elements");
        return;
    }
    mxClassID classId = classOf(value);
    bool accepted =
        classId == bound.type->classId || (classId == mxDOUBLE_CLASS && bound.record.isNumericLike);
    if (!accepted || mxIsSparse(value) || mxIsComplex(value)) {
        std::string wanted =
            std::string(classIdName(bound.type->classId)) + " arrays" +
            (bound.record.isNumericLike && classId != mxDOUBLE_CLASS ? " or double arrays" : "");
        raiseCellClass(bound, row, value, wanted.c_str());
    }
    if (needsFit(bound, classId)) requireFit(bound, value, 1, static_cast<long long>(row));
}

// Every row of a cell column, before anything is sent: its NULLs ([] or
// an unset cell, and the 'nulls' option's), the class and shape of its
// values, and which array values are vectors.
void readCellForms(InsertColumn& bound, const mxArray* cells, size_t rows) {
    bound.cellForms.assign(rows, kCellValue);
    const std::vector<const char*>& readRows = bound.prepared.cellRows.bytes;
    for (size_t row = 0; row < rows; ++row) {
        uint8_t& form = bound.cellForms[row];
        if (bound.nullRows && bound.nullRows[row]) {
            form = kCellNull;
            continue;
        }
        // A row read with the column is a row of its class: nothing is left
        // to check, and asking the cell for it would make its host array.
        if (!readRows.empty() && readRows[row]) continue;
        const mxArray* value = mxGetCell(cells, row);
        if (isNullCellValue(value)) {
            form = kCellNull;
        } else if (bound.castsArray && mxIsCell(value)) {
            if (!isVector(value) && !mxIsEmpty(value))
                raiseCellClass(bound, row, value, "texts, or vector cells of element texts");
            form = kCellVector;
        } else if (bound.isArray) {
            checkArrayCell(bound, row, value);
            if (isVector(value)) form = kCellVector;
        } else {
            checkScalarCell(bound, row, value);
        }
    }
}

// A cell of element texts ([] for NULL) in the array's text form, every
// element quoted: {"a","b\"c",NULL}.
std::string arrayText(const InsertColumn& bound, size_t row, const mxArray* cell) {
    std::string text = "{";
    for (size_t k = 0; k < mxGetNumberOfElements(cell); ++k) {
        if (k) text += ',';
        const mxArray* element = mxGetCell(cell, k);
        if (isNullCellValue(element)) {
            text += "NULL";
            continue;
        }
        std::string bytes;
        bool isRow =
            mxIsEmpty(element) || (mxGetNumberOfDimensions(element) == 2 && mxGetM(element) == 1);
        if (!mxIsChar(element) || !isRow || !charRowBytes(element, bytes))
            raiseError("cellClass",
                       "%s, row %zu: element %zu holds a %s; the elements are texts (char rows), "
                       "[] for NULL",
                       bound.label.c_str(), row + 1, k + 1, shapeText(element).c_str());
        if (bytes.find('\0') != std::string::npos)
            raiseError("textHasNul", "%s, row %zu: element %zu holds a NUL character",
                       bound.label.c_str(), row + 1, k + 1);
        appendQuotedElement(text, bytes);
    }
    return text + "}";
}

}  // namespace

void prepareValues(InsertColumn& bound, const mxArray* field, size_t rows,
                   const PGtypeFormatInfo& server) {
    bool isCell = mxIsCell(field);
    if (bound.sending == Sending::serverCast && !isCell && !mxIsChar(field))
        raiseError("columnClass",
                   "%s: values of this type are given as texts, a cell column of char rows "
                   "([] for NULL) or an M-by-K char matrix, not %s",
                   bound.label.c_str(), shapeText(field).c_str());
    TypeKind kind = bound.type->kind;
    if (!bound.isArray && !isCell && isNumberClass(classOf(field)) && kind == TypeKind::numeric) {
        prepareNumericNumbers(bound, field, rows, server);
        return;
    }
    bound.values = field;
    if (!bound.isArray && !isVariableLength(kind)) {
        prepareNumbers(bound, field, rows);
    } else if (bound.isArray && !isCell) {
        // Row r of an M-by-k matrix is a vector, sent as one dimension;
        // rows of more dimensions keep their shape.
        if (mxGetNumberOfDimensions(field) == 2) bound.record = bound.vectorRecord;
        if (mxIsDouble(field) && !mxIsSparse(field) && bound.record.isNumericLike &&
            needsFit(bound, mxDOUBLE_CLASS))
            requireFit(bound, field, rows);
    }
    prepareColumn(bound.prepared, bound.record, bound.values, nullptr, nullptr, rows, bound.label);
    if (isCell) readCellForms(bound, field, rows);
}

// A date/time field read exactly: its NULLs are the rows' forms.
void prepareExactDates(InsertColumn& bound, const mxArray* field, size_t rows,
                       const InsertOptions& options) {
    bound.sending = Sending::exactDates;
    std::vector<uint8_t> isNull;
    readExactDates(field, rows, bound.type->oid, options.dates, options.nanIsNull, bound.nullRows,
                   bound.label, bound.exactDates, isNull);
    bound.cellForms.assign(rows, kCellValue);
    for (size_t row = 0; row < rows; ++row)
        if (isNull[row]) bound.cellForms[row] = kCellNull;
}

// The server converts the texts of each serverCast column, after every
// other check and before the COPY.
void castColumns(PGconn* conn, InsertLoad& load, size_t rows) {
    for (InsertColumn& bound : load.columns) {
        if (bound.sending != Sending::serverCast) continue;
        CopyBuffer elements;
        std::vector<size_t> starts;
        starts.reserve(rows + 1);
        for (size_t row = 0; row < rows; ++row) {
            starts.push_back(elements.size());
            uint8_t form = formOf(bound, row);
            if (form == kCellNull) {
                appendInt32(elements, -1);
                continue;
            }
            if (form == kCellVector) {
                std::string text = arrayText(bound, row, mxGetCell(bound.values, row));
                if (text.size() > static_cast<size_t>(INT32_MAX))
                    raiseError("tooLong", "%s, row %zu: the array's text passes 2 GB",
                               bound.label.c_str(), row + 1);
                appendInt32(elements, static_cast<int32_t>(text.size()));
                std::memcpy(elements.append(text.size()), text.data(), text.size());
                continue;
            }
            try {
                appendField(elements, bound.record, columnValue(bound.record, bound.prepared, row),
                            *load.server);
            } catch (GatewayError& error) {
                prefixRowNumber(error, row);
                throw;
            }
        }
        starts.push_back(elements.size());
        bound.cast = castTexts(conn, bound.castType, CastTexts{elements, starts}, bound.label);
    }
}

}  // namespace vorlex
