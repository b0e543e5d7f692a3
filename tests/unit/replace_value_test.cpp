// SPDX-License-Identifier: BSD-3-Clause
// Values written in place over the previous row's (the batch command's
// rows after the first) must be the very bytes, length and format that a
// put into an empty set gives, for every type, class and form, whether the
// slot's old value was longer or shorter.  Needs a server for the type
// registration (the PG* variables name it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "connection/connect.hpp"
#include "host/errors.hpp"
#include "params/param_building.hpp"
#include "types/pqtypes_layout.hpp"
#include "value_sources.hpp"

namespace vorlex {
namespace {

struct SlotBytes {
    int length;
    int format;
    std::string bytes;
};

bool operator==(const SlotBytes& a, const SlotBytes& b) {
    return a.length == b.length && a.bytes == b.bytes && (a.length < 0 || a.format == b.format);
}

std::ostream& operator<<(std::ostream& out, const SlotBytes& slot) {
    out << "length " << slot.length << " format " << slot.format << " bytes";
    for (unsigned char c : slot.bytes) out << ' ' << std::hex << int{c} << std::dec;
    return out;
}

class ServerReplaceValue : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        registerGatewayTypes(conn);
        fresh = PQparamCreate(conn);
        reused = PQparamCreate(conn);
    }
    void TearDown() override {
        PQparamClear(fresh);
        PQparamClear(reused);
        PQfinish(conn);
    }

    ParamRecord record(const char* format) {
        return buildRecords(format, paramTypeHandlers(fresh), {"column"}).at(0);
    }

    static SlotBytes slotOf(PGparam* param, int slot) {
        const PqtParamValue& value = param->vals[slot];
        std::string bytes = value.datal > 0 ? std::string(value.data, value.datal) : "";
        EXPECT_TRUE(value.datal != 0 || value.data) << "an empty value must not read as NULL";
        return {value.datal, value.format, bytes};
    }

    // The value put into an empty set, and the same value written over
    // slot 1 of a set whose two slots held `previous` values.
    void expectSameBytes(const ParamRecord& record, const ValueSource& source, const char* mask,
                         const ValueSource& previous, bool isNull = false) {
        PQparamReset(fresh);
        putValue(fresh, record, source, mask, isNull);
        PQparamReset(reused);
        putValue(reused, record, previous, nullptr, false);
        putValue(reused, record, previous, nullptr, false);
        replaceValue(reused, 1, record, source, mask, isNull);
        ASSERT_EQ(PQparamCount(reused), 2);
        EXPECT_EQ(slotOf(reused, 1), slotOf(fresh, 0)) << specifierOf(record);
    }

    // Whether putValue takes the value (NaN and infinities are refused
    // where the type has no such value).
    bool isTaken(const ParamRecord& record, const ValueSource& source, const char* mask) {
        PQparamReset(fresh);
        try {
            putValue(fresh, record, source, mask, false);
            return true;
        } catch (const GatewayError&) {
            return false;
        }
    }

    // The same bytes as expectSameBytes checks, or the same refusal.
    void expectSameBytesOrRefusal(const ParamRecord& record, const ValueSource& source,
                                  const char* mask, const ValueSource& previous) {
        if (isTaken(record, source, mask)) return expectSameBytes(record, source, mask, previous);
        PQparamReset(reused);
        putValue(reused, record, previous, nullptr, false);
        putValue(reused, record, previous, nullptr, false);
        EXPECT_THROW(replaceValue(reused, 1, record, source, mask, false), GatewayError)
            << specifierOf(record);
    }

    PGconn* conn = PQconnectdb("");
    PGparam* fresh = nullptr;
    PGparam* reused = nullptr;
};

const char* const kFixedWidthFormats[] = {
    "%bool", "%int2", "%int4",      "%int8",        "%float4", "%float8",
    "%date", "%time", "%timestamp", "%timestamptz", "%timetz",
};

TEST_F(ServerReplaceValue, DoublesGiveTheSameBytesForEveryFixedWidthType) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> doubles = {0,    1.9,   -1.9, 2.5, 40000, -40000,   256, 2,
                                         1e10, -1e20, NAN,  inf, -inf,  730486.5, 0.1, 1.25};
    for (const char* format : kFixedWidthFormats) {
        ParamRecord r = record(format);
        for (size_t row = 0; row < doubles.size(); ++row) {
            SCOPED_TRACE(std::string(format) + " row " + std::to_string(row));
            size_t next = (row + 1) % doubles.size();
            if (!isTaken(r, rawRow(doubles.data(), next, true), nullptr)) next = 0;
            expectSameBytesOrRefusal(r, rawRow(doubles.data(), row, true), nullptr,
                                     rawRow(doubles.data(), next, true));
            mxArray* scalar = mxCreateDoubleScalar(doubles[row]);
            expectSameBytesOrRefusal(r, direct(scalar), nullptr, rawRow(doubles.data(), 0, true));
            mxDestroyArray(scalar);
        }
        expectSameBytes(r, rawRow(doubles.data(), 0, true), nullptr,
                        rawRow(doubles.data(), 1, true), true);
    }
}

TEST_F(ServerReplaceValue, NativeClassesGiveTheSameBytes) {
    const mxLogical flags[] = {false, true};
    const int16_t shorts[] = {0, -32768, 32767, 7};
    const int32_t ints[] = {0, INT32_MIN, INT32_MAX, -7};
    const int64_t longs[] = {0, INT64_MIN, INT64_MAX, (int64_t{1} << 53) + 1};
    const float floats[] = {0.0f, -1.5f, 3.4e38f, NAN};
    for (long long row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        expectSameBytes(record("%bool"), rawRow(flags, row % 2, false), nullptr,
                        rawRow(flags, (row + 1) % 2, false));
        expectSameBytes(record("%int2"), rawRow(shorts, row, false), nullptr,
                        rawRow(shorts, 3 - row, false));
        expectSameBytes(record("%int4"), rawRow(ints, row, false), nullptr,
                        rawRow(ints, 3 - row, false));
        expectSameBytes(record("%int8"), rawRow(longs, row, false), nullptr,
                        rawRow(longs, 3 - row, false));
        expectSameBytes(record("%float4"), rawRow(floats, row, false), nullptr,
                        rawRow(floats, 3 - row, false));
    }
}

TEST_F(ServerReplaceValue, TextsAndBytesGiveTheSameBytesLongerOrShorterThanBefore) {
    const char* texts[] = {"", "a", "a longer text than the others, of some length",
                           "\xc3\xa9t\xc3\xa9"};
    for (const char* format : {"%text", "%varchar", "%bpchar", "%name", "%json", "%xml"}) {
        ParamRecord r = record(format);
        for (const char* text : texts) {
            SCOPED_TRACE(std::string(format) + " '" + text + "'");
            mxArray* value = mxCreateString(text);
            mxArray* before = mxCreateString(texts[2]);
            expectSameBytes(r, direct(value), nullptr, direct(before));
            mxDestroyArray(value);
            mxDestroyArray(before);
        }
    }
    // Rows of a 2-by-3 char matrix, each row's characters together.
    const char rows[] = "abcdef";
    uint32_t dims[] = {1, 3};
    ColumnSlice slice{rows, 0, 3, 2, dims, nullptr};
    expectSameBytes(record("%text"), sliceAt(slice, 3), nullptr, sliceAt(slice, 0));
    expectSameBytes(record("%bytea"), sliceAt(slice, 3), nullptr, sliceAt(slice, 0));

    mwSize byteDims[2] = {1, 4};
    mxArray* bytes = mxCreateNumericArray(2, byteDims, mxUINT8_CLASS, mxREAL);
    std::memcpy(mxGetData(bytes), "\0\1\2\3", 4);
    mxArray* empty = mxCreateNumericMatrix(0, 0, mxUINT8_CLASS, mxREAL);
    expectSameBytes(record("%bytea"), direct(bytes), nullptr, direct(empty));
    expectSameBytes(record("%bytea"), direct(empty), nullptr, direct(bytes));
    mxDestroyArray(bytes);
    mxDestroyArray(empty);
}

TEST_F(ServerReplaceValue, ArraySlicesGiveTheSameFramesWithMasksAndFlattening) {
    // Three rows of 2-by-2 values, each row's elements together.
    const double values[] = {1, 2, 3, 4, 5.5, -6, 7e9, NAN, 0, 0, 0, 0};
    const char mask[] = {0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1};
    uint32_t dims[] = {1, 2, 2};
    ColumnSlice slice{values, 1, 4, 3, dims, nullptr};
    for (const char* format : {"%int4[]", "%float8[]@", "%int8[]", "%timestamp[]", "%bool[]"}) {
        for (long long row = 0; row < 3; ++row) {
            SCOPED_TRACE(std::string(format) + " row " + std::to_string(row));
            ValueSource source = sliceAt(slice, row * 4);
            ValueSource previous = sliceAt(slice, ((row + 1) % 3) * 4);
            if (!isTaken(record(format), previous, nullptr)) previous = sliceAt(slice, 0);
            expectSameBytesOrRefusal(record(format), source, nullptr, previous);
            expectSameBytesOrRefusal(record(format), source, mask, previous);
        }
    }
}

TEST_F(ServerReplaceValue, OctaveArraysAndNumericTextsGiveTheSameBytes) {
    mxArray* ints = mxCreateNumericMatrix(2, 3, mxINT32_CLASS, mxREAL);
    for (int i = 0; i < 6; ++i) static_cast<int32_t*>(mxGetData(ints))[i] = i * 1000 - 2;
    mxArray* doubles = mxCreateDoubleMatrix(3, 1, mxREAL);
    mxGetPr(doubles)[0] = 730486.5;
    mxGetPr(doubles)[2] = -1;
    const char mask[] = {0, 1, 0, 0, 1, 0};
    mxArray* texts = mxCreateCellMatrix(1, 3);
    mxSetCell(texts, 0, mxCreateString("first"));
    mxSetCell(texts, 1, mxCreateString(""));
    mxSetCell(texts, 2, mxCreateString("a longer third text"));
    mxArray* numbers = mxCreateCellMatrix(1, 3);
    mxSetCell(numbers, 0, mxCreateString("12.5"));
    mxSetCell(numbers, 1, mxCreateString("NaN"));
    mxSetCell(numbers, 2, mxCreateString("-123456789012345678901234567890.0001"));
    mxArray* bytes = mxCreateCellMatrix(2, 1);
    mxSetCell(bytes, 0, mxCreateNumericMatrix(1, 4, mxUINT8_CLASS, mxREAL));
    mxSetCell(bytes, 1, mxCreateNumericMatrix(0, 0, mxUINT8_CLASS, mxREAL));
    struct Case {
        const char* format;
        const mxArray* value;
        const mxArray* before;
    };
    // `before` is another value of the record's class.
    const Case cases[] = {{"%int4[]", ints, doubles},      {"%int4[]@", ints, doubles},
                          {"%float8[]", doubles, doubles}, {"%timestamp[]", doubles, doubles},
                          {"%text[]", texts, texts},       {"%varchar[]@", texts, texts},
                          {"%bytea[]", bytes, bytes},      {"%numeric[]", numbers, numbers}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        try {
            ParamRecord r = record(c.format);
            expectSameBytes(r, direct(c.value), nullptr, direct(c.before));
            if (mxGetNumberOfElements(c.value) <= sizeof mask)
                expectSameBytes(r, direct(c.value), mask, direct(c.before));
        } catch (const GatewayError& error) {
            ADD_FAILURE() << error.id << ": " << error.message;
        }
    }
    for (const char* text : {"12.5", "-1e3", "NaN", "0.000001", "123456789012345678901234567890"}) {
        mxArray* number = mxCreateString(text);
        mxArray* other = mxCreateString("7");
        expectSameBytes(record("%numeric"), direct(number), nullptr, direct(other));
        mxDestroyArray(number);
        mxDestroyArray(other);
    }
    for (mxArray* array : {ints, doubles, texts, bytes, numbers}) mxDestroyArray(array);
}

TEST_F(ServerReplaceValue, RefusesWhatAPutRefusesUnderTheSameIdentifier) {
    CommandScope scope("batchExec");
    mxArray* previous = mxCreateString("ok");
    ParamRecord text = record("%text");
    putValue(reused, text, direct(previous), nullptr, false);
    mxArray* nul = mxCreateString("a b");
    mxGetChars(nul)[1] = 0;
    mxArray* number = mxCreateDoubleScalar(3);
    for (mxArray* bad : {nul, number}) {
        std::string putId, replaceId;
        try {
            PQparamReset(fresh);
            putValue(fresh, text, direct(bad), nullptr, false);
        } catch (const GatewayError& error) {
            putId = error.id;
        }
        try {
            replaceValue(reused, 0, text, direct(bad), nullptr, false);
        } catch (const GatewayError& error) {
            replaceId = error.id;
        }
        EXPECT_FALSE(putId.empty());
        EXPECT_EQ(replaceId, putId);
    }
    EXPECT_EQ(PQparamCount(reused), 1);
    EXPECT_EQ(slotOf(reused, 0).bytes, "ok");

    // Arrays refused by their frame's checks: complex, sparse, a cell
    // element of the wrong class.
    ParamRecord ints = record("%int4[]"), texts = record("%text[]");
    mxArray* complexValues = mxCreateDoubleMatrix(1, 2, mxCOMPLEX);
    mxArray* sparse = mxCreateSparse(2, 2, 1, mxREAL);
    mxArray* mixed = mxCreateCellMatrix(1, 2);
    mxSetCell(mixed, 0, mxCreateString("x"));
    mxSetCell(mixed, 1, mxCreateDoubleScalar(1));
    const std::pair<const ParamRecord*, mxArray*> arrays[] = {
        {&ints, complexValues}, {&ints, sparse}, {&texts, mixed}};
    for (const auto& [arrayRecord, bad] : arrays) {
        std::string putId, replaceId;
        PQparamReset(fresh);
        try {
            putValue(fresh, *arrayRecord, direct(bad), nullptr, false);
        } catch (const GatewayError& error) {
            putId = error.id;
        }
        try {
            replaceValue(reused, 0, *arrayRecord, direct(bad), nullptr, false);
        } catch (const GatewayError& error) {
            replaceId = error.id;
        }
        EXPECT_FALSE(putId.empty()) << specifierOf(*arrayRecord);
        EXPECT_EQ(replaceId, putId) << specifierOf(*arrayRecord);
        mxDestroyArray(bad);
    }
    mxDestroyArray(previous);
    mxDestroyArray(nul);
    mxDestroyArray(number);
}

}  // namespace
}  // namespace vorlex
