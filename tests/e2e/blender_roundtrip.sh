#!/usr/bin/env bash
# The demo house goes to Blender and back with nothing lost. Debian's Blender, headless:
#  1. the house, ripped into a fresh home folder, is exported as GLB with its textures;
#  2. Blender imports the GLB and checks the triangle count, the four material names and
#     that each material's picture is present, of the texture's size, and the right way up
#     (its pixel at every corner's texture coordinate is the source picture's pixel there);
#  3. Blender exports the scene as OBJ with materials;
#  4. tessavor-cli imports that OBJ into a second home folder, and every face corner of the
#     original (its material, position and texture coordinates) is found again, and nothing
#     else; the faces are rebuilt from the triangles: as many as the house has;
#  5. Blender makes a box (2 x 4 x 6 m at x = 10) and a cube mirrored by a negative scale and
#     writes them with its default settings as FBX, GLB and COLLADA, as FBX with z up, and
#     as STL (z up); each comes back at its true size, turned to y up (the z-up FBX by the
#     default --up auto, which reads its axis; STL with --up z), every face facing outwards,
#     and as the twelve sides of the two boxes whatever polygons the format carried. The
#     scene saved as a .blend (z up by its format) is refused in plain words: Assimp 5.2
#     reads no Blender file newer than 2.7x.
#   blender_roundtrip.sh BIN_DIR SOURCE_DIR
# A missing Blender fails the test, with a message saying so: `make test` installs it
# (scripts/install-deps.sh). TESSAVOR_SKIP_BLENDER=1 skips it (exit 77) on purpose.
set -euo pipefail

bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
cli="$bin/tessavor-cli"

if [ -n "${TESSAVOR_SKIP_BLENDER:-}" ]; then
  echo "TESSAVOR_SKIP_BLENDER is set: skipped" >&2
  exit 77
fi
if ! command -v blender >/dev/null 2>&1; then
  echo "FAIL: blender is not installed (scripts/install-deps.sh installs it with python3-numpy)" >&2
  exit 1
fi

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# The demo model, compiled from its script as the build does.
cp "$src/data/demo/demo.iff.txt" "$work/demo.iff.txt"
(cd "$work" && "$bin/iffc" demo.iff.txt >"$work/iffc.log") || { cat "$work/iffc.log" >&2; exit 1; }

export TESSAVOR_HOME="$work/home-original"
mkdir -p "$TESSAVOR_HOME" "$work/out"
"$cli" rip "$work/demo.iff" >/dev/null
"$cli" export "$work/out/house.glb" --textures "$bin/demo" >"$work/export.log"
if grep -q "no texture\|not used" "$work/export.log"; then cat "$work/export.log" >&2; exit 1; fi

# Triangles in the GLB: a face of n corners becomes n - 2.
triangles=$(python3 -c '
import struct, sys
data = open(sys.argv[1], "rb").read()
print(sum(struct.unpack_from("<7i", data, o)[4] - 2 for o in range(0, len(data) - 27, 28)))' "$TESSAVOR_HOME/face.kvt")

blender -b --factory-startup --python-exit-code 1 --python-expr '
import bpy, sys
# Debian pairs Blender 3.4 with NumPy 1.24, which dropped the alias numpy.bool that the
# glTF add-on of that Blender still uses when it sets the faces smooth.
import numpy
if not hasattr(numpy, "bool"):
    numpy.bool = bool
glb, obj, bmpdir, triangles = sys.argv[sys.argv.index("--") + 1:]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=glb)
meshes = [o for o in bpy.data.objects if o.type == "MESH"]
count = sum(len(o.data.polygons) for o in meshes)
assert count == int(triangles), f"Blender sees {count} polygons, the GLB has {triangles} triangles"
names = sorted(m.name for m in bpy.data.materials)
assert names == ["00001001", "00001002", "00001003", "00001004"], f"materials: {names}"

def picture(material):
    for node in material.node_tree.nodes:
        if node.type == "TEX_IMAGE" and node.image is not None:
            return node.image
    raise AssertionError(f"material {material.name} has no picture")

checked = 0
for o in meshes:
    uv = o.data.uv_layers.active.data
    for poly in o.data.polygons:
        material = o.material_slots[poly.material_index].material
        image = picture(material)
        source = bpy.data.images.load(f"{bmpdir}/{material.name}.bmp", check_existing=True)
        w, h = image.size
        assert (w, h) == tuple(source.size) and w > 0, f"{material.name}: picture {w}x{h}, texture {tuple(source.size)}"
        # Pixels are bottom row first in Blender, as texture coordinates count v upwards.
        px, sx = image.pixels[:], source.pixels[:]
        for li in poly.loop_indices:
            u, v = uv[li].uv
            x = min(max(int(u * w), 0), w - 1)
            y = min(max(int(v * h), 0), h - 1)
            # Inset by one texel, so that a coordinate on the picture edge reads inside it.
            x = min(max(x, 1), w - 2); y = min(max(y, 1), h - 2)
            i = (y * w + x) * 4
            got, want = px[i:i + 3], sx[i:i + 3]
            assert all(abs(a - b) < 0.02 for a, b in zip(got, want)), f"{material.name} at uv {u},{v}: {got} != {want}"
            checked += 1
print(f"blender: {count} polygons, materials {names}, {checked} corner pixels match")
bpy.ops.wm.obj_export(filepath=obj, export_materials=True, export_normals=True, export_uv=True)
' -- "$work/out/house.glb" "$work/out/house-blender.obj" "$bin/demo" "$triangles" >"$work/blender.log" 2>&1 || {
  grep -v "^    " "$work/blender.log" | tail -40 >&2
  echo "FAIL: the Blender part" >&2
  exit 1
}
grep "^blender:" "$work/blender.log"

export TESSAVOR_HOME="$work/home-back"
mkdir -p "$TESSAVOR_HOME"
"$cli" import "$work/out/house-blender.obj"

python3 - "$work/home-original" "$work/home-back" "$triangles" <<'PY'
import struct, sys

def corners(home):
    def records(name, form):
        data = open(f"{home}/{name}", "rb").read()
        size = struct.calcsize(form)
        return [struct.unpack_from(form, data, o) for o in range(0, len(data) - size + 1, size)]
    vert = records("vert.kvt", "<3f")
    fvrt = records("fvrt.kvt", "<2i2f")
    face = [f[:5] for f in records("face.kvt", "<ifi2i2i")]
    out = set()
    for _, _, mat, first, count in face:
        for r in range(first, first + count):
            v, _, tx, ty = fvrt[r]
            out.add((mat,) + tuple(round(c, 4) for c in vert[v]) + (round(tx, 4), round(ty, 4)))
    return out, len(face)

original, originalFaces = corners(sys.argv[1])
back, faces = corners(sys.argv[2])
ok = True
# The import rebuilds the house's faces from the triangles that went out.
if faces != originalFaces:
    print(f"FAIL: {faces} faces came back, {originalFaces} went out as {sys.argv[3]} triangles"); ok = False
for what, extra in (("lost", original - back), ("new", back - original)):
    for c in sorted(extra):
        print(f"FAIL: {what} corner: mat {c[0]} at ({c[1]}, {c[2]}, {c[3]}) tx {c[4]} ty {c[5]}"); ok = False
print(f"{len(original)} distinct corners (material, position, texture coordinates) compared")
sys.exit(0 if ok else 1)
PY
# 5. True size and facing.
blender -b --factory-startup --python-exit-code 1 --python-expr '
import bpy, sys
out = sys.argv[sys.argv.index("--") + 1]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.mesh.primitive_cube_add(size=2, location=(10, 0, 0))
bpy.context.active_object.scale = (1, 2, 3)
bpy.ops.mesh.primitive_cube_add(size=2, location=(0, 0, 0))
bpy.context.active_object.scale = (-1, 1, 1)
bpy.ops.export_scene.fbx(filepath=f"{out}/boxes.fbx")
bpy.ops.export_scene.gltf(filepath=f"{out}/boxes.glb")
bpy.ops.wm.collada_export(filepath=f"{out}/boxes.dae")
bpy.ops.export_mesh.stl(filepath=f"{out}/boxes.stl")
bpy.ops.export_scene.fbx(filepath=f"{out}/boxes-z.fbx", axis_up="Z", axis_forward="Y")
bpy.ops.wm.save_as_mainfile(filepath=f"{out}/boxes.blend")
' -- "$work/out" >"$work/blender-boxes.log" 2>&1 || {
  tail -20 "$work/blender-boxes.log" >&2
  echo "FAIL: Blender did not write the boxes" >&2
  exit 1
}
# A .blend of this Blender: refused, saying why, with nothing of the reader's own output.
export TESSAVOR_HOME="$work/home-blend"
mkdir -p "$TESSAVOR_HOME"
if "$cli" import "$work/out/boxes.blend" >"$work/blend.out" 2>"$work/blend.err"; then
  echo "FAIL: a Blender 3 .blend was imported; the .blend case of --up auto is now testable" >&2
  exit 1
fi
if ! head -1 "$work/blend.err" | grep -q "a Blender file of a version the model library cannot read"; then
  cat "$work/blend.err" >&2
  echo "FAIL: the .blend refusal does not say why in plain words" >&2
  exit 1
fi
# Each file with the up axis it is imported with.
for entry in boxes.fbx:auto boxes-z.fbx:auto boxes.glb:auto boxes.dae:auto boxes.stl:z; do
  file=${entry%:*}
  export TESSAVOR_HOME="$work/home-$file"
  mkdir -p "$TESSAVOR_HOME"
  "$cli" import "$work/out/$file" --up "${entry#*:}" >/dev/null
  python3 - "$TESSAVOR_HOME" "$file" <<'PY'
import struct, sys

home, name = sys.argv[1], sys.argv[2]
def records(file, form):
    data = open(f"{home}/{file}", "rb").read()
    size = struct.calcsize(form)
    return [struct.unpack_from(form, data, o) for o in range(0, len(data) - size + 1, size)]
vert = records("vert.kvt", "<3f")
vtnm = records("vtnm.kvt", "<3f")
fvrt = records("fvrt.kvt", "<2i2f")
face = records("face.kvt", "<ifi2i2i")
ok = True
# Blender (x, y, z) is the game's (x, z, -y): the box spans x 9..11, y -3..3, z -2..2, the
# cube -1..1.
low = [min(v[i] for v in vert) for i in range(3)]
high = [max(v[i] for v in vert) for i in range(3)]
if any(abs(a - b) > 1e-3 for a, b in zip(low + high, [-1, -3, -2, 11, 3, 2])):
    print(f"FAIL: {name}: bounding box {low} .. {high}, not (-1, -3, -2) .. (11, 3, 2)"); ok = False
# Every face normal points away from the centre of its box.
for index, (normal, _, _, first, count, _, _) in enumerate(face):
    corners = [vert[fvrt[r][0]] for r in range(first, first + count)]
    centre = [sum(c[i] for c in corners) / count for i in range(3)]
    box = (10, 0, 0) if centre[0] > 5 else (0, 0, 0)
    n = vtnm[normal]
    if sum(n[i] * (centre[i] - box[i]) for i in range(3)) <= 0:
        print(f"FAIL: {name}: face {index} faces inwards (normal {n})"); ok = False
# The triangles of GLB and STL are rebuilt into the boxes' sides.
if len(face) != 12:
    print(f"FAIL: {name}: {len(face)} faces, not the 12 sides of the two boxes"); ok = False
if ok:
    print(f"{name}: {len(face)} faces at true size, facing outwards")
sys.exit(0 if ok else 1)
PY
done
echo "all checks passed"
