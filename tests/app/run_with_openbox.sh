#!/bin/sh
# run_with_openbox.sh PROGRAM [ARGS...]: runs PROGRAM on the current X display (xvfb-run's)
# with openbox managing its windows, and exits with PROGRAM's status (77: no openbox).
command -v openbox >/dev/null 2>&1 || exit 77
command -v wmctrl >/dev/null 2>&1 || exit 77
# openbox runs the --startup command once it manages windows; wmctrl answering is not
# enough (windows mapped right after that can still be missed).
ready="$(mktemp -u /tmp/openbox-ready.XXXXXX)"
openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
wm=$!
tries=0
until [ -e "$ready" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 400 ] || ! kill -0 "$wm" 2>/dev/null; then
    echo "run_with_openbox: openbox did not start" >&2
    kill "$wm" 2>/dev/null
    exit 1
  fi
  sleep 0.05
done
rm -f "$ready"
"$@"
status=$?
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
exit "$status"
