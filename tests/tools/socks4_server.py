#!/usr/bin/env python3
"""A small SOCKS 4 and 4A server on 127.0.0.1 for the socket tests.

Prints the port it listens on, then serves connect requests (4: a numeric address; 4A: the
address 0.0.0.x followed by a host name, resolved here) and relays the bytes both ways. The user
id "deny" is answered with code 91 (rejected) and "refuse" with 92. Everything is bounded: the
server ends after --lifetime seconds (10 by default), and each relay after that too.

Usage: socks4_server.py [--lifetime SECONDS]
"""
import argparse
import select
import socket
import struct
import sys
import threading
import time


def read_exact(conn, count, deadline):
    data = b""
    while len(data) < count and time.monotonic() < deadline:
        conn.settimeout(max(0.01, deadline - time.monotonic()))
        chunk = conn.recv(count - len(data))
        if not chunk:
            break
        data += chunk
    return data


def read_string(conn, deadline, limit=1024):
    data = b""
    while len(data) < limit:
        byte = read_exact(conn, 1, deadline)
        if not byte or byte == b"\0":
            return data
        data += byte
    return data


def relay(a, b, deadline):
    pair = {a: b, b: a}
    while time.monotonic() < deadline:
        ready, _, _ = select.select(list(pair), [], [], 0.1)
        for s in ready:
            data = s.recv(65536)
            if not data:
                return
            pair[s].sendall(data)


def serve(conn, deadline):
    with conn:
        head = read_exact(conn, 8, deadline)
        if len(head) < 8:
            return
        version, command, port = struct.unpack(">BBH", head[:4])
        address = head[4:]
        user = read_string(conn, deadline)
        host = socket.inet_ntoa(address)
        if address[:3] == b"\0\0\0" and address[3] != 0:
            host = read_string(conn, deadline).decode("ascii", "replace")
        code = {b"deny": 91, b"refuse": 92}.get(user, 90)
        target = None
        if code == 90 and version == 4 and command == 1:
            try:
                target = socket.create_connection((host, port), timeout=2)
            except OSError:
                code = 91
        conn.sendall(struct.pack(">BBH", 0, code, port) + address)
        if target:
            with target:
                relay(conn, target, deadline)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lifetime", type=float, default=10.0)
    args = parser.parse_args()
    deadline = time.monotonic() + args.lifetime
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(5)
    print(server.getsockname()[1], flush=True)
    while time.monotonic() < deadline:
        server.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            conn, _ = server.accept()
        except socket.timeout:
            break
        threading.Thread(target=serve, args=(conn, deadline), daemon=True).start()
    return 0


if __name__ == "__main__":
    sys.exit(main())
