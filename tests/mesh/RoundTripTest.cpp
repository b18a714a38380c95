// A model through a triangle format and back: no sliver, the same faces, and the same
// records from every import of one file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "interchange/Interchange.h"
#include "mesh/FaceShape.h"
#include "mesh/MeshCheck.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/RecordFiles.h"

namespace {

using testsupport::ReadBytes;

// A box 4 x 2 x 2 whose front top edge has a corner M at its middle (front and top face
// both pass through it) and whose back bottom edge likewise: four of its six faces have a
// corner on a straight edge, next to their first corner in some turn. 6 faces, 28 corners.
constexpr const char* kNotchedBox =
    "v 0 0 0\nv 4 0 0\nv 4 2 0\nv 0 2 0\nv 0 0 2\nv 4 0 2\nv 4 2 2\nv 0 2 2\nv 2 2 2\nv 2 0 0\n"
    "f 5 6 7 9 8\n"   // front (+z), M = 9 on its top edge
    "f 8 9 7 3 4\n"   // top (+y)
    "f 1 4 3 2 10\n"  // back (-z), 10 on its bottom edge
    "f 1 10 2 6 5\n"  // bottom (-y)
    "f 1 5 8 4\n"     // left
    "f 2 3 7 6\n";    // right

// A cube of side 3 whose sides are 3 x 3 squares: the import merges each side's squares
// into three strips of 1 x 3 (a fourth square would leave it concave), each with four
// corners on its long straight edges. 18 faces, 144 corners.
std::string GridCube() {
  std::string obj;
  std::map<std::array<int, 3>, int> index;
  std::string faces;
  for (int axis = 0; axis < 3; ++axis) {
    for (const int side : {0, 3}) {
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          std::vector<int> quad;
          for (const auto& [a, b] : {std::pair{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}}) {
            std::array<int, 3> p{};
            p[size_t(axis)] = side;
            p[size_t((axis + 1) % 3)] = a;
            p[size_t((axis + 2) % 3)] = b;
            const auto [at, added] = index.try_emplace(p, int(index.size()) + 1);
            if (added)
              obj += "v " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " +
                     std::to_string(p[2]) + "\n";
            quad.push_back(at->second);
          }
          if (side == 0) std::reverse(quad.begin(), quad.end());  // facing outwards
          faces += "f";
          for (const int v : quad) faces += " " + std::to_string(v);
          faces += "\n";
        }
      }
    }
  }
  return obj + faces;
}

// A face as the loop of its corners' positions, from its smallest corner on.
using TLoop = std::vector<std::tuple<float, float, float>>;

std::multiset<TLoop> Faces(const TMeshDocument& doc) {
  std::multiset<TLoop> faces;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    TLoop loop;
    const TFaceRecord& face = doc.FACE[f];
    for (int32_t k = 0; k < face.FvrtCount; ++k) {
      const TPoint3& p = doc.VERT[doc.FVRT[face.FirstFvrt + k].Vert];
      const auto round = [](float x) { return std::round(x * 1e4f) / 1e4f + 0.0f; };
      loop.emplace_back(round(p.x), round(p.y), round(p.z));
    }
    std::rotate(loop.begin(), std::min_element(loop.begin(), loop.end()), loop.end());
    faces.insert(loop);
  }
  return faces;
}

struct TRoundTripCase {
  const char* Model;
  const char* Format;
};

class RoundTrip : public ::testing::TestWithParam<TRoundTripCase> {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
  void SetUp() override {
    doc.ShowData = false;
    const bool box = std::string(GetParam().Model) == "box";
    testsupport::WriteText(home.File("model.obj"), box ? std::string(kNotchedBox) : GridCube());
    ImportModel(doc, home.File("model.obj"));
    ASSERT_EQ(doc.NumFace, box ? 6 : 18);
    ASSERT_EQ(doc.NumFvrt, box ? 28 : 144);
  }
};

TEST_P(RoundTrip, ComesBackWithTheSameFacesAndNoSliver) {
  ASSERT_TRUE(CheckMesh(doc).Empty());
  const std::multiset<TLoop> before = Faces(doc);
  const std::string file = home.File(std::string("back.") + GetParam().Format);
  ExportModel(doc, file);
  const std::string text = ImportModel(doc, file).Text();
  EXPECT_TRUE(CheckMesh(doc).Empty()) << ProblemLines(CheckMesh(doc).Others) << "\n" << text;
  EXPECT_EQ(text.find("without area"), std::string::npos) << text;
  EXPECT_EQ(Faces(doc), before) << text;
  // The same file again: the same records, byte for byte.
  const testsupport::Bytes face = ReadBytes(home.File(kFaceFile));
  const testsupport::Bytes fvrt = ReadBytes(home.File(kFvrtFile));
  ImportModel(doc, file);
  EXPECT_EQ(ReadBytes(home.File(kFaceFile)), face);
  EXPECT_EQ(ReadBytes(home.File(kFvrtFile)), fvrt);
}

const TRoundTripCase kRoundTrips[] = {
    {"box", "glb"},  {"box", "3ds"},  {"box", "stl"},  {"box", "obj"},  {"box", "ply"},
    {"grid", "glb"}, {"grid", "3ds"}, {"grid", "stl"}, {"grid", "obj"}, {"grid", "ply"},
};

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& param) {
                           return std::string(param.param.Model) + "_" + param.param.Format;
                         });

using TTriangles = std::vector<std::array<int32_t, 3>>;

// Twice the area of a triangle of the loop, seen from +z.
double Area2(const std::vector<TPoint3>& loop, const std::array<int32_t, 3>& t) {
  const TPoint3 &a = loop[size_t(t[0])], &b = loop[size_t(t[1])], &c = loop[size_t(t[2])];
  return (double{b.x} - a.x) * (double{c.y} - a.y) - (double{b.y} - a.y) * (double{c.x} - a.x);
}

// A triangle with a corner in the middle of each side, and a square with three corners
// along one side: every triangle has area, they face as the loop does and cover it.
TEST(TriangulateWithoutSlivers, EveryTriangleHasArea) {
  const std::vector<std::vector<TPoint3>> loops = {
      {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {3, 2, 0}, {2, 4, 0}, {1, 2, 0}},
      {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}},
      {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}},
  };
  const double areas[] = {16, 32, 32};
  for (size_t i = 0; i < loops.size(); ++i) {
    const TTriangles triangles = TriangulateWithoutSlivers(loops[i]);
    EXPECT_EQ(triangles.size(), loops[i].size() - 2) << i;
    double total = 0;
    for (const auto& t : triangles) {
      EXPECT_GT(Area2(loops[i], t), 1e-6) << i;
      total += Area2(loops[i], t);
    }
    EXPECT_NEAR(total, areas[i], 1e-9) << i;
  }
}

// Past the corner limit, or without area, the face goes as a fan of all its corners.
TEST(TriangulateWithoutSlivers, BeyondItsReachAFan) {
  std::vector<TPoint3> circle;
  for (int32_t k = 0; k <= kMaxSliverFreeCorners; ++k) {
    const double a = 2 * std::numbers::pi * k / (kMaxSliverFreeCorners + 1);
    circle.push_back({float(std::cos(a)), float(std::sin(a)), 0});
  }
  const TTriangles fan = TriangulateWithoutSlivers(circle);
  ASSERT_EQ(fan.size(), circle.size() - 2);
  for (size_t k = 0; k < fan.size(); ++k)
    EXPECT_EQ(fan[k], (std::array<int32_t, 3>{0, int32_t(k + 1), int32_t(k + 2)}));
  circle.pop_back();  // exactly at the limit: cut as ears, not all from corner 0
  const TTriangles ears = TriangulateWithoutSlivers(circle);
  EXPECT_TRUE(std::any_of(ears.begin(), ears.end(), [](const auto& t) { return t[0] != 0; }));
  const std::vector<TPoint3> line{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
  EXPECT_EQ(TriangulateWithoutSlivers(line), (TTriangles{{0, 1, 2}, {0, 2, 3}}));
}

}  // namespace
