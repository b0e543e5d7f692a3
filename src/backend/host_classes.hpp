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

// Whether values of the class are numbers: the numeric classes (not
// logical, not char).
inline bool isNumericClass(mxClassID classId) {
    switch (classId) {
        case mxDOUBLE_CLASS:
        case mxSINGLE_CLASS:
        case mxINT8_CLASS:
        case mxUINT8_CLASS:
        case mxINT16_CLASS:
        case mxUINT16_CLASS:
        case mxINT32_CLASS:
        case mxUINT32_CLASS:
        case mxINT64_CLASS:
        case mxUINT64_CLASS:
            return true;
        default:
            return false;
    }
}

// An array's class.  Octave finds an array's class number by comparing its
// class name with every class's in turn (a dozen comparisons for an int32);
// each of its predicates is one call.  The classes values come in most
// often are asked first; the rest as the host numbers them.
inline mxClassID classOf(const mxArray* array) {
    if (mxIsDouble(array)) return mxDOUBLE_CLASS;
    if (mxIsChar(array)) return mxCHAR_CLASS;
    if (mxIsCell(array)) return mxCELL_CLASS;
    if (mxIsLogical(array)) return mxLOGICAL_CLASS;
    if (mxIsInt32(array)) return mxINT32_CLASS;
    if (mxIsInt64(array)) return mxINT64_CLASS;
    if (mxIsSingle(array)) return mxSINGLE_CLASS;
    if (mxIsUint8(array)) return mxUINT8_CLASS;
    if (mxIsInt16(array)) return mxINT16_CLASS;
    return mxGetClassID(array);
}

// Whether `array` is of class `classId`.
inline bool isOfClass(const mxArray* array, mxClassID classId) { return classOf(array) == classId; }

// Whether a cell's value stands for NULL where insert reads cells: unset,
// or [] (an empty double).
inline bool isNullCellValue(const mxArray* value) {
    return !value || (mxIsDouble(value) && mxIsEmpty(value));
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
