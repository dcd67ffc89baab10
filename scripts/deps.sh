#!/usr/bin/env bash
# Installs the Debian packages Garivolo needs that are not there yet.
# Usage: scripts/deps.sh [test]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config
          qt6-base-dev libpulse-dev qt6-svg-dev qt6-translations-l10n
          libespeak-ng-dev libxcb1-dev espeak-ng-data fonts-liberation2 fonts-lato)
if [ "${1:-}" = test ]; then
    packages+=(xvfb xauth xdotool x11-utils imagemagick sox pulseaudio pulseaudio-utils python3 python3-xlib xcompmgr
              dbus-daemon dbus-bin at-spi2-core gir1.2-atspi-2.0 python3-gi util-linux passwd
              openbox xfwm4 mutter weston qt6-wayland pipewire pipewire-pulse wireplumber
              orca speech-dispatcher)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
