// SPDX-License-Identifier: BSD-3-Clause
// octave_backend.cpp - the host backend through Octave's own API.

// The class first: mexproto.h includes only mxarray.h's declarations.
// clang-format off
#include <octave/oct.h>
#include <octave/Cell.h>
#include <octave/oct-map.h>
#include <octave/mxarray.h>
#include <octave/mexproto.h>
#include <octave/interpreter.h>
#include <octave/parse.h>
#include <octave/quit.h>
// clang-format on

#include <vector>

#define VORLEX_OCTAVE_CLASSES
#include "backend/host_backend.hpp"

namespace vorlex {

// Octave's SIGINT handler counts requests in octave_interrupt_state (> 0:
// pending) and acts on them at its next check outside the module.  Taking
// the request clears the count; a further Ctrl-C sets it again.
bool takeInterruptRequest() {
    if (octave_interrupt_state <= 0) return false;
    octave_interrupt_state = 0;
    return true;
}

// The error is taken as a try block takes it: lasterr tells it after.  A
// Ctrl-C while the function runs ends it as an error of its own.
bool callFunctionHandle(const mxArray* handle, mxArray* input, std::string& message) {
    octave::interpreter& interpreter = *octave::interpreter::the_interpreter();
    try {
        octave::feval(handle->as_octave_value(), octave_value_list(input->as_octave_value()), 0);
        return true;
    } catch (const octave::execution_exception& error) {
        interpreter.get_error_system().save_exception(error);
        message = error.message();
    } catch (const octave::interrupt_exception&) {
        message = "interrupted";
    }
    interpreter.recover_from_exception();
    return false;
}

namespace {

bool makeExact(octave_value& value);

// Makes the elements exact in place; false when none needed it (the cell
// is then not copied).  Cell's non-const access copies a shared cell before
// the first change.
bool makeExact(Cell& cells) {
    bool changed = false;
    octave_idx_type count = cells.numel();
    for (octave_idx_type k = 0; k < count; ++k) {
        const octave_value& element = static_cast<const Cell&>(cells).xelem(k);
        if (!element.is_magic_int() && !element.iscell() && !element.isstruct()) continue;
        octave_value exact = element;
        if (!makeExact(exact)) continue;
        cells(k) = exact;
        changed = true;
    }
    return changed;
}

// An exact integer becomes the double it stands for, as Octave makes it
// when it stores one, down through cells and structs; false when `value`
// held none.
bool makeExact(octave_value& value) {
    if (value.is_magic_int()) {
        value = value.storable_value();
        return true;
    }
    if (value.iscell()) {
        Cell cells = value.cell_value();
        if (!makeExact(cells)) return false;
        value = octave_value(cells);
        return true;
    }
    if (!value.isstruct()) return false;
    octave_map map = value.map_value();
    bool changed = false;
    string_vector keys = map.fieldnames();
    for (octave_idx_type k = 0; k < keys.numel(); ++k) {
        Cell contents = map.contents(keys(k));
        if (!makeExact(contents)) continue;
        map.setfield(keys(k), contents);
        changed = true;
    }
    if (!changed) return false;
    value = map.numel() == 1 ? octave_value(map.checkelem(0)) : octave_value(map);
    return true;
}

std::vector<mxArray*>& madeInputs() {
    static std::vector<mxArray*> made;
    return made;
}

}  // namespace

const mxArray** exactInputs(int nrhs, const mxArray* prhs[]) {
    static std::vector<const mxArray*> inputs;
    releaseInputs();
    inputs.assign(prhs, prhs + nrhs);
    for (const mxArray*& input : inputs) {
        octave_value value = input->as_octave_value();
        if (!makeExact(value)) continue;
        madeInputs().reserve(madeInputs().size() + 1);  // no failure once the wrapper is made
        madeInputs().push_back(new mxArray(MX_HAS_INTERLEAVED_COMPLEX, value));
        input = madeInputs().back();
    }
    return madeInputs().empty() ? prhs : inputs.data();
}

void releaseInputs() {
    for (mxArray* input : madeInputs()) mxDestroyArray(input);
    madeInputs().clear();
}

}  // namespace vorlex
