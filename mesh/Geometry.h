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

// Every tool that moves the vertices leaves a model the game can use: each face's plane
// (its normal and D) and the radius follow the vertices, and a mirror reverses each face's
// corner order, so that no face ends up facing inwards.
//
// "Scale!": every vertex times percent / 100, every face's D and the radius times
// |percent| / 100 (a negative percentage mirrors the model through the origin: the normals
// turn round and the corner order is reversed; a radius stays a length), then Save with
// radi.kvt and Load.
void ScaleModel(TMeshDocument& doc, float percent);
// The model in memory: vertices, normals, D, corner order; not the radius.
void ScaleVerts(TMeshDocument& doc, float percent);
float ScaledRadius(float radius, float percent);

// "flipY", "flipZ": mirror every vertex and normal and reverse every face's corner order,
// then Save and Load. A mirror through a plane of the origin keeps each face's distance
// from it, so D stays, and it keeps the model's size, so radi.kvt stays as it is.
void FlipY(TMeshDocument& doc);
void FlipZ(TMeshDocument& doc);
void MirrorRecords(TMeshDocument& doc, bool x, bool y, bool z);  // in memory only

// Reverses the corner order of every face and keeps its first corner, as the import does
// under a mirroring transform: corners c0 c1 ... cn become c0 cn ... c1. A run of corners
// that several faces share is reversed once; corners outside FVRT are left alone.
void ReverseFaceCorners(TMeshDocument& doc);

// The tool window's turns about the origin: the normals turn with the vertices (VERT and
// VTNM by the same rotation, RotatePoints and RotateStep of mesh/Projection.h). A rotation
// about the origin keeps every face's distance from it, so D stays.
void RotateModel(TMeshDocument& doc, float ax, float ay, float az);
void RotateModelStep(TMeshDocument& doc, float angle, bool rotX, bool rotY, bool rotZ);

// "Set VERT": moves vertex `index` to (x, y, z) and makes the normals and D of the faces
// that use it true again (as "Calc VTNM" and "CALC D" work them out, for those faces only:
// a face normal shared with an untouched face gets a new VTNM record rather than turning
// the other face). Raises EMeshDocument for an index outside VERT.
void SetVertex(TMeshDocument& doc, int32_t index, const TPoint3& p);

// "flip VTNM": reverse every normal in memory; no Save, no Load.
void FlipVtnm(TMeshDocument& doc);
