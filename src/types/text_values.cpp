// SPDX-License-Identifier: BSD-3-Clause
// text_values.cpp - readings of a text-format value by type OID.
#include "types/text_values.hpp"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "types/type_catalogue.hpp"

namespace vorlex {

namespace {

// Characters an array element's number may start with (digits, signs, the
// point, and the letters of Infinity and NaN) and those it may hold, which
// add the exponent's E.
constexpr char kNumberStart[] = "IFITYifitynaNA0123456789.+-";
constexpr char kNumberBody[] = "IFITYifityEenaNA0123456789.+-";

// The letters of NULL, which mark an array with NULL elements.
constexpr char kNullLetters[] = "ULul";

bool inSet(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

// strspn and strcspn bounded by `length` instead of a NUL.
size_t spanOf(const char* text, size_t length, const char* set) {
    size_t n = 0;
    while (n < length && inSet(text[n], set)) ++n;
    return n;
}

size_t spanNotOf(const char* text, size_t length, const char* set) {
    size_t n = 0;
    while (n < length && !inSet(text[n], set)) ++n;
    return n;
}

size_t countOf(const char* text, size_t length, char c) {
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) n += text[i] == c;
    return n;
}

bool holdsAnyOf(const char* text, size_t length, const char* set) {
    return spanNotOf(text, length, set) < length;
}

// Whether `c` is the lower-case letter `lower` in either case.
bool isLetter(char c, char lower) { return std::tolower(static_cast<unsigned char>(c)) == lower; }

TextValue rawText() { return TextValue{}; }

TextValue integerValue(TextValueKind kind, int64_t value) {
    TextValue out;
    out.kind = kind;
    out.integer = value;
    return out;
}

TextValue truncatedArray() {
    TextValue out;
    out.kind = TextValueKind::truncatedArray;
    return out;
}

// atoi's reading (blanks, a sign, then the digits up to the first other
// character) on bounded text; out-of-range values stop at the nearest
// limit instead of overflowing.
int64_t leadingInteger(const char* text, size_t length, int64_t least, int64_t most) {
    size_t p = 0;
    while (p < length && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
    bool negative = p < length && text[p] == '-';
    if (p < length && (text[p] == '-' || text[p] == '+')) ++p;
    uint64_t limit =
        negative ? static_cast<uint64_t>(-(least + 1)) + 1 : static_cast<uint64_t>(most);
    uint64_t magnitude = 0;
    for (; p < length && std::isdigit(static_cast<unsigned char>(text[p])); ++p) {
        unsigned digit = static_cast<unsigned>(text[p] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (!negative || magnitude == 0) return static_cast<int64_t>(magnitude);
    return -static_cast<int64_t>(magnitude - 1) - 1;
}

// atof's reading of bounded text.  The copy supplies the NUL strtod needs;
// the host runs with the C numeric locale, so the point is '.'.
double leadingDouble(const char* text, size_t length) {
    std::string copy(text, length);
    return std::strtod(copy.c_str(), nullptr);
}

// A float as the server writes it: `rest` characters are left in the text,
// the first `numberLength` of them form the number.  Infinities and NaN are
// told by their first letter, so any spelling and case reads.
double floatFromText(const char* text, size_t rest, size_t numberLength) {
    if (rest == 0) return 0;
    if (text[0] == '-' && rest >= 2)
        return isLetter(text[1], 'i') ? -std::numeric_limits<double>::infinity()
                                      : leadingDouble(text, numberLength);
    if (isLetter(text[0], 'i')) return std::numeric_limits<double>::infinity();
    if (isLetter(text[0], 'n')) return std::numeric_limits<double>::quiet_NaN();
    return leadingDouble(text, numberLength);
}

// The quoted elements of a one-dimensional text array, as written between
// their quotes (escapes kept).  False for any other form: an unquoted
// element (the server writes those that need no quotes bare, NULL among
// them), the empty array, an unterminated quote or text after the brace.
bool quotedElements(const char* text, size_t length, std::vector<std::string>& lines) {
    size_t p = 1;  // past the opening brace
    while (true) {
        if (p >= length || text[p] != '"') return false;
        size_t start = ++p;
        while (p < length && text[p] != '"') p += text[p] == '\\' ? 2 : 1;
        if (p >= length) return false;
        lines.emplace_back(text + start, p - start);
        ++p;  // past the closing quote
        if (p + 1 == length && text[p] == '}') return true;
        if (p >= length || text[p] != ',') return false;
        ++p;
    }
}

// The readings by the catalogue's TextValueReading, in its order.
using TextReading = TextValue (*)(const char* text, size_t length);
TextValue readAsText(const char*, size_t) { return rawText(); }
const TextReading textReadings[] = {readAsText,    readInt8Text,         readInt4Text,
                                    readFloatText, readNumericArrayText, readTextArrayText};

TextValue readBy(TextValueReading reading, const char* text, size_t length) {
    return textReadings[static_cast<size_t>(reading)](text, length);
}

}  // namespace

TextValue readInt8Text(const char* text, size_t length) {
    if (length == 0 || isLetter(text[0], 'n')) return rawText();
    return integerValue(TextValueKind::int64Scalar,
                        leadingInteger(text, length, std::numeric_limits<int64_t>::min(),
                                       std::numeric_limits<int64_t>::max()));
}

TextValue readInt4Text(const char* text, size_t length) {
    if (length == 0 || isLetter(text[0], 'n')) return rawText();
    return integerValue(TextValueKind::int32Scalar,
                        leadingInteger(text, length, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

TextValue readFloatText(const char* text, size_t length) {
    if (length == 0 || (length >= 2 && isLetter(text[0], 'n') && isLetter(text[1], 'u')))
        return rawText();
    TextValue out;
    out.kind = TextValueKind::doubleScalar;
    out.number = floatFromText(text, length, length);
    return out;
}

// One brace opens a one-dimensional array, which becomes a column; two open
// a two-dimensional one, whose inner arrays become the rows.  The sizes come
// from the first inner array (its commas give the columns) and the count of
// opening braces (the rows); the elements are then read in written order.
TextValue readNumericArrayText(const char* text, size_t length) {
    size_t braces = spanOf(text, length, "{");
    // No brace: NULL, or an array written with explicit bounds.
    if (braces == 0 || braces > 2 || holdsAnyOf(text, length, kNullLetters)) return rawText();
    size_t firstClose = spanNotOf(text, length, "}");
    if (braces == 1 && firstClose == 1) return rawText();  // {}

    size_t firstCount = 1 + countOf(text, firstClose, ',');
    size_t rows = braces == 1 ? firstCount : countOf(text + 1, length - 1, '{');
    size_t columns = braces == 1 ? 1 : firstCount;
    // Every element takes at least one character: a size the text cannot
    // hold is refused before anything is allocated for it.
    if (rows > length / columns) return truncatedArray();

    TextValue out;
    out.kind = TextValueKind::doubleMatrix;
    out.rows = rows;
    out.columns = columns;
    out.matrix.resize(rows * columns);
    size_t p = 0;
    for (size_t k = 0; k < rows * columns; ++k) {
        p += spanNotOf(text + p, length - p, kNumberStart);
        size_t numberLength = spanOf(text + p, length - p, kNumberBody);
        out.matrix[k / columns + (k % columns) * rows] =
            floatFromText(text + p, length - p, numberLength);
        p += numberLength;
        if (p >= length) return truncatedArray();
    }
    return out;
}

TextValue readTextArrayText(const char* text, size_t length) {
    // Exactly one brace: no brace is NULL or explicit bounds, more are
    // several dimensions.
    if (spanOf(text, length, "{") != 1) return rawText();
    TextValue out;
    if (!quotedElements(text, length, out.lines)) return rawText();
    out.kind = TextValueKind::textRows;
    return out;
}

namespace {

// Reads an array literal a character at a time.
class LiteralReader {
  public:
    LiteralReader(const char* text, size_t length, ArrayLiteral& literal, std::string& error)
        : text_(text), length_(length), literal_(literal), error_(error) {}

    bool read() {
        literal_ = ArrayLiteral{};
        skipBounds();
        skipBlanks();
        literal_.ndims = static_cast<int>(spanOf(text_ + p_, length_ - p_, "{"));
        if (literal_.ndims == 0) return fail("an array starts with {");
        if (literal_.ndims > kMostLiteralDims) return fail("an array has at most 6 dimensions");
        if (!readLevel(0)) return false;
        skipBlanks();
        if (p_ != length_) return fail("text follows the array's closing brace");
        // "{}": the empty array has no dimensions.
        if (literal_.ndims == 1 && literal_.dims[0] == 0) literal_.ndims = 0;
        return true;
    }

  private:
    char next() const { return p_ < length_ ? text_[p_] : '\0'; }
    bool fail(const char* reason) {
        error_ = std::string("the array text is malformed: ") + reason;
        return false;
    }
    void skipBlanks() {
        while (p_ < length_ && std::isspace(static_cast<unsigned char>(text_[p_]))) ++p_;
    }
    // "[1:2][0:3]=" before the braces.
    void skipBounds() {
        if (next() != '[') return;
        size_t equals = spanNotOf(text_, length_, "=");
        if (equals < length_) p_ = equals + 1;
    }

    // The braces of dimension `level` and what they hold.
    bool readLevel(int level) {
        if (next() != '{') return fail("a sub-array is missing its {");
        ++p_;
        skipBlanks();
        size_t count = 0;
        bool inner = level + 1 < literal_.ndims;
        bool empty = next() == '}' && level == 0 && !inner;
        while (!empty) {
            if (!(inner ? readLevel(level + 1) : readElement())) return false;
            ++count;
            skipBlanks();
            if (next() != ',') break;
            ++p_;
            skipBlanks();
        }
        if (next() != '}') return fail("an element is not followed by , or }");
        ++p_;
        if (inner || level > 0 || count > 0) {
            size_t& extent = literal_.dims[level];
            // The first sub-array of a dimension sets its extent.
            bool first = extent == 0;
            if (count == 0 || (!first && extent != count))
                return fail("the sub-arrays differ in length");
            extent = count;
        }
        return true;
    }

    // A quoted or bare element; a bare NULL, in any case, is a NULL.
    bool readElement() {
        std::string value;
        bool quoted = next() == '"';
        if (quoted) {
            ++p_;
            while (p_ < length_ && text_[p_] != '"') {
                if (text_[p_] == '\\' && ++p_ == length_) break;
                value += text_[p_++];
            }
            if (p_ == length_) return fail("a quoted element is not closed");
            ++p_;
        } else {
            bool escaped = false;
            size_t kept = 0;  // the length without trailing blanks
            while (p_ < length_ && !inSet(text_[p_], ",}{\"")) {
                if (text_[p_] == '\\') {
                    if (++p_ == length_) break;
                    escaped = true;
                    kept = value.size() + 1;
                } else if (!std::isspace(static_cast<unsigned char>(text_[p_]))) {
                    kept = value.size() + 1;
                }
                value += text_[p_++];
            }
            value.resize(kept);
            if (value.empty()) return fail("an element is empty");
            if (!escaped && value.size() == 4 && isLetter(value[0], 'n') &&
                isLetter(value[1], 'u') && isLetter(value[2], 'l') && isLetter(value[3], 'l')) {
                literal_.elements.emplace_back();
                literal_.isNull.push_back(true);
                return true;
            }
        }
        literal_.elements.push_back(std::move(value));
        literal_.isNull.push_back(false);
        return true;
    }

    const char* text_;
    size_t length_;
    size_t p_ = 0;
    ArrayLiteral& literal_;
    std::string& error_;
};

}  // namespace

bool parseArrayLiteral(const char* text, size_t length, ArrayLiteral& literal, std::string& error) {
    return LiteralReader(text, length, literal, error).read();
}

TextValue readTextValue(uint32_t typeOid, const char* text, size_t length) {
    if (const PgType* type = typeOfOid(typeOid))
        return readBy(type->reading.textValue, text, length);
    if (const PgType* type = typeOfArrayOid(typeOid))
        return readBy(type->reading.arrayTextValue, text, length);
    return rawText();
}

void appendQuotedElement(std::string& literal, const std::string& element) {
    literal += '"';
    for (char c : element) {
        if (c == '"' || c == '\\') literal += '\\';
        literal += c;
    }
    literal += '"';
}

}  // namespace vorlex
