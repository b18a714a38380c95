// The faces grouped by material for the viewers: which faces land in which batch and in what
// order, the fan of each polygon with its outline flags, and the corners left out.
#include "mesh/FaceBatches.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "MeshTestSupport.h"

namespace {

using meshtest::Face;

// Vertex i sits at (i, 0, 0), so a vertex's x names it; FVRT record i points at vertex i with
// texture coordinates (i / 100, 1 - i / 100). Normal 0 is (0, 1, 0), normal 1 (1, 0, 0).
class FaceBatchesTest : public ::testing::Test {
protected:
  void SetUp() override {
    doc = std::make_unique<TMeshDocument>();
    doc->ShowData = false;
    TMeshDocument::TLoadingScope loading(*doc);
    for (int32_t i = 0; i < 16; ++i) {
      doc->AddVert(TPoint3{static_cast<float>(i), 0, 0});
      const float t = static_cast<float>(i) / 100;
      doc->AddFvrt(TFvrtRecord{i, 0, t, 1 - t});
    }
    doc->AddVtnm(TPoint3{0, 1, 0});
    doc->AddVtnm(TPoint3{1, 0, 0});
  }

  void AddFaces(const std::vector<TFaceRecord>& faces) {
    TMeshDocument::TLoadingScope loading(*doc);
    for (const TFaceRecord& f : faces) doc->AddFace(f);
  }

  // The vertex names (x) of a batch's vertices, in order.
  static std::vector<int> Names(const TFaceBatches& b, size_t batch) {
    std::vector<int> names;
    const TFaceBatch& fb = b.Batches.at(batch);
    for (int32_t v = fb.FirstVertex; v < fb.FirstVertex + fb.VertexCount; ++v)
      names.push_back(static_cast<int>(b.Positions[static_cast<size_t>(v) * 3]));
    return names;
  }

  std::unique_ptr<TMeshDocument> doc;
};

TEST_F(FaceBatchesTest, AlternatingMaterialsMakeOneBatchPerMaterialInOrderOfFirstUse) {
  // Six triangles whose materials alternate 7, 3, 7, 3, 9, 3.
  AddFaces(
      {Face(0, 3, 7), Face(3, 3, 3), Face(6, 3, 7), Face(9, 3, 3), Face(12, 3, 9), Face(13, 3, 3)});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  ASSERT_EQ(b.Batches.size(), 3u);
  EXPECT_EQ(b.Batches[0].Material, 7);
  EXPECT_EQ(b.Batches[1].Material, 3);
  EXPECT_EQ(b.Batches[2].Material, 9);
  EXPECT_EQ(b.Batches[0].FaceCount, 2);
  EXPECT_EQ(b.Batches[1].FaceCount, 3);
  EXPECT_EQ(b.Batches[2].FaceCount, 1);
  // The batches lie one after another and cover every vertex.
  EXPECT_EQ(b.Batches[0].FirstVertex, 0);
  EXPECT_EQ(b.Batches[1].FirstVertex, 6);
  EXPECT_EQ(b.Batches[2].FirstVertex, 15);
  EXPECT_EQ(b.VertexCount(), 18);
  // Within a batch the faces keep their order; each face's corners go in reverse.
  EXPECT_EQ(Names(b, 0), (std::vector<int>{2, 1, 0, 8, 7, 6}));
  EXPECT_EQ(Names(b, 1), (std::vector<int>{5, 4, 3, 11, 10, 9, 15, 14, 13}));
  EXPECT_EQ(Names(b, 2), (std::vector<int>{14, 13, 12}));
}

TEST_F(FaceBatchesTest, DescendingOrderStartsFromTheLastFace) {
  AddFaces({Face(0, 3, 7), Face(3, 3, 3), Face(6, 3, 7)});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Descending, true);
  ASSERT_EQ(b.Batches.size(), 2u);
  EXPECT_EQ(b.Batches[0].Material, 7);
  EXPECT_EQ(Names(b, 0), (std::vector<int>{8, 7, 6, 2, 1, 0}));
  EXPECT_EQ(Names(b, 1), (std::vector<int>{5, 4, 3}));
}

TEST_F(FaceBatchesTest, WithoutGroupingEveryFaceIsInOneBatchInDrawingOrder) {
  AddFaces({Face(0, 3, 7), Face(3, 3, 3), Face(6, 3, 7)});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Descending, false);
  ASSERT_EQ(b.Batches.size(), 1u);
  EXPECT_EQ(b.Batches[0].Material, 7);  // the first face drawn, face 2
  EXPECT_EQ(Names(b, 0), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1, 0}));
}

TEST_F(FaceBatchesTest, APolygonIsAFanAroundItsFirstSentCornerFlaggedOnItsOutlineOnly) {
  AddFaces({Face(0, 5, 1)});  // a pentagon: corners sent 4, 3, 2, 1, 0
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  EXPECT_EQ(Names(b, 0), (std::vector<int>{4, 3, 2, 4, 2, 1, 4, 1, 0}));
  // Outline 4-3, 3-2, 2-1, 1-0, 0-4; the diagonals 2-4 and 1-4 are not flagged.
  EXPECT_EQ(b.EdgeFlags, (std::vector<uint8_t>{1, 1, 0, 0, 1, 0, 0, 1, 1}));
}

TEST_F(FaceBatchesTest, TheOutlineIsThePolygonsEdgesInOrder) {
  AddFaces({Face(0, 5, 1), Face(5, 3, 2)});  // a pentagon, then a triangle of another batch
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  const std::vector<uint32_t> lines = OutlineIndices(b);
  std::vector<std::pair<int, int>> named;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    named.emplace_back(static_cast<int>(b.Positions[lines[i] * 3]),
                       static_cast<int>(b.Positions[lines[i + 1] * 3]));
  }
  EXPECT_EQ(named, (std::vector<std::pair<int, int>>{
                       {4, 3}, {3, 2}, {2, 1}, {1, 0}, {0, 4}, {7, 6}, {6, 5}, {5, 7}}));
}

TEST_F(FaceBatchesTest, ATriangleHasAllThreeEdgesFlagged) {
  AddFaces({Face(0, 3, 1)});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  EXPECT_EQ(b.EdgeFlags, (std::vector<uint8_t>{1, 1, 1}));
}

TEST_F(FaceBatchesTest, EachCornerCarriesItsTextureCoordinatesAndTheFaceNormal) {
  TFaceRecord f = Face(4, 3, 1);
  f.Vtnm = 1;
  AddFaces({f});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  EXPECT_EQ(b.TexCoords, (std::vector<float>{0.06f, 0.94f, 0.05f, 0.95f, 0.04f, 0.96f}));
  EXPECT_EQ(b.Normals, (std::vector<float>{1, 0, 0, 1, 0, 0, 1, 0, 0}));
}

TEST_F(FaceBatchesTest, AFaceWithoutItsNormalGetsTheInitialNormal) {
  TFaceRecord f = Face(0, 3, 1);
  f.Vtnm = 2;  // one past the normals in use
  AddFaces({f});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  EXPECT_EQ(b.Normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1}));
}

TEST_F(FaceBatchesTest, CornersWithoutAVertexAreLeftOut) {
  doc->FVRT[1].Vert = 16;  // one past the vertices in use
  doc->FVRT[2].Vert = -1;
  AddFaces({Face(0, 4, 1)});  // a quad that keeps corners 3 and 0: no area
  AddFaces({Face(0, 5, 1)});  // a pentagon that keeps 4, 3, 0: one triangle
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  ASSERT_EQ(b.Batches.size(), 1u);
  EXPECT_EQ(b.Batches[0].FaceCount, 1);
  EXPECT_EQ(Names(b, 0), (std::vector<int>{4, 3, 0}));
}

TEST_F(FaceBatchesTest, CornerRangesAreCutAtTheRecordsInUse) {
  // NumFvrt is 16: a range 14..17 keeps 14 and 15 (no area), 13..16 keeps 13..15, and
  // -2..1 keeps 0 and 1 (no area).
  AddFaces({Face(14, 4, 1), Face(13, 4, 1), Face(-2, 4, 1)});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  ASSERT_EQ(b.Batches.size(), 1u);
  EXPECT_EQ(Names(b, 0), (std::vector<int>{15, 14, 13}));
}

TEST_F(FaceBatchesTest, FacesWithFewerThanThreeCornersDrawNothingButKeepTheirBatch) {
  AddFaces({Face(0, 2, 5), Face(2, 0, 6), Face(3, 1, 7), Face(4, 3, 8)});
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  ASSERT_EQ(b.Batches.size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(b.Batches[i].VertexCount, 0) << i;
    EXPECT_EQ(b.Batches[i].FaceCount, 0) << i;
  }
  EXPECT_EQ(b.Batches[3].FirstVertex, 0);
  EXPECT_EQ(Names(b, 3), (std::vector<int>{6, 5, 4}));
}

TEST_F(FaceBatchesTest, NoFacesNoBatches) {
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Ascending, true);
  EXPECT_TRUE(b.Batches.empty());
  EXPECT_EQ(b.VertexCount(), 0);
}

TEST_F(FaceBatchesTest, FaceCountsOutsideTheArraysAreClamped) {
  AddFaces({Face(0, 3, 1)});
  doc->NumFace = -5;
  EXPECT_TRUE(BuildFaceBatches(*doc, TFaceOrder::Descending, true).Batches.empty());
  // Past the cap: the records beyond face 0 are zero (material 0, no corners).
  doc->NumFace = MeshCapacity + 100;
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Descending, true);
  ASSERT_EQ(b.Batches.size(), 2u);
  EXPECT_EQ(b.Batches[0].Material, 0);
  EXPECT_EQ(b.Batches[1].Material, 1);
  EXPECT_EQ(Names(b, 1), (std::vector<int>{2, 1, 0}));
}

// The record cap with seven materials in turn: seven batches, every face in one.
TEST(FaceBatchesCap, AlternatingMaterialsAtTheCap) {
  auto doc = std::make_unique<TMeshDocument>();
  doc->ShowData = false;
  {
    TMeshDocument::TLoadingScope loading(*doc);
    for (int32_t i = 0; i < MeshCapacity; ++i) {
      doc->AddVert(TPoint3{static_cast<float>(i), 0, 0});
      doc->AddFvrt(TFvrtRecord{i, 0, 0, 0});
      doc->AddFace(Face(std::min(i, MeshCapacity - 3), 3, 1 + i % 7));
    }
  }
  const TFaceBatches b = BuildFaceBatches(*doc, TFaceOrder::Descending, true);
  ASSERT_EQ(b.Batches.size(), 7u);
  int32_t faces = 0;
  for (const TFaceBatch& batch : b.Batches) faces += batch.FaceCount;
  EXPECT_EQ(faces, MeshCapacity);
  EXPECT_EQ(b.VertexCount(), 3 * MeshCapacity);
  // Face 32,768 is drawn first: material 1 + 32,768 % 7 = 1 + 1.
  EXPECT_EQ(b.Batches[0].Material, 2);
}

}  // namespace
