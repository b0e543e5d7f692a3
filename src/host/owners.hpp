// SPDX-License-Identifier: BSD-3-Clause
// owners.hpp - owners of libpq and libpqtypes objects.
//
// Every object a command creates is held by one of these from the line that
// receives it until the registry takes it over, so that an error raised in
// between (a GatewayError, or the host's own error unwinding through our
// frames) releases it.
#pragma once

#include <libpq-fe.h>
#include <libpqtypes.h>
#include <mex.h>

#include <memory>

namespace vorlex {

struct ConnectionCloser {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultCloser {
    void operator()(PGresult* result) const { PQclear(result); }
};
struct ParamCloser {
    void operator()(PGparam* param) const { PQparamClear(param); }
};

using ConnectionOwner = std::unique_ptr<PGconn, ConnectionCloser>;
using ResultOwner = std::unique_ptr<PGresult, ResultCloser>;
using ParamOwner = std::unique_ptr<PGparam, ParamCloser>;

// Memory libpq allocated for the caller: escaped texts, notifications.
struct LibpqFreer {
    void operator()(void* memory) const { PQfreemem(memory); }
};
using LibpqTextOwner = std::unique_ptr<char, LibpqFreer>;
using NotifyOwner = std::unique_ptr<PGnotify, LibpqFreer>;

// Host arrays a command made and has not handed out yet.
struct HostArrayDestroyer {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using HostArrayOwner = std::unique_ptr<mxArray, HostArrayDestroyer>;

}  // namespace vorlex
