#!/usr/bin/env bash
# Installs what is missing, builds Tarvik and runs it on the default station
# shipped in data/. The station directory is build/station: it is filled from
# data/ once, and later runs keep what the program wrote there.
# Extra arguments go to the program (for example -NOGUI or -NOMDI).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target tarvik station_cnf
mkdir -p build/station/cnf
cp -rn data/. build/station/
# Window descriptions are built from data/forms; the fresh ones always win.
cp build/station-cnf/*.CNX build/station/cnf/
cd build/station
exec ../src/tarvik "$@" TARVIK.INI
