#!/usr/bin/env bash
# A model over the record arrays from Blender comes back fitted. Blender makes Suzanne,
# subdivides her twice (about 8,000 quads, 63,000 corners as triangles), gives her left
# half one material and her right half another, and exports glTF. tessavor-cli import
# refuses her with the hint, then --fit brings her under 32,769 records in every array with
# both materials, every face planar and convex ("check" finds nothing), with room for the
# tree ("make-tree" succeeds).
#   blender_fit.sh BIN_DIR
# TESSAVOR_SKIP_BLENDER=1 skips it (exit 77).
set -euo pipefail

bin=$(cd "$1" && pwd)
cli="$bin/tessavor-cli"
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

blender -b --factory-startup --python-exit-code 1 --python-expr '
import bpy, sys
import numpy
if not hasattr(numpy, "bool"):
    numpy.bool = bool
out = sys.argv[sys.argv.index("--") + 1]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.mesh.primitive_monkey_add()
suzanne = bpy.context.active_object
modifier = suzanne.modifiers.new("sub", "SUBSURF")
modifier.levels = 3
bpy.ops.object.modifier_apply(modifier="sub")
for name in ("skin", "eyes"):
    suzanne.data.materials.append(bpy.data.materials.new(name))
for polygon in suzanne.data.polygons:
    polygon.material_index = 1 if polygon.center.x > 0 else 0
bpy.ops.export_scene.gltf(filepath=out, export_format="GLTF_SEPARATE")
' -- "$work/suzanne.gltf" >"$work/blender.log" 2>&1 || { cat "$work/blender.log" >&2; exit 1; }

export TESSAVOR_HOME="$work/home"
mkdir -p "$TESSAVOR_HOME"
if "$cli" import "$work/suzanne.gltf" >"$work/plain.log" 2>&1; then
  echo "FAIL: the plain import took a model over the arrays" >&2; cat "$work/plain.log" >&2; exit 1
fi
grep -q -- "--fit" "$work/plain.log" || { echo "FAIL: no --fit hint" >&2; cat "$work/plain.log" >&2; exit 1; }
"$cli" import "$work/suzanne.gltf" --fit >"$work/fit.log"
cat "$work/fit.log"
grep -q "Fitted (--fit)" "$work/fit.log" || { echo "FAIL: not fitted" >&2; exit 1; }
"$cli" check >"$work/check.log" || { cat "$work/check.log" >&2; exit 1; }
grep -q "No problems found" "$work/check.log" || { cat "$work/check.log" >&2; exit 1; }
(cd "$work" && "$cli" make-tree "$work/tree.iff" >"$work/tree.log" 2>&1) ||
  { echo "FAIL: make-tree on the fitted model" >&2; cat "$work/tree.log" >&2; exit 1; }
[ -s "$work/tree.iff" ] || { echo "FAIL: no tree file" >&2; cat "$work/tree.log" >&2; exit 1; }
python3 - "$TESSAVOR_HOME" <<'PY'
import os, struct, sys
home = sys.argv[1]
counts = {n: os.path.getsize(f"{home}/{n}.kvt") // s for n, s in (("vert", 12), ("fvrt", 16), ("face", 28))}
data = open(f"{home}/face.kvt", "rb").read()
mats = {struct.unpack_from("<ifi", data, o)[2] for o in range(0, len(data), 28)}
print(counts, "materials", sorted(mats))
ok = all(n <= 32769 for n in counts.values()) and len(mats) == 2
sys.exit(0 if ok else 1)
PY
echo "all checks passed"
