#!/bin/sh
# Starts or stops the persistent Wine server of one prefix.
# usage: wine-server.sh start|stop PREFIX
#
# The first Wine process of a prefix starts Wine's service processes, which
# inherit its standard output and error; CTest, reading those pipes, would then
# wait for them. So one persistent server and one priming run are started with
# their stdio on /dev/null before the tests, and stopped (for this prefix only)
# after them.
set -u
action=$1
prefix=$2
. "$(dirname "$0")/wine-env.sh"

case "$action" in
  start)
    mkdir -p "$prefix"
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
    "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || {
      echo "wine-server.sh: Wine does not run in $prefix" >&2
      exit 1
    }
    # The emulated 32-bit Wine: its half of the prefix must run too.
    if [ "$wine" != /usr/lib/wine/wine64 ]; then
      "$wine" 'C:\windows\syswow64\cmd.exe' /c exit 0 </dev/null >/dev/null 2>&1 || {
        echo "wine-server.sh: 32-bit programs do not run in $prefix (with $wine)" >&2
        exit 1
      }
    fi
    ;;
  stop)
    "$wineserver" -k </dev/null >/dev/null 2>&1
    "$wineserver" -w </dev/null >/dev/null 2>&1
    exit 0
    ;;
  *)
    echo "usage: wine-server.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
