// SPDX-License-Identifier: BSD-3-Clause
// host_classes.hpp - the host's classes: their names, and what the module
// keeps per element of one.
#pragma once

#include <mex.h>

#include <cstddef>

namespace vorlex {

// Bytes per element of a class as the module holds it: a char is one byte
// of UTF-8 whatever the host's char; a cell's elements are arrays of their
// own (0).
inline size_t classElementSize(mxClassID classId) {
    switch (classId) {
        case mxCELL_CLASS:
            return 0;
        case mxCHAR_CLASS:
        case mxLOGICAL_CLASS:
        case mxUINT8_CLASS:
            return 1;
        case mxINT16_CLASS:
            return 2;
        case mxINT32_CLASS:
        case mxSINGLE_CLASS:
            return 4;
        default:
            return 8;
    }
}

// Whether `array` is of class `classId`: Octave finds an array's class
// number by comparing its class name with every class's, which this
// asks only for classes the module has no question of its own for.
inline bool isOfClass(const mxArray* array, mxClassID classId) {
    switch (classId) {
        case mxCHAR_CLASS:
            return mxIsChar(array);
        case mxUINT8_CLASS:
            return mxIsUint8(array);
        case mxLOGICAL_CLASS:
            return mxIsLogical(array);
        case mxDOUBLE_CLASS:
            return mxIsDouble(array);
        case mxCELL_CLASS:
            return mxIsCell(array);
        default:
            return mxGetClassID(array) == classId;
    }
}

// A class's name as the host writes it ("?" for one no value of the module
// has).
inline const char* classIdName(mxClassID classId) {
    switch (classId) {
        case mxLOGICAL_CLASS:
            return "logical";
        case mxCHAR_CLASS:
            return "char";
        case mxDOUBLE_CLASS:
            return "double";
        case mxSINGLE_CLASS:
            return "single";
        case mxUINT8_CLASS:
            return "uint8";
        case mxINT16_CLASS:
            return "int16";
        case mxINT32_CLASS:
            return "int32";
        case mxINT64_CLASS:
            return "int64";
        default:
            return "?";
    }
}

}  // namespace vorlex
