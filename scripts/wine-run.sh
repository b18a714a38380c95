#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGS...]: runs a Windows program of the cross build under
# wine, in the build's own wine prefix PREFIX (made on first use, one process at a time),
# quietly: no debug channels, no downloads of wine's .NET and HTML engines, no display.
set -e
prefix=$1
shift
mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/.ready" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.ready"
    fi
  ) 9>"$WINEPREFIX/.lock"
fi
exec wine "$@"
