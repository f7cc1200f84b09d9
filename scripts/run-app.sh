#!/usr/bin/env bash
# Builds the app alone (no tests, no benchmarks), installs it and launches it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TESSALINE_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh" --app
"$root/scripts/build.sh" app
# Installed, the desktop knows the app: its name and icon in the shell's
# bar and launcher, and the overview's and KRunner's search, which find
# snips through the desktop file and the bus service that starts the app.
cmake --install "$build" >/dev/null
prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
exec "${prefix:-/usr/local}/bin/tessaline" "$@"
