#!/usr/bin/env bash
# The Blender add-on (plugins/blender/) in the real Blender: blender_addon.py says what is
# checked. One Blender run for all of it (Blender's start is most of the time).
#   blender_addon.sh BIN_DIR SOURCE_DIR
# A missing Blender fails the test; TESSAVOR_SKIP_BLENDER=1 skips it (exit 77).
set -euo pipefail

bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)

if [ -n "${TESSAVOR_SKIP_BLENDER:-}" ]; then
  echo "TESSAVOR_SKIP_BLENDER is set: skipped" >&2
  exit 77
fi
if ! command -v blender >/dev/null 2>&1; then
  echo "FAIL: blender is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

cp "$src/data/demo/demo.iff.txt" "$work/demo.iff.txt"
(cd "$work" && "$bin/iffc" demo.iff.txt >"$work/iffc.log") || { cat "$work/iffc.log" >&2; exit 1; }

# The add-on finds tessavor-cli on PATH and its textures through the editor's MatPath: the
# demo's own folder for the pictures it reads, a copy for those the export writes.
export TESSAVOR_HOME="$work/home"
export TESSAVOR_TEST_MATERIALS="$work/materials"
mkdir -p "$TESSAVOR_HOME" "$TESSAVOR_TEST_MATERIALS"
cp "$bin"/demo/0000100?.* "$TESSAVOR_TEST_MATERIALS/"
printf '[qorvex]\nMatPath=%s/\n' "$TESSAVOR_TEST_MATERIALS" >"$TESSAVOR_HOME/model.ini"
export PATH="$bin:$PATH"

blender -b --factory-startup --python-exit-code 1 --python "$src/tests/e2e/blender_addon.py" \
  -- "$src/plugins/blender" "$work" "$bin" >"$work/blender.log" 2>&1 || {
  grep -v "^    " "$work/blender.log" | tail -40 >&2
  echo "FAIL: the add-on in Blender" >&2
  exit 1
}
grep "^addon:" "$work/blender.log"
