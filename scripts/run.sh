#!/usr/bin/env bash
# Usage: scripts/run.sh [FILE1 [FILE2]]
# Installs what is missing, builds, and starts the player with the files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDRA_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
exec "$build/tandra" "$@"
