# shellcheck shell=bash
# Sourced by the soak scripts of both builds, for what they share.

# The warm-up, given or chosen from the run's length (one pass of the schedule,
# whose last effect starts at 52 s, and a margin; less for short runs), into
# $warmup. Exits 2 when an argument is not a number of seconds or when nothing
# would be left after the warm-up. Usage: soak_warmup SECONDS [WARMUP_SECONDS]
soak_warmup() {
  local seconds=$1 number
  for number in "$@"; do
    [[ $number =~ ^[0-9]+$ ]] || { echo "soak: '$number' is not a number of seconds (usage: SECONDS [WARMUP_SECONDS])"; exit 2; }
  done
  if [ $# -ge 2 ]; then
    warmup=$2
  elif [ "$seconds" -ge 180 ]; then
    warmup=70
  else
    warmup=60
  fi
  [ "$seconds" -gt "$warmup" ] || { echo "soak: a run of $seconds s leaves nothing after the $warmup s warm-up"; exit 2; }
}

# The demo's working folder, fresh, into $work, with the repository's display
# settings in it; removed at exit unless SOAK_KEEP=1 (then its path is printed).
# Usage: soak_workdir REPOSITORY
soak_workdir() {
  work=$(mktemp -d)
  if [ "${SOAK_KEEP:-0}" = 1 ]; then
    echo "soak: working directory $work"
  else
    trap 'rm -rf "$work"' EXIT
  fi
  mkdir -p "$work/Data/Config"
  cp "$1/Data/Config/direct3d.cfg" "$work/Data/Config/"
}
