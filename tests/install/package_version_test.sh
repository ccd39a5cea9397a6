#!/usr/bin/env bash
# The package's version as scripts/package-version gives it, in a throwaway repository holding the
# script and CMakeLists.txt: without git it is the release; each commit's is higher than the one
# before it, and a build with uncommitted changes is higher than its commit's; a commit's is the
# same whether named or checked out clean.
#   package_version_test.sh SOURCE
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package_version_test: $*" >&2; exit 1; }
higher() { dpkg --compare-versions "$1" gt "$2" || fail "$1 is not higher than $2"; }

mkdir -p "$work/tree/scripts"
cp "$source/scripts/package-version" "$work/tree/scripts/"
cp "$source/CMakeLists.txt" "$work/tree/"
version="$work/tree/scripts/package-version"
release=$(sed -n 's/^project(vela VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$("$version")" = "$release" ] || fail "a tree without git is not version $release: $("$version")"

git() { command git -C "$work/tree" -c user.name=test -c user.email=test@example.org "$@"; }
git init -q
git add -A
git commit -qm first
first=$("$version")
[ "$first" = "$release+git1.g$(git rev-parse --short=7 HEAD)" ] || fail "the first commit's version is $first"
echo >>"$work/tree/CMakeLists.txt"
changed=$("$version")
higher "$changed" "$first"
git commit -qam second
second=$("$version")
higher "$second" "$changed"
[ "$("$version" HEAD~1)" = "$first" ] || fail "the first commit named is not $first"
