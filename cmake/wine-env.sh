# Sourced by the Wine scripts: the environment every Wine process of the
# project runs in. $prefix must be set; nothing outside it is touched.
WINEPREFIX=$prefix
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
# Headless: no display, so no window and no installer prompt can appear.
unset DISPLAY WAYLAND_DISPLAY
