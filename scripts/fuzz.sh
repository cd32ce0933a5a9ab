#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) in
# build/fuzz and runs each target for SECONDS seconds on a working copy of its corpus.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default: 60 seconds; discover fat exfat scan search carve)
#
# The working corpora live in build/fuzz/corpus/<target> and grow from run to run; the
# committed seeds (fuzz/corpus) and kept regressions (fuzz/regressions) are copied in first.
# A crash, a sanitizer report, a hang, an allocation beyond the limit or a leak leaves its
# input in build/fuzz/findings/<target>/ and makes the script exit non-zero.
# FUZZ_JOBS=N runs N targets at a time (default 1; this machine is shared, keep it at 2 at most).
# FUZZ_ARGS adds libFuzzer options (e.g. FUZZ_ARGS=-use_value_profile=1).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(discover fat exfat scan search carve)
jobs=${FUZZ_JOBS:-1}

# Limits. No input is larger than max_len (128 KiB: boot sectors, tables and directories fit
# with room to spare, and larger sources cost the allocator a mapping per read), and no read
# needs more than the source plus one cluster (32 MiB at most), so a single allocation above
# malloc_limit_mb is a volume number that sized a buffer unchecked; it is reported well before
# the process as a whole comes near rss_limit_mb. One input must be walked within timeout
# seconds, or it counts as a hang (a sound input takes a fraction of a second).
max_len=131072
timeout=10
malloc_limit_mb=64
rss_limit_mb=1024

missing=()
for p in cmake make clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

build=build/fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRINDLE_TESTS=OFF -DBRINDLE_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(( $(nproc) < 2 ? $(nproc) : 2 ))" \
  --target "${targets[@]/#/fuzz_}"

# run_target NAME: one libFuzzer run; its log goes to build/fuzz/logs/NAME-<time>.log.
run_target() {
  local name=$1
  local corpus=$build/corpus/$name findings=$build/findings/$name log=$build/logs/$name-$(date +%Y%m%d-%H%M%S).log
  mkdir -p "$corpus" "$findings" "$build/logs"
  for kept in fuzz/corpus/"$name" fuzz/regressions/"$name"; do
    [ -d "$kept" ] && cp "$kept"/* "$corpus"/ 2>/dev/null || true
  done
  echo "fuzz_$name: ${seconds}s, corpus $(ls "$corpus" | wc -l) inputs, log $log"
  local status=0 started=$SECONDS
  # A small quarantine lets freed blocks be reused sooner: the walk allocates a lot, and fresh
  # pages for every block cost half the speed.
  ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/fuzz_$name" "$corpus" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" \
    -rss_limit_mb="$rss_limit_mb" -malloc_limit_mb="$malloc_limit_mb" \
    -artifact_prefix="$findings/" -print_final_stats=1 ${FUZZ_ARGS:-} >"$log" 2>&1 || status=$?
  echo "elapsed: $((SECONDS - started)) s, exit $status" >>"$log"
  grep -E '^(stat::|#[0-9]+ +DONE)' "$log" | sed "s/^/  fuzz_$name: /" || true
  if [ $status -ne 0 ]; then
    echo "fuzz_$name: FINDING (exit $status); inputs in $findings/:" >&2
    ls "$findings" >&2
    grep -m1 -E 'ERROR|runtime error|SUMMARY' "$log" >&2 || tail -n 20 "$log" >&2
  fi
  return $status
}

failed=0
pids=()
for name in "${targets[@]}"; do
  run_target "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done

if [ $failed -ne 0 ]; then
  echo "Fuzzing found faults: see build/fuzz/findings/ and build/fuzz/logs/." >&2
  exit 1
fi
echo "Fuzzing found nothing in ${seconds}s per target."
