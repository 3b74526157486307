#!/usr/bin/env bash
# Installs the Debian packages (12 and 13) that building, running and testing need.
# Skips apt when every package is already there, so a second run is quick.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-qpa-plugins
    qt6-webengine-dev qt6-webengine-dev-tools qt6-multimedia-dev
    libqt6opengl6-dev libgl-dev
    libicu-dev libsqlite3-dev sqlite3 zlib1g-dev libbrotli-dev libpsl-dev publicsuffix
    libgtest-dev libgmock-dev googletest libcpp-httplib-dev libssl-dev
    xvfb xauth x11-utils fonts-noto-cjk
)
if [ "${1:-}" = "--tests" ]; then
    PACKAGES+=(imagemagick curl)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
