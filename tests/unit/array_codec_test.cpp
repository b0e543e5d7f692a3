// SPDX-License-Identifier: BSD-3-Clause
// The binary array frame: shapes, element order, NULL masks, slices, and
// frames a server (or an attacker) might send.
#include "types/array_codec.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "types/type_catalogue.hpp"
#include "types/wire.hpp"

namespace vorlex {
namespace {

const ElementCodec& codecNamed(const char* name) {
    const PgType* type = typeNamed(name);
    if (!type) throw std::runtime_error(name);
    return type->codec;
}

PGtypeFormatInfo formatInfo() {
    PGtypeFormatInfo info{};
    info.sversion = 150000;
    info.integer_datetimes = 1;
    return info;
}

// Builds frames from 32-bit words and raw element bytes.
struct Frame {
    std::string bytes;
    Frame& word(int32_t value) {
        char buffer[4];
        storeBig32(buffer, static_cast<uint32_t>(value));
        bytes.append(buffer, 4);
        return *this;
    }
    Frame& int4Element(int32_t value) { return word(4).word(value); }
};

std::vector<int32_t> wordsOf(const std::string& bytes) {
    std::vector<int32_t> words;
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4)
        words.push_back(static_cast<int32_t>(loadBig32(bytes.data() + at)));
    return words;
}

std::string encode(const ArrayValue& value, const ElementCodec& codec, Oid oid = 23) {
    size_t total = 0;
    std::string error;
    EXPECT_TRUE(arrayEncodedSize(value, codec, total, error)) << error;
    std::string out(total, '\0');
    EXPECT_TRUE(writeArrayFrame(&out[0], value, codec, oid, formatInfo(), error)) << error;
    return out;
}

// The 2-by-3 matrix with rows (1 2 3) and (4 5 6), as Octave stores it.
const double kMatrix[] = {1, 4, 2, 5, 3, 6};

// A direct-form value of doubles with the given extents.
ArrayValue doubleValue(const double* data, std::initializer_list<size_t> dims) {
    ArrayValue value{};
    value.elements = {data, nullptr, true};
    value.count = 1;
    for (size_t extent : dims) {
        value.dims[value.ndims++] = extent;
        value.count *= extent;
    }
    return value;
}

ArrayValue matrixValue(const char* mask, bool flatten) {
    ArrayValue value = doubleValue(kMatrix, {2, 3});
    value.mask = mask;
    value.flatten = flatten;
    return value;
}

TEST(ArrayEncode, MatrixGoesRowMajor) {
    std::vector<int32_t> expected = {2, 0, 23, 2, 1, 3, 1};
    for (int32_t v : {1, 2, 3, 4, 5, 6}) expected.insert(expected.end(), {4, v});
    EXPECT_EQ(wordsOf(encode(matrixValue(nullptr, false), codecNamed("int4"))), expected);
}

TEST(ArrayEncode, FlatteningListsOctaveOrderInOneDimension) {
    std::vector<int32_t> expected = {1, 0, 23, 6, 1};
    for (int32_t v : {1, 4, 2, 5, 3, 6}) expected.insert(expected.end(), {4, v});
    EXPECT_EQ(wordsOf(encode(matrixValue(nullptr, true), codecNamed("int4"))), expected);
}

TEST(ArrayEncode, MaskedElementIsSentAsNull) {
    const char mask[] = {0, 1, 0, 0, 0, 0};  // element (2,1), the value 4
    std::vector<int32_t> words = wordsOf(encode(matrixValue(mask, false), codecNamed("int4")));
    std::vector<int32_t> expected = {2, 1, 23, 2, 1, 3, 1, 4, 1, 4, 2, 4, 3, -1, 4, 5, 4, 6};
    EXPECT_EQ(words, expected);
}

TEST(ArrayEncode, EmptyMatrixHasTwoZeroExtents) {
    ArrayValue value = doubleValue(nullptr, {0, 0});
    EXPECT_EQ(wordsOf(encode(value, codecNamed("float8"), 701)),
              (std::vector<int32_t>{2, 0, 701, 0, 1, 0, 1}));
}

TEST(ArrayEncode, SliceSendsItsOwnElementsAndMaskBytes) {
    std::vector<int32_t> column(20);
    for (int i = 0; i < 20; ++i) column[i] = 100 + i;
    std::vector<char> mask(20, 0);
    mask[12] = 1;
    mask[3] = 1;  // another row's mask: must not be consulted
    uint32_t dims[] = {4};
    ColumnSlice slice{column.data(), 0, 4, 1, dims, nullptr};
    ArrayValue value;
    std::string error;
    ASSERT_TRUE(describeSlice(slice, mask.data(), false, 10, value, error));
    EXPECT_EQ(wordsOf(encode(value, codecNamed("int4"))),
              (std::vector<int32_t>{1, 1, 23, 4, 1, 4, 110, 4, 111, -1, 4, 113}));
}

TEST(ArrayEncode, SevenDimensionsAreRefused) {
    uint32_t dims[7] = {1, 1, 1, 1, 1, 1, 1};
    ColumnSlice slice{nullptr, 1, 1, 7, dims, nullptr};
    ArrayValue value;
    std::string error;
    EXPECT_FALSE(describeSlice(slice, nullptr, false, 0, value, error));
    EXPECT_NE(error.find("6"), std::string::npos);
}

TEST(ArrayEncode, TextCellsCarryTheirBytesAndBadElementsAreNamed) {
    mwSize dims[2] = {1, 3};
    mxArray* cell = mxCreateCellArray(2, dims);
    mxSetCell(cell, 0, mxCreateString("ab"));
    mxSetCell(cell, 1, mxCreateString(""));
    mxSetCell(cell, 2, mxCreateString("xyz"));
    ArrayValue value;
    std::string error;
    ASSERT_TRUE(describeArray(cell, nullptr, false, value, error));
    std::string out = encode(value, codecNamed("text"), 25);
    EXPECT_EQ(out.substr(28), std::string("\0\0\0\x02"
                                          "ab"
                                          "\0\0\0\0"
                                          "\0\0\0\x03"
                                          "xyz",
                                          17));

    mxDestroyArray(mxGetCell(cell, 1));  // mxSetCell does not free what it replaces
    mxSetCell(cell, 1, mxCreateDoubleScalar(1));
    size_t total;
    EXPECT_FALSE(arrayEncodedSize(value, codecNamed("text"), total, error));
    EXPECT_NE(error.find("element 2"), std::string::npos) << error;
    mxDestroyArray(cell);
}

TEST(ArrayEncode, NumericCellsAreSentInBinary) {
    mwSize dims[2] = {2, 1};
    mxArray* cell = mxCreateCellArray(2, dims);
    mxSetCell(cell, 0, mxCreateString("0.5"));
    mxSetCell(cell, 1, mxCreateString("-12"));
    ArrayValue value;
    std::string error;
    ASSERT_TRUE(describeArray(cell, nullptr, false, value, error));
    std::string out = encode(value, codecNamed("numeric"), 1700);
    // 0.5: one digit 5000 at weight -1, dscale 1; -12: digit 12, negative.
    EXPECT_EQ(out.substr(28, 4 + 10),
              std::string("\0\0\0\x0A\0\x01\xFF\xFF\0\0\0\x01\x13\x88", 14));

    mxDestroyArray(mxGetCell(cell, 1));
    mxSetCell(cell, 1, mxCreateString("12abc"));
    size_t total;
    EXPECT_FALSE(arrayEncodedSize(value, codecNamed("numeric"), total, error));
    mxDestroyArray(cell);
}

struct Decoded {
    mxArray* value = nullptr;
    mxArray* mask = nullptr;
    std::string error;
    bool ok = false;
    ~Decoded() {
        if (value) mxDestroyArray(value);
        if (mask) mxDestroyArray(mask);
    }
};

void decode(const std::string& bytes, const char* codec, Oid oid, bool flatten, Decoded& out) {
    out.ok = decodeArrayFrame(bytes.data(), bytes.size(), codecNamed(codec), oid, flatten,
                              formatInfo(), out.value, out.mask, out.error);
}

std::vector<size_t> shapeOf(const mxArray* array) {
    const mwSize* dims = mxGetDimensions(array);
    return std::vector<size_t>(dims, dims + mxGetNumberOfDimensions(array));
}

TEST(ArrayDecode, OneDimensionGivesAColumn) {
    Frame frame;
    frame.word(1).word(0).word(23).word(3).word(1).int4Element(1).int4Element(2).int4Element(3);
    Decoded out;
    decode(frame.bytes, "int4", 23, false, out);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(shapeOf(out.value), (std::vector<size_t>{3, 1}));
    EXPECT_EQ(mxGetClassID(out.value), mxINT32_CLASS);
    auto* data = static_cast<int32_t*>(mxGetData(out.value));
    EXPECT_EQ(std::vector<int32_t>(data, data + 3), (std::vector<int32_t>{1, 2, 3}));
}

TEST(ArrayDecode, MatrixComesBackAsItWasSentAndFlattensColumnMajor) {
    Frame frame;
    frame.word(2).word(1).word(23).word(2).word(0).word(3).word(5);  // bounds 0 and 5
    for (int32_t v : {1, 2, 3}) frame.int4Element(v);
    frame.word(-1).int4Element(5).int4Element(6);
    for (bool flatten : {false, true}) {
        Decoded out;
        decode(frame.bytes, "int4", 23, flatten, out);
        ASSERT_TRUE(out.ok) << out.error;
        EXPECT_EQ(shapeOf(out.value),
                  flatten ? (std::vector<size_t>{6, 1}) : (std::vector<size_t>{2, 3}));
        auto* data = static_cast<int32_t*>(mxGetData(out.value));
        EXPECT_EQ(std::vector<int32_t>(data, data + 6), (std::vector<int32_t>{1, 0, 2, 5, 3, 6}));
        mxLogical* nulls = mxGetLogicals(out.mask);
        EXPECT_EQ(std::vector<bool>(nulls, nulls + 6),
                  (std::vector<bool>{false, true, false, false, false, false}));
    }
}

TEST(ArrayDecode, EmptyArrayGivesZeroByZero) {
    Frame frame;
    frame.word(0).word(0).word(25);
    Decoded out;
    decode(frame.bytes, "text", 25, false, out);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(shapeOf(out.value), (std::vector<size_t>{0, 0}));
    EXPECT_EQ(shapeOf(out.mask), (std::vector<size_t>{0, 0}));
    EXPECT_TRUE(mxIsCell(out.value));
}

TEST(ArrayDecode, ThreeDimensionsKeepTheirExtents) {
    Frame frame;
    frame.word(3).word(0).word(23).word(2).word(1).word(1).word(1).word(2).word(1);
    for (int32_t v : {1, 2, 3, 4}) frame.int4Element(v);  // a[i][1][k], k fastest
    Decoded out;
    decode(frame.bytes, "int4", 23, false, out);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(shapeOf(out.value), (std::vector<size_t>{2, 1, 2}));
    auto* data = static_cast<int32_t*>(mxGetData(out.value));
    EXPECT_EQ(std::vector<int32_t>(data, data + 4), (std::vector<int32_t>{1, 3, 2, 4}));
}

TEST(ArrayDecode, TextAndByteaElementsBecomeCells) {
    Frame frame;
    frame.word(1).word(0).word(17).word(2).word(1).word(0).word(3);
    frame.bytes += "abc";
    Decoded out;
    decode(frame.bytes, "bytea", 17, false, out);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(shapeOf(mxGetCell(out.value, 0)), (std::vector<size_t>{0, 0}));
    EXPECT_EQ(shapeOf(mxGetCell(out.value, 1)), (std::vector<size_t>{1, 3}));
    EXPECT_EQ(mxGetClassID(mxGetCell(out.value, 1)), mxUINT8_CLASS);
}

TEST(ArrayDecode, MalformedFramesAreRefusedWithoutReadingPastTheEnd) {
    Frame good;
    good.word(1).word(0).word(23).word(2).word(1).int4Element(1).int4Element(2);
    std::vector<std::pair<std::string, std::string>> cases;
    for (size_t cut = 0; cut < good.bytes.size(); ++cut)
        cases.push_back({"cut at " + std::to_string(cut), good.bytes.substr(0, cut)});
    cases.push_back({"wrong element type", Frame().word(1).word(0).word(20).word(0).word(1).bytes});
    cases.push_back({"seven dimensions", Frame().word(7).word(0).word(23).bytes});
    cases.push_back({"negative dimensions", Frame().word(-1).word(0).word(23).bytes});
    cases.push_back({"negative extent", Frame().word(1).word(0).word(23).word(-5).word(1).bytes});
    cases.push_back({"huge extents", Frame()
                                         .word(3)
                                         .word(0)
                                         .word(23)
                                         .word(0x7FFFFFFF)
                                         .word(1)
                                         .word(0x7FFFFFFF)
                                         .word(1)
                                         .word(0x7FFFFFFF)
                                         .word(1)
                                         .bytes});
    cases.push_back({"element longer than the frame",
                     Frame().word(1).word(0).word(23).word(1).word(1).word(400).word(1).bytes});
    cases.push_back({"negative element length",
                     Frame().word(1).word(0).word(23).word(1).word(1).word(-7).word(1).bytes});
    cases.push_back({"element of the wrong width",
                     Frame().word(1).word(0).word(23).word(1).word(1).word(2).word(1).bytes});
    for (const auto& [name, bytes] : cases) {
        Decoded out;
        // A copy of exactly the frame's size, so AddressSanitizer sees any
        // read past it.
        std::vector<char> exact(bytes.begin(), bytes.end());
        out.ok = decodeArrayFrame(exact.data(), exact.size(), codecNamed("int4"), 23, false,
                                  formatInfo(), out.value, out.mask, out.error);
        EXPECT_FALSE(out.ok) << name;
        EXPECT_FALSE(out.error.empty()) << name;
        EXPECT_EQ(out.value, nullptr) << name;
    }
}

double elementAsDouble(const mxArray* array, size_t i) {
    const void* data = mxGetData(array);
    switch (mxGetClassID(array)) {
        case mxINT16_CLASS:
            return static_cast<const int16_t*>(data)[i];
        case mxINT32_CLASS:
            return static_cast<const int32_t*>(data)[i];
        case mxINT64_CLASS:
            return static_cast<double>(static_cast<const int64_t*>(data)[i]);
        case mxSINGLE_CLASS:
            return static_cast<const float*>(data)[i];
        case mxLOGICAL_CLASS:
            return static_cast<const mxLogical*>(data)[i];
        default:
            return static_cast<const double*>(data)[i];
    }
}

TEST(ArrayCodec, EveryFixedWidthTypeRoundTripsShapeAndValues) {
    const double sent[] = {1, 0, -3, 2.5, 730486.25, 100000};
    struct Case {
        const char* type;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {"int2", {1, 0, -3, 2, 9590, -31072}},  // low 16 bits of the truncation
        {"int4", {1, 0, -3, 2, 730486, 100000}},
        {"int8", {1, 0, -3, 2, 730486, 100000}},
        {"float4", {1, 0, -3, 2.5, 730486.25, 100000}},
        {"float8", {1, 0, -3, 2.5, 730486.25, 100000}},
        {"bool", {1, 0, 1, 1, 1, 1}},
        {"timestamp", {1, 0, -3, 2.5, 730486.25, 100000}},
        {"timestamptz", {1, 0, -3, 2.5, 730486.25, 100000}},
        {"date", {1, 0, -3, 2, 730486, 100000}},
    };
    for (const Case& c : cases) {
        const ElementCodec& codec = codecNamed(c.type);
        ArrayValue value = doubleValue(sent, {1, 3, 2});
        Decoded out;
        decode(encode(value, codec, codec.baseOid), c.type, codec.baseOid, false, out);
        ASSERT_TRUE(out.ok) << c.type << ": " << out.error;
        EXPECT_EQ(shapeOf(out.value), (std::vector<size_t>{1, 3, 2})) << c.type;
        for (size_t i = 0; i < 6; ++i)
            EXPECT_EQ(elementAsDouble(out.value, i), c.expected[i]) << c.type << " element " << i;
    }
}

}  // namespace
}  // namespace vorlex
