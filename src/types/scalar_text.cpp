// SPDX-License-Identifier: BSD-3-Clause
// scalar_text.cpp - bytea text into bytes.
#include "types/scalar_text.hpp"

namespace vorlex {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool byteaFromText(const char* text, size_t length, std::string& bytes, std::string& error) {
    if (length < 2 || text[0] != '\\' || text[1] != 'x' || length % 2 != 0) {
        error = "bytea text must be hex (\\x...), as the server writes it with bytea_output hex";
        return false;
    }
    bytes.resize((length - 2) / 2);
    for (size_t k = 0; k < bytes.size(); ++k) {
        int high = hexDigit(text[2 + 2 * k]), low = hexDigit(text[3 + 2 * k]);
        if (high < 0 || low < 0) {
            error = "bytea text holds a character that is not a hex digit";
            return false;
        }
        bytes[k] = static_cast<char>(high * 16 + low);
    }
    return true;
}

}  // namespace vorlex
