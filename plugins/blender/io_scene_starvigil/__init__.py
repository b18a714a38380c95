# Starvigil models in Blender: File > Import and File > Export of the game's model files
# (.iff). Everything the game's files need is done by Tessavor's tessavor-cli, which the
# add-on finds on PATH or where its preferences say.

bl_info = {
    "name": "Starvigil model format",
    "author": "The Tessavor developers",
    "version": (0, 8, 0),
    "blender": (3, 4, 0),
    "location": "File > Import-Export",
    "description": "Import and export Starvigil models (.iff) through tessavor-cli; "
                   "an unedited model goes back byte for byte",
    "category": "Import-Export",
}

if "bpy" in locals():
    import importlib
    for module in (axes, exchange, import_model, export_model):  # noqa: F821
        importlib.reload(module)

import bpy
from bpy.props import BoolProperty, IntProperty, StringProperty
from bpy_extras.io_utils import ExportHelper, ImportHelper, axis_conversion, orientation_helper

from . import axes, exchange, export_model, import_model


class StarvigilPreferences(bpy.types.AddonPreferences):
    bl_idname = __package__

    program: StringProperty(
        name="tessavor-cli",
        description="The program tessavor-cli (or tessavor-cli.exe), or its folder; "
                    "empty: found on PATH",
        subtype="FILE_PATH",
    )
    material_folder: StringProperty(
        name="Material Folder",
        description="Where the textures of the material numbers are (<8 digits>.bmp, .gct, "
                    ".mat); empty: the editor's MatPath in its home folder",
        subtype="DIR_PATH",
    )

    def draw(self, context):
        self.layout.prop(self, "program")
        self.layout.prop(self, "material_folder")


def preferences(context):
    addon = context.preferences.addons.get(__package__)
    return addon.preferences if addon is not None else None


def program_and_folder(context):
    prefs = preferences(context)
    program = exchange.find_program(prefs.program if prefs else "")
    folder = exchange.material_folder(bpy.path.abspath(prefs.material_folder) if prefs and
                                      prefs.material_folder else "")
    return program, folder


def game_axes(operator):
    """The turn from the game's axes to Blender's, as index and sign per axis."""
    matrix = axis_conversion(from_forward=operator.axis_forward, from_up=operator.axis_up)
    return axes.permutation(matrix)


@orientation_helper(axis_forward="-Z", axis_up="Y")
class ImportStarvigilModel(bpy.types.Operator, ImportHelper):
    """Load a Starvigil model (.iff) as one mesh object"""
    bl_idname = "import_scene.starvigil_model"
    bl_label = "Import Starvigil Model"
    bl_options = {"REGISTER", "UNDO", "PRESET"}

    filename_ext = ".iff"
    filter_glob: StringProperty(default="*.iff", options={"HIDDEN"})

    def execute(self, context):
        try:
            program, folder = program_and_folder(context)
            obj, warnings = import_model.load(context, self.filepath, program, folder,
                                              game_axes(self))
        except exchange.ExchangeError as e:
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        for warning in warnings:
            self.report({"WARNING"}, warning)
        mesh = obj.data
        self.report({"INFO"}, f"Imported {obj.name}: {len(mesh.vertices)} vertices, "
                              f"{len(mesh.polygons)} faces, {len(mesh.materials)} materials")
        return {"FINISHED"}


@orientation_helper(axis_forward="-Z", axis_up="Y")
class ExportStarvigilModel(bpy.types.Operator, ExportHelper):
    """Save the selected mesh objects (all, when none is selected) as a Starvigil model"""
    bl_idname = "export_scene.starvigil_model"
    bl_label = "Export Starvigil Model"
    bl_options = {"PRESET"}

    filename_ext = ".iff"
    filter_glob: StringProperty(default="*.iff", options={"HIDDEN"})

    first_new_material: IntProperty(
        name="First New Material",
        description="Materials named neither by a number nor by an eight-digit texture get "
                    "numbers from this one upwards",
        default=70000,
    )
    fit: BoolProperty(
        name="Fit",
        description="Simplify a model that needs more than 32,769 vertices, corners or faces "
                    "until it fits",
        default=False,
    )
    replace_textures: BoolProperty(
        name="Replace Textures",
        description="Write a material's picture into the material folder even where its "
                    "number has a texture already",
        default=False,
    )

    def execute(self, context):
        objects = [o for o in context.selected_objects if o.type == "MESH"]
        if not objects:
            objects = [o for o in context.scene.objects if o.type == "MESH"]
        try:
            program, folder = program_and_folder(context)
            report, warnings = export_model.save(
                context, self.filepath, objects, program, folder,
                axes.inverse(game_axes(self)), self.first_new_material, self.fit,
                self.replace_textures)
        except exchange.ExchangeError as e:
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        for warning in warnings:
            self.report({"WARNING"}, warning)
        self.report({"INFO"}, report.strip())
        return {"FINISHED"}


def menu_import(self, context):
    self.layout.operator(ImportStarvigilModel.bl_idname, text="Starvigil model (.iff)")


def menu_export(self, context):
    self.layout.operator(ExportStarvigilModel.bl_idname, text="Starvigil model (.iff)")


classes = (StarvigilPreferences, ImportStarvigilModel, ExportStarvigilModel)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)
    bpy.types.TOPBAR_MT_file_export.append(menu_export)


def unregister():
    bpy.types.TOPBAR_MT_file_export.remove(menu_export)
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)


if __name__ == "__main__":
    register()
