// --fit made game-ready: the fitted sphere passes "check" and the real tree builder builds
// its tree in the room the fit left; a fit past --max-error is refused with the error it
// needs, and taken at exactly that error; a plain import that leaves no room for the tree
// warns; the clustering stage for very large models moves no vertex farther than it says.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <random>

#include "interchange/Fit.h"
#include "interchange/GameReady.h"
#include "interchange/Interchange.h"
#include "interchange/PolygonRebuild.h"
#include "mesh/FaceShape.h"
#include "mesh/MeshCheck.h"
#include "mesh/TreeBuilder.h"
#include "support/ModelFiles.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ReadBytes;
using testsupport::SphereObj;
using testsupport::WriteText;

class Fit : public ::testing::Test {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
  std::string file = home.File("sphere.obj");

  void SetUp() override {
    doc.ShowData = false;
    WriteText(home.File("s.mtl"), "newmtl sky\nKd 0 0 1\nnewmtl sea\nKd 0 1 0\n");
  }
  TImportOptions FitOptions(double maxError = kDefaultMaxError) {
    TImportOptions options;
    options.Fit = true;
    options.MaxError = maxError;
    return options;
  }
};

TEST_F(Fit, TheFittedSpherePassesCheckAndBuildsItsTree) {
  WriteText(file, SphereObj(100, 200));  // 79,600 corners: over FVRT
  const TImportReport report = ImportModel(doc, file, FitOptions());
  EXPECT_LE(doc.NumVert, kTreeLimit);
  EXPECT_LE(doc.NumFvrt, kTreeLimit);
  EXPECT_LE(doc.NumFace, kTreeLimit);
  const TMeshProblems problems = CheckMesh(doc);
  EXPECT_TRUE(problems.Empty()) << ProblemLines(problems.Indices) << ProblemLines(problems.Others);
  EXPECT_NE(report.Text().find("room for the tree"), std::string::npos) << report.Text();
  // The real tree builder on the record files the import wrote.
  std::vector<std::string> messages;
  TTreeBuilderHooks hooks;
  hooks.Message = [&](const std::string& text) { messages.push_back(text); };
  hooks.Error = hooks.Message;
  hooks.Compile = [](const std::string&) {};
  const std::string library = std::string(TESSAVOR_BIN_DIR) + "/libbsp.so";
  const int32_t result = RunTreeBuilder(library, home.File("tree.iff.txt"), hooks);
  std::string told;
  for (const std::string& m : messages) told += m + "\n";
  EXPECT_EQ(result, 0) << told;
  EXPECT_TRUE(std::filesystem::exists(home.File("tree.iff.txt")));
}

TEST_F(Fit, PastTheDistortionLimitItIsRefusedWithTheErrorItNeedsWhichThenTakesIt) {
  WriteText(file, SphereObj(100, 200));
  try {
    ImportModel(doc, file, FitOptions(1e-5));
    FAIL() << "fitted within 0.001%";
  } catch (const EFitTooCoarse& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("cannot be fitted within --max-error 0.001%"), std::string::npos) << what;
    EXPECT_NE(what.find("nothing was imported"), std::string::npos) << what;
    EXPECT_GT(e.Needed, 1e-5);
    EXPECT_EQ(doc.NumFace, 0);
    EXPECT_FALSE(std::filesystem::exists(home.File(kFvrtFile)));
    // It needs a percentage of two decimals: one step below is still refused, that one is
    // taken.
    EXPECT_THROW(ImportModel(doc, file, FitOptions(e.Needed - 1e-4)), EFitTooCoarse);
    const TImportReport report = ImportModel(doc, file, FitOptions(e.Needed));
    EXPECT_LE(doc.NumFvrt, kTreeLimit);
    EXPECT_NE(report.Text().find("the surface moved at most"), std::string::npos);
  }
}

TEST_F(Fit, APlainImportWithoutRoomForTheTreeWarnsAndTheFitMakesRoom) {
  // 40 rings of 180: some 28,000 corners, within FVRT but past the tree's room.
  WriteText(file, SphereObj(40, 180));
  const TImportReport plain = ImportModel(doc, file);
  EXPECT_GT(doc.NumFvrt, kTreeLimit);
  const std::string warning = "Warning: VERT " + std::to_string(doc.NumVert) + ", FVRT " +
                              std::to_string(doc.NumFvrt) + ", FACE " +
                              std::to_string(doc.NumFace) + " leave less than 60% of an array";
  EXPECT_NE(plain.Text().find(warning), std::string::npos) << plain.Text();
  const TImportReport fitted = ImportModel(doc, file, FitOptions());
  EXPECT_LE(doc.NumFvrt, kTreeLimit);
  EXPECT_GT(doc.NumFvrt, kTreeLimit * 3 / 4);
  EXPECT_EQ(fitted.Text().find("Warning"), std::string::npos) << fitted.Text();
}

// Positions closer than check's duplicate distance become one before simplifying (the
// simplifier keeps a subset of them): the corner on the copy moves to the first, and a
// triangle left with a corner twice goes.
TEST(WeldTriangles, CopiesWithinTheDuplicateDistanceMergeAndTrianglesLosingACornerGo) {
  TGatheredScene scene;
  scene.Materials.resize(1);
  scene.Verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 1e-5f, 0}};
  const auto add = [&](int a, int b, int c) {
    const auto first = static_cast<int32_t>(scene.Corners.size());
    for (int v : {a, b, c}) scene.Corners.push_back({v, 0.0f, 0.0f, {0, 0, 1}});
    scene.Faces.push_back({first, 3, 0, 0, 0});
  };
  add(0, 1, 2);
  add(4, 3, 2);  // 4 is 1 within 1e-5, under 1e-4 of the size sqrt 2
  add(1, 4, 3);  // a sliver between 1 and its copy
  EXPECT_TRUE(WeldTriangles(scene));
  ASSERT_EQ(scene.Faces.size(), 2u);
  EXPECT_EQ(scene.Corners[static_cast<size_t>(scene.Faces[1].First)].Vert, 1);
  // Nothing left to merge: a second weld changes nothing.
  EXPECT_FALSE(WeldTriangles(scene));
}

// A flat grid of 300 x 300 squares (180,000 triangles) clustered to about 20,000: the count
// lands near the target, every corner stays a vertex of the model, and no corner moved
// farther than the bound returned.
TEST(ClusterTriangles, NearTheTargetAndWithinTheBoundItReturns) {
  constexpr int kSide = 300;
  TGatheredScene scene;
  for (int y = 0; y <= kSide; ++y)
    for (int x = 0; x <= kSide; ++x) scene.Verts.push_back({float(x), float(y), 0.0f});
  scene.Materials.resize(1);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int a = y * (kSide + 1) + x, b = a + 1, c = a + kSide + 2, d = a + kSide + 1;
      for (const auto& tri : {std::array<int, 3>{a, b, c}, std::array<int, 3>{a, c, d}}) {
        const auto first = static_cast<int32_t>(scene.Corners.size());
        for (int v : tri) scene.Corners.push_back({v, 0.0f, 0.0f, {0, 0, 1}});
        scene.Faces.push_back({first, 3, 0, 0, 0});
      }
    }
  }
  const TGatheredScene original = scene;
  const double size = std::sqrt(2.0) * kSide;
  const double moved = ClusterTriangles(scene, 20000);
  EXPECT_GT(scene.Faces.size(), 20000u / 2);
  EXPECT_LT(scene.Faces.size(), 20000u * 3 / 2);
  ASSERT_GT(moved, 0.0);
  // The corners stand on vertices of the model, and every vertex of the model has one of
  // them within the distance returned: no part of the surface moved farther.
  std::vector<bool> kept(original.Verts.size(), false);
  for (const TSceneCorner& c : scene.Corners) {
    ASSERT_GE(c.Vert, 0);
    ASSERT_LT(static_cast<size_t>(c.Vert), original.Verts.size());
    kept[static_cast<size_t>(c.Vert)] = true;
  }
  const double reach = moved * size;
  const int window = static_cast<int>(std::ceil(reach));
  int far = 0;
  for (int y = 0; y <= kSide; ++y) {
    for (int x = 0; x <= kSide; ++x) {
      bool near = false;
      for (int dy = -window; dy <= window && !near; ++dy) {
        for (int dx = -window; dx <= window && !near; ++dx) {
          const int qx = x + dx, qy = y + dy;
          near = qx >= 0 && qy >= 0 && qx <= kSide && qy <= kSide &&
                 kept[static_cast<size_t>(qy * (kSide + 1) + qx)] &&
                 std::hypot(double(dx), double(dy)) <= reach;
        }
      }
      far += near ? 0 : 1;
    }
  }
  EXPECT_EQ(far, 0) << "within " << reach;
  EXPECT_LE(moved, 0.1);
}

// Edges and how many faces hold each; the largest count.
size_t MostFacesAtAnEdge(const TGatheredScene& scene) {
  std::map<std::pair<int32_t, int32_t>, size_t> count;
  size_t most = 0;
  for (const TSceneFace& f : scene.Faces) {
    for (int32_t k = 0; k < f.Count; ++k) {
      const int32_t a = scene.Corners[static_cast<size_t>(f.First + k)].Vert;
      const int32_t b = scene.Corners[static_cast<size_t>(f.First + (k + 1) % f.Count)].Vert;
      most = std::max(most, ++count[{std::min(a, b), std::max(a, b)}]);
    }
  }
  return most;
}

void AddTriangle(TGatheredScene& scene, int a, int b, int c, uint32_t material = 0) {
  const auto first = static_cast<int32_t>(scene.Corners.size());
  for (int v : {a, b, c}) scene.Corners.push_back({v, 0.0f, 0.0f, {0, 0, 0}});
  scene.Faces.push_back({first, 3, material, 0, 0});
}

// A chord 0-1 with the surface going up (face over 2) and down (face over 3), and two flat
// webs lying in the plane y = 0 back to back on it (faces over 4 and 5): the pair that
// continues the surface stays, the webs go. An edge of exactly two faces stays as it is.
TEST(DropExtraFaces, AtAnEdgeOfFourTheSmoothestOpposedPairStays) {
  TGatheredScene scene;
  scene.Materials.resize(2);
  scene.Verts = {{0, 0, 0},        {1, 0, 0},       {0.5f, 1, 0.1f},
                 {0.5f, -1, 0.1f}, {0.5f, 0, 0.4f}, {0.5f, 0, 0.6f}};
  AddTriangle(scene, 4, 1, 0, 0);  // web, first: order decides nothing
  AddTriangle(scene, 0, 1, 2, 0);  // up
  AddTriangle(scene, 1, 0, 3, 1);  // down
  AddTriangle(scene, 0, 1, 5, 1);  // web
  ASSERT_EQ(MostFacesAtAnEdge(scene), 4u);
  EXPECT_EQ(DropExtraFaces(scene), 2u);
  ASSERT_EQ(scene.Faces.size(), 2u);
  EXPECT_EQ(scene.Corners[static_cast<size_t>(scene.Faces[0].First + 2)].Vert, 2);
  EXPECT_EQ(scene.Corners[static_cast<size_t>(scene.Faces[1].First + 2)].Vert, 3);
  // Two faces at every edge now: nothing more goes.
  EXPECT_EQ(DropExtraFaces(scene), 0u);
  EXPECT_EQ(scene.Faces.size(), 2u);
}

// A sphere of two materials whose radius is noisy, so the border between them zig-zags:
// fitted far down, each material's triangles spanning the border lie flat in its plane,
// and no edge may keep more than two faces, nor any corner stay without its face.
TEST(FitScene, ABumpySphereOfTwoMaterialsKeepsTwoFacesAtEveryEdge) {
  constexpr int kRings = 60, kSegments = 120;
  TGatheredScene scene;
  scene.Materials.resize(2);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> bump(0.98f, 1.02f);
  scene.Verts.push_back({0, 1, 0});
  scene.Verts.push_back({0, -1, 0});
  for (int r = 1; r < kRings; ++r) {
    const double theta = std::numbers::pi * r / kRings;
    for (int s = 0; s < kSegments; ++s) {
      const double phi = 2 * std::numbers::pi * s / kSegments;
      const float k = bump(random);
      scene.Verts.push_back({k * float(std::sin(theta) * std::cos(phi)), k * float(std::cos(theta)),
                             k * float(std::sin(theta) * std::sin(phi))});
    }
  }
  const auto index = [&](int ring, int seg) {
    if (ring == 0) return 0;
    if (ring == kRings) return 1;
    return 2 + (ring - 1) * kSegments + seg % kSegments;
  };
  for (int r = 0; r < kRings; ++r) {
    const uint32_t material = r < kRings / 2 ? 0 : 1;
    for (int s = 0; s < kSegments; ++s) {
      const int a = index(r, s), b = index(r, s + 1), c = index(r + 1, s + 1), d = index(r + 1, s);
      if (r != kRings - 1) AddTriangle(scene, a, d, c, material);
      if (r != 0) AddTriangle(scene, a, c, b, material);
    }
  }
  const double tolerance = kPlanarTolerance * SceneSize(scene);
  const TFitResult fit = FitScene(scene, tolerance, 1500);
  EXPECT_TRUE(fit.Reached);
  EXPECT_LE(MostFacesAtAnEdge(scene), 2u);
  // Every corner belongs to a face: a dropped face's corners go with it.
  size_t corners = 0;
  for (const TSceneFace& f : scene.Faces) corners += static_cast<size_t>(f.Count);
  EXPECT_EQ(scene.Corners.size(), corners);
}

}  // namespace
