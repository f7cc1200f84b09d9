#!/usr/bin/env bash
# Builds Tessaline with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer (TESSALINE_SANITIZE) into ./build-asan (or
# $TESSALINE_BUILD_DIR) and runs the unit and X11 tests there, then, with
# --wayland, the sway tests. A memory error, undefined behaviour or a leak
# fails the test that met it; leaks in third-party libraries are left out
# by scripts/sanitizers.supp, which the tests are given by the build.
# Too slow for every run (the build takes several times the usual one and
# about 20 GB): run it after changes to memory handling, ownership or pixel
# arithmetic.
# Usage: run-sanitized-tests.sh [--wayland] [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TESSALINE_BUILD_DIR:-$root/build-asan}"
wayland=0
if [[ "${1:-}" == "--wayland" ]]; then
  wayland=1
  shift
fi
jobs="${TESSALINE_JOBS:-$(nproc)}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_SANITIZE=ON \
  -DTESSALINE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$jobs"

runtime="$(mktemp -d)"
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"
export HOME="$runtime/home"
mkdir -p "$HOME"

status=0
# Each test's time limit is the build's, longer under the sanitizers.
xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- \
  ctest --test-dir "$build" --output-on-failure -j "$jobs" -LE wayland "$@" || status=1

if (( wayland )); then
  # Readable by the session's own user, whom the session runs as under root.
  wayland_state="$(mktemp -d /tmp/tessaline-wayland.XXXXXX)"
  chmod 755 "$wayland_state"
  export WAYLAND_SESSION_DIR="$wayland_state/sway"
  trap '"$root/scripts/wayland-session.sh" stop >/dev/null 2>&1 || true; rm -rf "$runtime" "$wayland_state"' EXIT
  # A session that cannot start fails the run, as do tests that find none.
  export TESSALINE_WAYLAND_SESSION_REQUIRED=1
  if session="$("$root/scripts/wayland-session.sh" start)"; then
    eval "$session"
  else
    echo "The sway Wayland session could not start; its tests did not run." >&2
    exit 1
  fi
  ctest --test-dir "$build" --output-on-failure -L "^sway\$" "$@" || status=1
fi
exit "$status"
