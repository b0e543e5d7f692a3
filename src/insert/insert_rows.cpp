// SPDX-License-Identifier: BSD-3-Clause
// insert_rows.cpp - one row of insert's COPY stream: each column's value
// as the column sends it, or -1 for NULL.
#include <cstring>
#include <string>

#include "host/errors.hpp"
#include "insert/insert_load.hpp"
#include "insert/insert_numbers.hpp"
#include "types/codec_numeric.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

void appendJsonb(CopyBuffer& buffer, const InsertColumn& bound, const ColumnValue& value,
                 const PGtypeFormatInfo& server) {
    constexpr char kJsonbVersion = 1;
    size_t lengthAt = buffer.size();
    buffer.append(4);
    *buffer.append(1) = kJsonbVersion;
    size_t length =
        encodeValue(ValueRoom{bufferRoom, &buffer}, bound.record, value.source, value.mask, server);
    storeBig32(buffer.at(lengthAt), static_cast<uint32_t>(length + 1));
}

void appendNumericNumber(CopyBuffer& buffer, const InsertColumn& bound, size_t row,
                         const PGtypeFormatInfo& server) {
    char text[kNumberTextRoom];
    size_t length = numberText(bound.numbers, bound.numberClass, row, text);
    std::string wire, error;
    if (!encodeNumeric(text, length, server.sversion >= 140000, wire, error))
        raiseError("badValue", "%s: %s", bound.label.c_str(), error.c_str());
    appendInt32(buffer, static_cast<int32_t>(wire.size()));
    std::memcpy(buffer.append(wire.size()), wire.data(), wire.size());
}

void appendCastValue(CopyBuffer& buffer, const InsertColumn& bound, size_t row) {
    int length = 0;
    const char* value = castValue(bound.cast, row, length);
    if (!value) {
        appendInt32(buffer, -1);
        return;
    }
    appendInt32(buffer, length);
    std::memcpy(buffer.append(static_cast<size_t>(length)), value, static_cast<size_t>(length));
}

}  // namespace

void appendInsertRow(void* context, CopyBuffer& buffer, size_t row) {
    InsertLoad& load = *static_cast<InsertLoad*>(context);
    const PGtypeFormatInfo& server = *load.server;
    for (InsertColumn& bound : load.columns) {
        uint8_t form = formOf(bound, row);
        if (form == kCellNull) {
            appendInt32(buffer, -1);
            continue;
        }
        if (bound.sending == Sending::serverCast) {
            appendCastValue(buffer, bound, row);
            continue;
        }
        if (bound.sending == Sending::exactDates) {
            appendExactDate(buffer, bound.type->oid, bound.exactDates[row], server);
            continue;
        }
        if (bound.sending == Sending::numericNumbers) {
            appendNumericNumber(buffer, bound, row, server);
            continue;
        }
        ColumnValue value = columnValue(bound.record, bound.prepared, row);
        if (bound.sending == Sending::jsonb)
            appendJsonb(buffer, bound, value, server);
        else
            appendField(buffer, form == kCellVector ? bound.vectorRecord : bound.record, value,
                        server);
    }
}

}  // namespace vorlex
