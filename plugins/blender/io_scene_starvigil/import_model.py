# File > Import > Starvigil model (.iff): a model's mesh as one Blender object.

import os
import tempfile

import bpy
import numpy as np

from . import axes, exchange

# What Blender has no place for, kept on the object for an unedited export to give back.
# Sources are stored one above the record index, so that 0 (what Blender gives new
# vertices and faces) means "made in Blender".
VERT_SOURCE = "tessavor_vert"
FACE_SOURCE = "tessavor_face"
FACE_VTNM = "tessavor_face_vtnm"
FACE_D = "tessavor_d"
FACE_RESERVED1 = "tessavor_reserved1"
FACE_RESERVED2 = "tessavor_reserved2"
CORNER_VTNM = "tessavor_corner_vtnm"
PROP_SOURCE = "tessavor_source"
PROP_RADIUS = "tessavor_radius"
PROP_VTNM = "tessavor_vtnm"


def set_attribute(mesh, name, kind, domain, values):
    attribute = mesh.attributes.get(name) or mesh.attributes.new(name, kind, domain)
    attribute.data.foreach_set("value", values)


def signed32(value):
    return value - (1 << 32) if value >= 1 << 31 else value


def texture_image(name, folder, program, scratch, warnings):
    """The texture of a material number: the .bmp Blender reads, else a .gct or .mat
    converted by tessavor-cli and packed into the .blend."""
    bmp = os.path.join(folder, name + ".bmp")
    if os.path.isfile(bmp):
        return bpy.data.images.load(bmp, check_existing=True)
    for extension in (".gct", ".mat"):
        source = os.path.join(folder, name + extension)
        if not os.path.isfile(source):
            continue
        png = os.path.join(scratch, name + ".png")
        try:
            exchange.run(program, "image", "convert", source, png)
        except exchange.ExchangeError as e:
            warnings.append(f"texture {source}: {e}")
            continue
        image = bpy.data.images.load(png)
        image.pack()
        image.name = name + ".png"
        return image
    warnings.append(f"material {name} has no texture in {folder}")
    return None


def game_material(number, folder, program, scratch, warnings):
    name = exchange.material_name(number)
    material = bpy.data.materials.get(name)
    if material is not None:
        return material
    material = bpy.data.materials.new(name)
    material.use_nodes = True
    image = texture_image(name, folder, program, scratch, warnings)
    if image is not None:
        tree = material.node_tree
        shader = next((n for n in tree.nodes if n.type == "BSDF_PRINCIPLED"), None)
        texture = tree.nodes.new("ShaderNodeTexImage")
        texture.image = image
        texture.location = (-300, 300)
        if shader is not None:
            tree.links.new(texture.outputs["Color"], shader.inputs["Base Color"])
    return material


def load(context, filepath, program, folder, to_blender):
    """Imports the model; returns the object and the warnings for the report area."""
    warnings = []
    with tempfile.TemporaryDirectory(prefix="tessavor-") as scratch:
        document = exchange.read_mesh(program, filepath, scratch)
        verts = np.array(document["vert"], dtype=np.float32).reshape(-1, 3)
        vtnm = np.array(document["vtnm"], dtype=np.float32).reshape(-1, 3)
        fvrt = document["fvrt"]
        faces = document["face"]

        # Faces Blender can hold: three or more corners, each naming a vertex. The others
        # stay out (the export then makes the model anew around them) and are counted.
        polygons = []
        for index, (_, _, _, first, count, _, _) in enumerate(faces):
            if count >= 3 and first >= 0 and first + count <= len(fvrt) and all(
                    0 <= fvrt[r][0] < len(verts) for r in range(first, first + count)):
                polygons.append(index)
        if len(polygons) < len(faces):
            warnings.append(f"{len(faces) - len(polygons)} faces name corners or vertices "
                            "that do not exist, or have fewer than three corners: left out")
        corners = [r for f in polygons for r in range(faces[f][3], faces[f][3] + faces[f][4])]

        name = os.path.splitext(os.path.basename(filepath))[0]
        mesh = bpy.data.meshes.new(name)
        mesh.from_pydata(axes.turn(verts, to_blender).tolist(), [],
                         [[fvrt[r][0] for r in range(faces[f][3], faces[f][3] + faces[f][4])]
                          for f in polygons])

        uv = mesh.uv_layers.new(name="UVMap")
        uv.data.foreach_set("uv", [c for r in corners for c in (fvrt[r][2], fvrt[r][3])])

        # One material per number, in order of first use.
        numbers = []
        for f in polygons:
            if faces[f][2] not in numbers:
                numbers.append(faces[f][2])
        for number in numbers:
            mesh.materials.append(game_material(number, folder, program, scratch, warnings))
        mesh.polygons.foreach_set("material_index", [numbers.index(faces[f][2]) for f in polygons])

        set_attribute(mesh, VERT_SOURCE, "INT", "POINT", list(range(1, len(verts) + 1)))
        set_attribute(mesh, FACE_SOURCE, "INT", "FACE", [f + 1 for f in polygons])
        set_attribute(mesh, FACE_VTNM, "INT", "FACE", [faces[f][0] for f in polygons])
        set_attribute(mesh, FACE_D, "FLOAT", "FACE", [faces[f][1] for f in polygons])
        set_attribute(mesh, FACE_RESERVED1, "INT", "FACE", [faces[f][5] for f in polygons])
        set_attribute(mesh, FACE_RESERVED2, "INT", "FACE",
                      [signed32(faces[f][6]) for f in polygons])
        set_attribute(mesh, CORNER_VTNM, "INT", "CORNER", [fvrt[r][1] for r in corners])

        # The game's normals as custom split normals (a corner naming no normal gets none).
        normals = axes.turn(vtnm, to_blender) if len(vtnm) else vtnm
        split = [tuple(normals[fvrt[r][1]]) if 0 <= fvrt[r][1] < len(normals) else (0.0, 0.0, 0.0)
                 for r in corners]
        mesh.polygons.foreach_set("use_smooth", [True] * len(polygons))
        if hasattr(mesh, "use_auto_smooth"):  # Blender before 4.1
            mesh.use_auto_smooth = True
        mesh.normals_split_custom_set(split)
        mesh.update()

    obj = bpy.data.objects.new(name, mesh)
    obj[PROP_SOURCE] = os.path.abspath(filepath)
    obj[PROP_RADIUS] = document["radius"]
    if len(vtnm):
        obj[PROP_VTNM] = [c for n in document["vtnm"] for c in n]
    context.view_layer.active_layer_collection.collection.objects.link(obj)
    for other in context.view_layer.objects:
        other.select_set(False)
    obj.select_set(True)
    context.view_layer.objects.active = obj
    return obj, warnings
