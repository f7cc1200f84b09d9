#!/usr/bin/env bash
# Draws the benchmark picture corpus into build/bench/corpus (or the folder
# given) and lists the PNG size of each picture. Nothing is copied from
# anywhere: every picture is drawn from a fixed seed.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${TESSALINE_BUILD_DIR:-$root/build}"
cmake --build "$build" --target bench_makepictures >/dev/null
"$build/bench/corpus/bench_makepictures" "${1:-$build/bench/corpus}"
