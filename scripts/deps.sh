#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that building, running and testing Orvantis need,
# and only those that are missing. Sourced by run.sh and test.sh.

ORVANTIS_PACKAGES=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev libgl-dev libcurl4-openssl-dev libssl-dev libpng-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool trayer x11-utils x11-xserver-utils fonts-dejavu-core locales iproute2
    desktop-file-utils python3-aiosmtpd libxcb1-dev libxcb-shape0-dev libfontconfig-dev dbus-daemon dbus-bin
    appstream man-db lintian file imagemagick openbox
    xfwm4 kwin-x11 kwin-wayland sway xwayland grim qt6-gtk-platformtheme
    gnome-shell
    nlohmann-json3-dev libsqlite3-dev systemd clang libclang-rt-14-dev libasio-dev nginx-light wrk
    libpq-dev postgresql
)

orvantis_install_deps() {
    local missing=()
    local pkg
    for pkg in "${ORVANTIS_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Missing packages: ${missing[*]} (run as root or install sudo)" >&2
            return 1
        fi
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
