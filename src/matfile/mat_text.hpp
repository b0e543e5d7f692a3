// SPDX-License-Identifier: BSD-3-Clause
// mat_text.hpp - the text of char data between UTF-8 and UTF-16.
//
// Octave's chars are UTF-8 bytes, MATLAB's UTF-16 units; MAT-files hold
// either.  The conversions are templates over where the units go, since the
// host's text type (std::basic_string<mxChar>) differs between the two.
#pragma once

#include <cstddef>
#include <cstdint>

#include "matfile/mat_format.hpp"

namespace vorlex::matfile {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Reads the code point that strict UTF-8 encodes at `at` and moves past it;
// false for overlong forms, surrogates, values beyond U+10FFFF and cut or
// stray bytes.
bool nextUtf8(const unsigned char*& at, const unsigned char* end, uint32_t& code);

// Hands `emit` the UTF-16 units of the UTF-8 text; false (after some units
// perhaps) when the text is not strict UTF-8.
template <typename Emit>
bool utf8ToUtf16(const unsigned char* bytes, size_t count, Emit emit) {
    const unsigned char* end = bytes + count;
    uint32_t code;
    while (bytes < end) {
        if (!nextUtf8(bytes, end, code)) return false;
        if (code < 0x10000) {
            emit(static_cast<uint16_t>(code));
        } else {
            code -= 0x10000;
            emit(static_cast<uint16_t>(0xD800 | (code >> 10)));
            emit(static_cast<uint16_t>(0xDC00 | (code & 0x3FF)));
        }
    }
    return true;
}

template <typename Text>
void appendUtf8(uint32_t code, Text& out) {
    using Unit = typename Text::value_type;
    if (code < 0x80) {
        out.push_back(static_cast<Unit>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<Unit>(0xC0 | (code >> 6)));
        out.push_back(static_cast<Unit>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<Unit>(0xE0 | (code >> 12)));
        out.push_back(static_cast<Unit>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<Unit>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<Unit>(0xF0 | (code >> 18)));
        out.push_back(static_cast<Unit>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<Unit>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<Unit>(0x80 | (code & 0x3F)));
    }
}

// Appends the UTF-8 form of `units` little-endian UTF-16 units; a surrogate
// without its partner becomes U+FFFD.
template <typename Text>
void appendUtf16AsUtf8(const unsigned char* data, size_t units, Text& out) {
    for (size_t i = 0; i < units; ++i) {
        uint32_t unit = loadLittle16(data + 2 * i);
        uint32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = loadLittle16(data + 2 * (i + 1));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                code = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) code = kReplacementCharacter;
        appendUtf8(code, out);
    }
}

}  // namespace vorlex::matfile
