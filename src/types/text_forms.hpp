// SPDX-License-Identifier: BSD-3-Clause
// text_forms.hpp - the decoders of the types read as the text the server
// would write for them, decoded from their binary forms (the catalogue's
// text-form rows, type_catalogue.hpp).
//
// query reads these without asking the server for text results: jsonb
// (a version byte and the text), uuid, interval, inet, cidr, macaddr and
// macaddr8.  Each decoder writes what the server's output function writes
// with its default settings (IntervalStyle postgres); false, with the
// reason in `error`, for a value of the wrong length or form.
#pragma once

#include <cstddef>
#include <string>

#include "types/codecs.hpp"

namespace vorlex {

bool jsonbText(const char* bytes, size_t length, std::string& text, std::string& error);
bool uuidText(const char* bytes, size_t length, std::string& text, std::string& error);
bool intervalText(const char* bytes, size_t length, std::string& text, std::string& error);
bool inetText(const char* bytes, size_t length, std::string& text, std::string& error);
bool macaddrText(const char* bytes, size_t length, std::string& text, std::string& error);

}  // namespace vorlex
