# Sourced by the Wine scripts: the environment every Wine process of the
# project runs in. $prefix must be set; nothing outside it is touched.
#
# VELMORA_WINE names the Wine loader: by default the system's wine64; the
# Windows x86 build sets it to the loader of the emulated 32-bit Wine
# (scripts/setup-wine32), whose prefixes are WoW64 prefixes as well.
wine=${VELMORA_WINE:-/usr/lib/wine/wine64}
wineserver=/usr/lib/wine/wineserver64
WINEPREFIX=$prefix
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
# Headless: no display, so no window and no installer prompt can appear.
unset DISPLAY WAYLAND_DISPLAY

# Every Wine process starts through start_wine (wine-run.sh execs the same
# command). Debian ships no Wine preloader, whose task is to keep the fixed
# addresses Wine needs free before anything else is mapped. Without it the
# kernel's randomly placed brk heap (anywhere up to 1 GiB above the loader at
# 0x7d000000, measured here) now and then covers 0x7ffe0000, the shared user
# data page every Wine process maps first: that process exits with status 1
# before its program runs, and its one message is an error line that
# WINEDEBUG=-all hides. Seen once in 10,883 process starts, enough to fail a
# test run now and then. With address randomization off (setarch -R, which
# the processes a Wine process starts inherit) the heap begins right after the
# loader, 48 MiB below that page.
start_wine() { setarch -R "$wine" "$@"; }
