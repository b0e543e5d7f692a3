// SPDX-License-Identifier: BSD-3-Clause
// octave_backend.cpp - the host backend through Octave's own API.

// The class first: mexproto.h includes only mxarray.h's declarations.
// clang-format off
#include <octave/oct.h>
#include <octave/mxarray.h>
#include <octave/mexproto.h>
#include <octave/interpreter.h>
#include <octave/parse.h>
#include <octave/quit.h>
// clang-format on

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

}  // namespace vorlex
