#pragma once
// The geometry buttons of the main window on the mesh document. What the editor takes
// from edit boxes comes in as numbers (parse typed text with ParseTypedFloat first, so that
// a bad text changes nothing); what it takes from the lists' current lines is read from the
// document's list stores. Operations whose button ends with Save and Load do so here too.

#include <string>

#include "mesh/MeshDocument.h"

// Shown by "add FACE" when fewer than three FVRT lines are selected.
constexpr const char* kSelectThreeFvrtsMessage = "Please select at least 3 FVRTs to create a face!";

// "add VERT...": the vertex and, with it, a zero normal.
void AddVertWithNormal(TMeshDocument& doc, float x, float y, float z);

// "add FVRT...": a corner on the current lines of the vertex and normal lists (-1 for a
// list with no current line), texture coordinates 0.
void AddFvrtFromCurrentLines(TMeshDocument& doc);

// "add FACE": a face over the consecutive FVRTs from the FVRT list's focused line on, as
// many as lines are selected. Returns false (and changes nothing) when fewer than three
// lines are selected; the caller then shows kSelectThreeFvrtsMessage.
bool AddFaceFromSelection(TMeshDocument& doc);

// "del VT": forgets the normals (the list and files stay as they are).
void DeleteVtnm(TMeshDocument& doc);

// "Scale!": every vertex times percent / 100, and the radius times |percent| / 100 (a
// negative percentage mirrors the model through the origin; a radius stays a length), then
// Save with radi.kvt and Load.
void ScaleModel(TMeshDocument& doc, float percent);
void ScaleVerts(TMeshDocument& doc, float percent);  // the vertices, in memory only
float ScaledRadius(float radius, float percent);

// "flipY", "flipZ": mirror every vertex, then Save and Load. A mirror keeps the model's
// size, so radi.kvt stays as it is.
void FlipY(TMeshDocument& doc);
void FlipZ(TMeshDocument& doc);

// "flip VTNM": reverse every normal in memory; no Save, no Load.
void FlipVtnm(TMeshDocument& doc);
