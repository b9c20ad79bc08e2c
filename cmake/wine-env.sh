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
