#!/usr/bin/env bash
# Builds the annotation document fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a fixed time from the seed corpus.
# Usage: run-fuzz.sh [build dir] [seconds]
# The fuzzer's own output goes to a log that is shown only when it finds
# something, so the test run's summary stays readable.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build-fuzz}"
seconds="${2:-25}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null

# New inputs go to a scratch folder; the committed seeds are only read.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
log="$build/fuzz_annotationdocument.log"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"

if "$build/fuzz_annotationdocument" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -dict="$here/annotation.dict" -artifact_prefix="$build/" "$work" "$here/corpus" >"$log" 2>&1; then
  echo "Annotation document fuzzing: clean, $(grep -o 'Done [0-9]* runs' "$log" | tail -1 | cut -d' ' -f2) inputs in ${seconds}s"
else
  cat "$log"
  echo "Annotation document fuzzing found a failure; the input is in $build/" >&2
  exit 1
fi
