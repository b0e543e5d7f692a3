// SPDX-License-Identifier: BSD-3-Clause
// text_forms.hpp - types outside the catalogue that are read as the text
// the server would write for them, decoded from their binary forms.
//
// query reads these without asking the server for text results: jsonb
// (a version byte and the text), uuid, interval, inet, cidr, macaddr and
// macaddr8.  Each decoder writes what the server's output function writes
// with its default settings (IntervalStyle postgres).
#pragma once

#include <cstddef>
#include <string>

#include "types/codecs.hpp"

namespace vorlex {

// Decodes one binary value into its text; false, with the reason in
// `error`, for a value of the wrong length or form.
using TextDecoder = bool (*)(const char* bytes, size_t length, std::string& text,
                             std::string& error);

bool jsonbText(const char* bytes, size_t length, std::string& text, std::string& error);
bool uuidText(const char* bytes, size_t length, std::string& text, std::string& error);
bool intervalText(const char* bytes, size_t length, std::string& text, std::string& error);
bool inetText(const char* bytes, size_t length, std::string& text, std::string& error);
bool macaddrText(const char* bytes, size_t length, std::string& text, std::string& error);

struct TextForm {
    const char* name;  // the server's type name
    Oid oid;
    Oid arrayOid;
    TextDecoder decode;
};

// The form of a type OID, or of an array type OID, or null.
const TextForm* textFormOfOid(Oid oid);
const TextForm* textFormOfArrayOid(Oid arrayOid);

// The server's name of a type the module knows without asking: the rows of
// the catalogue and the text forms, arrays named as the server names them
// ("_int4"); empty for any other OID.
std::string knownTypeName(Oid oid);

}  // namespace vorlex
