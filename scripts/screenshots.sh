#!/usr/bin/env bash
# screenshots.sh BIN_DIR DOCS_DIR: the README's pictures. The demo model goes into a scratch
# home folder (seed-home.sh), the editor runs with --screenshot under Xvfb with Mesa, and the
# main window, its Texturing tab and the model viewer are copied into DOCS_DIR.
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
docs=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export TESSAVOR_HOME="$work/home"
unset TESSAVOR_LOG
# The demo's textures, with MAT copies for the Texturing tab, in a folder named relative to
# where the editor runs, so that no path of this machine shows in the pictures.
mkdir -p "$TESSAVOR_HOME" "$work/demo"
cp "$bin"/demo/*.bmp "$bin"/demo/*.gct "$work/demo/"
for bmp in "$work"/demo/*.bmp; do "$bin/tessavor-cli" image convert "$bmp" "${bmp%.bmp}.mat" >/dev/null; done
printf '[qorvex]\nloadok=1\nMatPath=demo/\n' >"$TESSAVOR_HOME/model.ini"
sh "$bin/seed-home.sh" "$bin" >/dev/null
cd "$work"
xvfb-run -a -s "-screen 0 1600x1200x24" "$bin/tessavor" --screenshot "$work/shots" >/dev/null
for pair in Form1-vert:main-window Form1-texturing:texturing frmMeshView:model-viewer; do
  cp "$work/shots/${pair%%:*}.png" "$docs/${pair#*:}.png"
  echo "$docs/${pair#*:}.png"
done
