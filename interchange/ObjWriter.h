#pragma once
// Our own writer of Wavefront OBJ models with their material library: the statements and
// numbers Assimp's OBJ writer gives for the same scene (only the comment at the top
// differs), without its cost. Assimp's writer spends most of its time printing numbers
// through streams and finding repeated values in ordered maps.
//
// The text, as Assimp writes it:
//  - "mtllib <model's name with .mtl for its extension>" and a blank line (not for
//    objnomtl);
//  - the distinct positions ("v"), texture coordinates ("vt u v 0") and normals ("vn"),
//    each list headed by "# <count> ..." and followed by a blank line, numbered in order of
//    first use; values that compare equal (0 and -0 too) are one entry, written as first
//    seen; positions and normals pass through the identity transform (so -0 may become 0);
//  - per mesh: "# Mesh '<name>' with <n> faces", "g <name>", "usemtl <material>" (not for
//    objnomtl), one "f  v/vt/vn ..." line per face and a blank line.
// Numbers are printed as "%.9g" prints the float; lines end with "\n".
// The library: per material "newmtl <name>", "Kd 1 1 1", "illum 1", "map_Kd <texture>"
// when it has one, and a blank line.

#include <string>

#include "interchange/ExportScene.h"

// The model's text. `fileName` is the model's file name (the library's name comes from
// it); `withLibrary` false for objnomtl.
std::string ObjModelText(const TExportScene& scene, const std::string& fileName, bool withLibrary);
// The material library's text.
std::string ObjLibraryText(const TExportScene& scene);
// "house.obj" -> "house.mtl", "house" -> "house.mtl".
std::string ObjLibraryName(const std::string& fileName);
