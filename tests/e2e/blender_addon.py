# The Blender add-on in the real Blender, headless (run by blender_addon.sh):
#  1. the demo house imported: its vertices in record order along Blender's axes, its four
#     materials with their pictures; exported unedited it is the demo file byte for byte;
#  2. one vertex moved: only its VERT record changes, and of the other records only the
#     normals and D of the faces that use it (and the radius when it grows);
#  3. another material on one polygon: only that FACE record's material changes;
#  4. one polygon deleted: the faces before it keep their records, and the model passes
#     check;
#  5. a cube made in Blender, with a material and its picture, becomes a new game model:
#     rip and check accept it, the mesh script compiled from its records is the same file,
#     its picture is in the material folder under its new number, and the model imported
#     and exported unedited is the same file again;
#  6. failures are reported and write nothing: no mesh, a source model cut short.
#   blender -b --factory-startup --python-exit-code 1 --python blender_addon.py -- \
#       ADDON_PARENT WORK BIN_DIR
import json
import os
import struct
import subprocess
import sys

addon_parent, work, bin_dir = sys.argv[sys.argv.index("--") + 1:]
sys.path.insert(0, addon_parent)

import bpy  # noqa: E402
import io_scene_starvigil  # noqa: E402

io_scene_starvigil.register()
cli = os.path.join(bin_dir, "tessavor-cli")
demo = os.path.join(work, "demo.iff")
out = os.path.join(work, "out")
os.makedirs(out, exist_ok=True)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def records(model):
    path = os.path.join(work, "records.json")
    subprocess.run([cli, "mesh-to-json", model, path], check=True)
    with open(path) as f:
        return json.load(f)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def rip_and_check(model, name):
    """Rips the model into a home folder of its own, where check must find no problem."""
    home = os.path.join(work, name)
    os.makedirs(home)
    env = dict(os.environ, TESSAVOR_HOME=home)
    subprocess.run([cli, "rip", model], check=True, env=env, stdout=subprocess.DEVNULL)
    checked = subprocess.run([cli, "check"], env=env, capture_output=True, text=True)
    check(checked.returncode == 0, f"check: {checked.stdout}{checked.stderr}")
    return env


def fresh_import(path=demo):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.starvigil_model(filepath=path)
    return bpy.context.view_layer.objects.active


def export(name):
    path = os.path.join(out, name)
    bpy.ops.export_scene.starvigil_model(filepath=path)
    return path


original = records(demo)

# 1. Import, axes, materials; the unedited round trip.
house = fresh_import()
mesh = house.data
check(len(mesh.vertices) == len(original["vert"]), "vertex count")
check(len(mesh.polygons) == len(original["face"]), "face count")
for i, (x, y, z) in enumerate(original["vert"]):
    # The game's y up is Blender's z up: (x, y, z) -> (x, -z, y), values unchanged.
    check(tuple(mesh.vertices[i].co) == (x, -z, y), f"vertex {i}: {tuple(mesh.vertices[i].co)}")
for p, face in zip(mesh.polygons, original["face"]):
    first, count = face[3], face[4]
    check([mesh.loops[li].vertex_index for li in p.loop_indices] ==
          [original["fvrt"][r][0] for r in range(first, first + count)], f"corners of {p.index}")
names = [m.name for m in mesh.materials]
check(sorted(names) == ["00001001", "00001002", "00001003", "00001004"], f"materials {names}")
for m in mesh.materials:
    images = [n.image for n in m.node_tree.nodes if n.type == "TEX_IMAGE" and n.image]
    check(images and images[0].size[0] > 0, f"material {m.name} has no picture")
check(read(export("unedited.iff")) == read(demo), "the unedited export differs from the demo")
print("addon: the demo house comes back byte for byte")

# 2. One vertex moved.
moved_vertex = 8  # the roof's ridge
house.data.vertices[moved_vertex].co.z += 0.5
moved = records(export("moved.iff"))
check([i for i, (a, b) in enumerate(zip(original["vert"], moved["vert"])) if a != b] ==
      [moved_vertex], "the moved vertex is the only VERT record that changed")
def corners_of(face, count):
    return {original["fvrt"][r][0] for r in range(face[3], face[3] + count)}


uses = {f for f, face in enumerate(original["face"]) if moved_vertex in corners_of(face, face[4])}
# A face's plane comes from its first three corners.
planes = {f for f, face in enumerate(original["face"]) if moved_vertex in corners_of(face, 3)}
check(planes, "the moved vertex defines planes")
for f, (a, b) in enumerate(zip(original["face"], moved["face"])):
    if f in uses:
        check(a[2:] == b[2:], f"FACE {f}: only its normal and D change")
        if f in planes:
            check(a[1] != b[1] or a[0] != b[0], f"FACE {f}: the moved vertex makes a new plane")
    else:
        check(a == b, f"FACE {f} does not use the moved vertex and changed")
for r, (a, b) in enumerate(zip(original["fvrt"], moved["fvrt"])):
    check(a[0] == b[0] and a[2:] == b[2:], f"FVRT {r}: only a normal may change")
check(len(moved["fvrt"]) == len(original["fvrt"]) and len(moved["face"]) == len(original["face"]),
      "record counts")
check(moved["vtnm"][:len(original["vtnm"])] == original["vtnm"], "old normals stay")
print(f"addon: one moved vertex changes one VERT record and the {len(uses)} faces on it")

# 3. Another material on one polygon.
house = fresh_import()
roof = house.data.materials.find("00001002")
house.data.polygons[0].material_index = roof
bytes_before, bytes_after = read(demo), read(export("material.iff"))
differ = [i for i, (a, b) in enumerate(zip(bytes_before, bytes_after)) if a != b]
face0 = bytes_before.find(b"FACE") + 8  # the first FACE record
check(len(bytes_after) == len(bytes_before) and differ and
      all(face0 + 8 <= i < face0 + 12 for i in differ),
      f"only FACE 0's material may change, bytes {differ[:8]} differ (FACE 0 at {face0})")
check(struct.unpack_from("<i", bytes_after, face0 + 8)[0] == 1002, "FACE 0 has material 1002")
print("addon: a new material changes that FACE record's material alone")

# 4. The last polygon deleted.
house = fresh_import()
import bmesh  # noqa: E402
bm = bmesh.new()
bm.from_mesh(house.data)
bm.faces.ensure_lookup_table()
bmesh.ops.delete(bm, geom=[bm.faces[len(bm.faces) - 1]], context="FACES")
bm.to_mesh(house.data)
bm.free()
deleted = export("deleted.iff")
less = records(deleted)
check(less["face"] == original["face"][:-1], "the faces before the deleted one keep their records")
rip_and_check(deleted, "home-deleted")
print("addon: a deleted polygon leaves the records before it")

# 5. A cube made in Blender.
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.mesh.primitive_cube_add(size=2)
cube = bpy.context.active_object
picture = bpy.data.images.new("bricks", 16, 16)
picture.pixels = [0.8, 0.3, 0.2, 1.0] * 256
picture.filepath_raw = os.path.join(work, "bricks.png")
picture.file_format = "PNG"
picture.save()
brick = bpy.data.materials.new("brick")
brick.use_nodes = True
node = brick.node_tree.nodes.new("ShaderNodeTexImage")
node.image = picture
cube.data.materials.append(brick)
made = export("cube.iff")
env = rip_and_check(made, "home-cube")
cube_records = records(made)
check(len(cube_records["face"]) == 6 and {f[2] for f in cube_records["face"]} == {70000},
      f"six faces of material 70000: {cube_records['face']}")
script = os.path.join(env["TESSAVOR_HOME"], "mesh_script")
os.makedirs(script)
with open(os.path.join(bin_dir, "kvt_mesh.txt")) as f:
    text = f.read()
with open(os.path.join(script, "kvt_mesh.txt"), "w") as f:
    f.write(text)
subprocess.run([os.path.join(bin_dir, "iffc"), "kvt_mesh.txt"], check=True, cwd=script, env=env,
               stdout=subprocess.DEVNULL)
check(read(os.path.join(script, "mesh.iff")) == read(made),
      "the new model is not what the mesh script compiles from its records")
folder = os.environ["TESSAVOR_TEST_MATERIALS"]
check(os.path.isfile(os.path.join(folder, "00070000.mat")), "the picture as 00070000.mat")
# The new model, a model of our own, goes in and out unedited byte for byte too.
fresh_import(made)
check(read(export("cube-again.iff")) == read(made), "the cube model did not come back as it was")
print("addon: a cube made in Blender is a game model that rip and check accept, and comes back")

# 6. Failures write nothing.
bpy.ops.wm.read_factory_settings(use_empty=True)
nothing = os.path.join(out, "nothing.iff")
try:
    bpy.ops.export_scene.starvigil_model(filepath=nothing)
    check(False, "an export without a mesh succeeded")
except RuntimeError as e:
    check("no mesh object" in str(e), f"message: {e}")
check(not os.path.exists(nothing), "an export that failed wrote a file")
cut = os.path.join(work, "cut.iff")
with open(cut, "wb") as f:
    f.write(read(demo))
fresh_import(cut)
with open(cut, "r+b") as f:
    f.truncate(len(read(demo)) - 40)
try:
    bpy.ops.export_scene.starvigil_model(filepath=nothing)
    check(False, "an export into a damaged source succeeded")
except RuntimeError as e:
    check("runs past the end" in str(e), f"message: {e}")
check(not os.path.exists(nothing), "an export that failed wrote a file")
print("addon: failures are reported and write nothing")
