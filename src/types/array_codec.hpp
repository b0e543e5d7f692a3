// SPDX-License-Identifier: BSD-3-Clause
// array_codec.hpp - PostgreSQL's binary array frame around the element
// codecs, shared by every array type.
//
// Octave stores A(i,j,...) column-major, PostgreSQL sends a[i][j]...
// row-major (last subscript fastest); the encoder and decoder map one onto
// the other so that both name the same element.  Element masks (one byte
// per element, non-zero for NULL) are indexed column-major, like the value.
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "types/codecs.hpp"

namespace vorlex {

// PostgreSQL's limit on array dimensions.
constexpr int kMaxArrayDims = 6;

// One row's value inside a column that holds many rows' values back to back
// (the batch command's columns): `count` elements shaped by `dims`.
struct ColumnSlice {
    const void* data;  // element 0 of the column's data
    int isDouble;      // the data are doubles
    uint32_t count;    // elements per value
    uint32_t ndims;
    const uint32_t* dims;
    mxArray* scratch;  // 1-by-count char array, text columns only
};

// Walks an array's elements in PostgreSQL's row-major order and yields each
// one's column-major index.
class RowMajorWalk {
  public:
    RowMajorWalk(int ndims, const size_t* dims);
    size_t index() const { return index_; }
    void next();

  private:
    int ndims_;
    size_t dims_[kMaxArrayDims];
    size_t strides_[kMaxArrayDims];
    size_t subscripts_[kMaxArrayDims] = {};
    size_t index_ = 0;
};

// Elements sent as NULL besides the mask's (insert's NULLs): NaN numbers
// of double or single data, or the NULL values of a cell (isNullCellValue).
enum class NullElements : uint8_t { none, nanDoubles, nanSingles, nullCells };

// One value to encode, from either source form.
struct ArrayValue {
    ElementSource elements;
    size_t count;  // elements in the value
    int ndims;
    size_t dims[kMaxArrayDims];
    const char* mask;   // may be null
    size_t firstIndex;  // added to element indices (slice form)
    bool flatten;       // send as one dimension of all elements
    NullElements nulls;
};

// Whether an Octave array (direct form) is what the codec's writer reads:
// a cell for the variable-length types, else a full real double or the
// codec's own class.  False, with the reason, otherwise.
bool checkDirectSource(const mxArray* source, const ElementCodec& codec, std::string& error);

// Describes an Octave array (direct form) or a slice at element `offset`.
// False, with the reason, for a value of more than 6 dimensions.
bool describeArray(const mxArray* array, const char* mask, bool flatten, ArrayValue& value,
                   std::string& error);
bool describeSlice(const ColumnSlice& slice, const char* mask, bool flatten, size_t offset,
                   ArrayValue& value, std::string& error);

// Which elements of a described value are NULL besides the mask's: NaN
// numbers when `nanIsNull` (where the data can hold NaN), the cell's NULL
// values when `cellNulls`.
NullElements nullElementsOf(const ArrayValue& value, const ElementCodec& codec, bool nanIsNull,
                            bool cellNulls);

// Bytes the whole frame will take.
bool arrayEncodedSize(const ArrayValue& value, const ElementCodec& codec, size_t& total,
                      std::string& error);

// Writes the frame; `out` has room for arrayEncodedSize's total.
bool writeArrayFrame(char* out, const ArrayValue& value, const ElementCodec& codec, Oid elementOid,
                     const PGtypeFormatInfo& server, std::string& error);

// Decodes a frame into a new value array and its logical NULL mask.  On
// failure nothing is left allocated.
bool decodeArrayFrame(const char* bytes, size_t length, const ElementCodec& codec, Oid elementOid,
                      bool flatten, const PGtypeFormatInfo& server, mxArray*& value, mxArray*& mask,
                      std::string& error);

// The Octave shape a frame decodes to (what decodeArrayFrame creates).
bool arrayFrameShape(const char* bytes, size_t length, Oid elementOid, bool flatten, mwSize& ndims,
                     mwSize* dims, std::string& error);

// Decodes a frame of a fixed-width element type into `data` (elements of
// `elementSize` bytes in the order decodeArrayFrame's value holds them)
// and `mask`, which have room for the frame's elements and are zeroed
// first.
bool decodeArrayFrameInto(const char* bytes, size_t length, const ElementCodec& codec,
                          Oid elementOid, const PGtypeFormatInfo& server, void* data,
                          size_t elementSize, mxLogical* mask, std::string& error);

// The libpqtypes procedures of the array types.  Put takes (source, mask,
// flatten flag, int64 offset): an mxArray* when the offset is negative, a
// ColumnSlice* otherwise.  Get takes (output struct, flatten flag) and
// stores the value and its mask in row get.tup_num of the struct's `value`
// and `valueIsNull` cells.
int putArray(PGtypeArgs* args, const ElementCodec& codec);
int getArray(PGtypeArgs* args, const ElementCodec& codec);

}  // namespace vorlex
