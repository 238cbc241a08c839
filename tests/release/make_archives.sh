#!/usr/bin/env bash
# Makes the release archives in REPO/dist for the checks that follow. A work tree with
# uncommitted changes (a developer's) gets -dirty archives; CI's clean clone gets the real ones.
# Usage: make_archives.sh REPO
set -euo pipefail
cd "$1"
if [ -n "$(git status --porcelain --untracked-files=normal)" ]; then
  exec bash tools/release.sh --allow-dirty
fi
exec bash tools/release.sh
