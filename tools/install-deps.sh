#!/usr/bin/env bash
# Installs the Debian packages Tarvik needs, when any of them is missing.
#
#   tools/install-deps.sh run    what building and running the program needs
#   tools/install-deps.sh test   that, and what the tests, benchmarks and
#                                fuzz targets need (the default)
set -euo pipefail
run_packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libxkbcommon-dev
              fonts-dejavu-core xdg-utils)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev
               socat direwolf xvfb xauth xdotool lrzsz sharutils)
packages=("${run_packages[@]}")
case "${1:-test}" in
  run) ;;
  test) packages+=("${test_packages[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
