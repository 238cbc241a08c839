#!/usr/bin/env bash
# Fuzzes the readers of outside input: builds the fuzz tree (clang, libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) if needed, builds the seed
# corpora, then runs each target for SECONDS. The music target runs last: it
# links libopenmpt built with the same instrumentation (tools/ports/deps.sh
# linux-fuzz, in the machine's cache), which is made or waited for only then, so
# that a build of it beside this script (tools/test.sh) overlaps the other targets.
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

ordered=() music=0
for t in "${targets[@]}"; do
  t=${t#fuzz_}
  if [ -z "${max_len[$t]:-}" ]; then
    echo "run: unknown target '$t' (model, config, image, music)" >&2
    exit 2
  fi
  if [ "$t" = music ]; then music=1; else ordered+=("$t"); fi
done
[ "$music" = 0 ] || ordered+=(music)
targets=("${ordered[@]}")

# The instrumented libopenmpt's folder in the cache; it moves when its recipe changes.
music_libs=$(bash "$repo/tools/ports/deps.sh" linux-fuzz --print-prefix)

echo "== fuzz: build ($build)"
if [ ! -f "$build/CMakeCache.txt" ] ||
   ! grep -qxF "DEMO_FUZZ_MUSIC_LIBS:PATH=$music_libs" "$build/CMakeCache.txt"; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDEMO_FUZZ=ON \
    -DDEMO_FUZZ_MUSIC_LIBS="$music_libs" >/dev/null
fi
# Everything but the music target, which waits for its library below.
first=(fuzz_seeds datagen)
for t in "${targets[@]}"; do [ "$t" = music ] || first+=("fuzz_$t"); done
cmake --build "$build" --target "${first[@]}" -j"$jobs"

# The instrumented libopenmpt, built (or waited for, when another build of it
# runs) and the music target linked against it. It is compiled against the
# system's headers, so the two must be the same version.
build_music_target() {
  echo "== fuzz: libopenmpt with the fuzzer's instrumentation ($music_libs)"
  # Its configure's test programs are built with the sanitizers too: the
  # fuzzers' options below are not theirs, and it builds as in tools/test.sh.
  env -u ASAN_OPTIONS -u UBSAN_OPTIONS bash "$repo/tools/ports/deps.sh" linux-fuzz
  local system instrumented
  system=$(pkg-config --modversion libopenmpt)
  instrumented=$(PKG_CONFIG_LIBDIR=$music_libs/lib/pkgconfig PKG_CONFIG_PATH="" \
                   pkg-config --modversion libopenmpt)
  if [ "$system" != "$instrumented" ]; then
    echo "run: the instrumented libopenmpt is $instrumented, the system's headers $system;" \
         "the music target needs both the same" >&2
    exit 1
  fi
  cmake --build "$build" --target fuzz_music -j"$jobs"
}

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
  [ "$t" != music ] || build_music_target
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
