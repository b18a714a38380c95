// Decoding the record files and checking what the builder relies on.

#include <gtest/gtest.h>

#include "bsp/BspTestSupport.h"

using namespace bsp;
using namespace bsptest;
using testsupport::Bytes;
using testsupport::PutF32;
using testsupport::PutU32;

namespace {

TEST(BspRecords, DecodesLittleEndianRecordsByTheirFileLayout) {
  Bytes vert, vtnm, fvrt, face;
  PutF32(vert, 1.5f), PutF32(vert, -2), PutF32(vert, 3);
  PutF32(vtnm, 0), PutF32(vtnm, 0), PutF32(vtnm, 1);
  PutU32(fvrt, 0), PutU32(fvrt, 0), PutF32(fvrt, 0.25f), PutF32(fvrt, 0.75f);
  // FACE: Vtnm 0, D -4, Mat 12345678, FirstFvrt 0, FvrtCount 1, Reserved1 9,
  // Reserved2 0x7F0096FF.
  PutU32(face, 0), PutF32(face, -4), PutU32(face, 12345678), PutU32(face, 0), PutU32(face, 1),
      PutU32(face, 9), PutU32(face, 0x7F0096FFu);
  const TMesh m = DecodeRecords(vert, vtnm, fvrt, face);
  ASSERT_EQ(m.Vert.size(), 1u);
  EXPECT_EQ(m.Vert[0].x, 1.5f);
  EXPECT_EQ(m.Vert[0].y, -2.0f);
  ASSERT_EQ(m.Fvrt.size(), 1u);
  EXPECT_EQ(m.Fvrt[0].Ty, 0.75f);
  ASSERT_EQ(m.Face.size(), 1u);
  EXPECT_EQ(m.Face[0].D, -4.0f);
  EXPECT_EQ(m.Face[0].Mat, 12345678);
  EXPECT_EQ(m.Face[0].Reserved1, 9);
  EXPECT_EQ(m.Face[0].Reserved2, 0x7F0096FFu);
}

// Counted as the editor's Load counts: a file cut inside a record is refused by name.
TEST(BspRecords, FileEndingInsideARecordIsRefused) {
  try {
    DecodeRecords(Bytes(24, 0), Bytes(12, 0), Bytes(33, 0), Bytes(56, 0));
    FAIL() << "no error";
  } catch (const EBspError& e) {
    EXPECT_EQ(e.Code(), kBspRecordFiles);
    EXPECT_NE(e.Message().find("fvrt.kvt: 33 bytes, not a whole number of 16-byte records"),
              std::string::npos)
        << e.Message();
  }
}

TEST(BspRecords, MoreRecordsThanTheEditorHoldsAreRefused) {
  const Bytes ok(size_t(MeshCapacity) * 12, 0);
  EXPECT_EQ(DecodeRecords(ok, {}, {}, {}).Vert.size(), size_t(MeshCapacity));
  try {
    DecodeRecords(Bytes(size_t(MeshCapacity + 1) * 12, 0), {}, {}, {});
    FAIL() << "no error";
  } catch (const EBspError& e) {
    EXPECT_EQ(e.Code(), kBspTooLarge);
  }
}

TEST(BspRecords, ReadsTheHomeFolderAndTheRadiusFile) {
  testsupport::TempDir home;
  TMesh cube = Cube(-1, 1);
  cube.Radius = 42.5f;
  WriteRecordFiles(cube, home);
  const TMesh m = ReadRecordFiles();
  EXPECT_EQ(m.Face.size(), 6u);
  EXPECT_EQ(m.Vert.size(), 8u);
  EXPECT_EQ(m.Radius, 42.5f);
  // An empty radius file does not count; one cut inside its float is refused.
  testsupport::WriteBytes(home.File("radi.kvt"), Bytes{});
  EXPECT_FLOAT_EQ(ReadRecordFiles().Radius, std::sqrt(3.0f));
  testsupport::WriteBytes(home.File("radi.kvt"), Bytes(3, 0xFF));
  EXPECT_THROW(ReadRecordFiles(), EBspError);
}

TEST(BspRecords, BoundingRadiusSkipsNonFiniteVertices) {
  TMesh m;
  m.Vert = {{3, 4, 0}, {std::nanf(""), 0, 0}, {HUGE_VALF, 0, 0}, {-1, 0, 0}};
  EXPECT_FLOAT_EQ(BoundingRadius(m), 5.0f);
  EXPECT_EQ(BoundingRadius(TMesh{}), 0.0f);
}

class BspValidate : public ::testing::Test {
protected:
  int32_t CodeOf(const TMesh& m) {
    try {
      ValidateMesh(m);
      return kBspOk;
    } catch (const EBspError& e) {
      message = e.Message();
      return e.Code();
    }
  }
  TMesh cube = Cube(-1, 1);
  std::string message;
};

TEST_F(BspValidate, AcceptsAConsistentMesh) { EXPECT_EQ(CodeOf(cube), kBspOk); }

TEST_F(BspValidate, NormalIndicesAreNotRequired) {
  // Normals are only read when in range; a mesh whose normals were never computed
  // still gets a tree.
  cube.Vtnm.clear();
  EXPECT_EQ(CodeOf(cube), kBspOk);
}

TEST_F(BspValidate, NamesTheFaceWhoseCornersAreMissing) {
  cube.Face[4].FirstFvrt = 22;
  EXPECT_EQ(CodeOf(cube), kBspInconsistent);
  EXPECT_EQ(message, "FACE 4: corners 22 + 4 lie outside FVRT (24 records)");
}

TEST_F(BspValidate, NamesTheCornerWhoseVertexIsMissing) {
  cube.Fvrt[9].Vert = -3;
  EXPECT_EQ(CodeOf(cube), kBspInconsistent);
  EXPECT_EQ(message, "FVRT 9 of FACE 2: vertex -3 does not exist (8 vertices)");
}

TEST_F(BspValidate, EmptyMeshes) {
  TMesh noVerts = cube;
  noVerts.Vert.clear();
  EXPECT_EQ(CodeOf(noVerts), kBspMeshEmpty);
  TMesh noFaces = cube;
  noFaces.Face.clear();
  EXPECT_EQ(CodeOf(noFaces), kBspMeshEmpty);
}

}  // namespace
