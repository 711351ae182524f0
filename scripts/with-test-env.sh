#!/usr/bin/env bash
# Usage: scripts/with-test-env.sh COMMAND [ARGS...]
#
# Runs COMMAND with a private X server (Xvfb, 1024x768x24) and a private
# sound server whose only sink is a null sink, then stops both and exits
# with COMMAND's exit status. The sound server is PulseAudio, or with
# TANDRA_SOUND_SERVER_KIND=pipewire PipeWire, WirePlumber and pipewire-pulse
# (with a private D-Bus of their own); clients see the same either way.
# Exports for COMMAND:
#   DISPLAY            the Xvfb display
#   XDG_RUNTIME_DIR    a private 0700 directory, removed afterwards
#   PULSE_SERVER       unix:<that dir>/pulse/native (pipewire-pulse's too)
#   PULSE_COOKIE       a cookie file inside that dir (keeps clients out of $HOME)
#   PULSE_CLIENTCONFIG a client.conf with autospawn off, so a client never
#                      starts some other daemon behind our back
#   TANDRA_NULL_SINK   tandra_null (its monitor source is tandra_null.monitor)
#   TANDRA_TEST_ENV    1
# The null sink runs at TANDRA_SINK_RATE if set (48000 otherwise).
#   TANDRA_SOUND_SERVER  scripts/test-sound-server.sh, to stop and start the
#                      sound server again ("pid" names it), and to add and
#                      remove a second null sink (add-sink|remove-sink NAME)
#   TANDRA_SOUND_SERVER_KIND  pulseaudio or pipewire
# Safe to run as root, without a terminal, and several times in parallel.
set -uo pipefail

# Give the command a valid stdin even when we were started without one,
# before anything else can take descriptor 0.
(exec 9<&0) 2>/dev/null || exec </dev/null

readonly sink_name=tandra_null
readonly start_timeout=10 # seconds each server gets to come up

say() { echo "with-test-env: $*" >&2; }
die() { say "ERROR: $*"; exit 1; } # the EXIT trap cleans up

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

sound_kind=${TANDRA_SOUND_SERVER_KIND:-pulseaudio}
case $sound_kind in
pulseaudio) sound_tools=(pulseaudio) ;;
pipewire) sound_tools=(pipewire wireplumber pipewire-pulse dbus-daemon) ;;
*) die "unknown TANDRA_SOUND_SERVER_KIND '$sound_kind' (pulseaudio or pipewire)" ;;
esac

for tool in Xvfb "${sound_tools[@]}" pactl parec setsid timeout; do
    command -v "$tool" >/dev/null 2>&1 || die "'$tool' not found; run scripts/install-deps.sh"
done

workdir=$(mktemp -d "${TMPDIR:-/tmp}/tandra-env.XXXXXX") || die "cannot create a temporary directory"
chmod 700 "$workdir"

xvfb_pid=
sound_started=
cmd_pid=
display_num=

# Stops the process group led by $1: TERM, a bounded wait, then KILL.
stop_group() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || return 0
    local i
    for ((i = 0; i < 50; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
    return 0
}

cleanup() {
    trap - INT TERM HUP
    [ -z "$sound_started" ] || "$TANDRA_SOUND_SERVER" stop
    stop_group "$xvfb_pid"
    # A killed Xvfb leaves its lock behind; drop it only if it is ours.
    if [ -n "$display_num" ] && [ -n "$xvfb_pid" ] && [ -f "/tmp/.X$display_num-lock" ]; then
        if [ "$(tr -d ' \n' <"/tmp/.X$display_num-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
            rm -f "/tmp/.X$display_num-lock" "/tmp/.X11-unix/X$display_num"
        fi
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT

on_signal() {
    local sig=$1 code=$2
    say "caught SIG$sig, stopping"
    if [ -n "$cmd_pid" ] && kill -0 "$cmd_pid" 2>/dev/null; then
        # TERM, whatever we caught: a background command ignores INT.
        kill -TERM "$cmd_pid" 2>/dev/null
        local i
        for ((i = 0; i < 50; i++)); do
            kill -0 "$cmd_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$cmd_pid" 2>/dev/null
        wait "$cmd_pid" 2>/dev/null
    fi
    exit "$code"
}
trap 'on_signal INT 130' INT
trap 'on_signal TERM 143' TERM
trap 'on_signal HUP 129' HUP

# --- X server -------------------------------------------------------------
# -displayfd lets Xvfb pick a free display itself and tells us once it
# accepts connections, so parallel runs never race for a number.
: >"$workdir/display"
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 </dev/null &
xvfb_pid=$!

for ((i = 0; i < start_timeout * 10; i++)); do
    display_num=$(tr -dc '0-9' <"$workdir/display" 2>/dev/null)
    [ -n "$display_num" ] && grep -q $'\n' "$workdir/display" 2>/dev/null && break
    display_num=
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$display_num" ]; then
    say "Xvfb output:"
    sed 's/^/  /' "$workdir/xvfb.log" >&2
    kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb could not start"
    die "Xvfb did not start within ${start_timeout} s"
fi
export DISPLAY=":$display_num"

# --- the sound server ------------------------------------------------------
mkdir -p "$workdir/pulse" "$workdir/config/pulse" "$workdir/state"
sink_rate=${TANDRA_SINK_RATE:-48000}
chmod 700 "$workdir/pulse"

cat >"$workdir/client.conf" <<EOF
autospawn = no
EOF

if [ "$sound_kind" = pulseaudio ]; then
    cat >"$workdir/daemon.conf" <<EOF
default-sample-rate = $sink_rate
alternate-sample-rate = $sink_rate
default-sample-channels = 2
exit-idle-time = -1
flat-volumes = no
EOF

    # No module-suspend-on-idle: the sink keeps its clock running, so silence
    # is recorded as silence instead of being skipped.
    cat >"$workdir/tandra.pa" <<EOF
load-module module-native-protocol-unix socket="$workdir/pulse/native" auth-anonymous=1
load-module module-null-sink sink_name=$sink_name rate=$sink_rate channels=2 channel_map=front-left,front-right sink_properties=device.description=Tandra_null_sink
set-default-sink $sink_name
set-default-source $sink_name.monitor
EOF
else
    # The graph runs at the sink's rate, as PulseAudio's would.
    mkdir -p "$workdir/config/pipewire/pipewire.conf.d"
    cat >"$workdir/config/pipewire/pipewire.conf.d/tandra.conf" <<EOF
context.properties = {
    default.clock.rate = $sink_rate
    default.clock.allowed-rates = [ $sink_rate ]
}
EOF
    # No devices of the machine, and no stream settings remembered from one
    # test to the next: the null sinks are all there is.
    mkdir -p "$workdir/config/wireplumber/main.lua.d" "$workdir/config/wireplumber/bluetooth.lua.d"
    cat >"$workdir/config/wireplumber/main.lua.d/51-tandra.lua" <<EOF
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
stream_defaults.enabled = false
EOF
    echo "bluez_monitor.enabled = false" >"$workdir/config/wireplumber/bluetooth.lua.d/51-tandra.lua"
    # A session bus for the server alone (WirePlumber does not run without
    # one); it activates no services.
    cat >"$workdir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$workdir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
fi

export XDG_RUNTIME_DIR="$workdir"
export PULSE_SERVER="unix:$workdir/pulse/native"
export PULSE_COOKIE="$workdir/cookie"
export PULSE_CLIENTCONFIG="$workdir/client.conf"
export TANDRA_NULL_SINK="$sink_name"
export TANDRA_TEST_ENV=1
export TANDRA_TEST_DIR="$workdir"
export TANDRA_SOUND_SERVER_KIND="$sound_kind"
export TANDRA_SOUND_SERVER="$(cd "$(dirname "$0")" && pwd)/test-sound-server.sh"
unset PULSE_SINK PULSE_SOURCE PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR

sound_started=1
"$TANDRA_SOUND_SERVER" start || die "the sound server did not come up"

# --- the command ------------------------------------------------------------
# Run in the background and wait, so a signal reaches our trap at once.
# The explicit <&0 keeps our stdin, which bash would swap for /dev/null.
"$@" <&0 &
cmd_pid=$!
wait "$cmd_pid"
status=$?
cmd_pid=
exit "$status"
