#!/usr/bin/env bash
# undo_under_wm.sh BIN_DIR: the editor as a user meets it, under Xvfb with a real window
# manager (openbox): a click on "flipY" rewrites the record files, Ctrl+Z puts back every
# byte. Exit 77 (skipped) when a tool is missing.
#
# The buttons are not X windows of their own unless Qt is asked for native windows; with
# them, "flipY" is the second button of the lowest row of push buttons on the first tab
# (the "Scale Model" row: "Scale!", "flipY", "flipZ"), found from the window tree.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  bin="$(cd "$1" && pwd)"
  for tool in xvfb-run openbox xdotool xwininfo wmctrl python3 cmp; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside "$bin"
fi
bin="$2"

work="$(mktemp -d)"
pids=()
# On failure the editor's log is printed and the screen kept as a PNG (named in the output)
# in $TESSAVOR_TEST_OUTPUT, else beside the programs.
cleanup() {
  status=$?
  if [ "$status" -ne 0 ]; then
    out="${TESSAVOR_TEST_OUTPUT:-$bin}"
    mkdir -p "$out"
    shot="$out/undo_under_wm.png"
    if [ -x "$bin/test_app" ] && "$bin/test_app" --grab-screen "$shot" 2>/dev/null; then
      echo "screenshot: $shot"
    else
      echo "screenshot: could not be taken"
    fi
    echo "--- tessavor's log ---"
    cat "$work/tessavor.log" 2>/dev/null || echo "(no log)"
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
export TESSAVOR_HOME="$work/home"
mkdir -p "$TESSAVOR_HOME" "$work/before"

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local n="$1"
  shift
  for _ in $(seq "$n"); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  echo "timed out waiting for: $*" >&2
  return 1
}

# A square of two triangles away from the origin, so that flipping y changes every vertex.
python3 - "$TESSAVOR_HOME" <<'PY'
import struct, sys, os
home = sys.argv[1]
verts = [(1, 2, 3), (5, 2, 3), (5, 6, 3), (1, 6, 3)]
open(os.path.join(home, "vert.kvt"), "wb").write(b"".join(struct.pack("<3f", *v) for v in verts))
open(os.path.join(home, "vtnm.kvt"), "wb").write(struct.pack("<3f", 0, 0, 1))
corners = [0, 1, 2, 0, 2, 3]
open(os.path.join(home, "fvrt.kvt"), "wb").write(b"".join(struct.pack("<iiff", c, 0, 0, 0) for c in corners))
faces = [(0, 0.0, 70000, 0, 3, 0, 0x7F0096FF), (0, 0.0, 70000, 3, 3, 0, 0x7F0096FF)]
open(os.path.join(home, "face.kvt"), "wb").write(b"".join(struct.pack("<ifiiiiI", *f) for f in faces))
open(os.path.join(home, "radi.kvt"), "wb").write(struct.pack("<f", 3.5))
PY
printf '[qorvex]\nloadok=1\n' > "$TESSAVOR_HOME/model.ini"
cp "$TESSAVOR_HOME"/*.kvt "$work/before/"

same_files() {
  for f in vert vtnm fvrt face radi; do
    cmp -s "$work/before/$f.kvt" "$TESSAVOR_HOME/$f.kvt" || return 1
  done
}
flipped() { ! cmp -s "$work/before/vert.kvt" "$TESSAVOR_HOME/vert.kvt"; }

# openbox runs its --startup command once it manages windows (wmctrl answering is not
# enough: a window mapped right after can still be missed). Without a session manager, and
# with a wait long enough for a loaded machine; a wait that runs out names itself.
openbox --sm-disable --startup "touch $work/wm-ready" >/dev/null 2>&1 &
pids+=($!)
wm_ready() { [ -e "$work/wm-ready" ]; }
wait_for 600 wm_ready

QT_QPA_PLATFORM=xcb QT_USE_NATIVE_WINDOWS=1 LIBGL_ALWAYS_SOFTWARE=1 "$bin/tessavor" >"$work/tessavor.log" 2>&1 &
app=$!
pids+=("$app")
find_main() { win="$(xdotool search --onlyvisible --name '^Tessavor ' 2>/dev/null | head -1)"; [ -n "$win" ]; }
wait_for 600 find_main

# Centre of "flipY" in root coordinates, from the main window's tree.
flipy_centre() {
  xwininfo -tree -id "$win" | python3 -c '
import re, sys
rows = {}
for line in sys.stdin:
    m = re.search(r"\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$", line)
    if not m:
        continue
    w, h, x, y = map(int, m.groups())
    # Push buttons: about one line of text high, wider than a label of a few letters.
    if 18 <= h <= 40 and 50 <= w <= 110:
        rows.setdefault(y, []).append((x, w, h))
# The lowest row of at least three: the status bar below it may hold two labels the size
# of a button.
rows = {y: r for y, r in rows.items() if len(r) >= 3}
if not rows:
    sys.exit(1)
row = sorted(rows[max(rows)])
x, w, h = row[1]
print(x + w // 2, max(rows) + h // 2)
'
}
has_buttons() { centre="$(flipy_centre)"; }
wait_for 600 has_buttons

xdotool windowactivate --sync "$win"
# shellcheck disable=SC2086
xdotool mousemove --sync $centre click 1
wait_for 150 flipped
xdotool key --clearmodifiers ctrl+z
wait_for 150 same_files
echo "flipY undone: the record files are as before"
