# File > Export > Starvigil model (.iff): the mesh objects as one game model, made by
# tessavor-cli from what Blender holds and what the import kept.

import os
import shutil
import tempfile

import bpy
import numpy as np
from mathutils import Matrix

from . import axes, exchange
from .import_model import (CORNER_VTNM, FACE_D, FACE_RESERVED1, FACE_RESERVED2, FACE_SOURCE,
                           FACE_VTNM, PROP_RADIUS, PROP_SOURCE, PROP_VTNM, VERT_SOURCE)


def values(collection, name, count, dtype):
    out = np.empty(count, dtype=dtype)
    collection.foreach_get(name, out)
    return out


def integers(collection, name, count):
    # Blender hands out integers as 32 bits; the sums below want more room.
    return values(collection, name, count, np.int32).astype(np.int64)


def attribute(mesh, name, count, dtype, default):
    """A kept attribute's values, or `default` for all when the mesh has none."""
    found = mesh.attributes.get(name)
    if found is None or len(found.data) != count:
        return np.full(count, default, dtype=dtype)
    if dtype == np.int64:
        return integers(found.data, "value", count)
    return values(found.data, "value", count, dtype)


def corner_normals(mesh):
    loops = len(mesh.loops)
    if hasattr(mesh, "corner_normals"):  # Blender 4.1 and later
        return values(mesh.corner_normals, "vector", loops * 3, np.float32).reshape(-1, 3)
    mesh.calc_normals_split()
    return values(mesh.loops, "normal", loops * 3, np.float32).reshape(-1, 3)


def picture_of(material, scratch, index, warnings):
    """The material's picture copied under `scratch`; its name relative to it, or ""."""
    if material is None or not material.use_nodes or material.node_tree is None:
        return ""
    for node in material.node_tree.nodes:
        if node.type != "TEX_IMAGE" or node.image is None:
            continue
        image = node.image
        base = bpy.path.basename(image.filepath) or image.name
        if os.path.splitext(base)[0] == material.name:
            return ""  # the game's own texture of this number, in the material folder
        if not os.path.splitext(base)[1]:
            base += ".png"
        relative = os.path.join("pictures", str(index), base)
        target = os.path.join(scratch, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        source = bpy.path.abspath(image.filepath, library=image.library)
        if image.packed_file is not None:
            with open(target, "wb") as f:
                f.write(image.packed_file.data)
        elif image.filepath and os.path.isfile(source):
            shutil.copyfile(source, target)
        else:
            warnings.append(f"material \"{material.name}\": its picture \"{image.name}\" is "
                            "neither a file nor packed; save it first")
            return ""
        return relative
    return ""


def gather(context, objects, to_game, scratch, warnings):
    """The exchange document of the objects (interchange/ModelExchange.h in Tessavor)."""
    # The object a model was imported into comes first, so that its vertices and faces keep
    # their places; the others' kept values name other models' records and are left out.
    objects = sorted(objects, key=lambda o: PROP_SOURCE not in o)
    first = objects[0]
    source = first.get(PROP_SOURCE, "")
    document = {
        "format": "tessavor-edit", "version": 1, "source": source,
        "radius": first.get(PROP_RADIUS) if source else None,
        "vtnm": np.array(list(first.get(PROP_VTNM, [])), dtype=np.float64).reshape(-1, 3).tolist()
        if source else [],
        "vert": [], "vert_source": [], "materials": [], "faces": [],
    }
    materials = {}
    depsgraph = context.evaluated_depsgraph_get()
    for index, obj in enumerate(objects):
        own = index == 0 and bool(source)
        evaluated = obj.evaluated_get(depsgraph)
        mesh = evaluated.to_mesh()
        try:
            nv, nl, nf = len(mesh.vertices), len(mesh.loops), len(mesh.polygons)
            co = values(mesh.vertices, "co", nv * 3, np.float32).reshape(-1, 3)
            normals = corner_normals(mesh)
            world = obj.matrix_world
            if world != Matrix.Identity(4):
                m = np.array(world, dtype=np.float64)
                co = (co @ m[:3, :3].T + m[:3, 3]).astype(np.float32)
                rotation = np.array(world.to_3x3().inverted_safe().transposed(), np.float64)
                normals = normals @ rotation.T
                lengths = np.linalg.norm(normals, axis=1, keepdims=True)
                normals = (normals / np.where(lengths > 0, lengths, 1)).astype(np.float32)
            base = len(document["vert"])
            document["vert"] += axes.turn(co, to_game).tolist()
            vert_source = attribute(mesh, VERT_SOURCE, nv, np.int64, 0) - 1 if own else \
                np.full(nv, -1, np.int64)
            document["vert_source"] += vert_source.tolist()

            loop_vert = integers(mesh.loops, "vertex_index", nl) + base
            uv = np.zeros((nl, 2), np.float32)
            if mesh.uv_layers.active is not None:
                uv = values(mesh.uv_layers.active.data, "uv", nl * 2, np.float32).reshape(-1, 2)
            game_normals = axes.turn(normals.astype(np.float32), to_game)
            corner_vtnm = attribute(mesh, CORNER_VTNM, nl, np.int64, -1)
            start = integers(mesh.polygons, "loop_start", nf)
            total = integers(mesh.polygons, "loop_total", nf)
            slot = integers(mesh.polygons, "material_index", nf)
            face_source = attribute(mesh, FACE_SOURCE, nf, np.int64, 0) - 1 if own else \
                np.full(nf, -1, np.int64)
            face_vtnm = attribute(mesh, FACE_VTNM, nf, np.int64, -1)
            face_d = attribute(mesh, FACE_D, nf, np.float32, 0.0)
            reserved1 = attribute(mesh, FACE_RESERVED1, nf, np.int64, 0)
            reserved2 = attribute(mesh, FACE_RESERVED2, nf, np.int64, 0) & 0xFFFFFFFF

            slots = []
            for s in obj.material_slots:
                key = s.material.name if s.material is not None else None
                if key not in materials:
                    materials[key] = len(document["materials"])
                    picture = picture_of(s.material, scratch, len(materials), warnings)
                    document["materials"].append({"name": key or "", "picture": picture})
                slots.append(materials[key])
            if not slots or slot.max(initial=0) >= len(slots):
                if None not in materials:
                    materials[None] = len(document["materials"])
                    document["materials"].append({"name": "", "picture": ""})
            rows = np.column_stack([loop_vert, uv.astype(np.float64),
                                    game_normals.astype(np.float64), corner_vtnm]).tolist()
            for f in range(nf):
                s = int(slot[f])
                lo, hi = int(start[f]), int(start[f] + total[f])
                document["faces"].append({
                    "material": slots[s] if s < len(slots) else materials[None],
                    "source": int(face_source[f]), "vtnm": int(face_vtnm[f]),
                    "d": float(face_d[f]), "reserved": [int(reserved1[f]), int(reserved2[f])],
                    "corners": [[int(r[0]), r[1], r[2], r[3], r[4], r[5], int(r[6])]
                                for r in rows[lo:hi]],
                })
        finally:
            evaluated.to_mesh_clear()
    return document


def save(context, filepath, objects, program, folder, to_game, first_new_mat, fit,
         replace_textures):
    """Exports the objects; returns tessavor-cli's report and the warnings."""
    warnings = []
    if not objects:
        raise exchange.ExchangeError("there is no mesh object to export")
    with tempfile.TemporaryDirectory(prefix="tessavor-") as scratch:
        document = gather(context, objects, to_game, scratch, warnings)
        if not document["faces"]:
            raise exchange.ExchangeError("the objects have no polygons; nothing was written")
        if document["source"] and not os.path.isfile(document["source"]):
            warnings.append(f"the model \"{document['source']}\" it was imported from is gone: "
                            "exported as a new model")
            document["source"] = ""
        options = ["--mat", str(first_new_mat), "--textures", folder]
        if fit:
            options.append("--fit")
        if replace_textures:
            options.append("--replace-textures")
        report = exchange.write_model(program, document, scratch, filepath, options)
    return report, warnings
