#!/usr/bin/env bash
# Fuzzes the readers of outside input: builds the fuzz tree (clang, libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) if needed, builds the seed
# corpora, then runs each target for SECONDS.
#
# Usage: tools/fuzz/run.sh SECONDS [TARGET...]
#   TARGET: model, config, image, music (or fuzz_model...); all four by default.
#   FUZZ_BUILD_DIR: the fuzz tree (default: build-fuzz in the repository).
#
# Prints each target's executions and speed from libFuzzer's final statistics.
# Exits non-zero on any finding (crash, sanitizer report, leak, timeout, out of
# memory); the input that caused it is kept under BUILD/fuzz-findings/<target>/
# and its path is printed. Reproduce with: BUILD/tools/fuzz/fuzz_<target> FILE
set -euo pipefail

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [model|config|image|music ...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(model config image music)

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD_DIR:-$repo/build-fuzz}
jobs=$(nproc)

# Longest input per target: every seed fits whole (the largest generated picture
# is 67 KB, the largest model 165 KB); the settings file is a few lines.
declare -A max_len=([model]=200000 [config]=4096 [image]=72000 [music]=65536)

for i in "${!targets[@]}"; do
  t=${targets[$i]#fuzz_}
  if [ -z "${max_len[$t]:-}" ]; then
    echo "run: unknown target '${targets[$i]}' (model, config, image, music)" >&2
    exit 2
  fi
  targets[$i]=$t
done

echo "== fuzz: build ($build)"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDEMO_FUZZ=ON >/dev/null
fi
cmake --build "$build" --target fuzz_all -j"$jobs"

echo "== fuzz: corpora"
bash "$repo/tools/fuzz/corpus.sh" "$build"

# Leaks are findings here: every target frees what each input made.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

failed=()
for t in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$t
  findings=$build/fuzz-findings/$t
  log=$build/fuzz-logs/$t.log
  # An empty working directory: relative names in the input (a model's
  # textures) find nothing there.
  work=$build/fuzz-work/$t
  rm -rf "$work"
  mkdir -p "$corpus" "$findings" "$work" "$(dirname "$log")"
  echo "== fuzz: $t for ${seconds}s"
  status=0
  (cd "$work" && exec "$build/tools/fuzz/fuzz_$t" "$corpus" "$build/fuzz-seeds/$t" \
    -max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=25 -rss_limit_mb=2048 \
    -dict="$repo/tools/fuzz/dictionaries/$t.dict" -artifact_prefix="$findings/" \
    -print_final_stats=1) >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  echo "fuzz_$t: ${runs:-?} executions, ${speed:-?} exec/s, peak ${rss:-?} MB, corpus $(find "$corpus" -type f | wc -l) files"
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$t: FINDING (exit $status); the end of $log:" >&2
    tail -n 60 "$log" >&2
    sed -n 's/.*Test unit written to \(.*\)$/fuzz_'"$t"': input kept at \1/p' "$log" >&2
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: no findings"
