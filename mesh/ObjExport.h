#pragma once
// "Output obj": the mesh document as a WaveFront OBJ text file, one to one: every vertex a
// "v" line, every normal a "vn" line, every FVRT a "vt" line and every face an "f" line of
// vertex/texture-vertex/normal groups (OBJ indices are document indices plus one; a -1
// index is written as 0). Lines end with CR LF; numbers are "%.7f". Corners of a face that
// lie outside the FVRT records are left out of its "f" line (see FaceCorners).

#include <string>

#include "mesh/MeshDocument.h"

// The whole file text.
std::string ObjText(const TMeshDocument& doc);

// Writes ObjText to `path` crash-safely (EInOutError naming the file on failure). A mesh
// with indices out of range (mesh/MeshCheck.h) is refused with EMeshCheck listing them, and
// nothing is written.
void ExportObj(const TMeshDocument& doc, const std::string& path);
