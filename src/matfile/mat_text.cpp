// SPDX-License-Identifier: BSD-3-Clause
// mat_text.cpp - the strict UTF-8 reader behind the text conversions.
#include "matfile/mat_text.hpp"

namespace vorlex::matfile {

bool nextUtf8(const unsigned char*& at, const unsigned char* end, uint32_t& code) {
    unsigned char lead = *at;
    if (lead < 0x80) {
        code = lead;
        ++at;
        return true;
    }
    size_t length;
    uint32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, code = lead & 0x07;
    } else {
        return false;
    }
    if (static_cast<size_t>(end - at) < length) return false;
    for (size_t i = 1; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80) return false;
        code = (code << 6) | (at[i] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    at += length;
    return true;
}

}  // namespace vorlex::matfile
