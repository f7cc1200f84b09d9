#!/usr/bin/env bash
# Builds Tessaline and launches it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "${TESSALINE_BUILD_DIR:-$root/build}/src/shell/tessaline" "$@"
