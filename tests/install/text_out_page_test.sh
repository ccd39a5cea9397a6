#!/usr/bin/env bash
# The sample title played headless with its messages handed to a WebSocket server; a reader's
# page (text_out_page.html) opened in headless Chromium connects to it and shows the messages as
# they come. The page's server holds the page's load until the page has reported the sample's two
# story messages, shown twice; Chromium then takes the screenshot SCREENSHOT. Skipped (77)
# without Chromium.
#   text_out_page_test.sh BUILD SCREENSHOT
set -uo pipefail
build=$1
screenshot=$2
here=$(cd "$(dirname "$0")" && pwd)
chromium=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$chromium" ]; then
    echo "SKIP: no chromium installed (Debian's chromium package)"
    exit 77
fi
work=$(mktemp -d)
player=
server=
trap '[ -z "$player" ] || kill "$player" 2>/dev/null; [ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH VELA_SCALE VELA_MEMORY_LIMIT VELA_DISK_LIMIT VELA_CDROM VELA_TEXT_OUT
mkdir "$work/title" "$work/home"
cp "$build/sample/game.dat" "$build/sample/install.dat" "$work/title/" || exit 1
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)

# The page's server: the page at /, its reports at /report, and /hold answered once the page has
# reported the four story messages (or after 90 s), a second later so that they are drawn.
python3 - "$here/text_out_page.html" "$work/port" "$work/got.json" <<'PY' &
import http.server, json, os, sys, threading, time
page = open(sys.argv[1], "rb").read()
reported = threading.Event()
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/hold"):
            reported.wait(90)
            time.sleep(1)
            self.send_response(204)
            self.end_headers()
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)
    def do_POST(self):
        got = self.rfile.read(int(self.headers["Content-Length"]))
        with open(sys.argv[3] + ".part", "wb") as out:
            out.write(got)
        os.replace(sys.argv[3] + ".part", sys.argv[3])
        if len(json.loads(got)) >= 4:
            reported.set()
        self.send_response(204)
        self.end_headers()
    def log_message(self, *args):
        pass
httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[2] + ".part", "w") as out:
    print(httpd.server_address[1], file=out)
os.rename(sys.argv[2] + ".part", sys.argv[2])
httpd.serve_forever()
PY
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
page_port=$(cat "$work/port")

VELA_HEADLESS=1 HOME="$work/home" "$build/velaplay" --text-out="ws:$port" "$work/title" \
    >"$work/player.out" 2>"$work/player.err" &
player=$!

HOME="$work/home" timeout 150 "$chromium" --headless --no-sandbox --disable-gpu --no-first-run \
    --user-data-dir="$work/chromium" --window-size=900,520 --screenshot="$screenshot" \
    "http://127.0.0.1:$page_port/?port=$port" >"$work/chromium.log" 2>&1
status=0
python3 - "$work/got.json" <<'PY' || status=1
import json, sys
haruka = "遥は古い星図をひらいた。……そこには赤い印がひとつ。"
kai = "櫂が言った。「北の星をたどれば、きっと着く」"
try:
    got = json.load(open(sys.argv[1], encoding="utf-8"))
except OSError:
    got = []
if got[:4] != [haruka, kai, haruka, kai]:
    print("FAIL: the page got", got)
    sys.exit(1)
PY
[ -s "$screenshot" ] || { echo "FAIL: no screenshot"; tail -5 "$work/chromium.log"; status=1; }
kill "$player" 2>/dev/null
wait "$player"
ended=$?
player=
if [ $ended != 0 ]; then
    echo "FAIL: the player ended with the status $ended:"
    cat "$work/player.err"
    status=1
fi
[ $status = 0 ] && echo "PASS: the page showed the story messages as they came; screenshot $screenshot"
exit $status
