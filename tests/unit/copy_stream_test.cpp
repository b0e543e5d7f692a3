// SPDX-License-Identifier: BSD-3-Clause
// The binary COPY stream decoder: the same columns whatever the cut of the
// stream into messages, the outputs grown across many rows, and a refusal
// of every malformed stream instead of a read past its bytes.
#include "columns/copy_stream.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "types/pqtypes_private.hpp"
#include "types/wire.hpp"

namespace vorlex {
namespace {

PGtypeHandler handlerOf(const char* schema, const char* name, Oid oid, Oid arrayOid) {
    PGtypeHandler handler{};
    std::strcpy(handler.typschema, schema);
    std::strcpy(handler.typname, name);
    handler.typoid = oid;
    handler.typoid_array = arrayOid;
    return handler;
}

const PGtypeHandler kInt4 = handlerOf("pg_catalog", "int4", 23, 1007);
const PGtypeHandler kText = handlerOf("pg_catalog", "text", 25, 1009);

std::string int16Bytes(int16_t value) {
    char bytes[2];
    storeBig16(bytes, static_cast<uint16_t>(value));
    return std::string(bytes, 2);
}

std::string int32Bytes(int32_t value) {
    char bytes[4];
    storeBig32(bytes, static_cast<uint32_t>(value));
    return std::string(bytes, 4);
}

const std::string kHeader = std::string("PGCOPY\n\377\r\n\0", 11) + int32Bytes(0) + int32Bytes(0);
const std::string kTrailer = int16Bytes(-1);

// Row r of the test stream: (int4 r * 7, text "row r"), every fifth int4
// and every seventh text NULL.
std::string rowBytes(int r) {
    std::string row = int16Bytes(2);
    row += r % 5 == 4 ? int32Bytes(-1) : int32Bytes(4) + int32Bytes(r * 7);
    std::string text = "row " + std::to_string(r);
    row += r % 7 == 6 ? int32Bytes(-1) : int32Bytes(static_cast<int32_t>(text.size())) + text;
    return row;
}

std::string streamOf(int rows) {
    std::string stream = kHeader;
    for (int r = 0; r < rows; ++r) stream += rowBytes(r);
    return stream + kTrailer;
}

class CopyStream : public ::testing::Test {
  protected:
    std::vector<GrowingColumn> makeColumns() {
        std::vector<GrowingColumn> columns;
        columns.emplace_back(describeSpecifier(&kInt4, 0, 1, true));
        columns.emplace_back(describeSpecifier(&kText, 0, 2, true));
        return columns;
    }

    // Decodes `stream` cut into the given message lengths (the rest in one
    // last message) and checks every row against rowBytes.
    void expectRows(const std::string& stream, const std::vector<size_t>& cuts, int rows) {
        std::vector<GrowingColumn> columns = makeColumns();
        CopyStreamDecoder decoder(columns, server);
        size_t at = 0;
        for (size_t cut : cuts) {
            decoder.take(stream.data() + at, cut);
            at += cut;
        }
        decoder.take(stream.data() + at, stream.size() - at);
        decoder.requireEnd();
        ASSERT_EQ(decoder.rows(), static_cast<size_t>(rows));
        mxArray* ints = columnStruct(columns[0].finish(decoder.rows()));
        mxArray* texts = columnStruct(columns[1].finish(decoder.rows()));
        const int32_t* values = static_cast<int32_t*>(mxGetData(mxGetField(ints, 0, "value")));
        const mxLogical* intNulls = mxGetLogicals(mxGetField(ints, 0, "rowIsNull"));
        const mxLogical* textNulls = mxGetLogicals(mxGetField(texts, 0, "rowIsNull"));
        for (int r = 0; r < rows; ++r) {
            SCOPED_TRACE("row " + std::to_string(r));
            EXPECT_EQ(intNulls[r], r % 5 == 4);
            EXPECT_EQ(values[r], r % 5 == 4 ? 0 : r * 7);
            EXPECT_EQ(textNulls[r], r % 7 == 6);
            if (r % 7 != 6) {
                char* text = mxArrayToString(mxGetCell(mxGetField(texts, 0, "value"), r));
                EXPECT_EQ(std::string(text), "row " + std::to_string(r));
                mxFree(text);
            }
        }
        mxDestroyArray(ints);
        mxDestroyArray(texts);
    }

    // The error `stream` raises, taken whole.
    std::string failureOf(const std::string& stream) {
        std::vector<GrowingColumn> columns = makeColumns();
        CopyStreamDecoder decoder(columns, server);
        return raisedMessage([&] {
            decoder.take(stream.data(), stream.size());
            decoder.requireEnd();
        });
    }

    CommandScope scope{"copyOut"};
    PGtypeFormatInfo server{};
};

TEST_F(CopyStream, EveryCutOfTheStreamGivesTheSameRows) {
    std::string stream = streamOf(12);
    expectRows(stream, {}, 12);
    for (size_t cut = 1; cut < stream.size(); ++cut) expectRows(stream, {cut}, 12);
    expectRows(stream, std::vector<size_t>(stream.size() - 1, 1), 12);
}

TEST_F(CopyStream, OutputsGrowAcrossManyRows) {
    // Below the rows whose columns the host makes (no host here).
    expectRows(streamOf(4000), {}, 4000);
    expectRows(kHeader + kTrailer, {}, 0);
}

TEST_F(CopyStream, MalformedStreamsAreRefused) {
    std::string stream = streamOf(3);
    std::string badSignature = stream;
    badSignature[0] = 'Q';
    EXPECT_NE(failureOf(badSignature).find("signature"), std::string::npos);
    std::string withOids = kHeader;
    withOids[11 + 1] = 1;  // bit 16 of the flags
    EXPECT_NE(failureOf(withOids + kTrailer).find("header"), std::string::npos);
    EXPECT_NE(failureOf(kHeader + int16Bytes(3) + kTrailer).find("3 fields"), std::string::npos);
    EXPECT_NE(failureOf(kHeader + int16Bytes(2) + int32Bytes(-2)).find("length -2"),
              std::string::npos);
    // A field longer than what is left waits for more, and then the stream ends.
    std::string cut = kHeader + int16Bytes(2) + int32Bytes(1000) + "abc";
    EXPECT_NE(failureOf(cut).find("early"), std::string::npos);
    EXPECT_NE(failureOf(stream.substr(0, stream.size() - 2)).find("early"), std::string::npos);
    EXPECT_NE(failureOf(stream + rowBytes(3)).find("after its end"), std::string::npos);
    EXPECT_NE(failureOf(stream + "x").find("extra bytes"), std::string::npos);
    // A value of the wrong width for its type.
    std::string wrongWidth = kHeader + int16Bytes(2) + int32Bytes(2) + "ab" + int32Bytes(-1);
    expectRaises("vorlex:copyOut:readFailed", [&] {
        std::vector<GrowingColumn> columns = makeColumns();
        CopyStreamDecoder decoder(columns, server);
        decoder.take(wrongWidth.data(), wrongWidth.size());
    });
}

}  // namespace
}  // namespace vorlex
