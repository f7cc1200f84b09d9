#!/usr/bin/env bash
# Builds Tessaline and runs every test: unit tests offscreen, X11 tests on a
# virtual X server, all of them on a private D-Bus session bus.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TESSALINE_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

runtime="$(mktemp -d)"
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"
# Tests must never touch the user's own library or settings.
export HOME="$runtime/home"
mkdir -p "$HOME"

xvfb-run -a -s "-screen 0 1920x1080x24" \
  dbus-run-session -- \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600

# Every reader of stored or external bytes, fuzzed briefly under the
# sanitizers: 75 seconds shared between the fuzzers.
"$root/tests/fuzz/run-fuzz.sh" "$build/fuzz" 75
