#!/usr/bin/env bash
# Installs the Debian packages Tarvik needs to build, test and fuzz, when
# any of them is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libxkbcommon-dev
          libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core clang-14
          libclang-rt-14-dev socat direwolf xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
