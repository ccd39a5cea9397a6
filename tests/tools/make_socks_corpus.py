#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/socks_reply_read.cpp: SOCKS server replies, good and bad.

Each file is a handshake kind (0 SOCKS 5, 1 SOCKS 5 with user and password, 2 SOCKS 4, 3 SOCKS
4A), the most bytes per read (0 = any), then the server's bytes.

Usage: make_socks_corpus.py FOLDER
"""
import pathlib
import sys

IPV4_REPLY = bytes([5, 0, 0, 1, 127, 0, 0, 1, 0, 80])
SEEDS = {
    "socks5_ok_with_data": bytes([0, 2, 5, 0]) + IPV4_REPLY + b"hello",
    "socks5_ok_byte_by_byte": bytes([0, 1, 5, 0]) + IPV4_REPLY,
    "socks5_name_reply": bytes([0, 2, 5, 0, 5, 0, 0, 3, 9]) + b"localhost" + bytes([0, 80]),
    "socks5_long_name_reply": bytes([0, 2, 5, 0, 5, 0, 0, 3, 255]) + b"n" * 255 + bytes([0, 80]) + b"after",
    "socks5_refused": bytes([0, 2, 5, 0, 5, 5, 0, 1]),
    "socks5_unassigned_code": bytes([0, 2, 5, 0, 5, 42, 0, 1]),
    "socks5_bad_address_type": bytes([0, 2, 5, 0, 5, 0, 0, 4]) + bytes(16),
    "socks5_bad_version": bytes([0, 0, 4, 0]),
    "socks5_no_method": bytes([0, 0, 5, 0xFF]),
    "socks5_auth_ok": bytes([1, 2, 5, 2, 1, 0]) + IPV4_REPLY,
    "socks5_auth_failed": bytes([1, 2, 5, 2, 1, 1]),
    "socks5_auth_not_required": bytes([1, 2, 5, 0]) + IPV4_REPLY,
    "socks4_granted": bytes([2, 0, 0, 90, 0, 80, 127, 0, 0, 1]) + b"data",
    "socks4_rejected": bytes([2, 0, 0, 91, 0, 80, 127, 0, 0, 1]),
    "socks4_bad_version": bytes([2, 0, 4, 90, 0, 80, 127, 0, 0, 1]),
    "socks4a_unassigned": bytes([3, 2, 0, 77, 0, 80, 0, 0, 0, 1]),
    "socks4a_short": bytes([3, 0, 0, 90, 0]),
}


def main():
    folder = pathlib.Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (folder / name).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
