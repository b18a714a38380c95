// Write-back: an unchanged rip goes back byte for byte; an edit changes only its chunk and
// the FORM sizes around it; a model without the chunks writes nothing.
#include "mesh/WriteBack.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "iff/IffReader.h"
#include "iff/IffTestFiles.h"
#include "mesh/Geometry.h"
#include "mesh/MeshDocument.h"
#include "mesh/Rip.h"
#include "support/TestSupport.h"

namespace {

using ifftest::Cat;
using ifftest::Chunk;
using ifftest::Form;
using testsupport::Bytes;

class WriteBackTest : public ::testing::Test {
protected:
  // Two levels of detail around the mesh, an odd chunk (pad byte) in front and a chunk
  // behind: everything that must stay where it was.
  static Bytes Model() {
    Bytes vert, radi;
    for (float f : {0.f, 0.f, 0.f, 2.f, 0.f, 0.f, 0.f, 3.f, 0.f}) testsupport::PutF32(vert, f);
    testsupport::PutF32(radi, 3.f);
    Bytes lod0 = Form("0000", Cat({Chunk("INFO", Bytes(3, 1)), Chunk("VERT", vert),
                                   Chunk("VTNM", Bytes(12, 2)), Chunk("FVRT", Bytes(48, 3)),
                                   Chunk("FACE", Bytes(28, 0)), Chunk("RADI", radi)}));
    Bytes lod1 = Form("0001", Cat({Chunk("VERT", Bytes(24, 0xEE)), Chunk("TAIL", Bytes(5, 7))}));
    return Form("MESH", Cat({lod0, lod1}));
  }

  std::string ModelPath() {
    const std::string path = home.File("model.iff");
    testsupport::WriteBytes(path, Model());
    return path;
  }

  testsupport::TempDir home;
};

TEST_F(WriteBackTest, UnchangedRipGoesBackIdentical) {
  const std::string model = ModelPath();
  RipMesh(model);
  WriteBack(model, home.File("out.iff"));
  EXPECT_EQ(testsupport::ReadBytes(home.File("out.iff")), Model());
}

TEST_F(WriteBackTest, ScaledMeshChangesOnlyTheVertAndRadiChunks) {
  const std::string model = ModelPath();
  RipMesh(model);
  TMeshDocument doc;
  doc.LoadRecordFiles();
  ScaleModel(doc, 200.f);
  WriteBack(model, home.File("out.iff"));
  const Bytes out = testsupport::ReadBytes(home.File("out.iff"));
  const Bytes in = Model();
  ASSERT_EQ(out.size(), in.size());
  // VERT's data lies at 12 (MESH) + 12 (0000) + 12 (INFO and pad) + 8 (VERT header), RADI's
  // behind VERT (36), VTNM (8 + 12), FVRT (8 + 48), FACE (8 + 28) and its own header: at 200.
  constexpr size_t kVert = 44, kRadi = kVert + 36 + 20 + 56 + 36 + 8;
  for (size_t i = 0; i < in.size(); ++i) {
    if ((i < kVert || i >= kVert + 36) && (i < kRadi || i >= kRadi + 4)) {
      EXPECT_EQ(out[i], in[i]) << "offset " << i;
    }
  }
  EXPECT_EQ(out[kVert + 12 + 2],
            0x80);                  // x of vertex 1: 2.0 (00 00 00 40) became 4.0 (00 00 80 40)
  EXPECT_EQ(out[kRadi + 2], 0xC0);  // the radius: 3.0 (00 00 40 40) became 6.0 (00 00 C0 40)
  EXPECT_NO_THROW(TIffReader reader(home.File("out.iff")));
}

TEST_F(WriteBackTest, GrownChunkFixesEveryEnclosingForm) {
  const std::string model = ModelPath();
  RipMesh(model);
  Bytes vert = testsupport::ReadBytes(home.File("vert.kvt"));
  for (float f : {5.f, 6.f, 7.f}) testsupport::PutF32(vert, f);
  testsupport::WriteBytes(home.File("vert.kvt"), vert);
  testsupport::WriteBytes(home.File("fvrt.kvt"), Bytes(50, 9));  // grows by 2
  WriteBack(model, home.File("out.iff"));

  // The same model built with the new chunks is what must come out.
  Bytes radi;
  testsupport::PutF32(radi, 3.f);
  const Bytes lod0 = Form(
      "0000", Cat({Chunk("INFO", Bytes(3, 1)), Chunk("VERT", vert), Chunk("VTNM", Bytes(12, 2)),
                   Chunk("FVRT", Bytes(50, 9)), Chunk("FACE", Bytes(28, 0)), Chunk("RADI", radi)}));
  const Bytes lod1 =
      Form("0001", Cat({Chunk("VERT", Bytes(24, 0xEE)), Chunk("TAIL", Bytes(5, 7))}));
  EXPECT_EQ(testsupport::ReadBytes(home.File("out.iff")), Form("MESH", Cat({lod0, lod1})));
}

TEST_F(WriteBackTest, ModelWithoutTheChunksWritesNothing) {
  const std::string model = ModelPath();
  RipMesh(model);
  const std::string other = home.File("other.iff");
  testsupport::WriteBytes(other, Form("MESH", Chunk("VERT", Bytes(12, 0))));
  EXPECT_THROW(WriteBack(other, home.File("out.iff")), EWriteBack);
  EXPECT_FALSE(std::filesystem::exists(home.File("out.iff")));
}

// Models whose sizes claim more than the file holds: each is refused with the offset of the
// item at fault, and nothing is written (the walk used to step past the end and read there).
TEST_F(WriteBackTest, ItemsPastTheEndAreRefusedWithTheirOffset) {
  const std::string model = ModelPath();
  RipMesh(model);
  const Bytes whole = Model();
  Bytes formClaimsMore = Form("MESH", Chunk("VERT", Bytes(12, 0)));
  formClaimsMore.resize(30);  // the FORM's size still says 24 bytes follow
  Bytes cutInTail = whole;
  cutInTail.resize(whole.size() - 3);  // inside TAIL's data: the outer FORM is the first at fault
  Bytes bareCut = Cat({Chunk("VERT", Bytes(12, 0)), Chunk("TAIL", Bytes(5, 7))});
  bareCut.resize(bareCut.size() - 3);  // no FORM around: the chunk itself is at fault
  Bytes hugeChunk = Cat({Chunk("VERT", Bytes(12, 0)), Chunk("FVRT", Bytes(4, 0))});
  hugeChunk[20 + 4] = 0x7F;  // FVRT claims about 2 GB
  Bytes formHeaderOnly = Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 8, 'M', 'E'};
  const struct {
    const char* Name;
    Bytes Data;
    const char* Expected;
  } cases[] = {
      {"a FORM that claims more than the file", formClaimsMore, "FORM at offset 0"},
      {"a model cut inside its last chunk", cutInTail, "FORM at offset 0"},
      {"chunks cut inside the last one", bareCut, "\"TAIL\" at offset 20"},
      {"a chunk size near 2^31", hugeChunk, "\"FVRT\" at offset 20"},
      {"a FORM header cut inside its type", formHeaderOnly, "FORM at offset 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string bad = home.File("bad.iff");
    testsupport::WriteBytes(bad, c.Data);
    try {
      WriteBack(bad, home.File("out.iff"));
      ADD_FAILURE() << "accepted";
    } catch (const EWriteBack& e) {
      EXPECT_NE(e.Message().find(c.Expected), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find("runs past the end of the file"), std::string::npos)
          << e.Message();
    }
    EXPECT_FALSE(std::filesystem::exists(home.File("out.iff")));
  }
}

}  // namespace
