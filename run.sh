#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) with the tools for making titles
# (build/tools/) and plays a title: the bundled sample (build/sample/) when no argument is given,
# in a window when a display exists, else headless until the title ends. Arguments go to the
# player, a relative folder taken from where run.sh was started (for example a folder holding
# another title's game.dat and install.dat).
set -euo pipefail
args=()
for arg in "$@"; do
  case "$arg" in
    /* | -*) args+=("$arg") ;;
    *) args+=("$PWD/$arg") ;;
  esac
done
cd "$(dirname "$0")"
scripts/setup-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELA_TESTS=OFF -DVELA_BENCH=OFF
cmake --build build --target velaplay vela_companion sample_title vexpr vfpack vimage
[ ${#args[@]} -gt 0 ] || args=("$PWD/build/sample")
exec build/velaplay "${args[@]}"
