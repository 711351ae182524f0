#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: unit and
# widget tests on Qt's offscreen platform, end-to-end tests against a private
# X server and a PulseAudio null sink that with-test-env.sh starts and stops.
# Builds the Debian package too (scripts/package.sh), which a test inspects.
#
# Then builds everything again with AddressSanitizer and
# UndefinedBehaviorSanitizer into <build dir>-asan and runs the whole suite
# once more there; the tests and the programs they start inherit the
# sanitizer settings. Any sanitizer report, from any process, fails the run.
# TANDRA_SKIP_SANITIZERS=1 skips that stage locally (never under CI=true).
# Arguments go to both ctest runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDRA_BUILD_DIR:-$root/build}
asan_build=${TANDRA_ASAN_BUILD_DIR:-$build-asan}

stage() { echo "== test.sh: $* ($(date +%T))"; }

stage "build"
"$root/scripts/build.sh"
# Once, for the plain build's check_package test; the sanitizer stage has no
# package of its own to check.
stage "package"
"$root/scripts/package.sh"
stage "tests"
"$root/scripts/with-test-env.sh" ctest --test-dir "$build" --output-on-failure -j2 "$@"
# The end-to-end tests of outputs once more under PipeWire, which Debian's
# desktop runs (pipewire-pulse in PulseAudio's place).
stage "tests of outputs under PipeWire"
TANDRA_SOUND_SERVER_KIND=pipewire "$root/scripts/with-test-env.sh" \
    ctest --test-dir "$build" --output-on-failure --no-tests=error -L outputs "$@"

if [ "${TANDRA_SKIP_SANITIZERS:-0}" = 1 ]; then
    if [ "${CI:-}" = true ]; then
        stage "TANDRA_SKIP_SANITIZERS ignored under CI"
    else
        stage "sanitizer stage skipped (TANDRA_SKIP_SANITIZERS=1)"
        exit 0
    fi
fi

# Our own parsers, fuzzed for a minute in all under the same sanitizers
# (scripts/fuzz.sh); skipped with them.
stage "fuzzing"
"$root/scripts/fuzz.sh" 60

stage "sanitizer build"
# The benchmark is measured in the plain build only.
cmake -S "$root" -B "$asan_build" -DTANDRA_SANITIZE=ON -DTANDRA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$asan_build" -j2

# Reports go to files here instead of stderr, so that one from a program a
# test started (whose exit status nobody may look at) still fails the run;
# they are printed at the end.
reports=$(mktemp -d "${TMPDIR:-/tmp}/tandra-sanitizers.XXXXXX")
trap 'rm -rf "$reports"' EXIT

# No strict_string_checks: libxkbcommon-x11 rightly strndup()s atom names
# that have no terminating NUL, which that check reports as an overflow.
# Allocation stacks are unwound the slow, exact way, because the system
# libraries keep no frame pointers: the fast unwinder stops at the first of
# them, leaving too little to tell a library's leak from ours. 24 frames
# reach the GStreamer plugin behind a leak. The end-to-end tests go back to
# fast stacks without the leak check (tests/CMakeLists.txt says why).
asan_options=(
    detect_leaks=1
    halt_on_error=1
    abort_on_error=0
    detect_stack_use_after_return=1
    check_initialization_order=1
    strict_init_order=1
    detect_odr_violation=2
    fast_unwind_on_malloc=0
    malloc_context_size=24
    "log_path='$reports/asan'"
    log_exe_name=1
)
export ASAN_OPTIONS=$(IFS=:; echo "${asan_options[*]}")
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path='$reports/ubsan':log_exe_name=1"
export LSAN_OPTIONS="suppressions='$root/tests/sanitizers/lsan.supp':print_suppressions=0"
# GLib's slice allocator would hide GStreamer's small objects from ASan.
export G_SLICE=always-malloc

stage "sanitizer tests"
status=0
"$root/scripts/with-test-env.sh" ctest --test-dir "$asan_build" --output-on-failure -j2 "$@" || status=$?

shopt -s nullglob
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
    for f in "${found[@]}"; do
        echo "== sanitizer report ${f##*/}:"
        cat "$f"
    done
    echo "test.sh: ${#found[@]} sanitizer report(s), see above" >&2
    [ "$status" -ne 0 ] || status=1
fi
# Nothing printed after a clean run: ctest's summary stays the last word.
exit "$status"
