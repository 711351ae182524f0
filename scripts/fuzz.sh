#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang++, AddressSanitizer and
# UndefinedBehaviorSanitizer into <build dir>-fuzz, and runs each in turn for
# its share of SECONDS (default 60, in all). Prints per target the inputs run
# and what was found; exits non-zero when a target found a crash, a broken
# promise, a leak, a hang or a sanitizer report. What was found is kept in
# <build dir>-fuzz/findings/<target>/ and the corpus grows in .../corpus/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${TANDRA_FUZZ_BUILD_DIR:-${TANDRA_BUILD_DIR:-$root/build}-fuzz}
targets=(fuzz_sector_reader fuzz_jpeg_end fuzz_skin_folders fuzz_command_line)

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt ${#targets[@]} ]; then
    echo "usage: $0 [SECONDS >= ${#targets[@]}]" >&2
    exit 2
fi

# The compiler and its fuzzer runtime; llvm brings the symbolizer for the
# reports' stacks.
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev llvm
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DTANDRA_FUZZ=ON -DTANDRA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j2 --target tandra_fuzzers

export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

share=$((seconds / ${#targets[@]}))
status=0
failed=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus" "$findings" "$(dirname "$log")"
    # New inputs go to the first folder; the committed seeds stay as they are.
    seeds=("$root/tests/fuzz/corpus/$target")
    options=()
    case $target in
        fuzz_jpeg_end) seeds+=("$root/SkinDefault") ;;
        fuzz_sector_reader) options+=(-max_len=10000) ;; # a header and four sectors
    esac
    result=0
    "$build/tests/fuzz/$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 || result=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$result" -eq 0 ]; then
        printf 'fuzz.sh: %-20s %4s s %10s runs  nothing found\n' "$target" "$share" "${runs:-?}"
    else
        found=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tr '\n' ' ')
        printf 'fuzz.sh: %-20s %4s s %10s runs  FOUND (exit %s): %s\n' "$target" "$share" "${runs:-?}" "$result" \
            "${found:-see $log}"
        failed+=("$target")
        status=1
    fi
done

for target in "${failed[@]}"; do
    echo "== fuzz.sh: the report of $target ($build/logs/$target.log):"
    grep -v -e '^#[0-9]' -e '^\s*NEW_FUNC' "$build/logs/$target.log" | tail -n 60
done
exit "$status"
