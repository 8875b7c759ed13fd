#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Pelmora need, if missing.
set -euo pipefail

packages=(
    # build
    cmake g++ make qt6-base-dev libssl-dev
    # run: the badging tool and a font for the Chinese interface
    aapt fonts-wqy-microhei qt6-translations-l10n
    # test: packages are built against the framework; chattr for immutable files; validators
    # for what gets installed
    android-framework-res e2fsprogs desktop-file-utils appstream file dpkg
    # end-to-end: an X server, a window manager, tools that drag, type and read the clipboard,
    # and the accessibility bus that a screen reader reads message boxes through
    xvfb xauth openbox xdotool xclip x11-utils dbus at-spi2-core python3-pyatspi
    # fuzzing
    clang libclang-rt-14-dev
    # benchmark: watching windows map, and the openssl command to compare with
    libxcb1-dev openssl
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
