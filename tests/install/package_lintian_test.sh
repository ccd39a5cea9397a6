#!/usr/bin/env bash
# The build's Debian package, made by CPack as scripts/make-package makes it, passes lintian
# without errors or warnings. Skipped (77) without lintian.
#   package_lintian_test.sh CPACK BUILD
set -euo pipefail
cpack=$1 build=$2
command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$(ls "$work"/velaplay_*.deb)
lintian --fail-on error,warning "$deb"
