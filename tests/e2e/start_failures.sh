#!/usr/bin/env bash
# start_failures.sh BIN_DIR: the editor's start when it cannot work. Without any display it
# prints one line and exits 1 (no toolkit lecture); with a display it cannot reach, the
# same; with a home folder that cannot be created it shows the message in a box (closed
# here with Enter through xdotool) and exits 1. Exit 77 (skipped) when a tool is missing.
set -uo pipefail

if [ "${1:-}" != --inside ]; then
  bin="$(cd "$1" && pwd)"
  fail=0
  for display in "" ":79"; do
    err="$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" "$bin/tessavor" 2>&1 >/dev/null)"
    status=$?
    lines="$(printf '%s\n' "$err" | wc -l)"
    if [ "$status" -ne 1 ] || [ "$lines" -ne 1 ] || [[ "$err" != "tessavor: "* ]]; then
      echo "DISPLAY='$display': status $status, $lines lines:"
      printf '%s\n' "$err"
      fail=1
    fi
  done
  [ "$fail" -eq 0 ] || exit 1
  echo "no display: one line, status 1"
  for tool in xvfb-run openbox xdotool wmctrl; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside "$bin"
fi
bin="$2"
work="$(mktemp -d)"
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
touch "$work/file"

openbox >/dev/null 2>&1 &
wm=$!
for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done

# A home folder below a plain file can never be created.
TESSAVOR_HOME="$work/file/home" QT_QPA_PLATFORM=xcb "$bin/tessavor" >"$work/out.log" 2>&1 &
app=$!
box=""
for _ in $(seq 200); do
  box="$(xdotool search --onlyvisible --name '^Tessavor$' 2>/dev/null | head -1)"
  [ -n "$box" ] && break
  sleep 0.1
done
if [ -z "$box" ]; then
  echo "no message box appeared"
  out="${TESSAVOR_TEST_OUTPUT:-$bin}"
  mkdir -p "$out"
  "$bin/test_app" --grab-screen "$out/start_failures.png" 2>/dev/null &&
    echo "screenshot: $out/start_failures.png"
  cat "$work/out.log"
  exit 1
fi
xdotool windowactivate --sync "$box" key Return
wait "$app"
status=$?
app=""
if [ "$status" -ne 1 ] || ! grep -q 'Cannot create the home folder' "$work/out.log"; then
  echo "status $status; log:"
  cat "$work/out.log"
  exit 1
fi
echo "home folder that cannot be created: box, status 1"
