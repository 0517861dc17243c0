#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking, linting and packaging the
# editor need (with the validators of its desktop entry, metainfo and MIME file).
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev qt6-svg-dev
    zlib1g-dev
    fonts-dejavu-core
    libbenchmark-dev
    clang-14 libclang-rt-14-dev
    clang-format-14 clang-tidy-14
    desktop-file-utils appstream libxml2-utils shared-mime-info dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
