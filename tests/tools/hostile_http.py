#!/usr/bin/env python3
"""A misbehaving HTTP server on 127.0.0.1 for the HTTP client's tests.

Listens on an ephemeral port of 127.0.0.1 (or the port given), prints the port on the first
line of standard output, and answers each connection by the path of its request line (an
absolute URL, as a proxy sees it, counts by its path):

  /truncated-header  a status line and half a header line, then closes
  /truncated-body    a Content-Length of 100, three bytes of body, then closes
  /long-line         a header line of 9,000 bytes
  /endless-headers   header lines until 8 MiB or 20 s
  /endless-body      body bytes until 256 MiB or 20 s
  /slow-drip         the end of the header and a short body, one byte every 300 ms
  /silent            reads the request and answers nothing for up to 20 s
  /redirect-loop     302 to itself
  /bad-status        a status that is not a number
  /bad-length        a Content-Length that is not a number
  /euc               an EUC-JP body of two lines
  /html              "<html>" with no header at all
  /zero-length       Content-Length 0, then stays open for up to 20 s
  /dir/page.html     302 to "next.html"; /dir/next.html answers "next page"
  /404, /500         the error with a short body
  /link              a body that is the URL of /euc on this server
  /big/<n>           n bytes of body (at most 64 MiB) with a Content-Length
  /overlong/<n>      n bytes of body (at most 64 MiB) with a Content-Length of half that
  /held/<n>          noted as arrived, then held until /open lets it go (at most 20 s); the body
                     is n
  /open              lets one held request go: one waiting, else the next to arrive
  /arrivals          the n of every /held request so far, in the order they arrived, joined by
                     spaces
  anything else      200 with the request's own bytes (line ends kept) as the body

Every loop is bounded in count and time; the server ends by itself after 300 s, or when its
standard input closes.

Usage: hostile_http.py [PORT]
       hostile_http.py corpus FOLDER   (writes each answer, cut at 16 KiB, as a file: the seed
                                        corpus of the response reader's fuzz harness)
"""
import socket
import sys
import threading
import time

LIFETIME = 300
HOLD = 20
GATE = threading.Semaphore(0)
ARRIVALS = []


def read_request(conn):
    data = b""
    deadline = time.monotonic() + 10
    while b"\r\n\r\n" not in data and len(data) < 65536 and time.monotonic() < deadline:
        try:
            chunk = conn.recv(4096)
        except socket.timeout:
            continue
        if not chunk:
            break
        data += chunk
    return data


def path_of(request):
    parts = request.split(b"\r\n", 1)[0].split(b" ")
    path = parts[1].decode("latin-1") if len(parts) > 1 else "/"
    if "://" in path:
        rest = path.split("://", 1)[1]
        path = "/" + rest.split("/", 1)[1] if "/" in rest else "/"
    return path


def hold(conn, seconds):
    """Keeps the connection open until the client closes it or the time is up."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if not conn.recv(4096):
                return
        except socket.timeout:
            pass
        except OSError:
            return


def stream(conn, head, unit, limit_bytes, limit_seconds):
    conn.sendall(head)
    sent, deadline = 0, time.monotonic() + limit_seconds
    while sent < limit_bytes and time.monotonic() < deadline:
        conn.sendall(unit)
        sent += len(unit)


def answer(conn, request):
    path = path_of(request)
    ok = b"HTTP/1.0 200 OK\r\n"
    if path == "/truncated-header":
        conn.sendall(ok + b"Content-Ty")
    elif path == "/truncated-body":
        conn.sendall(ok + b"Content-Length: 100\r\n\r\nabc")
    elif path == "/long-line":
        conn.sendall(ok + b"X-Long: " + b"x" * 9000 + b"\r\n\r\nbody")
    elif path == "/endless-headers":
        stream(conn, ok, b"X-More: " + b"y" * 120 + b"\r\n", 8 << 20, HOLD)
    elif path == "/endless-body":
        stream(conn, ok + b"\r\n", b"z" * 65536, 256 << 20, HOLD)
    elif path == "/slow-drip":
        conn.sendall(ok)
        for byte in b"\r\nslow":
            time.sleep(0.3)
            conn.sendall(bytes([byte]))
    elif path == "/silent":
        hold(conn, HOLD)
    elif path == "/redirect-loop":
        conn.sendall(b"HTTP/1.0 302 Found\r\nLocation: /redirect-loop\r\n\r\n")
    elif path == "/bad-status":
        conn.sendall(b"HTTP/1.0 2x0 OK\r\n\r\nbody")
    elif path == "/bad-length":
        conn.sendall(ok + b"Content-Length: ten\r\n\r\nbody")
    elif path == "/euc":
        conn.sendall(ok + b"Content-Type: text/plain; charset=EUC-JP\r\n\r\n"
                     + "日本語\r\nかな ｶﾅ".encode("euc_jp"))
    elif path == "/html":
        conn.sendall(b"<html>no header</html>")
    elif path == "/zero-length":
        conn.sendall(ok + b"Content-Length: 0\r\n\r\n")
        hold(conn, HOLD)
    elif path == "/dir/page.html":
        conn.sendall(b"HTTP/1.0 302 Found\r\nLocation: next.html\r\n\r\n")
    elif path == "/dir/next.html":
        conn.sendall(ok + b"\r\nnext page")
    elif path == "/link":
        conn.sendall(ok + b"\r\nhttp://127.0.0.1:%d/euc" % conn.getsockname()[1])
    elif path == "/404":
        conn.sendall(b"HTTP/1.1 404 Not Found\r\n\r\nmissing")
    elif path == "/500":
        conn.sendall(b"HTTP/1.0 500 Internal Server Error\r\n\r\nbroken")
    elif path.startswith("/held/"):
        ARRIVALS.append(path[6:])
        GATE.acquire(timeout=HOLD)
        conn.sendall(ok + b"\r\n" + path[6:].encode())
    elif path == "/open":
        GATE.release()
        conn.sendall(ok + b"\r\nopen")
    elif path == "/arrivals":
        conn.sendall(ok + b"\r\n" + " ".join(list(ARRIVALS)).encode())
    elif path.startswith("/big/") or path.startswith("/overlong/"):
        number = path.split("/")[2]
        size = min(int(number) if number.isdigit() else 0, 64 << 20)
        said = size if path.startswith("/big/") else size // 2
        conn.sendall(ok + b"Content-Length: %d\r\n\r\n" % said)
        block = bytes(range(256)) * 256
        while size > 0:
            conn.sendall(block[:size])
            size -= min(size, len(block))
    else:
        conn.sendall(ok + b"Content-Type: text/plain\r\n\r\n" + request)


def serve(conn):
    try:
        conn.settimeout(0.5)
        request = read_request(conn)
        answer(conn, request)
    except OSError:
        pass
    finally:
        conn.close()


class Collector:
    """Stands in for a connection: keeps what is sent, up to a limit."""

    def __init__(self, limit):
        self.data, self.limit = b"", limit

    def sendall(self, data):
        self.data += data[:self.limit - len(self.data)]
        if len(self.data) >= self.limit:
            raise OSError("enough")

    def recv(self, _):
        return b""

    def getsockname(self):
        return ("127.0.0.1", 8931)


def write_corpus(folder):
    import os
    os.makedirs(folder, exist_ok=True)
    paths = ["/truncated-header", "/truncated-body", "/long-line", "/endless-headers", "/redirect-loop",
             "/bad-status", "/bad-length", "/euc", "/html", "/zero-length", "/dir/page.html", "/404", "/500",
             "/big/3000", "/echo"]
    for path in paths:
        conn = Collector(16384)
        try:
            answer(conn, b"GET " + path.encode() + b" HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")
        except OSError:
            pass
        with open(os.path.join(folder, path.strip("/").replace("/", "_")), "wb") as f:
            f.write(conn.data)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "corpus":
        write_corpus(sys.argv[2])
        return
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", int(sys.argv[1]) if len(sys.argv) > 1 else 0))
    listener.listen(16)
    listener.settimeout(0.5)
    print(listener.getsockname()[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), listener.close()), daemon=True).start()
    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            break
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
