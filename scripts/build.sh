#!/usr/bin/env bash
# Configures and builds Tessaline into ./build (or $TESSALINE_BUILD_DIR):
# everything, or only the targets named (build.sh app: the app alone).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TESSALINE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" ${1:+--target "$@"}
