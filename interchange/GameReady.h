#pragma once
// What the import does to a gathered scene before it becomes records (PrepareScene):
//  1. only the objects asked for (TImportOptions::Objects; all when empty), and only the
//     materials they use;
//  2. coordinates whose normals or plane distances would be no finite number refused
//     (CheckSceneNumbers);
//  3. faces without area, repeated corners and repeated faces dropped (a scene left with
//     none is refused with that reason), then planar convex faces, neighbours rebuilt into
//     larger faces (PolygonRebuild.h);
//  4. when the records needed pass an array's MeshCapacity: with TImportOptions::Fit the
//     model is simplified until they fit with room for the tree (kTreeLimit, Fit.h), else
//     EModelTooLarge says how far over each array is. A model that fits the arrays but not
//     the tree's room is fitted too with Fit; without, the report warns that "make tree"
//     may fail. A fit that moves the surface farther than TImportOptions::MaxError is
//     refused (EFitTooCoarse) with the error it needs; the report gives the error reached.

#include <string>
#include <vector>

#include "interchange/Fit.h"
#include "interchange/Interchange.h"
#include "interchange/SceneData.h"

// A model that needs more records than the arrays hold; the editor offers to fit it.
class EModelTooLarge : public EInterchange {
public:
  using EInterchange::EInterchange;
  const char* ClassName() const noexcept override { return "EModelTooLarge"; }
};

// A fit that would move the surface farther than --max-error allows; Needed is the
// smallest --max-error (a fraction of the model's size) that takes it.
class EFitTooCoarse : public EInterchange {
public:
  EFitTooCoarse(const std::string& message, double needed)
      : EInterchange(message), Needed(needed) {}
  const char* ClassName() const noexcept override { return "EFitTooCoarse"; }
  double Needed;
};

// Raises EModelTooLarge when `counts` pass an array: the counts, by how much each array is
// over, and the hint to use --fit.
void CheckRecordCapacity(const TRecordCounts& counts, const std::string& fileName);

struct TModelObject {
  std::string Name;
  int64_t Faces = 0;
  std::vector<std::string> Materials;  // names, in order of first use
};

// The objects of a scene in order of first use (one unnamed object for a scene that names
// none).
std::vector<TModelObject> ModelObjects(const TGatheredScene& scene);
// The objects with their faces counted as the import makes them (the rebuild into game
// faces: a triangulated cube has 6 faces, not 12), for the list of the objects.
std::vector<TModelObject> ImportedObjects(TGatheredScene scene);
// The lines of "import MODEL --list": name, faces, materials, one object a line.
std::string ObjectListText(const std::vector<TModelObject>& objects);

// Keeps the faces of the named objects and the materials they use; raises EInterchange
// naming an object the file does not have.
void SelectObjects(TGatheredScene& scene, const std::vector<std::string>& names,
                   const std::string& fileName);

// Steps 1 to 4 above; adds to the report's notes what was rebuilt and fitted.
void PrepareScene(TGatheredScene& scene, const TImportOptions& options, TImportReport& report);
