// SPDX-License-Identifier: BSD-3-Clause
// host_classes.hpp - what the module keeps per element of a host class.
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

}  // namespace vorlex
