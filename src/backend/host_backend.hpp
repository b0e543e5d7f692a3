// SPDX-License-Identifier: BSD-3-Clause
// host_backend.hpp - what the module asks of its host beyond the MEX and MX
// functions that every host documents.
//
// Each question has two answers, one per implementation, and a build links
// exactly one: octave/ uses Octave's own API; mex/ uses only documented MEX
// and MX functions, so that the module builds for any MEX host, and answers
// as well as those allow.  This folder is the bottom layer: it includes no
// other folder of the module.
#pragma once

// The Octave backend sees Octave's own mxArray class (octave/mxarray.h),
// which mex.h presents to MEX files as void.
#if !defined(VORLEX_OCTAVE_CLASSES)
#include <mex.h>
#endif

#include <string>

namespace vorlex {

// Takes the user's request to interrupt the running command (Ctrl-C) from
// the host: true once per request, which the host then no longer acts on
// itself, so that the command can stop its work on the server, leave the
// connection ready, and end with an error of its own.  The MEX functions
// give no way to see the request: the MEX-only backend answers false, and
// the host acts on the request once the command has returned.
bool takeInterruptRequest();

// C linkage, as the MEX functions have: the host arrays are the same
// pointers whether they are seen as mex.h's void or Octave's class.
extern "C" {

// Calls the function handle `handle` with the one input `input` and no
// output, catching its error: false with the error's message in `message`.
// Octave's mexCallMATLABWithTrap hands back a fixed text in place of the
// error's message; MATLAB's gives the error itself.
bool callFunctionHandle(const mxArray* handle, mxArray* input, std::string& message);

// The call's inputs as the module reads them.  Octave keeps an integer
// literal of 2^53 or more (-2^53 or less) as the exact integer it writes,
// in the call and in cells and structs made of literals, until it is
// stored in a variable; its MX functions hand that integer's bits out as
// the double's.  Each such value, wherever it is in the inputs, is given
// as the double it stands for.  The result is `prhs` itself when nothing
// needed that; arrays made for it live until the next call's inputs are
// read, or releaseInputs.  The MEX-only backend gives `prhs`.
const mxArray** exactInputs(int nrhs, const mxArray* prhs[]);

// Frees what exactInputs made for the last call.
void releaseInputs();
}

}  // namespace vorlex
