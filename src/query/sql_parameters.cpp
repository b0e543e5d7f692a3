// SPDX-License-Identifier: BSD-3-Clause
// sql_parameters.cpp - scans of SQL text: its parameter references, and
// whether it is a plain query.
#include "query/sql_parameters.hpp"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cstring>

namespace vorlex {

namespace {

// Letters, digits, "_", "$" and every byte of a multibyte character can
// continue an identifier, so "a$1" holds no parameter.
bool continuesIdentifier(char c) {
    auto byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) || c == '_' || c == '$' || byte >= 0x80;
}

bool startsTag(char c) {
    auto byte = static_cast<unsigned char>(c);
    return std::isalpha(byte) || c == '_' || byte >= 0x80;
}

bool continuesTag(char c) { return c != '$' && continuesIdentifier(c); }

// Each skip takes the position of the opening character and returns the
// position after the construct (the text's end when it is unterminated).

size_t skipQuoted(const std::string& sql, size_t at, char quote, bool backslashEscapes) {
    for (size_t i = at + 1; i < sql.size(); ++i) {
        if (backslashEscapes && sql[i] == '\\') {
            ++i;
        } else if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    }
    return sql.size();
}

size_t skipLineComment(const std::string& sql, size_t at) {
    size_t end = sql.find('\n', at);
    return end == std::string::npos ? sql.size() : end + 1;
}

// Block comments nest.
size_t skipBlockComment(const std::string& sql, size_t at) {
    int depth = 0;
    for (size_t i = at; i + 1 < sql.size(); ++i) {
        if (sql[i] == '/' && sql[i + 1] == '*') {
            ++depth;
            ++i;
        } else if (sql[i] == '*' && sql[i + 1] == '/') {
            ++i;
            if (--depth == 0) return i + 1;
        }
    }
    return sql.size();
}

// "$tag$" or "$$" at `at`: the position after the closing delimiter, or
// `at` when no delimiter starts there.
size_t skipDollarQuoted(const std::string& sql, size_t at) {
    size_t i = at + 1;
    if (i < sql.size() && startsTag(sql[i]))
        while (i < sql.size() && continuesTag(sql[i])) ++i;
    if (i >= sql.size() || sql[i] != '$') return at;
    std::string delimiter = sql.substr(at, i + 1 - at);
    size_t end = sql.find(delimiter, i + 1);
    return end == std::string::npos ? sql.size() : end + delimiter.size();
}

bool isEscapeStringPrefix(const std::string& sql, size_t quote) {
    return quote >= 1 && (sql[quote - 1] == 'E' || sql[quote - 1] == 'e') &&
           (quote == 1 || !continuesIdentifier(sql[quote - 2]));
}

// Walks the text as the server's lexer does, calling `visit` at each
// character outside quotes and comments; `visit` returns the position to go
// on from.
template <class Visit>
void walkCode(const std::string& sql, Visit visit) {
    size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        if (c == '\'') {
            i = skipQuoted(sql, i, '\'', isEscapeStringPrefix(sql, i));
        } else if (c == '"') {
            i = skipQuoted(sql, i, '"', false);
        } else if (c == '-' && next == '-') {
            i = skipLineComment(sql, i);
        } else if (c == '/' && next == '*') {
            i = skipBlockComment(sql, i);
        } else if (c == '$' && !(i > 0 && continuesIdentifier(sql[i - 1])) &&
                   skipDollarQuoted(sql, i) != i) {
            i = skipDollarQuoted(sql, i);
        } else {
            i = visit(i);
        }
    }
}

bool isWord(const std::string& sql, size_t at, size_t length, const char* word) {
    return std::strlen(word) == length && strncasecmp(sql.data() + at, word, length) == 0;
}

}  // namespace

long highestParameter(const std::string& sql) {
    long highest = 0;
    walkCode(sql, [&](size_t i) {
        bool afterWord = i > 0 && continuesIdentifier(sql[i - 1]);
        if (sql[i] != '$' || afterWord || i + 1 >= sql.size() ||
            !std::isdigit(static_cast<unsigned char>(sql[i + 1])))
            return i + 1;
        long n = 0;
        for (++i; i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i])); ++i)
            n = n > (LONG_MAX - 9) / 10 ? LONG_MAX : n * 10 + (sql[i] - '0');
        if (n > highest) highest = n;
        return i;
    });
    return highest;
}

bool isPlainQuery(const std::string& sql) {
    bool first = true;
    bool plain = true;
    walkCode(sql, [&](size_t i) {
        char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) return i + 1;
        if (c == ';') plain = false;
        if (!startsTag(c) || (i > 0 && continuesIdentifier(sql[i - 1]))) {
            if (first && c != '(') plain = false;
            first = false;
            return i + 1;
        }
        size_t end = i;
        while (end < sql.size() && continuesIdentifier(sql[end])) ++end;
        size_t length = end - i;
        if (first && !isWord(sql, i, length, "select") && !isWord(sql, i, length, "with") &&
            !isWord(sql, i, length, "values") && !isWord(sql, i, length, "table"))
            plain = false;
        for (const char* changing : {"insert", "update", "delete", "merge", "into"})
            if (isWord(sql, i, length, changing)) plain = false;
        first = false;
        return end;
    });
    return plain && !first;
}

}  // namespace vorlex
