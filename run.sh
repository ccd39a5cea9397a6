#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) with the tools for making titles
# (build/tools/) and plays a title: the bundled sample (build/sample/) when no argument is given
# (with its news served on 127.0.0.1:8931 when that port is free),
# in a window when a display exists, else headless until the title ends. Arguments go to the
# player, a relative folder taken from where run.sh was started (for example a folder holding
# another title's game.dat and install.dat); options without a folder (--scale 2) go to the player
# with the sample. "--help" prints the usage only.
set -euo pipefail
usage() {
  cat <<'END'
Usage: ./run.sh [--scale N] [--text-out=TARGET]... [FOLDER]
Installs what is missing, builds the player (Release, in build/) and plays the title in FOLDER,
or without FOLDER the bundled sample. Options go to the player (build/velaplay --help lists
them); a relative FOLDER is taken from where run.sh was started.
  ./run.sh -h, --help  this text, and nothing installed or built
END
}
for arg in "$@"; do
  case "$arg" in -h|--help) usage; exit 0 ;; esac
done
args=()
value=false  # the argument is the value of the option before it (--scale N, --text-out TARGET)
folder=false # a folder (or /config) was given
for arg in "$@"; do
  if $value; then
    args+=("$arg")
    value=false
    continue
  fi
  case "$arg" in
    --scale|--text-out) args+=("$arg"); value=true ;;
    -*) args+=("$arg") ;;
    /*) args+=("$arg"); folder=true ;;
    *) args+=("$PWD/$arg"); folder=true ;;
  esac
done
cd "$(dirname "$0")"
scripts/setup-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELA_TESTS=OFF -DVELA_BENCH=OFF
cmake --build build --target velaplay vela_companion sample_title vexpr vfpack vimage vwipe vgif
if $folder; then exec build/velaplay "${args[@]}"; fi
# The sample's news box reads http://127.0.0.1:8931/news.txt: sample/www/ is served there for the
# run when nothing listens on that port yet, and the server stops with the player.
if ! (exec 3<>/dev/tcp/127.0.0.1/8931) 2>/dev/null; then
  python3 -m http.server --bind 127.0.0.1 8931 --directory sample/www >/dev/null 2>&1 &
  server=$!
  trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
fi
# The sample's CD track plays from the disc image the build writes beside it, unless VELA_CDROM
# names another disc.
VELA_CDROM="${VELA_CDROM:-$PWD/build/sample/sample_cd.cue}" build/velaplay "${args[@]}" "$PWD/build/sample"
