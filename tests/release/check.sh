#!/usr/bin/env bash
# Runs the viewer's check of one release archive from REPO/dist (as release.sh named it,
# -dirty or not). Usage: check.sh windows|linux|web REPO
set -euo pipefail
kind=$1 repo=$2
case $kind in
  windows) pattern='velmor-demo-windows*.zip' ;;
  linux) pattern='velmor-demo-linux-x86_64*.tar.gz' ;;
  web) pattern='velmor-demo-web*.zip' ;;
  *) echo "usage: check.sh windows|linux|web REPO" >&2; exit 2 ;;
esac
archive=$(cd "$repo/dist" 2> /dev/null && ls -t $pattern 2> /dev/null | head -n 1) || true
[ -n "$archive" ] || { echo "no $pattern in $repo/dist: run bash tools/release.sh" >&2; exit 1; }
archive=$repo/dist/$archive
case $kind in
  # Its screenshots, logs and the program's output, for people to look at.
  linux) exec bash "$repo/tools/release/check_linux.sh" "$archive" --out "$repo/build-dist/linux-check" ;;
  *) exec bash "$repo/tools/release/check_$kind.sh" "$archive" ;;
esac
