// From a model file's polygons to records the game takes (see GameReady.h).
#include "interchange/GameReady.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "interchange/PolygonRebuild.h"
#include "util/StrTools.h"

namespace {

std::string Percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g%%", 100.0 * fraction);
  return text;
}

// A fraction as the number --max-error takes: percent, two decimals at most ("6.19").
std::string PercentNumber(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", 100.0 * fraction);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

// Keeps the materials some face uses, in their order, with their pictures.
void DropUnusedMaterials(TGatheredScene& scene) {
  std::vector<int32_t> remap(scene.Materials.size(), -1);
  for (const TSceneFace& f : scene.Faces) remap[f.Material] = 0;
  std::vector<TSceneMaterial> materials;
  std::vector<TSceneTexture> textures;
  const bool withTextures = scene.Textures.size() == scene.Materials.size();
  for (size_t m = 0; m < remap.size(); ++m) {
    if (remap[m] < 0) continue;
    remap[m] = static_cast<int32_t>(materials.size());
    materials.push_back(std::move(scene.Materials[m]));
    if (withTextures) textures.push_back(std::move(scene.Textures[m]));
  }
  for (TSceneFace& f : scene.Faces) f.Material = static_cast<uint32_t>(remap[f.Material]);
  scene.Materials = std::move(materials);
  if (withTextures) scene.Textures = std::move(textures);
}

// What DropFacesWithoutArea took away, a note each.
void DropNotes(const TRebuildCounts& counts, TImportReport& report) {
  if (counts.NoArea > 0) {
    std::string note = "Dropped " + std::to_string(counts.NoArea) + " faces without area";
    if (counts.GivenBack > 0)
      note += " (" + std::to_string(counts.GivenBack) +
              " with corners on a straight edge, given back to the face beside them)";
    report.Notes.push_back(note);
  }
  if (counts.Repeated > 0)
    report.Notes.push_back("Dropped " + std::to_string(counts.Repeated) +
                           " faces that repeat another face's corners");
  if (counts.RepeatedCorners > 0)
    report.Notes.push_back("Dropped " + std::to_string(counts.RepeatedCorners) +
                           " corners that repeat a corner of their face");
}

}  // namespace

void CheckRecordCapacity(const TRecordCounts& counts, const std::string& fileName) {
  if (counts.Fit()) return;
  const auto over = [](const char* array, int64_t n) -> std::string {
    if (n <= MeshCapacity) return std::string(array) + " fits";
    char times[32];
    std::snprintf(times, sizeof times, "%.2f", static_cast<double>(n) / MeshCapacity);
    return std::string(array) + " " + std::to_string(n - MeshCapacity) + " over (" + times +
           " times)";
  };
  throw EModelTooLarge(
      RefusedImport(fileName, "needs " + std::to_string(counts.Verts) + " vertices, " +
                                  std::to_string(counts.Corners) + " face corners and " +
                                  std::to_string(counts.Faces) +
                                  " faces; the arrays hold at most " +
                                  std::to_string(MeshCapacity) +
                                  " records each: " + over("VERT", counts.Verts) + ", " +
                                  over("FVRT", counts.Corners) + ", " + over("FACE", counts.Faces))
          .what() +
      std::string(". --fit simplifies the model until it fits"));
}

std::vector<TModelObject> ModelObjects(const TGatheredScene& scene) {
  const bool named = scene.FaceObjects.size() == scene.Faces.size() && !scene.Objects.empty();
  std::vector<TModelObject> objects(named ? scene.Objects.size() : 1);
  for (size_t o = 0; named && o < objects.size(); ++o) objects[o].Name = scene.Objects[o];
  std::vector<std::vector<bool>> uses(objects.size(),
                                      std::vector<bool>(scene.Materials.size(), false));
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const size_t o = named ? scene.FaceObjects[i] : 0;
    ++objects[o].Faces;
    const uint32_t m = scene.Faces[i].Material;
    if (!uses[o][m]) {
      uses[o][m] = true;
      objects[o].Materials.push_back(scene.Materials[m].Name);
    }
  }
  std::erase_if(objects, [](const TModelObject& o) { return o.Faces == 0; });
  return objects;
}

std::vector<TModelObject> ImportedObjects(TGatheredScene scene) {
  std::vector<TModelObject> objects = ModelObjects(scene);
  // A scene the import refuses for its numbers is listed as the file holds it: the list
  // still lets the user pick an object whose numbers are sound.
  try {
    CheckSceneNumbers(scene, std::string());
  } catch (const EInterchange&) {
    return objects;
  }
  DropUnusedVerts(scene);
  const double tolerance = kPlanarTolerance * SceneSize(scene);
  TRebuildCounts counts;
  DropFacesWithoutArea(scene, tolerance, counts);
  SplitFaces(scene, tolerance, false, counts);
  MergeFaces(scene, tolerance, counts);
  FinishFaces(scene, tolerance, counts);
  // The rebuild keeps each face's object; an object left without faces counts 0.
  const bool named = scene.FaceObjects.size() == scene.Faces.size() && !scene.Objects.empty();
  std::map<std::string, int64_t> faces;
  for (size_t i = 0; i < scene.Faces.size(); ++i)
    ++faces[named ? scene.Objects[scene.FaceObjects[i]] : std::string()];
  for (TModelObject& o : objects) o.Faces = faces[o.Name];
  return objects;
}

std::string ObjectListText(const std::vector<TModelObject>& objects) {
  std::string text;
  for (const TModelObject& o : objects) {
    text += (o.Name.empty() ? std::string("(unnamed)") : QuoteForMessage(o.Name)) + ": " +
            std::to_string(o.Faces) + " faces, materials";
    for (size_t m = 0; m < o.Materials.size(); ++m)
      text += (m ? ", " : " ") +
              (o.Materials[m].empty() ? std::string("(unnamed)") : QuoteForMessage(o.Materials[m]));
    text += "\n";
  }
  return text;
}

void SelectObjects(TGatheredScene& scene, const std::vector<std::string>& names,
                   const std::string& fileName) {
  if (names.empty()) return;
  std::vector<bool> keep(scene.Objects.size(), false);
  for (const std::string& name : names) {
    const auto at = std::find(scene.Objects.begin(), scene.Objects.end(), name);
    if (at == scene.Objects.end())
      throw RefusedImport(fileName, "has no object named \"" + QuoteForMessage(name) +
                                        "\" (--list shows its objects)");
    keep[static_cast<size_t>(at - scene.Objects.begin())] = true;
  }
  std::vector<TSceneFace> faces;
  std::vector<TSceneCorner> corners;
  std::vector<uint32_t> faceObjects;
  for (size_t i = 0; i < scene.Faces.size() && i < scene.FaceObjects.size(); ++i) {
    if (!keep[scene.FaceObjects[i]]) continue;
    TSceneFace f = scene.Faces[i];
    const auto from = scene.Corners.begin() + f.First;
    f.First = static_cast<int32_t>(corners.size());
    corners.insert(corners.end(), from, from + f.Count);
    faces.push_back(f);
    faceObjects.push_back(scene.FaceObjects[i]);
  }
  // The positions no corner uses any more are dropped at the end.
  scene.Faces = std::move(faces);
  scene.Corners = std::move(corners);
  scene.FaceObjects = std::move(faceObjects);
  // The report counts the meshes of the objects kept.
  std::vector<bool> meshKept(scene.MeshNames.size(), false);
  scene.Meshes = 0;
  for (const TSceneFace& f : scene.Faces) {
    if (f.Mesh < meshKept.size() && !meshKept[f.Mesh]) {
      meshKept[f.Mesh] = true;
      ++scene.Meshes;
    }
  }
  DropUnusedMaterials(scene);
}

void PrepareScene(TGatheredScene& scene, const TImportOptions& options, TImportReport& report) {
  SelectObjects(scene, options.Objects, report.FileName);
  if (scene.Faces.empty()) return;  // refused with its reason when the mesh is built
  // The tolerances are relative to the size of what is taken, not of objects left out.
  DropUnusedVerts(scene);
  // Before the rebuild, whose plane tests would take an infinite distance for a plane.
  CheckSceneNumbers(scene, report.FileName);
  const double tolerance = kPlanarTolerance * SceneSize(scene);
  TRebuildCounts counts;
  const int64_t polygons = static_cast<int64_t>(scene.Faces.size());
  TGatheredScene triangles;
  TRecordCounts needed;
  // The rebuilding keeps the positions the corners use: a model whose positions alone pass
  // the room goes to the fit as triangles at once, neither cleaned, rebuilt nor copied whole
  // (the fit rebuilds what it keeps, FitScene).
  const bool simplifyAtOnce = options.Fit && CountRecords(scene).Verts > kTreeLimit;
  if (!simplifyAtOnce) {
    DropFacesWithoutArea(scene, tolerance, counts);
    DropNotes(counts, report);
    if (scene.Faces.empty()) {
      throw RefusedImport(report.FileName, "has no face that encloses an area (all " +
                                               std::to_string(polygons) +
                                               " polygons of the file were dropped)");
    }
    SplitFaces(scene, tolerance, false, counts);
  }
  if (simplifyAtOnce) {
    SplitFaces(scene, tolerance, true, counts);
    DropUnusedVerts(scene);
    needed = CountRecords(scene);
    triangles = std::move(scene);
  } else {
    if (options.Fit) {
      triangles = scene;
      SplitFaces(triangles, tolerance, true, counts);
    }
    RebuildGameFaces(scene, tolerance, counts);
    DropUnusedVerts(scene);
    report.Notes.push_back("Faces rebuilt: " + std::to_string(polygons) +
                           " polygons of the file, " + std::to_string(counts.Split) +
                           " cut into planar convex pieces, " + std::to_string(scene.Faces.size()) +
                           " faces");
    if (counts.Crossing > 0)
      report.Notes.push_back("Cut " + std::to_string(counts.Crossing) +
                             " self-crossing polygons at their crossings");
    needed = CountRecords(scene);
    const bool roomy = needed.Fit(kTreeLimit);
    if (roomy || (!options.Fit && needed.Fit())) {
      if (!roomy) {
        report.Notes.push_back(
            "Warning: VERT " + std::to_string(needed.Verts) + ", FVRT " +
            std::to_string(needed.Corners) + ", FACE " + std::to_string(needed.Faces) +
            " leave less than " + Percent(kTreeRoom) +
            " of an array for the tree's cuts: \"make tree\" may fail; --fit brings each under " +
            std::to_string(kTreeLimit));
      }
      return;
    }
  }
  if (!options.Fit) CheckRecordCapacity(needed, report.FileName);
  DropUnusedVerts(triangles);
  const TFitResult fit = FitScene(triangles, tolerance, kTreeLimit);
  if (!fit.Reached && fit.Degenerate == fit.Triangles) {
    throw RefusedImport(report.FileName,
                        "cannot be simplified to fit: all its " + std::to_string(fit.Triangles) +
                            " triangles are degenerate (their corners lie on one line and "
                            "enclose no area), so there is no surface to simplify");
  }
  if (!fit.Reached) {
    throw RefusedImport(report.FileName,
                        "cannot be simplified to fit: after " + std::to_string(fit.Rounds) +
                            " rounds it still needs " + std::to_string(fit.After.Verts) +
                            " vertices, " + std::to_string(fit.After.Corners) +
                            " face corners and " + std::to_string(fit.After.Faces) +
                            " faces (its material borders and seams hold it)");
  }
  if (fit.Moved > options.MaxError) {
    // The smallest percentage with two decimals that takes this fit.
    const double allows = std::ceil(fit.Moved * 1e4) / 1e4;
    throw EFitTooCoarse(
        RefusedImport(report.FileName, "cannot be fitted within --max-error " +
                                           Percent(options.MaxError) + ": the surface would move " +
                                           Percent(fit.Moved) +
                                           " of the model's size (--max-error " +
                                           PercentNumber(allows) + " allows it)")
            .what(),
        allows);
  }
  scene = std::move(triangles);
  report.Notes.push_back(
      "Fitted (--fit) from VERT " + std::to_string(needed.Verts) + ", FVRT " +
      std::to_string(needed.Corners) + ", FACE " + std::to_string(needed.Faces) + " to VERT " +
      std::to_string(fit.After.Verts) + ", FVRT " + std::to_string(fit.After.Corners) + ", FACE " +
      std::to_string(fit.After.Faces) + " (at most " + std::to_string(kTreeLimit) +
      " each, room for the tree)" +
      (fit.Clustered ? "; first clustered to " + std::to_string(fit.Clustered) + " triangles"
                     : std::string()) +
      "; the surface moved at most " + Percent(fit.Moved) + " of the model's size (--max-error " +
      Percent(options.MaxError) + ")");
}
