#!/usr/bin/env bash
# Builds the reader's fuzz targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# seeds them from the test fixtures and runs each for a bounded time. A crash, a leak, a
# sanitizer report or a difference from the reference fails the run.
#   FUZZ_SECONDS (default 60) per target; BUILD_DIR (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DSETUP_FUZZ=ON -DSETUP_SANITIZE=ON \
  -DSETUP_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_ini_plain fuzz_ini_encrypted fuzz_ini_differential eiftool

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/plain" "$work/encrypted" "$work/artifacts"
cp tests/fuzz/corpus/plain/* "$work/plain/"
n=0
for seed in tests/fuzz/corpus/plain/*; do
  for chunk in 86 7; do
    n=$((n + 1))
    "$build/bin/eiftool" encrypt "$seed" "$work/encrypted/seed$n.eif" --chunk "$chunk"
  done
done
# The marker alone, and the marker with one block of 0xFF (a value not below the modulus).
head -c 14 "$work/encrypted/seed1.eif" >"$work/encrypted/marker-only.eif"
{ head -c 14 "$work/encrypted/seed1.eif"; head -c 128 /dev/zero | tr '\0' '\377'; } \
  >"$work/encrypted/not-below-modulus.eif"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TMPDIR="$work"
for target in plain:plain encrypted:encrypted differential:plain; do
  name=${target%%:*}
  corpus=${target##*:}
  echo "fuzzing fuzz_ini_$name for ${seconds}s"
  status=0
  "$build/bin/fuzz_ini_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -max_len=4096 -artifact_prefix="$work/artifacts/$name-" -print_final_stats=1 \
    "$work/$corpus" >"$work/$name.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/$name.log" >&2
    echo "fuzz_ini_$name failed; the inputs that failed, in base64:" >&2
    for f in "$work"/artifacts/*; do [ -f "$f" ] && { echo "$f" >&2; base64 "$f" >&2; }; done
    exit 1
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)" "$work/$name.log" || true
done
