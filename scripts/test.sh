#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: unit and
# widget tests on Qt's offscreen platform, end-to-end tests against a private
# X server and a PulseAudio null sink that with-test-env.sh starts and stops.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDRA_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
"$root/scripts/with-test-env.sh" ctest --test-dir "$build" --output-on-failure -j2 "$@"
