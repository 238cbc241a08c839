#!/usr/bin/env bash
# Makes the release again from a fresh clone of the same commit, in another directory and
# later, and compares the archives with REPO/dist byte for byte. Skipped (77) when REPO's work
# tree has uncommitted changes: no clone of a commit can give its -dirty archives.
# Usage: reproducible.sh REPO
set -euo pipefail
repo=$(cd "$1" && pwd)
cd "$repo"
if [ -n "$(git status --porcelain --untracked-files=normal)" ]; then
  echo "skipped: the work tree has uncommitted changes, which no clone of HEAD holds"
  exit 77
fi
[ -f dist/SHA256SUMS ] || { echo "no dist/SHA256SUMS: run bash tools/release.sh" >&2; exit 1; }

work=$(mktemp -d /tmp/velmor-reproduce-XXXXXX)
other=$work/another/place/velmor
git clone -q --no-hardlinks "$repo" "$other"
git -C "$other" checkout -q --detach "$(git rev-parse HEAD)"
echo "== the release again, in $other"
# Compiled from scratch, not from the compiler cache the first release may have used.
(cd "$other" && CCACHE_DISABLE=1 bash tools/release.sh) > "$work/release.log" 2>&1 || {
  tail -n 30 "$work/release.log"; echo "FAIL: the release failed in the clone (log: $work/release.log)"; exit 1; }

different=0
while read -r _ name; do
  if cmp -s "dist/$name" "$other/dist/$name"; then
    echo "same: $name ($(stat -c %s "dist/$name") bytes)"
  else
    echo "DIFFERENT: $name"
    different=1
    case $name in
      *.zip) python3 - "dist/$name" "$other/dist/$name" <<'PY' ;;
import sys, zipfile
a, b = (zipfile.ZipFile(p) for p in sys.argv[1:3])
ia, ib = ({i.filename: i for i in z.infolist()} for z in (a, b))
for name in sorted(set(ia) | set(ib)):
    x, y = ia.get(name), ib.get(name)
    if x is None or y is None or x.CRC != y.CRC or x.date_time != y.date_time:
        print("  member differs:", name)
PY
    esac
  fi
done < dist/SHA256SUMS
cmp -s dist/SHA256SUMS "$other/dist/SHA256SUMS" || { echo "DIFFERENT: SHA256SUMS"; different=1; }
if [ "$different" = 1 ]; then
  echo "FAIL: the clone's archives differ (kept in $other/dist)"
  exit 1
fi
rm -rf "$work"
echo "PASS: a clone in another directory made the same archives, byte for byte"
