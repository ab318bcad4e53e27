#!/usr/bin/env bash
# Installs what is missing, builds Tarvik and runs it on the default station
# shipped in data/. The station directory is build/station: it is filled from
# data/ once, and later runs keep what the program wrote there.
#
# Beside it, the neighbour station (data/neighbour, call N0NBR) runs without
# a display in build/station/neighbour; the default station's port 0 reaches
# it by KISS over TCP, so there is somebody to connect to without a radio.
# The neighbour's operator is the UI driver on build/station/neighbour/driver.sock
# (see the README). Set NEIGHBOUR=0 to run the default station alone.
# Extra arguments go to the program (for example -NOGUI or -NOMDI).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh run
# The tests are not built here, so their packages are not needed either.
cmake -S . -B build -G Ninja -DTARVIK_TESTS=OFF
cmake --build build --target tarvik station_cnf guess
mkdir -p build/station/cnf
cp -rn data/. build/station/
# Window descriptions are built from data/forms; the fresh ones always win.
cp build/station-cnf/*.CNX build/station/cnf/
# So are the service libraries shipped with the program ([SERVICES]).
mkdir -p build/station/services
cp build/station-services/*.so build/station/services/
cd build/station

if [ "${NEIGHBOUR:-1}" = 1 ]; then
  (cd neighbour && exec ../../src/tarvik -NOGUI "-DRIVER=driver.sock" TARVIK.INI) &
  neighbour=$!
  trap 'kill -TERM $neighbour 2>/dev/null; wait $neighbour 2>/dev/null' EXIT
  # The neighbour listens before this station's port 0 tries to reach it.
  for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/8101) 2>/dev/null && break
    sleep 0.1
  done
fi
../src/tarvik "$@" TARVIK.INI
