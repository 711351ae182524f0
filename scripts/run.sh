#!/usr/bin/env bash
# Installs what is missing, builds, and starts the player.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDRA_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
exec "$build/tandra"
