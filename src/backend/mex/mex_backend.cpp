// SPDX-License-Identifier: BSD-3-Clause
// mex_backend.cpp - the host backend through documented MEX and MX
// functions only.
#include "backend/host_backend.hpp"

namespace vorlex {

// No MEX function reports a pending interrupt.
bool takeInterruptRequest() { return false; }

}  // namespace vorlex
