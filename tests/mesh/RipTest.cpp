// Rip mesh: the five chunks copied byte for byte into the home folder's record files, Load
// afterwards, and the all-or-nothing behaviour on models that lack a chunk or end early.
#include "mesh/Rip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

#include "iff/IffReader.h"
#include "iff/IffTestFiles.h"
#include "mesh/MeshDocument.h"
#include "mesh/Normals.h"
#include "support/TestSupport.h"

using testsupport::Bytes;
using testsupport::TempDir;

namespace {

using ifftest::Cat;
using ifftest::Chunk;
using ifftest::Form;

// Three vertices (36 bytes), one normal, three corners, one face, radius 42.5.
struct TModel {
  Bytes vert, vtnm, fvrt, face, radi;
  TModel() {
    for (float f : {0.f, 0.f, 0.f, 2.f, 0.f, 0.f, 0.f, 3.f, 0.f}) testsupport::PutF32(vert, f);
    for (float f : {0.f, 0.f, 1.f}) testsupport::PutF32(vtnm, f);
    for (int i = 0; i < 3; ++i) {
      testsupport::PutU32(fvrt, static_cast<uint32_t>(i));
      testsupport::PutU32(fvrt, 0);
      testsupport::PutF32(fvrt, i == 1 ? 1.f : 0.f);
      testsupport::PutF32(fvrt, i == 2 ? 1.f : 0.f);
    }
    for (uint32_t v : {0u, 0u, 5u, 0u, 3u, 0u, 0u})
      testsupport::PutU32(face, v);  // Vtnm D Mat First Count R R
    testsupport::PutF32(radi, 42.5f);
  }
  // A model with two levels of detail: the first one's chunks are the ones to rip.
  Bytes File() const {
    Bytes lod1 = Form("0001", Cat({Chunk("VERT", Bytes(24, 0xEE)), Chunk("RADI", Bytes(4, 0xEE))}));
    Bytes lod0 =
        Form("0000", Cat({Chunk("INFO", Bytes(3, 1)), Chunk("VERT", vert), Chunk("VTNM", vtnm),
                          Chunk("FVRT", fvrt), Chunk("FACE", face), Chunk("RADI", radi)}));
    return Form("MESH", Cat({lod0, lod1}));
  }
};

class RipTest : public ::testing::Test {
protected:
  std::string Model(const Bytes& data) {
    const std::string path = m_models.File("model.iff");
    testsupport::WriteBytes(path, data);
    return path;
  }
  Bytes Record(const std::string& name) { return testsupport::ReadBytes(m_home.File(name)); }
  void SeedRecordFiles() {
    for (const auto& row : kRipChunkTable)
      testsupport::WriteText(m_home.File(row.FileName), "old " + std::string(row.Id));
  }
  void ExpectRecordFilesUntouched() {
    for (const auto& row : kRipChunkTable) {
      EXPECT_EQ(testsupport::ReadText(m_home.File(row.FileName)), "old " + std::string(row.Id))
          << row.FileName;
    }
    // No temporary files left behind either.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_home.Path()))
      files += e.is_regular_file();
    EXPECT_EQ(files, 5);
  }
  // A level of detail with every mesh chunk but RADI.
  Bytes FourChunks() const {
    return Form("0000", Cat({Chunk("VERT", m_model.vert), Chunk("VTNM", m_model.vtnm),
                             Chunk("FVRT", m_model.fvrt), Chunk("FACE", m_model.face)}));
  }
  TempDir m_home;           // TESSAVOR_HOME
  TempDir m_models{false};  // where the model files are
  TModel m_model;
};

}  // namespace

TEST_F(RipTest, CopiesTheFirstChunksByteForByte) {
  const TRipResult r = RipMesh(Model(m_model.File()));
  EXPECT_EQ(Record("vert.kvt"), m_model.vert);
  EXPECT_EQ(Record("vert.kvt").size(), 36u);
  EXPECT_EQ(Record("vtnm.kvt"), m_model.vtnm);
  EXPECT_EQ(Record("fvrt.kvt"), m_model.fvrt);
  EXPECT_EQ(Record("face.kvt"), m_model.face);
  EXPECT_EQ(Record("radi.kvt"), m_model.radi);
  EXPECT_EQ(r.Bytes, (std::array<int64_t, 5>{36, 12, 48, 28, 4}));
}

TEST_F(RipTest, LoadAfterRipShowsTheModel) {
  RipMesh(Model(m_model.File()));
  TMeshDocument doc;
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.NumVert, 3);
  EXPECT_EQ(doc.NumVtnm, 1);
  EXPECT_EQ(doc.NumFvrt, 3);
  EXPECT_EQ(doc.NumFace, 1);
  EXPECT_FLOAT_EQ(doc.Radius, 42.5f);
  EXPECT_EQ(doc.RadiusLabel(), "RADI=42.5");
  EXPECT_FLOAT_EQ(doc.VERT[2].y, 3.f);
}

TEST_F(RipTest, RippingTwiceGivesIdenticalFiles) {
  const std::string model = Model(m_model.File());
  RipMesh(model);
  std::vector<Bytes> first;
  for (const auto& row : kRipChunkTable) first.push_back(Record(row.FileName));
  RipMesh(model);
  for (size_t i = 0; i < kRipChunkTable.size(); ++i)
    EXPECT_EQ(Record(kRipChunkTable[i].FileName), first[i]);
}

TEST_F(RipTest, OddChunkIsCopiedWithItsPadByte) {
  TModel m;
  m.radi = {1, 2, 3, 4, 5};
  RipMesh(Model(m.File()));
  EXPECT_EQ(Record("radi.kvt"), (Bytes{1, 2, 3, 4, 5, 0}));
}

TEST_F(RipTest, ChunkLargerThanTheCopyBufferIsCopiedWhole) {
  TModel m;
  m.vert.resize(200004);  // more than the 131,073-byte copy buffer
  for (size_t i = 0; i < m.vert.size(); ++i) m.vert[i] = static_cast<uint8_t>(i * 7);
  RipMesh(Model(m.File()));
  EXPECT_EQ(Record("vert.kvt"), m.vert);
}

TEST_F(RipTest, MissingChunkStopsAndChangesNothing) {
  SeedRecordFiles();
  const Bytes noRadi = Form("MESH", FourChunks());
  const std::string model = Model(noRadi);
  try {
    RipMesh(model);
    FAIL() << "rip without RADI succeeded";
  } catch (const ERipMesh& e) {
    EXPECT_EQ(e.Message(),
              "Rip mesh: \"" + model + "\" has no RADI chunk; no record file was changed");
  }
  ExpectRecordFilesUntouched();
}

TEST_F(RipTest, ModelThatEndsInsideAChunkChangesNothing) {
  SeedRecordFiles();
  // Four good chunks, then a RADI chunk header that promises 400 bytes and gets 6.
  Bytes file = Form("MESH", FourChunks());
  testsupport::PutText(file, "RADI");
  testsupport::PutU32BE(file, 400);
  file.resize(file.size() + 6, 0);
  const std::string model = Model(file);
  try {
    RipMesh(model);
    FAIL();
  } catch (const ERipMesh& e) {
    EXPECT_NE(e.Message().find("RADI"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(model), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("ends early"), std::string::npos) << e.Message();
  }
  ExpectRecordFilesUntouched();
}

TEST_F(RipTest, HugeSizeFieldIsRefusedBeforeAllocating) {
  SeedRecordFiles();
  Bytes file;
  testsupport::PutText(file, "VERT");
  testsupport::PutU32BE(file, 0xFFFFFFF0u);
  EXPECT_THROW(RipMesh(Model(file)), ERipMesh);
  ExpectRecordFilesUntouched();
}

TEST_F(RipTest, MissingModelRaisesAndFreesNoHandle) {
  SeedRecordFiles();
  for (int i = 0; i < kIffMaxHandles + 2; ++i) {
    EXPECT_THROW(RipMesh(m_models.File("absent.iff")), EInOutError);
    EXPECT_THROW(RipMesh(Model(Bytes{'V', 'E', 'R', 'T', 0})), ERipMesh);  // truncated header
  }
  ExpectRecordFilesUntouched();
  // No handle leaked on any of those failures.
  RipMesh(Model(m_model.File()));
  EXPECT_EQ(Record("vert.kvt"), m_model.vert);
}

TEST_F(RipTest, FormNamedLikeAChunkIsSkipped) {
  const Bytes file = Form("MESH", Cat({Form("VERT", Chunk("XXXX", Bytes(8, 9))), FourChunks(),
                                       Chunk("RADI", m_model.radi)}));
  RipMesh(Model(file));
  EXPECT_EQ(Record("vert.kvt"), m_model.vert);
}

TEST(ReadFileBlock, ReadsUpToTheEndOfTheFile) {
  TempDir dir(false);
  const std::string path = dir.File("b.bin");
  testsupport::WriteBytes(path, Bytes{1, 2, 3, 4, 5});
  uint8_t buf[8] = {};
  EXPECT_EQ(ReadFileBlock(path, 3, buf, 8), 2);
  EXPECT_EQ(buf[0], 4);
  EXPECT_EQ(ReadFileBlock(path, 9, buf, 8), 0);
  EXPECT_EQ(ReadFileBlock(path, -1, buf, 8), 0);
  EXPECT_THROW(ReadFileBlock(dir.File("none"), 0, buf, 1), EInOutError);
}

// ---- The demo model the build compiles into bin/demo/demo.iff ---------------------------

class DemoModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_model = std::string(TESSAVOR_BIN_DIR) + "/demo/demo.iff";
    if (!std::filesystem::exists(m_model)) GTEST_SKIP() << "demo model not built: " << m_model;
    RipMesh(m_model);
    m_doc.LoadRecordFiles();
  }
  TempDir m_home;
  std::string m_model;
  TMeshDocument m_doc;
};

TEST_F(DemoModelTest, IsAClosedLookingTexturedHouse) {
  EXPECT_GT(m_doc.NumVert, 8);
  EXPECT_GT(m_doc.NumFace, 6);
  EXPECT_GT(m_doc.Radius, 1.0f);
  std::set<int32_t> mats;
  for (int32_t i = 0; i < m_doc.NumFace; ++i) mats.insert(m_doc.FACE[i].Mat);
  EXPECT_GE(mats.size(), 3u);
  for (int32_t mat : mats) {
    char name[16];
    std::snprintf(name, sizeof name, "%08d.bmp", mat);
    EXPECT_TRUE(std::filesystem::exists(std::string(TESSAVOR_BIN_DIR) + "/demo/" + name)) << name;
  }
  // Every vertex lies within the radius.
  for (int32_t i = 0; i < m_doc.NumVert; ++i) {
    const TPoint3& v = m_doc.VERT[i];
    EXPECT_LE(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), m_doc.Radius) << i;
  }
}

TEST_F(DemoModelTest, FacesHaveUnitNormalsPlaneDistancesAndTextureCoordinates) {
  for (int32_t f = 0; f < m_doc.NumFace; ++f) {
    const TFaceRecord& face = m_doc.FACE[f];
    ASSERT_GE(face.FvrtCount, 3) << f;
    ASSERT_LE(face.FirstFvrt + face.FvrtCount, m_doc.NumFvrt) << f;
    const TPoint3* n = m_doc.VtnmAt(face.Vtnm);
    ASSERT_NE(n, nullptr) << f;
    EXPECT_NEAR(n->x * n->x + n->y * n->y + n->z * n->z, 1.0f, 1e-5f) << f;
    for (int32_t c = face.FirstFvrt; c < face.FirstFvrt + face.FvrtCount; ++c) {
      const TFvrtRecord& corner = m_doc.FVRT[c];
      const TPoint3* x = m_doc.VertAt(corner.Vert);
      ASSERT_NE(x, nullptr) << f;
      ASSERT_NE(m_doc.VtnmAt(corner.Vtnm), nullptr) << f;
      // N.X + D = 0 on the face's plane.
      EXPECT_NEAR(n->x * x->x + n->y * x->y + n->z * x->z + face.D, 0.0f, 1e-4f) << "face " << f;
      EXPECT_GE(corner.Tx, 0.0f);
      EXPECT_LE(corner.Tx, 1.0f);
      EXPECT_GE(corner.Ty, 0.0f);
      EXPECT_LE(corner.Ty, 1.0f);
    }
  }
}

TEST_F(DemoModelTest, StoredPlanesAgreeWithCalcD) {
  std::vector<float> stored;
  for (int32_t f = 0; f < m_doc.NumFace; ++f) stored.push_back(m_doc.FACE[f].D);
  CalcDRecords(m_doc);
  for (int32_t f = 0; f < m_doc.NumFace; ++f) EXPECT_NEAR(m_doc.FACE[f].D, stored[f], 1e-4f) << f;
}

// The capacity of the arrays, at exactly the last record and one over, for each chunk of
// records: VERT's final record may be short (Load takes it), FACE's may not (Load drops it).
// Sizes are even: an odd chunk is ripped with its pad byte.
struct TRipCapacityCase {
  const char* Id;
  size_t Bytes;
  bool Taken;
};

class RipCapacity : public RipTest, public ::testing::WithParamInterface<TRipCapacityCase> {};

TEST_P(RipCapacity, HoldsExactlyTheEditorsRecords) {
  const TRipCapacityCase& c = GetParam();
  SeedRecordFiles();
  const auto chunk = [&](const char* id, const Bytes& normal) {
    return Chunk(id, std::string(id) == c.Id ? Bytes(c.Bytes, 0) : normal);
  };
  const Bytes file =
      Form("MESH", Form("0000", Cat({chunk("VERT", m_model.vert), chunk("VTNM", m_model.vtnm),
                                     chunk("FVRT", m_model.fvrt), chunk("FACE", m_model.face),
                                     Chunk("RADI", m_model.radi)})));
  const std::string model = Model(file);
  if (c.Taken) {
    RipMesh(model);
    EXPECT_EQ(Record(std::string(c.Id) == "VERT"   ? "vert.kvt"
                     : std::string(c.Id) == "FVRT" ? "fvrt.kvt"
                                                   : "face.kvt")
                  .size(),
              c.Bytes);
    return;
  }
  try {
    RipMesh(model);
    FAIL() << c.Id << " of " << c.Bytes << " bytes ripped";
  } catch (const ERipMesh& e) {
    EXPECT_NE(e.Message().find("holds 32770 records, more than the 32769"), std::string::npos)
        << e.Message();
  }
  ExpectRecordFilesUntouched();
}

constexpr size_t kFull = MeshCapacity;
INSTANTIATE_TEST_SUITE_P(Chunks, RipCapacity,
                         ::testing::Values(TRipCapacityCase{"VERT", kFull * 12, true},
                                           TRipCapacityCase{"VERT", (kFull - 1) * 12 + 2, true},
                                           TRipCapacityCase{"VERT", kFull * 12 + 2, false},
                                           TRipCapacityCase{"FVRT", kFull * 16, true},
                                           TRipCapacityCase{"FVRT", kFull * 16 + 16, false},
                                           TRipCapacityCase{"FACE", kFull * 28 + 26, true},
                                           TRipCapacityCase{"FACE", (kFull + 1) * 28, false}),
                         [](const auto& param) {
                           return std::string(param.param.Id) + std::to_string(param.index);
                         });
