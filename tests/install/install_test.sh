#!/usr/bin/env bash
# The build installed under /usr into a temporary DESTDIR and used from there with nothing set
# (no LD_LIBRARY_PATH, no VELA_VEXPR): the installed tools make a title, the installed player
# plays it to its end and plays the installed sample for a while, finding its companion library
# from its own folder; every command has a manual page that renders without warnings, and the
# desktop entry validates.
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

[ "$("$bin/velaplay" --version)" = "velaplay $version" ] || fail "velaplay --version does not print $version"

# The title guide's steps, with the installed commands.
cd "$work"
mkdir -p mytitle/src mytitle/game
cat > mytitle/src/project.json <<'EOF'
{"title": "My title", "width": 320, "height": 240, "start_page": "start.vsb"}
EOF
cat > mytitle/src/start.page.json <<'EOF'
{"commands": [
  {"cmd": "BoxNew", "props": {"LEFT": "40", "TOP": "40", "WIDTH": "240", "HEIGHT": "160", "COLOR": "0x0000FF"}},
  {"cmd": "Wait", "time": "300"},
  {"cmd": "Terminate"}]}
EOF
"$bin/vpage" title mytitle/src mytitle/pages
"$bin/vfpack" pack mytitle/game/game.dat mytitle/pages
"$bin/vpage" install mytitle/src/project.json mytitle/game/install.dat
"$bin/vfpack" extract mytitle/game/game.dat unpacked
diff -r mytitle/pages unpacked || fail "vfpack extract does not give back what vfpack pack packed"
"$bin/velaplay" mytitle/game 2>errors.txt || fail "the made title did not play to its end: $(cat errors.txt)"
[ ! -s errors.txt ] || fail "the made title: $(cat errors.txt)"

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
