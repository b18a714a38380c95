#!/usr/bin/env bash
# `make run`: the editor on the demo model. With no display it runs the editor under Xvfb
# with --screenshot and says where the pictures are. Until the editor is built, it shows
# what tessavor-cli reads in the home folder.
set -euo pipefail
bin="$(cd "$1" && pwd)"

if [ -x "$bin/seed-home.sh" ]; then
  sh "$bin/seed-home.sh" "$bin"
fi

if [ -x "$bin/tessavor" ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin/tessavor"
  fi
  out="$(pwd)/out/screenshots"
  mkdir -p "$out"
  xvfb-run -a -s "-screen 0 1600x1200x24" "$bin/tessavor" --screenshot "$out"
  echo "No display: the editor ran under Xvfb; its windows are pictured in $out"
  exit 0
fi

"$bin/tessavor-cli" info
