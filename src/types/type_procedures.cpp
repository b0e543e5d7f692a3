// SPDX-License-Identifier: BSD-3-Clause
// type_procedures.cpp - libpqtypes procedures of the scalar gateway types.
//
// libpqtypes calls these from inside PQputf and PQgetf: they report a
// failure through args->errorf and return -1, never by raising.
#include "types/type_procedures.hpp"

#include <cstring>
#include <new>
#include <string>

#include "types/codec_numeric.hpp"
#include "types/codecs.hpp"

namespace vorlex {

namespace {

using DatenumEncoder = void (*)(char* out, double datenum, bool integerDatetimes);
using DatenumDecoder = double (*)(const char* in, bool integerDatetimes);

void encodeDateOnly(char* out, double datenum, bool) { encodeDate(out, datenum); }
double decodeDateOnly(const char* in, bool) { return decodeDate(in); }

void encodeTimeWithZone(char* out, double datenum, bool integerDatetimes) {
    encodeTime(out, datenum, integerDatetimes);
    std::memset(out + 8, 0, 4);  // zone offset: always UTC
}

// The pointer form carries NULL only: libpqtypes keeps a pointer-form
// value by reference instead of copying it, and a date number is not in
// wire form, so there is nothing it could point to.
int putDatenum(PGtypeArgs* args, DatenumEncoder encode, int width) {
    double value;
    if (args->is_ptr) {
        if (va_arg(args->ap, double*)) {
            return args->errorf(args, "the pointer form of %s.%s sends NULL only",
                                args->typhandler->typschema, args->typhandler->typname);
        }
        args->put.out = nullptr;
        return 0;
    }
    value = va_arg(args->ap, double);
    encode(args->put.out, value, args->fmtinfo->integer_datetimes != 0);
    return width;
}

// The field of a date/time get, checked: binary, of one of the lengths
// the type has.
const char* binaryField(PGtypeArgs* args, int width, int otherWidth) {
    const PGresult* result = args->get.result;
    int row = args->get.tup_num, field = args->get.field_num;
    if (PQfformat(result, field) == 0) {
        args->errorf(args, "column %d is in text format; binary results are needed", field);
        return nullptr;
    }
    int length = PQgetlength(result, row, field);
    if (length != width && length != otherWidth) {
        args->errorf(args, "a %s value must have %d bytes, the server sent %d",
                     args->typhandler->typname, width, length);
        return nullptr;
    }
    return PQgetvalue(result, row, field);
}

int getDatenum(PGtypeArgs* args, DatenumDecoder decode, int width, int otherWidth) {
    auto* out = va_arg(args->ap, double*);
    const char* bytes = binaryField(args, width, otherWidth);
    if (!bytes) return -1;
    *out = decode(bytes, args->fmtinfo->integer_datetimes != 0);
    return 0;
}

}  // namespace

int putDatenumTimestamp(PGtypeArgs* args) { return putDatenum(args, encodeTimestamp, 8); }
int putDatenumTime(PGtypeArgs* args) { return putDatenum(args, encodeTime, 8); }
int putDatenumTimetz(PGtypeArgs* args) { return putDatenum(args, encodeTimeWithZone, 12); }
int putDatenumDate(PGtypeArgs* args) { return putDatenum(args, encodeDateOnly, 4); }
int getDatenumTimestamp(PGtypeArgs* args) { return getDatenum(args, decodeTimestamp, 8, 8); }
// timetz: the zone that follows the time is dropped.
int getDatenumTime(PGtypeArgs* args) { return getDatenum(args, decodeTime, 8, 12); }
int getDatenumDate(PGtypeArgs* args) { return getDatenum(args, decodeDateOnly, 4, 4); }

// numeric takes and gives decimal text (a char*, null meaning NULL) and
// travels in binary.
int putNumericText(PGtypeArgs* args) {
    const char* text = va_arg(args->ap, const char*);
    if (!text) {
        args->put.out = nullptr;
        return 0;
    }
    try {
        std::string wire, error;
        if (!encodeNumeric(text, std::strlen(text), args->fmtinfo->sversion >= 140000, wire, error))
            return args->errorf(args, "%s", error.c_str());
        if (args->put.expandBuffer(args, static_cast<int>(wire.size())) == -1) return -1;
        std::memcpy(args->put.out, wire.data(), wire.size());
        return static_cast<int>(wire.size());
    } catch (const std::bad_alloc&) {
        return args->errorf(args, "out of memory");
    }
}

// The text is kept in the result's own memory, so it lives as long as the
// result, like every text libpqtypes gives.
int getNumericText(PGtypeArgs* args) {
    auto* out = va_arg(args->ap, char**);
    PGresult* result = args->get.result;
    int row = args->get.tup_num, field = args->get.field_num;
    char* bytes = PQgetvalue(result, row, field);
    if (PQfformat(result, field) == 0) {
        *out = bytes;
        return 0;
    }
    try {
        std::string text, error;
        if (!decodeNumeric(reinterpret_cast<const unsigned char*>(bytes),
                           static_cast<size_t>(PQgetlength(result, row, field)), text, error))
            return args->errorf(args, "%s", error.c_str());
        auto* copy = static_cast<char*>(PQresultAlloc(result, text.size() + 1));
        if (!copy) return args->errorf(args, "out of memory");
        std::memcpy(copy, text.c_str(), text.size() + 1);
        *out = copy;
        return 0;
    } catch (const std::bad_alloc&) {
        return args->errorf(args, "out of memory");
    }
}

int putNullOnly(PGtypeArgs* args) {
    if (args->is_ptr && !va_arg(args->ap, const void*)) {
        args->put.out = nullptr;
        return 0;
    }
    return args->errorf(args, "%s.%s sends NULL only: give it a null pointer",
                        args->typhandler->typschema, args->typhandler->typname);
}

int getRefused(PGtypeArgs* args) {
    return args->errorf(args, "%s.%s cannot be read; name the column's own type",
                        args->typhandler->typschema, args->typhandler->typname);
}

}  // namespace vorlex
