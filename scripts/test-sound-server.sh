#!/usr/bin/env bash
# Usage: scripts/test-sound-server.sh start|stop|pid
#        scripts/test-sound-server.sh add-sink NAME|remove-sink NAME
#
# Starts, stops or names the private sound server of scripts/with-test-env.sh,
# which calls it with TANDRA_TEST_DIR set (its configuration is there) and
# exports its path as TANDRA_SOUND_SERVER for tests that take the server away
# and bring it back. The server is PulseAudio, or PipeWire with WirePlumber
# and pipewire-pulse when TANDRA_SOUND_SERVER_KIND=pipewire; clients reach
# either through PULSE_SERVER.
#   start        returns once the null sink answers as the default sink and
#                its monitor delivers short blocks
#   stop         stops the whole server (sinks added since are gone with it)
#   pid          the process clients talk to: pulseaudio, or pipewire-pulse
#   add-sink NAME     adds a second null sink NAME (description NAME, monitor
#                NAME.monitor), ready as for "start"; it is not the default
#   remove-sink NAME  unloads it again, as when a device is unplugged
set -uo pipefail

dir=${TANDRA_TEST_DIR:?run under scripts/with-test-env.sh}
readonly sink_name=${TANDRA_NULL_SINK:-tandra_null}
readonly kind=${TANDRA_SOUND_SERVER_KIND:-pulseaudio}
readonly start_timeout=10
# The process clients talk to, by the name launch() gives it.
case $kind in
pulseaudio) readonly server=pulse ;;
pipewire) readonly server=pipewire-pulse ;;
*) echo "test-sound-server: unknown TANDRA_SOUND_SERVER_KIND '$kind' (pulseaudio or pipewire)" >&2; exit 2 ;;
esac

say() { echo "test-sound-server: $*" >&2; }

# Our daemons outlive this script and are reaped by init, which may take a
# while: a zombie counts as gone.
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

# TERM, a bounded wait, then KILL, for the process group led by the pid in $1.
stop_pidfile() {
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 0
    rm -f "$1"
    [ -n "$pid" ] || return 0
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || return 0
    local i
    for ((i = 0; i < 50; i++)); do
        alive "$pid" || return 0
        sleep 0.1
    done
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null
    return 0
}

# Runs the rest of the arguments in a session of its own, logging to
# $dir/$1.log, and keeps its pid in $dir/$1.pid.
launch() {
    local name=$1
    shift
    setsid "$@" >>"$dir/$name.log" 2>&1 </dev/null &
    echo "$!" >"$dir/$name.pid"
}

# Polls the command in $2... every 0.1 s until it succeeds; fails as soon as
# the process named $1 (see launch) has gone, or after start_timeout.
wait_for() {
    local name=$1 i
    shift
    for ((i = 0; i < start_timeout * 10; i++)); do
        "$@" && return 0
        alive "$(cat "$dir/$name.pid" 2>/dev/null)" || return 1
        sleep 0.1
    done
    return 1
}

show_logs() {
    local log
    for log in "$@"; do
        [ -s "$dir/$log.log" ] || continue
        say "$log output:"
        sed 's/^/  /' "$dir/$log.log" >&2
    done
}

sink_listed() { timeout 2 pactl list short sinks 2>/dev/null | grep -q "^[0-9]*[[:space:]]$1[[:space:]]"; }
sink_gone() { ! sink_listed "$1"; }
is_default() { [ "$(timeout 2 pactl get-default-sink 2>/dev/null)" = "$sink_name" ]; }
make_default() { is_default || { timeout 2 pactl set-default-sink "$sink_name" 2>/dev/null; false; }; }
server_answers() { timeout 2 pactl info >/dev/null 2>&1; }

# A null sink renders in blocks as long as the longest latency any client
# asked for (2 s when nobody asked), and audio of a block that began before
# a recorder connected never reaches it. A recorder that asks for 10 ms and
# stays connected keeps the blocks short, so recordings start at once and
# keep time. Returns once a fresh recorder of sink $1 gets data at once.
keep_blocks_short() {
    local sink=$1 keepalive=$2 i
    local low_latency_rec=(parec -d "$sink.monitor" --latency-msec=10 --format=u8 --rate=8000 --channels=1 --raw)
    setsid "${low_latency_rec[@]}" >/dev/null 2>"$dir/$keepalive.log" </dev/null &
    echo "$!" >"$dir/$keepalive.pid"
    for ((i = 0; i < start_timeout * 2; i++)); do
        alive "$(cat "$dir/$keepalive.pid")" || break
        # Once the blocks are short a fresh recorder gets data well within 0.3 s.
        if [ "$( (timeout 0.3 "${low_latency_rec[@]}" 2>/dev/null || true) | head -c 1 | wc -c)" = 1 ]; then
            return 0
        fi
    done
    show_logs "$keepalive"
    say "the monitor of '$sink' delivered no audio within ${start_timeout} s"
    return 1
}

# The same environment for every server process: nothing of it lives in
# $HOME, and DISPLAY is dropped so that nothing autolaunches a session bus
# through X; each start names its D-Bus (a private bus, or none at all).
server_env=(env -u DISPLAY -u PIPEWIRE_REMOTE
    HOME="$dir"
    XDG_RUNTIME_DIR="$dir"
    PIPEWIRE_RUNTIME_DIR="$dir"
    XDG_CONFIG_HOME="$dir/config"
    XDG_STATE_HOME="$dir/state"
    PULSE_RUNTIME_PATH="$dir/pulse"
    PULSE_STATE_PATH="$dir/state"
    PULSE_COOKIE="$dir/cookie")

start_pulseaudio() {
    # In user mode even as root (it only warns then).
    launch pulse "${server_env[@]}" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/no-bus" \
        PULSE_CONFIG="$dir/daemon.conf" \
        pulseaudio -n -F "$dir/tandra.pa" \
        --system=false --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --use-pid-file=false --realtime=false --high-priority=false \
        --log-target=stderr --log-level=warning
    wait_for pulse is_default && return 0
    show_logs pulse
    say "PulseAudio with the null sink '$sink_name' as default did not answer within ${start_timeout} s"
    return 1
}

# PipeWire, WirePlumber and pipewire-pulse on the private bus of bus.conf.
start_pipewire() {
    local bus="DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus"
    rm -f "$dir/bus" "$dir/pipewire-0" "$dir/pipewire-0.lock"
    launch dbus dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile
    wait_for dbus test -S "$dir/bus" || { show_logs dbus; say "dbus-daemon could not start"; return 1; }
    launch pipewire "${server_env[@]}" "$bus" pipewire
    wait_for pipewire test -S "$dir/pipewire-0" || { show_logs pipewire; say "PipeWire could not start"; return 1; }
    launch wireplumber "${server_env[@]}" "$bus" wireplumber
    launch pipewire-pulse "${server_env[@]}" "$bus" pipewire-pulse
    if ! wait_for pipewire-pulse server_answers; then
        show_logs pipewire wireplumber pipewire-pulse
        say "pipewire-pulse did not answer within ${start_timeout} s"
        return 1
    fi
    load_null_sink "$sink_name" Tandra_null_sink >/dev/null || return 1
    # The default is WirePlumber's to keep: ask until it has taken it.
    if ! wait_for wireplumber make_default; then
        show_logs pipewire wireplumber pipewire-pulse
        say "PipeWire did not make '$sink_name' the default sink"
        return 1
    fi
}

# Loads null sink $1 described as $2 at the test rate; prints its module index.
# Never suspended for idling, as PulseAudio's (which has no suspend module here).
load_null_sink() {
    timeout 5 pactl load-module module-null-sink sink_name="$1" rate="${TANDRA_SINK_RATE:-48000}" channels=2 \
        channel_map=front-left,front-right \
        sink_properties="'device.description=$2 session.suspend-timeout-seconds=0'" ||
        { say "cannot load a null sink '$1'"; return 1; }
}

stop_server() {
    local f
    for f in "$dir"/sink-*.keepalive.pid "$dir/keepalive.pid"; do
        [ -e "$f" ] && stop_pidfile "$f"
    done
    rm -f "$dir"/sink-*.module
    # Clients' server first, the bus last; names never started are skipped.
    for f in pulse pipewire-pulse wireplumber pipewire dbus; do
        stop_pidfile "$dir/$f.pid"
    done
}

add_sink() {
    local name=$1 index
    [ -e "$dir/sink-$name.module" ] && { say "a sink '$name' was already added"; return 1; }
    index=$(load_null_sink "$name" "$name") || return 1
    echo "$index" >"$dir/sink-$name.module"
    wait_for "$server" sink_listed "$name" || { say "the null sink '$name' did not appear within ${start_timeout} s"; return 1; }
    keep_blocks_short "$name" "sink-$name.keepalive"
}

remove_sink() {
    local name=$1 index
    index=$(cat "$dir/sink-$name.module" 2>/dev/null) || { say "no sink '$name' was added"; return 1; }
    stop_pidfile "$dir/sink-$name.keepalive.pid"
    rm -f "$dir/sink-$name.module"
    timeout 5 pactl unload-module "$index" || { say "cannot unload the sink '$name'"; return 1; }
    wait_for "$server" sink_gone "$name" || { say "the null sink '$name' was still there after ${start_timeout} s"; return 1; }
}

valid_name() {
    [[ ${1:-} =~ ^[A-Za-z0-9_.-]+$ ]] || { say "a sink name is letters, digits, '_', '.' or '-'"; exit 2; }
}

case "${1:-}" in
start)
    "start_$kind" && keep_blocks_short "$sink_name" keepalive
    ;;
stop) stop_server ;;
pid) cat "$dir/$server.pid" ;;
add-sink) valid_name "${2:-}" && add_sink "$2" ;;
remove-sink) valid_name "${2:-}" && remove_sink "$2" ;;
*)
    echo "usage: $0 start|stop|pid|add-sink NAME|remove-sink NAME" >&2
    exit 2
    ;;
esac
