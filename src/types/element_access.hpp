// SPDX-License-Identifier: BSD-3-Clause
// element_access.hpp - reading and storing elements of Octave array data
// by index, and the length check of fixed-width wire elements.  Shared by
// the fixed-width codecs.
#pragma once

#include <cstring>
#include <string>

#include "types/codecs.hpp"

namespace vorlex {

// memcpy, because the data need not be aligned for T (a column slice may
// start anywhere).
template <typename T>
T elementAt(const ElementSource& source, size_t index) {
    T value;
    std::memcpy(&value, static_cast<const char*>(source.data) + index * sizeof(T), sizeof(T));
    return value;
}

template <typename T>
void storeAt(const ElementTarget& target, size_t index, T value) {
    std::memcpy(static_cast<char*>(target.data) + index * sizeof(T), &value, sizeof(T));
}

inline bool checkElementLength(size_t length, size_t width, const char* type, std::string& error) {
    if (length == width) return true;
    error = std::string("a ") + type + " value must have " + std::to_string(width) +
            " bytes, the server sent " + std::to_string(length);
    return false;
}

}  // namespace vorlex
