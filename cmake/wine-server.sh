#!/bin/sh
# Starts or stops the persistent Wine server of one prefix.
# usage: wine-server.sh start|stop|stop-unowned PREFIX
#
# The first Wine process of a prefix starts Wine's service processes, which
# inherit its standard output and error; CTest, reading those pipes, would then
# wait for them. So one persistent server and one priming run are started with
# their stdio on /dev/null before the tests, and stopped (for this prefix only)
# after them.
#
# A prefix belongs to one test run at a time: the process that runs this
# script (CTest, or the script that starts and stops the server around its own
# work). Two CTest runs of one build tree share its prefix, and the stop of
# one would end the server, and every program still running in the prefix, of
# the other. So "start" takes the prefix for its run, waiting while another
# live run holds it, and "stop" ends the server only for the run that holds
# it. The holder is written to PREFIX.test-run; "stop-unowned" ends the
# server only when no live run holds the prefix (a clean-up after the runs).
set -u
action=$1
prefix=$2
. "$(dirname "$0")/wine-env.sh"

holder_file=$prefix.test-run
guard_file=$prefix.test-run.lock
# How long a start waits for another run to give the prefix up.
wait_limit=${VELMORA_PREFIX_WAIT:-1500}

# A process as "PID START-TIME": the start time (in clock ticks since boot)
# tells a live process from a later one that got the same number.
run_id() {
  pid=$1
  stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
  # The fields after the command name (which may hold blanks) from the
  # state on; the start time is the twentieth of them.
  set -- ${stat##*) }
  [ $# -ge 20 ] || return 1
  shift 19
  echo "$pid $1"
}

# Whether the run named in the holder file is still alive.
holder_alive() {
  holder=$(cat "$holder_file" 2>/dev/null) || return 1
  [ -n "$holder" ] || return 1
  [ "$(run_id "${holder%% *}")" = "$holder" ]
}

# Under the guard lock: takes the prefix for this run unless another live run
# holds it (status 1, the holder in $holder).
take_prefix() {
  (
    flock 9
    if holder_alive && [ "$holder" != "$run" ]; then
      echo "$holder"
      exit 1
    fi
    echo "$run" >"$holder_file"
  ) 9>"$guard_file"
}

# Under the guard lock: gives the prefix up if this run holds it (status 1
# otherwise).
release_prefix() {
  (
    flock 9
    [ "$(cat "$holder_file" 2>/dev/null)" = "$run" ] || exit 1
    "$wineserver" -k </dev/null >/dev/null 2>&1
    "$wineserver" -w </dev/null >/dev/null 2>&1
    rm -f "$holder_file"
  ) 9>"$guard_file"
}

run=$(run_id "$PPID")

case "$action" in
  start)
    mkdir -p "$prefix"
    waited=0
    while ! holder=$(take_prefix); do
      if [ "$waited" -eq 0 ]; then
        echo "wine-server.sh: $prefix is in use by another test run (process ${holder%% *}); waiting" >&2
      fi
      if [ "$waited" -ge "$wait_limit" ]; then
        echo "wine-server.sh: $prefix is still in use by process ${holder%% *} after $waited s;" \
             "run the tests of one build tree one after another" >&2
        exit 1
      fi
      sleep 5
      waited=$((waited + 5))
    done
    "$wineserver" -p </dev/null >/dev/null 2>&1
    start_wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
    start_wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || {
      echo "wine-server.sh: Wine does not run in $prefix" >&2
      exit 1
    }
    # The emulated 32-bit Wine: its half of the prefix must run too.
    if [ "$wine" != /usr/lib/wine/wine64 ]; then
      start_wine 'C:\windows\syswow64\cmd.exe' /c exit 0 </dev/null >/dev/null 2>&1 || {
        echo "wine-server.sh: 32-bit programs do not run in $prefix (with $wine)" >&2
        exit 1
      }
    fi
    ;;
  stop)
    release_prefix ||
      echo "wine-server.sh: $prefix is not held by this run; its Wine server is left running" >&2
    exit 0
    ;;
  stop-unowned)
    [ -d "$prefix" ] || exit 0
    (
      flock 9
      holder_alive && exit 0
      "$wineserver" -k </dev/null >/dev/null 2>&1
      rm -f "$holder_file"
    ) 9>"$guard_file"
    exit 0
    ;;
  *)
    echo "usage: wine-server.sh start|stop|stop-unowned PREFIX" >&2
    exit 2
    ;;
esac
