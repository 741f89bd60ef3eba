#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and nothing else.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config clang-format clang-tidy binutils
    qtbase5-dev qtbase5-dev-tools qttools5-dev-tools libqt5svg5-dev
    zlib1g-dev liblzma-dev liblz-dev libssl-dev libzstd-dev libbenchmark-dev
    xz-utils lzip zpaq zstd python3 openssl ca-certificates patchelf nginx-light
    xvfb xauth x11-apps imagemagick libmagickcore-6.q16-6-extra fonts-liberation
    desktop-file-utils appstream shellcheck
)
if [ "${QUENMAR_EXTRA_PACKAGES:-}" != "" ]; then
    read -r -a extra <<<"$QUENMAR_EXTRA_PACKAGES"
    packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
