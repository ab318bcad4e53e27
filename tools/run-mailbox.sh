#!/usr/bin/env bash
# Runs the test mailbox N0BBS beside the default station: a typical
# packet-radio mailbox (tools/mailbox) on KISS over TCP, port 8102 of this
# computer, with two new messages for the user. The README's "The mailbox
# session without a radio" tells how to try the station's mailbox session
# against it. The mailbox's station directory is build/station/mailbox.
# An argument names the user the messages are for (default N0CALL).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DTARVIK_TESTS=OFF >/dev/null
cmake --build build --target tarvik-mailbox station_cnf
mkdir -p build/station/cnf
cp -rn data/. build/station/
cp build/station-cnf/*.CNX build/station/cnf/
cd build/station/mailbox
exec ../../tools/mailbox/tarvik-mailbox . "${1:-N0CALL}"
