#!/bin/sh
# seed-home.sh [BIN_DIR]: gives a fresh home folder the demo model, so that the first
# `make run` shows a textured house instead of an empty editor.
#
# The home folder is found as the program finds it: $TESSAVOR_HOME, else
# $XDG_DATA_HOME/tessavor, else ~/.local/share/tessavor.
#  - When it holds none of the record files (vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt,
#    radi.kvt), the demo model BIN_DIR/demo/demo.iff is ripped into it with
#    `tessavor-cli rip`.
#  - The demo's textures are copied into the folder textures/ of the home (a texture
#    already there is kept): the home is the user's to write, and Import... writes the
#    textures of imported models into the material folder, which the program's own demo
#    folder is not (read-only when installed, part of the build otherwise).
#  - When it has no model.ini yet, one is written that loads the record files at start
#    (loadok=1) and takes textures from that textures/ folder.
# Existing record files and an existing model.ini are never changed; a home that already
# holds a model is left as it is.
# POSIX sh (Debian's sh is dash): the README has users run it as `sh seed-home.sh`.
set -eu

bin="$(cd "${1:-$(dirname "$0")}" && pwd)"

if [ -n "${TESSAVOR_HOME:-}" ]; then
  home="$TESSAVOR_HOME"
elif [ -n "${XDG_DATA_HOME:-}" ]; then
  home="$XDG_DATA_HOME/tessavor"
elif [ -n "${HOME:-}" ]; then
  home="$HOME/.local/share/tessavor"
else
  home="./tessavor-home"
fi

for f in vert.kvt vtnm.kvt fvrt.kvt face.kvt radi.kvt; do
  if [ -e "$home/$f" ]; then
    exit 0
  fi
done

demo="$bin/demo/demo.iff"
if [ ! -f "$demo" ]; then
  echo "seed-home: no demo model at $demo; the home folder stays empty" >&2
  exit 0
fi

# Installed, this script and the demo are in the private folder <prefix>/lib/tessavor and
# the programs in <prefix>/bin.
cli="$bin/tessavor-cli"
[ -x "$cli" ] || cli="$bin/../../bin/tessavor-cli"
mkdir -p "$home"
TESSAVOR_HOME="$home" "$cli" rip "$demo"

textures="$home/textures"
mkdir -p "$textures"
for t in "$bin"/demo/*.gct "$bin"/demo/*.bmp "$bin"/demo/*.mat; do
  [ -f "$t" ] || continue
  [ -e "$textures/$(basename "$t")" ] || cp "$t" "$textures/"
done

ini="$home/model.ini"
if [ ! -e "$ini" ]; then
  # Quoted, so that QSettings reads a path with commas as one text; \ and " escaped.
  matpath=$(printf '%s\n' "$textures/" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g')
  tmp="$(mktemp "$home/.model.ini.XXXXXX")"
  printf '[qorvex]\nloadok=1\nMatPath="%s"\n' "$matpath" > "$tmp"
  chmod 644 "$tmp"
  mv -f "$tmp" "$ini"
fi
if [ -n "${TESSAVOR_HOME:-}" ]; then
  echo "seed-home: the demo model is in $home (TESSAVOR_HOME)"
else
  echo "seed-home: the demo model is in $home, the home folder every tessavor run uses" \
    "unless TESSAVOR_HOME names another"
fi
