#!/usr/bin/env bash
# Usage: scripts/test-sound-server.sh start|stop|pid
#
# Starts, stops or names the private PulseAudio daemon of
# scripts/with-test-env.sh, which calls it with TANDRA_TEST_DIR set (its
# configuration is there) and exports its path as TANDRA_SOUND_SERVER for
# tests that take the server away and bring it back. "start" returns once
# the null sink answers and its monitor delivers short blocks.
set -uo pipefail

dir=${TANDRA_TEST_DIR:?run under scripts/with-test-env.sh}
readonly sink_name=${TANDRA_NULL_SINK:-tandra_null}
readonly start_timeout=10

say() { echo "test-sound-server: $*" >&2; }

# TERM, a bounded wait, then KILL, for the process group led by the pid in $1.
stop_pidfile() {
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 0
    rm -f "$1"
    [ -n "$pid" ] || return 0
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || return 0
    local i
    for ((i = 0; i < 50; i++)); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null
    return 0
}

start() {
    # In user mode even as root (it only warns then); nothing of it lives in
    # $HOME. DISPLAY is dropped and D-Bus pointed nowhere so that it cannot
    # launch a session bus that would outlive us.
    setsid env -u DISPLAY \
        HOME="$dir" \
        XDG_RUNTIME_DIR="$dir" \
        XDG_CONFIG_HOME="$dir/config" \
        PULSE_CONFIG="$dir/daemon.conf" \
        PULSE_RUNTIME_PATH="$dir/pulse" \
        PULSE_STATE_PATH="$dir/state" \
        PULSE_COOKIE="$dir/cookie" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus" \
        pulseaudio -n -F "$dir/tandra.pa" \
        --system=false --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --use-pid-file=false --realtime=false --high-priority=false \
        --log-target=stderr --log-level=warning \
        >>"$dir/pulse.log" 2>&1 </dev/null &
    local pulse_pid=$!
    echo "$pulse_pid" >"$dir/pulse.pid"

    local ready= i
    for ((i = 0; i < start_timeout * 10; i++)); do
        kill -0 "$pulse_pid" 2>/dev/null || break
        if timeout 2 pactl list short sinks 2>/dev/null | grep -q "^[0-9]*[[:space:]]$sink_name[[:space:]]"; then
            ready=1
            break
        fi
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        say "PulseAudio output:"
        sed 's/^/  /' "$dir/pulse.log" >&2
        kill -0 "$pulse_pid" 2>/dev/null || { say "PulseAudio could not start"; return 1; }
        say "PulseAudio with the null sink '$sink_name' did not answer within ${start_timeout} s"
        return 1
    fi

    # A null sink renders in blocks as long as the longest latency any client
    # asked for (2 s when nobody asked), and audio of a block that began before
    # a recorder connected never reaches it. A recorder that asks for 10 ms and
    # stays connected keeps the blocks short, so recordings start at once and
    # keep time.
    local low_latency_rec=(parec -d "$sink_name.monitor" --latency-msec=10 --format=u8 --rate=8000 --channels=1 --raw)
    setsid "${low_latency_rec[@]}" >/dev/null 2>"$dir/keepalive.log" </dev/null &
    local keepalive_pid=$!
    echo "$keepalive_pid" >"$dir/keepalive.pid"
    for ((i = 0; i < start_timeout * 2; i++)); do
        kill -0 "$keepalive_pid" 2>/dev/null || break
        # Once the blocks are short a fresh recorder gets data well within 0.3 s.
        if [ "$( (timeout 0.3 "${low_latency_rec[@]}" 2>/dev/null || true) | head -c 1 | wc -c)" = 1 ]; then
            return 0
        fi
    done
    say "PulseAudio output:"
    sed 's/^/  /' "$dir/pulse.log" "$dir/keepalive.log" >&2
    kill -0 "$keepalive_pid" 2>/dev/null || { say "parec could not record '$sink_name.monitor'"; return 1; }
    say "the monitor of '$sink_name' delivered no audio within ${start_timeout} s"
    return 1
}

case "${1:-}" in
start) start ;;
stop)
    stop_pidfile "$dir/keepalive.pid"
    stop_pidfile "$dir/pulse.pid"
    ;;
pid) cat "$dir/pulse.pid" ;;
*)
    echo "usage: $0 start|stop|pid" >&2
    exit 2
    ;;
esac
