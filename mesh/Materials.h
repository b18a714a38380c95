#pragma once
// Texture coordinates and materials set in bulk, and the material file name rule.

#include <string>

#include "mesh/MeshDocument.h"

constexpr const char* kResetTexCoordsQuestion = "Reset all texture coords?";
constexpr const char* kRandomizeTexCoordsQuestion = "Randomize texture coords?";
// "Cg all mat" and "Import ASC" offer this material, and a cancelled "Cg all mat" uses it.
constexpr int32_t kDefaultMaterial = 70000;

// A material id as its texture files are named: the decimal text left-padded with "0" to
// at least eight characters (70000 -> "00070000", -5 -> "000000-5").
std::string MaterialIdText(int32_t mat);
// The same padding of a list line's text ("512" -> "00000512").
std::string PadMaterialText(std::string text);
// folder + MaterialIdText(mat) + extension; the folder is a plain prefix ("./" by default).
std::string MaterialFileName(const std::string& folder, int32_t mat, const std::string& extension);

// "all 0": Tx = Ty = 0 on every FVRT; Save and Load.
void ResetTexCoords(TMeshDocument& doc);

// "RandAll": a fixed pattern per group of three FVRTs, (0.1,0.1), (0.1,0.3), (0.3,0.3),
// starting at 0 and going on while the group's first index is below NumFvrt (so the first
// group is written even with no FVRTs; records past NumFvrt are not part of the model and
// nothing is written past MeshCapacity); then Save and Load.
void RandAllTexCoords(TMeshDocument& doc);
void RandAllTexCoordsInMemory(TMeshDocument& doc);

// "Cg all mat": Mat of every face; Save and Load.
void SetAllMaterials(TMeshDocument& doc, int32_t mat);
