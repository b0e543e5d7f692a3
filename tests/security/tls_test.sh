#!/bin/bash
# SPDX-License-Identifier: BSD-3-Clause
# The module against servers that require TLS: this driver makes a
# throwaway certificate authority, a server certificate for localhost, one
# for another name and a client certificate, and starts two servers of one
# throwaway cluster on free ports (one with each server certificate) that
# accept TLS connections only (hostssl), with scram-sha-256 passwords and a
# user that logs in by its client certificate.  tls.tst then runs against
# them in octave-cli; nothing is left running or changed outside a
# temporary folder.  Exits 77 (skipped) when openssl is missing.
# Usage: tls_test.sh BUILD_DIR
set -u

build=$(cd "${1:?usage: tls_test.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v openssl >/dev/null; then
    echo "skipped: openssl is missing (scripts/deps.sh installs it)"
    exit 77
fi

. "$here/../servers.sh"
die() {
    echo "FAIL $1"
    [ $# -gt 1 ] && cat "${@:2}" 2>/dev/null | sed 's/^/    /'
    exit 1
}

# --- certificates ---------------------------------------------------------------
# An EC key each (quick to make); a certificate signed by the CA named, for
# the subject and, for servers, the DNS name given.
tls=$work/tls
mkdir -m 755 "$tls"
newKey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$tls/$1.key"; }
makeCa() {
    newKey "$1" && openssl req -x509 -new -key "$tls/$1.key" -subj "/CN=$2" -days 2 \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign \
        -out "$tls/$1.crt"
}
signed() {
    local name=$1 ca=$2 subject=$3 dns=${4:-}
    newKey "$name" &&
        openssl req -new -key "$tls/$name.key" -subj "/CN=$subject" -out "$tls/$name.csr" &&
        openssl x509 -req -in "$tls/$name.csr" -CA "$tls/$ca.crt" -CAkey "$tls/$ca.key" \
            -CAcreateserial -days 2 -out "$tls/$name.crt" \
            ${dns:+-extfile <(printf 'subjectAltName=DNS:%s\n' "$dns")}
}
{
    makeCa ca "vorlex test CA" && makeCa other_ca "another CA" &&
        signed server ca localhost localhost &&
        signed wrong_name ca wrong.example wrong.example &&
        signed client ca vorlex_cert
} > "$work/openssl.log" 2>&1 || die "the certificates could not be made" "$work/openssl.log"
printf 'not a certificate\n' > "$tls/garbage.crt"
chmod 644 "$tls"/*.crt
chmod 600 "$tls"/*.key
[ "$(id -u)" = 0 ] && chown postgres "$tls/server.key" "$tls/wrong_name.key"

# --- the cluster ----------------------------------------------------------------------
# Set up in single-user mode, so that pg_hba needs no line but hostssl ones.
secret="s3cr3t-$$-$RANDOM"
data=$work/data
asServer "$pgbin/initdb" -D "$data" -U postgres -A reject --no-sync >"$work/initdb.log" 2>&1 ||
    die "initdb failed" "$work/initdb.log"
cat > "$data/pg_hba.conf" <<HBA
hostssl all vorlex_cert 127.0.0.1/32 cert
hostssl all vorlex_cert ::1/128 cert
hostssl all all 127.0.0.1/32 scram-sha-256
hostssl all all ::1/128 scram-sha-256
HBA
asServer "$pgbin/postgres" --single -D "$data" postgres >"$work/single.log" 2>&1 <<SQL ||
create role vorlex_scram login password '$secret';
create role vorlex_cert login;
create database vorlex owner vorlex_scram;
SQL
    die "the roles could not be made" "$work/single.log"
cp -a "$data" "$work/wrong"

startServer() {
    local folder=$1 certificate=$2 port=$3
    cat >> "$folder/postgresql.conf" <<CONF
port = $port
listen_addresses = 'localhost'
unix_socket_directories = ''
password_encryption = 'scram-sha-256'
ssl = on
ssl_cert_file = '$tls/$certificate.crt'
ssl_key_file = '$tls/$certificate.key'
ssl_ca_file = '$tls/ca.crt'
fsync = off
CONF
    asServer "$pgbin/pg_ctl" -D "$folder" -w -l "$folder.log" start >/dev/null 2>&1 ||
        die "the server with the $certificate certificate did not start" "$folder.log"
    started+=("$folder")
}
port=$(freePort)
wrongPort=$(freePort)
startServer "$data" server "$port"
startServer "$work/wrong" wrong_name "$wrongPort"

# --- the cases ----------------------------------------------------------------------
# Nothing but what tls.tst names: no PG* variable of the caller applies, nor
# a certificate or password file in the caller's home.
for variable in "${!PG@}"; do unset "$variable"; done
HOME=$work VORLEX_TLS_DIR=$tls VORLEX_TLS_PORT=$port VORLEX_TLS_WRONG_PORT=$wrongPort \
    VORLEX_TLS_SECRET=$secret \
    octave-cli --norc --no-history --quiet --path "$build" --path "$here/../octave" \
    --eval "run_octave_test('$here/tls.tst')"
