// SPDX-License-Identifier: BSD-3-Clause
// libpq_private.cpp - the named operations on libpq's private connection
// structure: the only file that reads it.
#include "connection/libpq_private.hpp"

#include <poll.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "types/wire.hpp"

namespace vorlex {

namespace {

// libpq's own enums of the connection live in its private header; the
// mirror holds every enum as the int a C compiler makes of it, as it does
// of the public ones.
static_assert(sizeof(ConnStatusType) == sizeof(int), "libpq's enums are ints");
static_assert(sizeof(PGTransactionStatusType) == sizeof(int), "libpq's enums are ints");
static_assert(sizeof(PGpipelineStatus) == sizeof(int), "libpq's enums are ints");
static_assert(sizeof(PGVerbosity) == sizeof(int), "libpq's enums are ints");
static_assert(sizeof(PGContextVisibility) == sizeof(int), "libpq's enums are ints");
static_assert(sizeof(bool) == 1, "libpq's bool is one byte");

struct SockAddr {
    struct sockaddr_storage addr;
    socklen_t salen;
};

struct NoticeHooks {
    PQnoticeReceiver noticeRec;
    void* noticeRecArg;
    PQnoticeProcessor noticeProc;
    void* noticeProcArg;
};

// libpq 15's struct pg_conn, from its start up to the input buffer's
// offsets, field for field (pointers to libpq's own types as void*).  No
// field up to there depends on how libpq was configured.
struct ConnectionPrefix {
    // Saved values of connection options
    char *pghost, *pghostaddr, *pgport, *connect_timeout, *pgtcp_user_timeout,
        *client_encoding_initial, *pgoptions, *appname, *fbappname, *dbName, *replication, *pguser,
        *pgpass, *pgpassfile, *channel_binding, *keepalives, *keepalives_idle, *keepalives_interval,
        *keepalives_count, *sslmode, *sslcompression, *sslkey, *sslcert, *sslpassword, *sslrootcert,
        *sslcrl, *sslcrldir, *sslsni, *requirepeer, *gssencmode, *krbsrvname, *gsslib,
        *ssl_min_protocol_version, *ssl_max_protocol_version, *target_session_attrs;
    FILE* Pfdebug;
    int traceFlags;
    NoticeHooks noticeHooks;
    void* events;  // PGEvent*
    int nEvents;
    int eventArraySize;
    // Status indicators
    int status;       // ConnStatusType
    int asyncStatus;  // PGAsyncStatusType
    int xactStatus;   // PGTransactionStatusType
    char last_sqlstate[6];
    bool options_valid;
    bool nonblocking;
    int pipelineStatus;  // PGpipelineStatus
    bool singleRowMode;
    char copy_is_binary;
    int copy_already_done;
    PGnotify* notifyHead;
    PGnotify* notifyTail;
    // Hosts named in the connection string
    int nconnhost;
    int whichhost;
    void* connhost;  // pg_conn_host*
    char* connip;
    void* cmd_queue_head;  // PGcmdQueueEntry*, as the two below
    void* cmd_queue_tail;
    void* cmd_queue_recycle;
    // Connection data
    int sock;  // pgsocket
    SockAddr laddr;
    SockAddr raddr;
    std::uint32_t pversion;  // ProtocolVersion
    int sversion;
    bool auth_req_received;
    bool password_needed;
    bool sigpipe_so;
    bool sigpipe_flag;
    bool write_failed;
    char* write_err_msg;
    // Transient state while connecting
    int target_server_type;  // PGTargetServerType
    bool try_next_addr;
    bool try_next_host;
    void* addrlist;  // struct addrinfo*, as addr_cur
    void* addr_cur;
    int addrlist_family;
    bool send_appname;
    // Miscellaneous
    int be_pid;
    int be_key;
    void* pstatus;  // pgParameterStatus*
    int client_encoding;
    bool std_strings;
    int default_transaction_read_only;  // PGTernaryBool, as in_hot_standby
    int in_hot_standby;
    int verbosity;     // PGVerbosity
    int show_context;  // PGContextVisibility
    void* lobjfuncs;   // PGlobjfuncs*
    // Data received from the server and not yet processed
    char* inBuffer;
    int inBufSize;
    int inStart;  // the first byte not yet consumed
    int inCursor;
    int inEnd;  // the first byte after the data
};

// The connection's prefix, copied into `prefix`, when it agrees with
// everything the public API says of the connection and its input buffer
// offsets are in order; false otherwise, with nothing read but the prefix.
bool readPrefix(PGconn* conn, ConnectionPrefix& prefix) {
    if (!conn || PQlibVersion() / 10000 != 15) return false;
    std::memcpy(&prefix, conn, sizeof prefix);
    return prefix.status == static_cast<int>(PQstatus(conn)) &&
           prefix.pipelineStatus == static_cast<int>(PQpipelineStatus(conn)) &&
           prefix.sock == PQsocket(conn) && prefix.sversion == PQserverVersion(conn) &&
           prefix.be_pid == PQbackendPID(conn) &&
           prefix.client_encoding == PQclientEncoding(conn) && prefix.inBuffer &&
           0 <= prefix.inStart && prefix.inStart <= prefix.inEnd &&
           prefix.inEnd <= prefix.inBufSize;
}

// Whether the complete messages in bytes [start, end) include an error.
// Each is its type byte, then its length in four bytes, big-endian,
// counting themselves.
bool holdsError(const char* bytes, int start, int end) {
    while (end - start >= 5) {
        uint32_t length = loadBig32(bytes + start + 1);
        if (length < 4 || length > static_cast<uint32_t>(end - start - 1)) return false;
        if (bytes[start] == 'E') return true;
        start += 1 + static_cast<int>(length);
    }
    return false;
}

bool socketReadable(int socket) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

}  // namespace

bool connectionLayoutKnown(PGconn* conn) {
    ConnectionPrefix prefix;
    return readPrefix(conn, prefix);
}

bool serverErrorWaits(PGconn* conn) {
    ConnectionPrefix prefix;
    if (!readPrefix(conn, prefix)) return false;
    if (socketReadable(PQsocket(conn)) && !PQconsumeInput(conn)) return false;
    // The read may have moved or grown the buffer.
    return readPrefix(conn, prefix) && holdsError(prefix.inBuffer, prefix.inStart, prefix.inEnd);
}

}  // namespace vorlex
