#!/usr/bin/env bash
# Builds Tessaline and runs every test: unit tests offscreen, X11 tests on a
# virtual X server, all of them on a private D-Bus session bus; then the
# Wayland tests in headless Wayland sessions.
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

# Every stage runs even when an earlier one failed, so one run tells
# everything; the command fails at the end, naming the stages that failed.
failed=()
stage() {
  local name=$1
  shift
  echo "== $name" >&2
  if ! "$@"; then
    failed+=("$name")
  fi
}

stage "unit and X11 tests" \
  xvfb-run -a -s "-screen 0 1920x1080x24" \
  dbus-run-session -- \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 -LE wayland

# The Wayland tests, each flavour in its own headless session (its own bus,
# compositor and portals), which the session script starts and stops by
# process id. A session that cannot start fails its stage, and a test that
# finds no session fails rather than skips: a green run has run them all.
wayland_state="$(mktemp -d /tmp/tessaline-wayland.XXXXXX)"
chmod 755 "$wayland_state"
trap 'rm -rf "$runtime" "$wayland_state"' EXIT
wayland_tests() {
  local flavour=$1
  shift
  (
    export WAYLAND_SESSION_DIR="$wayland_state/$flavour"
    export TESSALINE_WAYLAND_SESSION_REQUIRED=1
    trap '"$root/scripts/wayland-session.sh" stop >/dev/null 2>&1 || true' EXIT
    # A portal that hangs as it starts (seen once of many GNOME starts on a
    # busy machine) gets a second start before the stage gives up.
    if ! session="$("$root/scripts/wayland-session.sh" start "$@")"; then
      "$root/scripts/wayland-session.sh" stop >/dev/null 2>&1 || true
      if ! session="$("$root/scripts/wayland-session.sh" start "$@")"; then
        echo "The $flavour Wayland session could not start, twice; its tests did not run." >&2
        exit 1
      fi
    fi
    eval "$session"
    ctest --test-dir "$build" --output-on-failure --timeout 600 -L "^$flavour\$"
  )
}
stage "Wayland tests (sway)" wayland_tests sway
stage "Wayland tests (kde)" wayland_tests kde --kde
stage "Wayland tests (gnome)" wayland_tests gnome --gnome

# Every reader of stored or external bytes, fuzzed briefly under the
# sanitizers: 75 seconds shared between the fuzzers.
stage "fuzzers" "$root/tests/fuzz/run-fuzz.sh" "$build/fuzz" 75

if (( ${#failed[@]} > 0 )); then
  printf -v list '%s, ' "${failed[@]}"
  echo "Failed: ${list%, }." >&2
  exit 1
fi
echo "Every stage passed." >&2
