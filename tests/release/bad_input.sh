#!/usr/bin/env bash
# What tools/release.sh refuses before building anything, in a clone of REPO's HEAD:
#   - a work tree with changes no commit holds: it says so, names them and makes nothing;
#   - a machine without a cross compiler or emscripten: it names the Debian package to install.
# Usage: bad_input.sh REPO
set -euo pipefail
repo=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
git clone -q "$repo" "$work/clone"
cd "$work/clone"

echo "a change" > uncommitted.txt
set +e
bash tools/release.sh > "$work/out.txt" 2>&1
status=$?
set -e
[ "$status" -ne 0 ] || fail "release.sh made archives from a dirty work tree"
grep -q "uncommitted.txt" "$work/out.txt" || fail "it did not name the change: $(cat "$work/out.txt")"
grep -q -- "--allow-dirty" "$work/out.txt" || fail "it did not say how to go on: $(cat "$work/out.txt")"
[ ! -d dist ] || [ -z "$(ls dist)" ] || fail "it wrote to dist/ all the same"
rm uncommitted.txt

# A PATH with everything but the cross compilers and emscripten.
mkdir "$work/bin"
for dir in ${PATH//:/ }; do
  for tool in "$dir"/*; do
    name=$(basename "$tool")
    case $name in *mingw32* | emcc | em++) continue ;; esac
    [ -e "$work/bin/$name" ] || ln -s "$tool" "$work/bin/$name" 2> /dev/null || true
  done
done
set +e
PATH=$work/bin bash tools/release.sh > "$work/out.txt" 2>&1
status=$?
set -e
[ "$status" -ne 0 ] || fail "release.sh went on without the cross compilers"
for package in g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix emscripten; do
  grep -q "$package" "$work/out.txt" || fail "it did not name $package: $(cat "$work/out.txt")"
done
echo "PASS: a dirty tree and missing compilers are refused with what to do"
