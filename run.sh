#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) and plays the bundled sample title: in a
# window when a display exists, else headless until the title ends. Extra arguments go to the
# player (for example a folder holding another title's game.dat).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELA_TESTS=OFF -DVELA_BENCH=OFF
cmake --build build --target velaplay vela_companion sample_title
exec build/velaplay "$@"
