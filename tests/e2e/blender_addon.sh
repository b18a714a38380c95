#!/usr/bin/env bash
# The Blender add-on (plugins/blender/) in the real Blender: blender_addon.py says what is
# checked. One Blender run for all of it (Blender's start is most of the time).
#   blender_addon.sh BIN_DIR SOURCE_DIR ADDON_ZIP
# A missing Blender fails the test; TESSAVOR_SKIP_BLENDER=1 skips it (exit 77).
set -euo pipefail

bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
zip=$3

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

# The zip as a user installs it (Preferences > Add-ons > Install, then enable), into a user
# folder of the test's own; tessavor-cli found through the preferences, not PATH.
path_without_bin=$(printf '%s' "$PATH" | tr ':' '\n' | grep -vxF "$bin" | paste -sd:)
PATH="$path_without_bin" BLENDER_USER_SCRIPTS="$work/user-scripts" BLENDER_USER_CONFIG="$work/user-config" \
  blender -b --factory-startup --python-exit-code 1 --python-expr '
import bpy, os, sys
zip, bin_dir, demo = sys.argv[sys.argv.index("--") + 1:]
bpy.ops.preferences.addon_install(filepath=zip)
bpy.ops.preferences.addon_enable(module="io_scene_starvigil")
prefs = bpy.context.preferences.addons["io_scene_starvigil"].preferences
import shutil
if not shutil.which("tessavor-cli"):  # unless a tessavor-cli is installed on the machine
    try:
        bpy.ops.import_scene.starvigil_model(filepath=demo)
        raise AssertionError("tessavor-cli found without PATH or preferences")
    except RuntimeError as e:
        assert "not found on PATH" in str(e), e
prefs.program = bin_dir
bpy.ops.import_scene.starvigil_model(filepath=demo)
assert len(bpy.context.active_object.data.polygons) == 11
print("addon: the zip installs, and finds tessavor-cli where its preferences say")
' -- "$zip" "$bin" "$work/demo.iff" >"$work/install.log" 2>&1 || {
  grep -v "^    " "$work/install.log" | tail -40 >&2
  echo "FAIL: the add-on installed from its zip" >&2
  exit 1
}
grep "^addon:" "$work/install.log"
