// SPDX-License-Identifier: BSD-3-Clause
// Tests of the text-value readings: the forms the server writes, malformed
// text, the array literal's parser, and a seeded random run over the array
// readers.
#include "types/text_values.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vorlex {
namespace {

constexpr uint32_t kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701;
constexpr uint32_t kInt4Array = 1007, kFloat8Array = 1022, kTextArray = 1009;

const double kInf = std::numeric_limits<double>::infinity();

// The text in a heap block of exactly its size, without a NUL, so that
// reading one byte too far is caught by AddressSanitizer.
TextValue read(uint32_t oid, const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size()]);
    if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
    return readTextValue(oid, copy.get(), text.size());
}

void expectRaw(uint32_t oid, const std::string& text) {
    EXPECT_EQ(read(oid, text).kind, TextValueKind::rawText) << oid << " " << text;
}

void expectMatrix(const std::string& text, size_t rows, size_t columns,
                  const std::vector<double>& columnMajor) {
    TextValue value = read(kFloat8Array, text);
    ASSERT_EQ(value.kind, TextValueKind::doubleMatrix) << text;
    EXPECT_EQ(value.rows, rows) << text;
    EXPECT_EQ(value.columns, columns) << text;
    ASSERT_EQ(value.matrix.size(), columnMajor.size()) << text;
    for (size_t i = 0; i < columnMajor.size(); ++i) {
        if (std::isnan(columnMajor[i]))
            EXPECT_TRUE(std::isnan(value.matrix[i])) << text << " element " << i;
        else
            EXPECT_EQ(value.matrix[i], columnMajor[i]) << text << " element " << i;
    }
}

TEST(TextValues, Scalars) {
    TextValue big = read(kInt8, "9007199254740993");  // 2^53 + 1
    EXPECT_EQ(big.kind, TextValueKind::int64Scalar);
    EXPECT_EQ(big.integer, 9007199254740993LL);
    EXPECT_EQ(read(kInt8, "-9223372036854775808").integer, std::numeric_limits<int64_t>::min());
    // Beyond the range: the nearest limit, not an overflow.
    EXPECT_EQ(read(kInt8, "99999999999999999999").integer, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(read(kInt4, "-99999999999").integer, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(read(kInt2, "-32768").kind, TextValueKind::int32Scalar);

    EXPECT_EQ(read(kFloat8, "-1.5e3").number, -1500);
    EXPECT_EQ(read(kFloat4, "iNF").number, kInf);
    EXPECT_EQ(read(kFloat8, "-Infinity").number, -kInf);
    EXPECT_TRUE(std::isnan(read(kFloat8, "nan").number));
    EXPECT_EQ(read(kFloat8, "-").number, 0);
    for (uint32_t oid : {kInt8, kInt4, kFloat8}) expectRaw(oid, "");  // NULL
}

TEST(TextValues, NumericArrays) {
    expectMatrix("{1,2,3}", 3, 1, {1, 2, 3});
    expectMatrix("{{1,2,3},{4,5,6}}", 2, 3, {1, 4, 2, 5, 3, 6});
    expectMatrix("{1.5,-Infinity,NaN}", 3, 1, {1.5, -kInf, NAN});
    expectMatrix("{1e+300,-2.5E-3,infinity}", 3, 1, {1e300, -2.5e-3, kInf});
    // Forms left as text: NULL, NULL elements, the empty array, explicit
    // bounds and more than two dimensions.
    for (const char* text : {"", "{1,NULL,3}", "{}", "{", "[0:2]={1,2,3}", "{{{1}}}"})
        expectRaw(kInt4Array, text);
}

TEST(TextValues, MalformedNumericArrays) {
    for (const char* text : {"{1,2,3", "{1,2,", "{1,2,-", "{{1,2},{3", "{{}}"})
        EXPECT_EQ(read(kFloat8Array, text).kind, TextValueKind::truncatedArray) << text;
    // Sizes far beyond what the text can hold are refused, not allocated.
    std::string wide = "{{" + std::string(5000, ',') + "}" + std::string(5000, '{');
    EXPECT_EQ(read(kFloat8Array, wide).kind, TextValueKind::truncatedArray);
    // Text after the expected elements is ignored.
    expectMatrix("{{1,2}", 1, 2, {1, 2});
}

TEST(TextValues, TextArrays) {
    EXPECT_EQ(read(kTextArray, "{\"a b\",\"c d\"}").lines,
              (std::vector<std::string>{"a b", "c d"}));
    // Escapes are kept as written, and an escaped quote before a comma
    // does not end its element.
    EXPECT_EQ(read(kTextArray, R"({"x\",","y\\",""})").lines,
              (std::vector<std::string>{R"(x\",)", R"(y\\)", ""}));
    // Forms left as text: unquoted elements, NULL, the empty array, several
    // dimensions, explicit bounds, unterminated or trailing text.
    for (const char* text : {"", "{a,b}", "{\"a b\",c}", "{c,\"a b\"}", "{}", "{\"}", "{\"a\"",
                             "{\"a\\\"}", "{\"a\"}x", "{{\"a\"}}", "[1:1]={\"a b\"}"})
        expectRaw(kTextArray, text);
}

// Array literals as the server writes them: extents, elements in written
// order ("~" stands for a NULL element), and the malformed texts refused.
TEST(TextValues, ArrayLiterals) {
    struct Case {
        const char* text;
        std::vector<size_t> dims;
        std::vector<std::string> elements;
    };
    const Case cases[] = {
        {"{1,2,3}", {3}, {"1", "2", "3"}},
        {"{{1,NULL},{3,4}}", {2, 2}, {"1", "~", "3", "4"}},
        {"{{{1},{2}}}", {1, 2, 1}, {"1", "2"}},
        {"{}", {}, {}},
        {"[0:1]={-1.5,Infinity}", {2}, {"-1.5", "Infinity"}},
        {R"({"a b","x\"y\\z","NULL",null,"",NULLX})",
         {6},
         {"a b", "x\"y\\z", "NULL", "~", "", "NULLX"}},
        {R"({"{,}","\\x01ff"})", {2}, {"{,}", "\\x01ff"}},
        {R"({"2000-01-01 12:00:00","2024-02-29 18:00:00+01"})",
         {2},
         {"2000-01-01 12:00:00", "2024-02-29 18:00:00+01"}},
        {"{ a , b c }", {2}, {"a", "b c"}},
    };
    for (const Case& c : cases) {
        ArrayLiteral literal;
        std::string error;
        ASSERT_TRUE(parseArrayLiteral(c.text, std::strlen(c.text), literal, error))
            << c.text << error;
        EXPECT_EQ(std::vector<size_t>(literal.dims, literal.dims + literal.ndims), c.dims)
            << c.text;
        std::vector<std::string> elements;
        for (size_t k = 0; k < literal.elements.size(); ++k)
            elements.push_back(literal.isNull[k] ? "~" : literal.elements[k]);
        EXPECT_EQ(elements, c.elements) << c.text;
    }
    for (const char* text : {"", "1", "{1,2", "{1,,2}", "{{1},{2,3}}", "{{1},2}", "{1,{2}}", "{{}}",
                             "{\"a}", "{1}x", "{{{{{{{1}}}}}}}", "{1}}"}) {
        ArrayLiteral literal;
        std::string error;
        EXPECT_FALSE(parseArrayLiteral(text, std::strlen(text), literal, error)) << text;
    }
}

// Random texts made of the pieces that matter to the array readers, started
// like a real array and often ended like one.  AddressSanitizer catches any
// read past the end; each result must agree with the text it came from.
TEST(TextValues, RandomArrayTexts) {
    const char* const pieces[] = {"{",  "}",  ",",   "\"",  "\",\"", "\\", "1", "-",
                                  ".5", "e3", "Inf", "NaN", "NULL",  " ",  "a"};
    const char* const starts[] = {"{", "{{", "{\""};
    const char* const ends[] = {"", "}", "\"}", "}}"};
    std::mt19937 random(20240605);
    for (int round = 0; round < 20000; ++round) {
        std::string text = starts[random() % std::size(starts)];
        for (size_t n = random() % 12; n > 0; --n) text += pieces[random() % std::size(pieces)];
        text += ends[random() % std::size(ends)];
        TextValue numbers = read(kFloat8Array, text);
        if (numbers.kind == TextValueKind::doubleMatrix) {
            EXPECT_EQ(numbers.matrix.size(), numbers.rows * numbers.columns) << text;
            EXPECT_LE(numbers.matrix.size(), text.size()) << text;
        }
        // Each element was written with two quotes and a comma or the
        // closing brace, after the opening brace.
        // The full parser: as many elements as its extents make.
        std::unique_ptr<char[]> copy(new char[text.size()]);
        std::memcpy(copy.get(), text.data(), text.size());
        ArrayLiteral literal;
        std::string error;
        if (parseArrayLiteral(copy.get(), text.size(), literal, error)) {
            size_t count = literal.ndims ? 1 : 0;
            for (int d = 0; d < literal.ndims; ++d) count *= literal.dims[d];
            EXPECT_EQ(literal.elements.size(), count) << text;
        }
        TextValue texts = read(kTextArray, text);
        if (texts.kind == TextValueKind::textRows) {
            size_t total = 1;
            for (const std::string& line : texts.lines) total += line.size() + 3;
            EXPECT_EQ(total, text.size()) << text;
        }
    }
}

}  // namespace
}  // namespace vorlex
