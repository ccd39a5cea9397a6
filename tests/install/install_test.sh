#!/usr/bin/env bash
# The build installed under /usr into a temporary DESTDIR and used from there with nothing set
# (no LD_LIBRARY_PATH, no VELA_VEXPR): the installed tools make the titles of the installed
# README's guide, which the installed player plays, as it plays the installed sample for a while,
# finding its companion library from its own folder; every command has a manual page that renders
# without warnings, and the desktop entry validates.
#   install_test.sh CMAKE BUILD PACKAGE-VERSION
set -euo pipefail
cmake=$1 build=$2 version=$3  # the package's, as scripts/package-version gives it
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

DESTDIR="$work/root" "$cmake" --install "$build" --prefix /usr >/dev/null
usr="$work/root/usr"
bin="$usr/bin"
unset LD_LIBRARY_PATH VELA_VEXPR VELA_SCALE VELA_MEMORY_LIMIT VELA_DISK_LIMIT VELA_CDROM
export VELA_HEADLESS=1 XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp"
mkdir "$TMPDIR"
[ ! -e "$bin/libvela.so" ] || fail "the companion library lies beside the installed player"

[ "$("$bin/velaplay" --version | head -n 1)" = "velaplay $version" ] || fail "velaplay --version does not print $version"
"$bin/velaplay" --version | sed -n 2p | grep -Eq '^confinement: (Landlock ABI [1-9][0-9]*|off \(.+\))$' ||
  fail "velaplay --version does not say whether the player is confined"

# The title guide's examples as the installed README gives them, with the installed commands on
# the PATH: each made from its block of descriptions and its block of installed steps (the
# section's code blocks counted from 1), its last step, which plays it, left to stays_open.
readme="$usr/share/doc/velaplay/README.md"
block() {
  awk -v n="$1" '/^## Making a title/ { section = 1; next } section && /^## / { exit }
    section { if (/^    /) { if (!code) { code = 1; k++ } if (k == n) print substr($0, 5) } else code = 0 }' "$readme"
}
example() {  # DESCRIPTIONS STEPS FOLDER
  local steps
  steps=$(block "$2")
  [ "$(tail -n 1 <<<"$steps")" = "velaplay $3" ] || fail "the guide's installed steps for $3 do not end by playing it"
  { block "$1"; sed '$d' <<<"$steps" | sed "s|/usr/share/velaplay/|$usr/share/velaplay/|g"; } >steps.sh
  bash -e steps.sh 2>errors.txt || fail "the guide's steps for $3: $(cat errors.txt)"
}
# Whether process PID catches SIGTERM (bit 15 of its caught-signals mask).
catches_term() {  # PID
  local mask
  mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$1/status" 2>/dev/null) && [ -n "$mask" ] &&
    (( (16#$mask >> 14) & 1 ))
}
# Plays FOLDER headless until FILE exists and the player catches SIGTERM (at most 30 s each): two
# seconds later the title is still open, and SIGTERM ends it as its close box does, with status 0
# and nothing on standard error.
stays_open() {  # FOLDER FILE
  velaplay "$1" 2>errors.txt &
  local player=$! status=0 tries=0
  until [ -e "$2" ] || [ $((tries += 1)) -gt 300 ]; do sleep 0.1; done
  tries=0
  until catches_term "$player" || [ $((tries += 1)) -gt 300 ]; do sleep 0.1; done
  sleep 2
  kill -0 "$player" 2>/dev/null || fail "$1 did not stay open: $(cat errors.txt)"
  kill -TERM "$player"
  wait "$player" || status=$?
  [ "$status" -eq 0 ] && [ ! -s errors.txt ] || fail "$1 ended with status $status: $(cat errors.txt)"
  [ -e "$2" ] || fail "$1 did not write $2"
}
cd "$work"
export PATH="$bin:$PATH"
example 1 2 mytitle/game
vfpack extract mytitle/game/game.dat unpacked
diff -r mytitle/pages unpacked || fail "vfpack extract does not give back what vfpack pack packed"
stays_open mytitle/game mytitle/game/game.dat
example 4 5 mytitle2/game
stays_open mytitle2/game mytitle2/game/shot.mra
vimage convert mytitle2/game/shot.mra shot.png
vimage info shot.png | grep -qx "size: 320 x 240" || fail "the second title's picture of its screen is not 320 x 240"

# The installed sample, named by its game.dat as a desktop launcher names it, still playing after
# two seconds: a player that cannot bind its library or open the title ends at once.
status=0
timeout 2 "$bin/velaplay" "$usr/share/velaplay/sample/game.dat" 2>sample-errors.txt || status=$?
[ "$status" -eq 124 ] || fail "the sample ended with status $status: $(cat sample-errors.txt)"

# Every installed command has its manual page, and the pages render without warnings.
pages=()
for command in "$bin"/*; do
  name=$(basename "$command")
  page="$usr/share/man/man1/$name.1.gz"
  [ -e "$page" ] || page="$usr/share/man/man6/$name.6.gz"
  [ -e "$page" ] || fail "$name has no manual page"
  pages+=("$page")
done
warnings=$(MANWIDTH=80 man --warnings -l "${pages[@]}" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual pages: $warnings"

desktop-file-validate "$usr/share/applications/velaplay.desktop"
python3 -c 'import sys, xml.etree.ElementTree as tree; tree.parse(sys.argv[1])' \
  "$usr/share/icons/hicolor/scalable/apps/velaplay.svg"
