#!/usr/bin/env bash
# Usage: bench/run.sh [--quick] [--runs N]
#
# Installs what the benchmark needs, builds this program, the old one (a
# playbin per channel, built once into build-bench-old/) and the bare Qt
# window, then measures them all under scripts/with-test-env.sh and prints
# the tables. The table also goes to build/bench/last-run.md, everything the
# players said to build/bench/last-run.log. About 40 minutes; --quick measures
# eight pairs of kinds instead of all 21 (about 20). Both kinds of run add a
# second null sink for the rows of two outputs (start skew, processor).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
old_commit=954c2a1
old=$root/build-bench-old

say() { echo "run.sh: $*" >&2; }

# --- what it needs ------------------------------------------------------------
# sox and ffmpeg mix the peer figures (sox from MP3s, to the sound server).
"$root/scripts/install-deps.sh" sox libsox-fmt-mp3 libsox-fmt-pulse ffmpeg

# --- this program ---------------------------------------------------------------
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
say "building this program and the benchmark"
cmake --build "$build" -j2 --target tandra_bench tandra >/dev/null

# --- the old program, from its own sources, kept for the next run ---------------
if [ ! -x "$old/build/tandra" ] || [ "$(cat "$old/commit" 2>/dev/null)" != "$old_commit" ]; then
  say "building the old program ($old_commit) into $old"
  rm -rf "$old"
  mkdir -p "$old/src"
  git -C "$root" archive "$old_commit" | tar -x -C "$old/src"
  cmake -S "$old/src" -B "$old/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$old/build" -j2 --target tandra >/dev/null
  echo "$old_commit" >"$old/commit"
fi

# --- measure ----------------------------------------------------------------------
# From a copy, so that a rebuild while it runs can't swap a program under it.
snapshot=$build/bench/snapshot
rm -rf "$snapshot"
mkdir -p "$snapshot"
cp -r "$build/tandra" "$build/SkinDefault" "$build/bench/tandra_bench" "$build/bench/tandra_bare" "$build/bench/tandra_bare_menu" "$snapshot/"

out=$build/bench/last-run.md
log=$build/bench/last-run.log
{
  echo "Run $(date '+%Y-%m-%d %H:%M %Z') on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'),"
  echo "$(nproc) cores, $(awk '/MemTotal/ {printf "%.1f", $2 / 1048576}' /proc/meminfo) GiB;" \
    "GStreamer $(gst-launch-1.0 --version | sed -n 's/.*GStreamer \([0-9.]*\).*/\1/p' | head -1)."
  echo "This program: $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- . ':!bench' || echo ' with changes')," \
    "old program: $old_commit. Load average before: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
} | tee "$out"

say "measuring; the players' own messages go to $log"
programs=(--new "$snapshot/tandra" --old "$old/build/tandra" --bare "$snapshot/tandra_bare")
"$root/scripts/with-test-env.sh" "$snapshot/tandra_bench" report "${programs[@]}" --skip-use "$@" \
  2> >(tee "$log" | grep --line-buffered '^bench:' >&2) | tee -a "$out"
# Processor time at PulseAudio's own default rate, the files' rate: there no
# player needs any resampling.
TANDRA_SINK_RATE=44100 "$root/scripts/with-test-env.sh" "$snapshot/tandra_bench" report "${programs[@]}" --use-only \
  2> >(tee -a "$log" | grep --line-buffered '^bench:' >&2) | tee -a "$out"
echo "✓ meets its target, ✗ misses it; — nothing heard." | tee -a "$out"
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)." | tee -a "$out"
