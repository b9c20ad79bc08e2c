#!/bin/sh
# Runs one Windows program under Wine, in the given prefix only.
# usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# CTest uses this as the cross-compiling emulator. The prefix is created by
# the wine_server fixture (wine-server.sh) before the first test runs.
prefix=$1
shift
WINEPREFIX=$prefix
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
exec /usr/lib/wine/wine64 "$@"
