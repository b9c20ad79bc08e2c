#!/bin/sh
# Runs one Windows program under Wine, in the given prefix only.
# usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# CTest uses this as the cross-compiling emulator. The prefix is created by
# the wine_server fixture (wine-server.sh) before the first test runs.
prefix=$1
shift
. "$(dirname "$0")/wine-env.sh"
# As start_wine (wine-env.sh), in place of this shell.
exec setarch -R "$wine" "$@"
