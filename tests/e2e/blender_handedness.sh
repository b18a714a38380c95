#!/usr/bin/env bash
# One handedness with Blender: a box's front and back walls, written as record files,
# exported as GLB with tessavor-cli and opened in Debian's Blender (headless). Blender must
# see what the model viewer's front view shows (tests/viewers, "TheFrontViewShowsTheFront"):
#  - the wall whose corners run counter-clockwise seen from +z (stored normal +z) faces
#    Blender's front view (normal -Y: keypad 1 looks along +Y), the other one its back;
#  - the model's +x is +X (on the right in the front view), its +y is up (+Z);
#  - the texture reads the right way: the corner at the front's top left has the texture
#    coordinate of the picture's top left, (0, 1), and the bottom right (1, 0).
#   blender_handedness.sh BIN_DIR
# A missing Blender fails the test; TESSAVOR_SKIP_BLENDER=1 skips it (exit 77) on purpose.
set -euo pipefail

bin=$(cd "$1" && pwd)
if [ -n "${TESSAVOR_SKIP_BLENDER:-}" ]; then
  echo "TESSAVOR_SKIP_BLENDER is set: skipped" >&2
  exit 77
fi
if ! command -v blender >/dev/null 2>&1; then
  echo "FAIL: blender is not installed (scripts/install-deps.sh installs it with python3-numpy)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TESSAVOR_HOME="$work/home"
mkdir -p "$TESSAVOR_HOME"

python3 - "$TESSAVOR_HOME" <<'PY'
import os, struct, sys
home = sys.argv[1]
# Front wall at z = 0.5, counter-clockwise seen from +z; back wall at z = -0.5, clockwise.
front = [(-0.5, -0.5, 0.5), (0.5, -0.5, 0.5), (0.5, 0.5, 0.5), (-0.5, 0.5, 0.5)]
back = [(-0.5, -0.5, -0.5), (-0.5, 0.5, -0.5), (0.5, 0.5, -0.5), (0.5, -0.5, -0.5)]
verts = front + back
uv = lambda p: ((p[0] + 0.5), (p[1] + 0.5))  # 0..1 along +x and +y
corners = [(i, 0) + uv(verts[i]) for i in range(4)] + [(i, 1) + uv(verts[i]) for i in range(4, 8)]
faces = [(0, -0.5, 1001, 0, 4, 0, 0x7F0096FF), (1, -0.5, 1001, 4, 4, 0, 0x7F0096FF)]
w = lambda name, data: open(os.path.join(home, name), "wb").write(data)
w("vert.kvt", b"".join(struct.pack("<3f", *v) for v in verts))
w("vtnm.kvt", struct.pack("<3f", 0, 0, 1) + struct.pack("<3f", 0, 0, -1))
w("fvrt.kvt", b"".join(struct.pack("<iiff", *c) for c in corners))
w("face.kvt", b"".join(struct.pack("<ifiiiiI", *f) for f in faces))
w("radi.kvt", struct.pack("<f", 0.9))
PY
"$bin/tessavor-cli" export "$work/box.glb" >"$work/export.log" || { cat "$work/export.log" >&2; exit 1; }

blender -b --factory-startup --python-exit-code 1 --python-expr '
import bpy, sys
import numpy
if not hasattr(numpy, "bool"):
    numpy.bool = bool
glb = sys.argv[sys.argv.index("--") + 1]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=glb)
meshes = [o for o in bpy.data.objects if o.type == "MESH"]
assert meshes, "no mesh"
near = lambda a, b: all(abs(x - y) < 1e-4 for x, y in zip(a, b))
seen = {"front": 0, "back": 0, "top left": 0, "bottom right": 0}
for o in meshes:
    m = o.matrix_world
    uv = o.data.uv_layers.active.data
    for poly in o.data.polygons:
        centre = m @ poly.center
        normal = (m.to_3x3() @ poly.normal).normalized()
        if abs(centre.y + 0.5) < 1e-4:
            assert near(normal, (0, -1, 0)), f"the front wall faces {tuple(normal)}, not -Y"
            seen["front"] += 1
            for li in poly.loop_indices:
                co = m @ o.data.vertices[o.data.loops[li].vertex_index].co
                if near(co, (-0.5, -0.5, 0.5)):
                    assert near(uv[li].uv, (0, 1)), f"top left has uv {tuple(uv[li].uv)}"
                    seen["top left"] += 1
                if near(co, (0.5, -0.5, -0.5)):
                    assert near(uv[li].uv, (1, 0)), f"bottom right has uv {tuple(uv[li].uv)}"
                    seen["bottom right"] += 1
        elif abs(centre.y - 0.5) < 1e-4:
            assert near(normal, (0, 1, 0)), f"the back wall faces {tuple(normal)}, not +Y"
            seen["back"] += 1
        else:
            raise AssertionError(f"a polygon at {tuple(centre)}")
assert all(seen.values()), f"not everything was found: {seen}"
print("Blender sees the front wall from its front view, the right way round:", seen)
' -- "$work/box.glb"
