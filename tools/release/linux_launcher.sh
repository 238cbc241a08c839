#!/bin/sh
# Starts the demo from any working directory. Goes into the release folder as
# velmor-demo, beside bin/, lib/ and Data/.
#
# The program reads Data/ below its working directory and writes its log to
# Data/Logs/. When the folder is writable it runs there. When it is not (unpacked
# by root, or on a read-only medium) it runs in a state directory of the viewer's
# whose Data/ reaches the folder's Config, Textures and Music through symbolic
# links and holds its own Logs/. A Config that is a folder of its own there (not
# a link) is kept: that is how a viewer changes the settings of a read-only copy.
set -eu

program_name=velmor-demo

# The folder this script lives in, through any symbolic link to the script.
script=$(readlink -f -- "$0" 2>/dev/null || printf '%s\n' "$0")
folder=$(cd -- "$(dirname -- "$script")" && pwd -P)

# The program makes Data/Logs/ if it is missing: either that folder or Data/ must take writes.
logs_writable() {
  if [ -d "$1/Data/Logs" ]; then
    [ -w "$1/Data/Logs" ]
  else
    [ -w "$1/Data" ]
  fi
}

state_directory() {
  base=${XDG_STATE_HOME:-}
  case $base in
    /*) ;;
    *) base=${HOME:-}/.local/state ;;  # unset, empty or relative: the default
  esac
  printf '%s/%s\n' "$base" "$program_name"
}

# Makes STATE/Data with links to the folder's read-only parts. Links left by an
# earlier run point to wherever the folder was then, so they are made again.
prepare_state() {
  state=$1
  mkdir -p -- "$state/Data/Logs" 2>/dev/null || return 1
  for part in Config Textures Music; do
    target=$state/Data/$part
    if [ -L "$target" ] || [ ! -e "$target" ]; then
      ln -sfn -- "$folder/Data/$part" "$target" 2>/dev/null || return 1
    fi
  done
}

if logs_writable "$folder"; then
  cd -- "$folder"
else
  state=$(state_directory)
  if prepare_state "$state"; then
    echo "$program_name: $folder is read-only; the log goes to $state/Data/Logs/" >&2
    cd -- "$state"
  else
    # The program itself then asks whether to go on without a log.
    echo "$program_name: $folder is read-only and $state cannot be made; running without a log folder" >&2
    cd -- "$folder"
  fi
fi
exec "$folder/bin/$program_name" "$@"
