// SPDX-License-Identifier: BSD-3-Clause
// Tests of the numeric codec: decoding hand-built numeric_send bytes, encoding text to bytes,
// and agreement with a live server's numeric_in, numeric_send and numeric_out.
#include "types/codec_numeric.hpp"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vorlex {
namespace {

// Big-endian 16-bit words, as numeric_send writes its header and digit groups.
std::string wireOf(std::initializer_list<int> words) {
    std::string bytes;
    for (int word : words) {
        bytes.push_back(static_cast<char>((word >> 8) & 0xFF));
        bytes.push_back(static_cast<char>(word & 0xFF));
    }
    return bytes;
}

std::string hexOf(const std::string& bytes) {
    std::string hex;
    for (unsigned char byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

struct Outcome {
    bool ok;
    std::string value;  // text when decoding, bytes when encoding
    std::string error;
};

// Both codec directions get their input in a heap block of exactly its size, so that reading
// one byte too far is caught by AddressSanitizer.
std::unique_ptr<char[]> exactCopy(const std::string& data) {
    std::unique_ptr<char[]> copy(new char[data.size()]);
    if (!data.empty()) std::memcpy(copy.get(), data.data(), data.size());
    return copy;
}

Outcome decode(const std::string& bytes) {
    const auto copy = exactCopy(bytes);
    Outcome outcome{false, "untouched", ""};
    outcome.ok = decodeNumeric(reinterpret_cast<const unsigned char*>(copy.get()), bytes.size(),
                               outcome.value, outcome.error);
    return outcome;
}

Outcome encode(const std::string& text, bool allowInfinity = true) {
    const auto copy = exactCopy(text);
    Outcome outcome{false, "untouched", ""};
    outcome.ok =
        encodeNumeric(copy.get(), text.size(), allowInfinity, outcome.value, outcome.error);
    return outcome;
}

// The repeated digit group `group` as `count` groups, for wide values.
std::string repeatedGroups(int group, size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) bytes += wireOf({group});
    return bytes;
}

std::string repeated(const std::string& piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
}

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::string text;
};

void expectDecodes(const std::vector<DecodeCase>& cases) {
    for (const DecodeCase& c : cases) {
        const Outcome outcome = decode(c.bytes);
        EXPECT_TRUE(outcome.ok) << c.what << ": " << outcome.error;
        EXPECT_EQ(outcome.value, c.text) << c.what;
    }
}

TEST(NumericDecode, RoundsHalfUpToDisplayScale) {
    expectDecodes({
        {"1.25 to 1 place", wireOf({2, 0, 0x0000, 1, 1, 2500}), "1.3"},
        {"-1.25 to 1 place", wireOf({2, 0, 0x4000, 1, 1, 2500}), "-1.3"},
        {"1.2499 to 1 place", wireOf({2, 0, 0x0000, 1, 1, 2499}), "1.2"},
        {"1.5 to 0 places", wireOf({2, 0, 0x0000, 0, 1, 5000}), "2"},
        {"12.5 to 3 places", wireOf({2, 0, 0x0000, 3, 12, 5000}), "12.500"},
        {"7 to 2 places", wireOf({1, 0, 0x0000, 2, 7}), "7.00"},
        {"0.5 to 1 place", wireOf({1, -1, 0x0000, 1, 5000}), "0.5"},
        {"0.00005 to 4 places", wireOf({1, -2, 0x0000, 4, 5000}), "0.0001"},
        {"zero", wireOf({0, 0, 0x0000, 0}), "0"},
        {"zero to 3 places", wireOf({0, 0, 0x0000, 3}), "0.000"},
        // Values that round to zero lose their sign, as the server never writes "-0".
        {"-0.04 to 1 place", wireOf({1, -1, 0x4000, 1, 400}), "0.0"},
        {"-0.4999 to 0 places", wireOf({1, -1, 0x4000, 0, 4999}), "0"},
        {"negative zero", wireOf({0, 0, 0x4000, 2}), "0.00"},
        {"-0.05 to 1 place", wireOf({1, -1, 0x4000, 1, 500}), "-0.1"},
        {"-0.5 to 0 places", wireOf({1, -1, 0x4000, 0, 5000}), "-1"},
    });
}

TEST(NumericDecode, CarriesIntoANewLeadingGroup) {
    expectDecodes({
        {"9999.99995 to 4 places", wireOf({3, 0, 0, 4, 9999, 9999, 5000}), "10000.0000"},
        {"9999.99994999 to 4 places", wireOf({3, 0, 0, 4, 9999, 9999, 4999}), "9999.9999"},
        {"99999999.5 to 0 places", wireOf({3, 1, 0, 0, 9999, 9999, 5000}), "100000000"},
        {"-0.99995 to 4 places", wireOf({2, -1, 0x4000, 4, 9999, 5000}), "-1.0000"},
        {"0.9999995 to 6 places", wireOf({2, -1, 0, 6, 9999, 9950}), "1.000000"},
    });
}

TEST(NumericDecode, PlacesGroupsByWeight) {
    expectDecodes({
        {"1e-8", wireOf({1, -2, 0, 8, 1}), "0.00000001"},
        {"0.000000009999 to 4 places", wireOf({1, -3, 0, 4, 9999}), "0.0000"},
        {"groups above the point with implied zero groups", wireOf({2, 2, 0, 0, 5, 7}),
         "500070000"},
        {"a leading zero group", wireOf({2, 1, 0, 0, 0, 7}), "7"},
        {"lowest weight", wireOf({1, -32768, 0, 0, 5}), "0"},
        {"12.0034", wireOf({2, 0, 0, 4, 12, 34}), "12.0034"},
    });
}

TEST(NumericDecode, ManyGroupsWithRoundingInsideAGroup) {
    std::string bytes = wireOf({30, 14, 0, 60}) + repeatedGroups(5678, 30);
    expectDecodes({{"all digits shown", bytes, repeated("5678", 15) + "." + repeated("5678", 15)}});
    // 59 places end inside the last group, whose dropped 8 rounds the 7 up.
    bytes = wireOf({30, 14, 0, 59}) + repeatedGroups(5678, 30);
    expectDecodes(
        {{"last digit rounded", bytes, repeated("5678", 15) + "." + repeated("5678", 14) + "568"}});
}

TEST(NumericDecode, SpecialValuesIgnoreDisplayScale) {
    expectDecodes({
        {"NaN", wireOf({0, 0, 0xC000, 0}), kNumericNaNText},
        {"Infinity", wireOf({0, 0, 0xD000, 32}), "Infinity"},
        {"-Infinity", wireOf({0, 0, 0xF000, 32}), "-Infinity"},
    });
}

TEST(NumericDecode, ScaleWithBit15CountsAsZero) {
    expectDecodes({
        {"1.5 with scale word 0x8005", wireOf({2, 0, 0, 0x8005, 1, 5000}), "2"},
        {"5 with scale word 0x8000", wireOf({1, 0, 0, 0x8000, 5}), "5"},
    });
}

TEST(NumericDecode, LargestValues) {
    Outcome outcome = decode(wireOf({1, 32767, 0, 0, 9999}));
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.value, "9999" + std::string(131068, '0'));

    // 131072 digits before the point and 16383 after need 36864 groups, a count above the int16
    // range that the server nevertheless sends.
    const std::string widest = wireOf({36864, 32767, 0, 16383}) + repeatedGroups(1111, 36864);
    outcome = decode(widest);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.value, std::string(131072, '1') + "." + std::string(16383, '1'));
}

TEST(NumericDecode, RejectsMalformedValues) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"shorter than the header", wireOf({0, 0, 0}) + "\x01"},
        {"a group announced but missing", wireOf({1, 0, 0, 0})},
        {"a group too few", wireOf({3, 0, 0, 0, 1, 2})},
        {"a byte too many", wireOf({1, 0, 0, 0, 5}) + std::string(1, '\0')},
        {"a group too many", wireOf({0, 0, 0, 0, 5})},
        {"group count as negative int16", wireOf({0xFFFF, 0, 0, 0, 1})},
        {"digit 10000", wireOf({2, 0, 0, 0, 1, 10000})},
        {"digit 65535", wireOf({1, 0, 0, 0, 0xFFFF})},
        {"digit 10000 in a NaN", wireOf({1, 0, 0xC000, 0, 10000})},
        {"sign 0x1000", wireOf({1, 0, 0x1000, 0, 5})},
        {"sign 0x8000", wireOf({1, 0, 0x8000, 0, 5})},
        {"sign 0xE000", wireOf({0, 0, 0xE000, 0})},
        {"sign 0xC001", wireOf({0, 0, 0xC001, 0})},
        {"scale 16384", wireOf({1, 0, 0, 0x4000, 5})},
        {"scale 32767", wireOf({1, 0, 0, 0x7FFF, 5})},
    };
    for (const auto& c : cases) {
        const Outcome outcome = decode(c.second);
        EXPECT_FALSE(outcome.ok) << c.first << " gave " << outcome.value;
        EXPECT_FALSE(outcome.error.empty()) << c.first;
        EXPECT_EQ(outcome.value, "untouched") << c.first;
    }
}

// Whatever the bytes, decoding either fails or gives text that encodes back to a value showing
// the same text.  Half the buffers are pure noise; the other half have a consistent length and
// small weights so that they pass the structural checks and reach the formatting.
TEST(NumericDecode, SurvivesArbitraryBytes) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    int accepted = 0;
    for (int round = 0; round < 10000; ++round) {
        std::string bytes;
        if (round % 2 == 0) {
            const int length = std::uniform_int_distribution<int>(0, 24)(rng);
            for (int i = 0; i < length; ++i) bytes.push_back(static_cast<char>(byte(rng)));
        } else {
            const int groups = std::uniform_int_distribution<int>(0, 6)(rng);
            const int weight = std::uniform_int_distribution<int>(-8, 8)(rng);
            const int sign = std::uniform_int_distribution<int>(0, 9)(rng) < 8 ? 0x4000 : 0x0000;
            const int scale = std::uniform_int_distribution<int>(0, 40)(rng);
            bytes = wireOf({groups, weight, sign, scale});
            for (int i = 0; i < groups; ++i) {
                bytes += wireOf({std::uniform_int_distribution<int>(0, 10000)(rng)});
            }
        }
        const Outcome outcome = decode(bytes);
        if (!outcome.ok) continue;
        ++accepted;
        const Outcome reencoded = encode(outcome.value);
        ASSERT_TRUE(reencoded.ok) << hexOf(bytes) << " gave " << outcome.value;
        EXPECT_EQ(decode(reencoded.value).value, outcome.value) << hexOf(bytes);
    }
    EXPECT_GT(accepted, 2000);
}

TEST(NumericEncode, MatchesHandComputedBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0", "0000000000000000"},
        {"-0", "0000000000000000"},
        {"-0.000", "0000000000000003"},
        {"0e1073741822", "0000000000000000"},
        {"1.50", "000200000000000200011388"},
        {"-0.001", "0001ffff40000003000a"},
        {"1e-20", "0001fffb000000140001"},
        {"10000", "00010001000000000001"},
        {"9999.9999", "0002000000000004270f270f"},
        {"12345678.9e-3", "0003000100000004000109291a85"},
        {"123456789012345678901234567890.123",
         "000900070000000300"
         "0c0d801ed204d2162e23340d801ed204ce"},
        {"  -7\t\n", "00010000400000000007"},
        {".5", "0001ffff000000011388"},
        {"1.", "00010000000000000001"},
        {"1.5E1", "0001000000000000000f"},
        // The server reads the exponent with strtol, which skips whitespace before it.
        {"1e 5", "0001000100000000000a"},
        {"1e\v-5", "0001fffe0000000503e8"},
        {"1e131071", "00017fff0000000003e8"},
        {"1e-16383", "0001f00000003fff000a"},
        {"NaN", "00000000c0000000"},
        {" nAn ", "00000000c0000000"},
        // numeric_send gives both infinities display scale 32.
        {"Infinity", "00000000d0000020"},
        {"+inf", "00000000d0000020"},
        {"-INFINITY", "00000000f0000020"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = encode(c.first);
        EXPECT_TRUE(outcome.ok) << '"' << c.first << "\": " << outcome.error;
        EXPECT_EQ(hexOf(outcome.value), c.second) << '"' << c.first << '"';
    }
}

TEST(NumericEncode, RejectsTextThatIsNotANumber) {
    const std::vector<std::string> texts = {
        "",          "   ",   "-",     "+",     ".",     "-.",    "e5",    ".e5",
        "1e",        "1e+",   "1e+ 5", "1e--5", "1e5.5", "1.2.3", "1 2",   "--1",
        "+-1",       "- 1",   "abc",   "1x",    "+NaN",  "-nan",  "nanx",  "infinit",
        "infinityx", "+ inf", "1_000", "0x10",  "１",    "1,5",   "1e5e5", std::string("12\0", 3),
    };
    for (const std::string& text : texts) {
        const Outcome outcome = encode(text);
        EXPECT_FALSE(outcome.ok) << '"' << text << "\" gave " << hexOf(outcome.value);
        EXPECT_EQ(outcome.value, "untouched") << '"' << text << '"';
        EXPECT_NE(outcome.error.find("invalid input syntax"), std::string::npos) << outcome.error;
        if (text.find('\0') == std::string::npos) {
            EXPECT_NE(outcome.error.find('"' + text + '"'), std::string::npos) << outcome.error;
        }
    }
}

TEST(NumericEncode, RejectsValuesOutsidePostgresRange) {
    const std::vector<std::string> texts = {
        "1e131072",
        "10e131071",
        "0.1e131073",
        "1" + std::string(131072, '0'),
        "1e-16384",
        "1.0e-16383",
        "0e-16384",
        "0." + std::string(16384, '0'),
        // The server refuses such exponents before looking at the digits, even for zero.
        "0e1073741823",
        "0e-1073741823",
        "1e99999999999999999999",
        "0e-99999999999999999999",
    };
    for (const std::string& text : texts) {
        const Outcome outcome = encode(text);
        EXPECT_FALSE(outcome.ok) << text.substr(0, 40);
        EXPECT_NE(outcome.error.find("out of range"), std::string::npos) << outcome.error;
    }
}

TEST(NumericEncode, InfinityNeedsServerSupport) {
    for (const char* text : {"Infinity", "-inf", " +INF "}) {
        const Outcome outcome = encode(text, false);
        EXPECT_FALSE(outcome.ok) << text;
        EXPECT_NE(outcome.error.find("infinity"), std::string::npos) << outcome.error;
    }
    EXPECT_TRUE(encode("NaN", false).ok);
    EXPECT_TRUE(encode("-1e5", false).ok);
}

TEST(NumericEncode, ReadsOnlyTheGivenLength) {
    const char text[] = "12345";
    std::string wire;
    std::string error;
    ASSERT_TRUE(encodeNumeric(text, 3, true, wire, error)) << error;
    EXPECT_EQ(hexOf(wire), "0001000000000000007b");
    EXPECT_FALSE(encodeNumeric("1e5", 2, true, wire, error));
    EXPECT_FALSE(encodeNumeric("NaN", 2, true, wire, error));
}

TEST(NumericEncode, ErrorQuotesLongOrControlTextReadably) {
    Outcome outcome = encode(std::string(1000, 'x'));
    EXPECT_LT(outcome.error.size(), 200u) << outcome.error;
    EXPECT_NE(outcome.error.find("xxx\"..."), std::string::npos) << outcome.error;

    // A cut inside a multi-byte character would leave invalid UTF-8 in the message.
    outcome = encode(repeated("\xC3\xA9", 100));
    EXPECT_NE(outcome.error.find("\xC3\xA9\"..."), std::string::npos) << outcome.error;

    outcome = encode("1\x01");
    EXPECT_NE(outcome.error.find("\"1\\x01\""), std::string::npos) << outcome.error;
}

TEST(NumericEncode, LargestValueUsesAnUnsignedGroupCount) {
    const std::string text = std::string(131072, '1') + "." + std::string(16383, '1');
    const Outcome outcome = encode(text);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    // 32768 groups before the point, 4096 after (the last one "1110").
    EXPECT_EQ(hexOf(outcome.value.substr(0, 10)), "90007fff00003fff0457");
    EXPECT_EQ(hexOf(outcome.value.substr(outcome.value.size() - 4)), "04570456");
    EXPECT_EQ(outcome.value.size(), 8u + 2u * 36864u);
    EXPECT_EQ(decode(outcome.value).value, text);
}

// ---------------------------------------------------------------------------------------------
// Agreement with a live server.  The PG* environment names a throwaway server; no connection is
// a failure, not a skip, so that a broken test set-up cannot pass silently.

struct ConnectionCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

// What the server made of one text: null bytes when it refused it.
struct ServerView {
    bool accepted;
    std::string wire;
    std::string text;
};

class ServerNumeric : public ::testing::Test {
  protected:
    void SetUp() override {
        connection_.reset(PQconnectdb(""));
        ASSERT_EQ(PQstatus(connection_.get()), CONNECTION_OK) << PQerrorMessage(connection_.get());
        // Refusals become NULL so that one round trip can carry valid and invalid texts.
        ResultPtr created(PQexec(connection_.get(),
                                 "CREATE FUNCTION pg_temp.numeric_or_null(v text) RETURNS numeric "
                                 "LANGUAGE plpgsql AS $$ BEGIN RETURN v::numeric; EXCEPTION WHEN "
                                 "invalid_text_representation OR numeric_value_out_of_range THEN "
                                 "RETURN NULL; END $$"));
        ASSERT_EQ(PQresultStatus(created.get()), PGRES_COMMAND_OK)
            << PQresultErrorMessage(created.get());
    }

    bool serverHasInfinity() const { return PQserverVersion(connection_.get()) >= 140000; }

    // The server's numeric_send bytes and text for each of `texts` (none containing '|').
    std::vector<ServerView> askServer(const std::vector<std::string>& texts) {
        std::string joined;
        for (size_t i = 0; i < texts.size(); ++i) joined += (i ? "|" : "") + texts[i];
        const char* values[] = {joined.c_str()};
        ResultPtr result(PQexecParams(
            connection_.get(),
            "SELECT numeric_send(x), x::text FROM unnest(string_to_array($1, '|')) "
            "WITH ORDINALITY AS t(v, n), LATERAL pg_temp.numeric_or_null(v) AS x ORDER BY n",
            1, nullptr, values, nullptr, nullptr, 1));
        std::vector<ServerView> views;
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
            ADD_FAILURE() << PQresultErrorMessage(result.get());
            return views;
        }
        for (int row = 0; row < PQntuples(result.get()); ++row) {
            const bool accepted = !PQgetisnull(result.get(), row, 0);
            views.push_back(
                {accepted,
                 std::string(PQgetvalue(result.get(), row, 0), PQgetlength(result.get(), row, 0)),
                 std::string(PQgetvalue(result.get(), row, 1), PQgetlength(result.get(), row, 1))});
        }
        return views;
    }

    // Texts on which the codec and the server disagree, described; empty when they agree on all.
    std::vector<std::string> disagreements(const std::vector<std::string>& texts) {
        const std::vector<ServerView> views = askServer(texts);
        std::vector<std::string> found;
        if (views.size() != texts.size()) {
            found.push_back("server gave " + std::to_string(views.size()) + " rows for " +
                            std::to_string(texts.size()) + " texts");
            return found;
        }
        for (size_t i = 0; i < texts.size(); ++i) {
            const std::string shown = '"' + texts[i].substr(0, 60) + '"';
            const Outcome encoded = encode(texts[i], serverHasInfinity());
            if (encoded.ok != views[i].accepted) {
                found.push_back(shown + (views[i].accepted
                                             ? " refused by the codec: " + encoded.error
                                             : " refused by the server only"));
                continue;
            }
            if (!encoded.ok) continue;
            if (encoded.value != views[i].wire) {
                found.push_back(shown + " encodes to " + hexOf(encoded.value).substr(0, 80) +
                                ", server sends " + hexOf(views[i].wire).substr(0, 80));
            }
            const Outcome decoded = decode(views[i].wire);
            if (!decoded.ok || decoded.value != views[i].text) {
                found.push_back(shown + " decodes to " +
                                (decoded.ok ? decoded.value.substr(0, 60) : decoded.error) +
                                ", server shows " + views[i].text.substr(0, 60));
            }
        }
        return found;
    }

    std::unique_ptr<PGconn, ConnectionCloser> connection_;
};

std::string listed(const std::vector<std::string>& items, size_t most = 10) {
    std::string out;
    for (size_t i = 0; i < items.size() && i < most; ++i) out += "\n  " + items[i];
    if (items.size() > most) out += "\n  ... " + std::to_string(items.size() - most) + " more";
    return out;
}

TEST_F(ServerNumeric, ChosenTextsMatchServer) {
    const std::vector<std::string> texts = {
        "0",
        "0.5",
        "-0.001",
        "1e-20",
        "123456789012345678901234567890.123",
        "NaN",
        "Infinity",
        "-Infinity",
        "1.50",
        "-0",
        "00012.3400",
        "9999.9999",
        "1e5",
        "12345678.9e-3",
        " -7 ",
        "1e 5",
        "1e\t+5",
        ".5",
        "1.",
        "-0.000",
        "0e-16383",
        "1e131071",
        "9.99e131071",
        "1e-16383",
        "0.00009999",
        "99999999.99999999",
        "-inf",
        "nan",
        "1E-0004",
        "10000e-4",
        "1e131072",
        "1e-16384",
        "0e1073741822",
        "0e1073741823",
        "abc",
        "+NaN",
        "1e",
        "",
        std::string(1000, '7') + "." + std::string(1000, '3'),
    };
    const std::vector<std::string> found = disagreements(texts);
    EXPECT_TRUE(found.empty()) << listed(found);
}

TEST_F(ServerNumeric, WidestValueMatchesServer) {
    const std::vector<std::string> found =
        disagreements({std::string(131072, '9') + "." + std::string(16383, '9')});
    EXPECT_TRUE(found.empty()) << listed(found);
}

// Random texts, mostly numbers, some spoiled: digit runs heavy in zeros and nines (to exercise
// group stripping and carries), points, exponents near the range limits, whitespace, signs, and
// the special words.
std::string randomNumericText(std::mt19937& rng) {
    auto chance = [&rng](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
    };
    auto pick = [&rng](const std::string& choices) {
        return choices[std::uniform_int_distribution<size_t>(0, choices.size() - 1)(rng)];
    };
    auto digits = [&](int most) {
        std::string run;
        const int length = std::uniform_int_distribution<int>(0, most)(rng);
        const std::string alphabet = chance(40) ? "0009" : "0123456789";
        for (int i = 0; i < length; ++i) run += pick(alphabet);
        return run;
    };
    std::string text;
    if (chance(10)) text += pick(" \t\n");
    if (chance(30)) text += pick("+-");
    if (chance(4)) {
        const std::string word = chance(50) ? "nan" : chance(50) ? "inf" : "infinity";
        for (char c : word) text += chance(50) ? static_cast<char>(c - 'a' + 'A') : c;
    } else {
        text += digits(24);
        if (chance(60)) text += "." + digits(24);
        if (chance(35)) {
            text += pick("eE");
            if (chance(50)) text += pick("+-");
            int exponent = std::uniform_int_distribution<int>(0, 40)(rng);
            if (chance(3)) exponent = std::uniform_int_distribution<int>(16370, 16400)(rng);
            if (chance(1)) exponent = std::uniform_int_distribution<int>(131040, 131080)(rng);
            text += (chance(10) ? "00" : "") + std::to_string(exponent);
        }
    }
    if (chance(3)) {
        const size_t at = std::uniform_int_distribution<size_t>(0, text.size())(rng);
        text.insert(at, 1, pick("x.+-e "));
    }
    if (chance(10)) text += pick(" \r\n");
    return text;
}

TEST_F(ServerNumeric, RandomTextsMatchServer) {
    std::mt19937 rng(7919);
    std::vector<std::string> texts;
    for (int i = 0; i < 4000; ++i) texts.push_back(randomNumericText(rng));
    const std::vector<std::string> found = disagreements(texts);
    EXPECT_TRUE(found.empty()) << found.size() << " of " << texts.size() << listed(found);
}

}  // namespace
}  // namespace vorlex
