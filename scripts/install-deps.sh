#!/usr/bin/env bash
# Installs the Debian packages Tandra needs to build, run and test, and any
# named as arguments; only those missing.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libpulse-dev
  libebur128-dev # the loudness measure of loudness matching
  # playback: every file type of the open dialogs
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-pulseaudio gstreamer1.0-x
  gstreamer1.0-tools fluid-soundfont-gm
  # running headless, recording the sound, looking at the window
  pulseaudio pulseaudio-utils xvfb xdotool x11-utils imagemagick
  pipewire wireplumber pipewire-pulse # the other sound server, for the tests under it
  # the desktop: a private session bus, a media-player remote, the entry's checker
  dbus-daemon playerctl desktop-file-utils
  # what screen readers see: the accessibility bus and its Python client
  at-spi2-core python3-pyatspi
  # Arabic glyphs for the menus and windows
  fonts-noto-core fonts-dejavu-core
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq -o DPkg::Lock::Timeout=600
"${sudo_cmd[@]}" apt-get install -o DPkg::Lock::Timeout=600 -y -qq --no-install-recommends "${missing[@]}"
