// SPDX-License-Identifier: BSD-3-Clause
// host_cells.hpp - whole columns of host arrays made, and cells read, in one
// pass.
//
// Through the MX functions every element of a cell is a host array of its
// own, made, handed back and freed one at a time, and Octave copies every
// array made through them once more when the call returns: a column of a
// million texts costs seconds and several times its bytes.  These functions
// take and give whole columns instead: flat buffers in, one cell out; one
// cell in, every element's bytes out.
//
// Each has two implementations, and a module links one: octave/ builds and
// reads the arrays with Octave's own value classes (identical rows made
// one after the other share one array, which Octave's copy-on-write keeps
// invisible); mex/ uses only documented MEX and MX functions, element by
// element where nothing faster is documented, with the same results.  This
// folder is the bottom layer: it includes no other folder of the module.
//
// An array made here is owned like one from the MX functions, with one
// difference: Octave frees the arrays a call made itself when it returns,
// but not these.  Each must end as a field or element of an array that is
// returned or destroyed (which frees it with its container), or in
// mxDestroyArray; none may be returned as an output of its own.
#pragma once

// The Octave backend sees Octave's own mxArray class (octave/mxarray.h),
// which mex.h presents to MEX files as void.
#if !defined(VORLEX_OCTAVE_CLASSES)
#include <mex.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorlex {

// The shape of a run of consecutive rows.
struct RowShape {
    size_t endRow;  // the run holds the rows from the previous run's end to this one
    // -1: each row is a 1-by-n row of its n elements, 0-by-0 when n is 0;
    //  0: each row stands for no value, a 0-by-0 array of the column's
    //     missingClass (mxUNKNOWN_CLASS: an element left unset, which the
    //     host reads as an empty double);
    // >0: each row is an array of these extents, from `dims` at firstDim.
    int ndims;
    size_t firstDim;
};

// A column of host arrays laid out flat: row r holds the elements
// [ends[r - 1], ends[r]) (from 0 for row 0) in column-major order.
struct FlatRows {
    mxClassID classId;       // every row's class: char, uint8, logical, numeric or cell
    mxClassID missingClass;  // see RowShape
    size_t count;            // rows
    const size_t* ends;
    const void* data;          // the elements of all but cells, each of the class's size
    const FlatRows* elements;  // cells: element k of all the rows' cells is row k of these
    const RowShape* shapes;    // runs covering the rows in order
    size_t shapeCount;
    const mwSize* dims;
};

// The bytes of a cell's elements, as readCellRows reads them.
struct CellRows {
    std::vector<const char*> bytes;
    std::vector<size_t> lengths;
    std::string storage;  // bytes copied out of the host's arrays
};

// C linkage, as the MEX functions have: the host arrays are the same
// pointers whether they are seen as mex.h's void or Octave's class.
extern "C" {

// An N-by-1 cell whose element r is row r.  Char rows hold UTF-8 bytes,
// converted where the host's chars are not bytes.
mxArray* createRowCells(const FlatRows& rows);

// The N-by-1 cell of the rows of `count` N_k-by-1 cells `parts`, in
// order, which it takes over (each is destroyed): a column made in parts
// while its rows arrived.
mxArray* joinRowCells(mxArray* const* parts, size_t count);

// An N-by-1 column of zeros (false for logical) of a numeric or logical
// class, with `data` pointing at its elements, made so that the host takes
// it back without a copy.
mxArray* createColumnArray(mxClassID classId, size_t rows, void*& data);

// A 1-by-1 struct of `count` fields named `names` (distinct), holding
// `fields`, which it takes over (each is destroyed, or becomes the
// struct's).  An array given for several fields is in each of them (shared
// where the host can share it).  Unlike the arrays above, it may be
// returned as an output of its own: the module entry hands the call's
// outputs to settleOutputs when the call succeeds, and calls
// releaseOutputs at the start of the next call and at exit.  Within the
// call it is owned as any array.
mxArray* createFieldStruct(int count, const char* const* names, mxArray* const* fields);

// The output struct of a column of `rows` scalars, with the fields `names`
// (the values, their NULL flags, the rows' NULL flags) holding column
// vectors of zeros, the values' of class `classId`; `values`, `valueNulls`
// and `rowNulls` point at their elements.  The two flags' fields may hold
// one array (Octave shares it), so that both pointers are the same: every
// flag is written to both.  It may be returned as an output of its own,
// as createFieldStruct's structs.
mxArray* createVectorColumnStruct(const char* const* names, mxClassID classId, size_t rows,
                                  void*& values, mxLogical*& valueNulls, mxLogical*& rowNulls);

// A 1-by-1 uint32 holding `value`, which may be returned as an output of
// its own as createFieldStruct's structs are: the host takes it as it is,
// where an array of the MX functions is converted when the call returns.
mxArray* createUint32Scalar(uint32_t value);

// Takes over the outputs of a successful call that createFieldStruct or
// createUint32Scalar made: the host holds their values now, and the
// wrappers are released later.
void settleOutputs(int count, mxArray* const* outputs);

// Releases the wrappers settled before, and forgets what the last call made.
void releaseOutputs();

// The bytes of a cell's elements of one class (char or uint8), in one pass.
// Element k is read when it is a full 2-D array of the class with one row,
// or empty: its bytes are [bytes[k], bytes[k] + lengths[k]).  Elements that
// are not read (unset, of another class or shape) have a null bytes[k]:
// the caller reads those one by one, and refuses them.  The bytes stay
// valid as long as the cell and `rows` do.
void readCellRows(const mxArray* cells, mxClassID classId, CellRows& rows);

}  // extern "C"

}  // namespace vorlex
