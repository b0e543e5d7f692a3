// SPDX-License-Identifier: BSD-3-Clause
// octave_backend.cpp - the host backend through Octave's own API.
#include "backend/host_backend.hpp"

#include <octave/quit.h>

namespace vorlex {

// Octave's SIGINT handler counts requests in octave_interrupt_state (> 0:
// pending) and acts on them at its next check outside the module.  Taking
// the request clears the count; a further Ctrl-C sets it again.
bool takeInterruptRequest() {
    if (octave_interrupt_state <= 0) return false;
    octave_interrupt_state = 0;
    return true;
}

}  // namespace vorlex
