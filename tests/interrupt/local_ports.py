# SPDX-License-Identifier: BSD-3-Clause
"""Two local ports for ctrl_c_test.sh, printed on one line:

silent  connections complete (the kernel accepts them) and nobody answers;
once    the first connection is passed on to the server at 127.0.0.1, port
        $PGPORT; later ones are held and never answered.

Runs until killed, or for ten minutes.
"""
import os
import socket
import threading
import time

SERVER = ("127.0.0.1", int(os.environ.get("PGPORT", "5432")))


def listener():
    sock = socket.socket()
    sock.bind(("127.0.0.1", 0))
    sock.listen(8)
    return sock


def pipe(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    for sock in (source, sink):
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve_once(sock):
    held = []
    client, _ = sock.accept()
    server = socket.create_connection(SERVER)
    threading.Thread(target=pipe, args=(client, server), daemon=True).start()
    threading.Thread(target=pipe, args=(server, client), daemon=True).start()
    while True:
        held.append(sock.accept()[0])


silent, once = listener(), listener()
threading.Thread(target=serve_once, args=(once,), daemon=True).start()
print(silent.getsockname()[1], once.getsockname()[1], flush=True)
time.sleep(600)
