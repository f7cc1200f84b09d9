#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each from its seed corpus, sharing a
# fixed time between them.
# Usage: run-fuzz.sh [build dir] [total seconds]
# A fuzzer's own output goes to a log that is shown only when it finds
# something, so the test run's summary stays readable.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build-fuzz}"
total="${2:-75}"

# name, then the dictionary (empty for none). A new fuzzer is one line here,
# its tessaline_add_fuzzer in CMakeLists.txt and a corpus/<name>/ folder.
fuzzers=(
  "annotationdocument annotation.dict"
  "boardwritingdocument writing.dict"
  "suggestedfilename"
  "shortcutconfiguration shortcut.dict"
  "onboardingpreferences onboarding.dict"
  "storedpicture"
)
seconds=$(( total / ${#fuzzers[@]} ))
(( seconds > 0 )) || seconds=1

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! output="$(cmake --build "$build" 2>&1)"; then
  echo "$output"
  echo "The fuzzers could not be built." >&2
  exit 1
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"

failed=0
for entry in "${fuzzers[@]}"; do
  read -r name dict <<<"$entry"
  # New inputs go to a scratch folder; the committed seeds are only read.
  work="$(mktemp -d)"
  log="$build/fuzz_$name.log"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$build/$name-")
  [[ -n "${dict:-}" ]] && options+=(-dict="$here/$dict")
  if "$build/fuzz_$name" "${options[@]}" "$work" "$here/corpus/$name" >"$log" 2>&1; then
    echo "Fuzzing $name: clean, $(grep -o 'Done [0-9]* runs' "$log" | tail -1 | cut -d' ' -f2) inputs in ${seconds}s"
  else
    cat "$log"
    echo "Fuzzing $name found a failure; the input is in $build/" >&2
    failed=1
  fi
  rm -rf "$work"
done
exit "$failed"
