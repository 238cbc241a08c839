# shellcheck shell=bash
# Sourced by the soak scripts of both builds: the warm-up, given or chosen from the
# run's length (one pass of the schedule, whose last effect starts at 52 s, and a
# margin; less for short runs), into $warmup. Exits 2 when nothing would be left
# after it. Usage: soak_warmup SECONDS [WARMUP_SECONDS]
soak_warmup() {
  local seconds=$1
  if [ $# -ge 2 ]; then
    warmup=$2
  elif [ "$seconds" -ge 180 ]; then
    warmup=70
  else
    warmup=60
  fi
  [ "$seconds" -gt "$warmup" ] || { echo "soak: a run of $seconds s leaves nothing after the $warmup s warm-up"; exit 2; }
}
