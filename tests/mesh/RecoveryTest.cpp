// The recovery file: its bytes as its layout says, the records back exactly, and a damaged
// file refused whole at each bound.
#include "mesh/Recovery.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "mesh/MeshTestSupport.h"

using namespace meshtest;
using testsupport::PutF32;
using testsupport::PutU32;

namespace {

void MakeTriangle(TMeshDocument& doc) {
  doc.AddVert({0, 0, 0});
  doc.AddVert({1, 0, 0});
  doc.AddVert({0, 1, 2});
  doc.AddVtnm({0, 0, 1});
  doc.AddFvrt({0, 0, 0, 0});
  doc.AddFvrt({1, 0, 1, 0});
  doc.AddFvrt({2, 0, 0, 1});
  doc.AddFace({0, -0.5f, 70000, 0, 3, 0, kEditorReserved2});
  doc.Radius = 2.5f;
}

// The file of MakeTriangle with the model name "house.iff", byte by byte from the layout.
Bytes TriangleFile() {
  Bytes b = {'T', 'V', 'R', 'E', 'C', 'O', 'V', 1};
  PutU32(b, 9);
  for (char c : std::string("house.iff")) b.push_back(static_cast<uint8_t>(c));
  PutF32(b, 2.5f);
  for (uint32_t n : {3u, 1u, 3u, 1u}) PutU32(b, n);
  const Bytes verts = VertBytes({{0, 0, 0}, {1, 0, 0}, {0, 1, 2}});
  const Bytes normals = VertBytes({{0, 0, 1}});
  const Bytes corners = FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 1}});
  const Bytes faces = FaceBytes({{0, -0.5f, 70000, 0, 3, 0, kEditorReserved2}});
  for (const Bytes* part : {&verts, &normals, &corners, &faces})
    b.insert(b.end(), part->begin(), part->end());
  return b;
}

TEST(Recovery, BytesFollowTheLayout) {
  TMeshDocument doc;
  MakeTriangle(doc);
  EXPECT_EQ(RecoveryBytes(doc, "house.iff"), TriangleFile());
}

TEST(Recovery, FileGivesBackTheRecordsNameAndLabels) {
  testsupport::TempDir home;
  TMeshDocument doc;
  MakeTriangle(doc);
  EXPECT_FALSE(RecoveryFileExists());
  EXPECT_FALSE(ReadRecoveryFile().has_value());
  WriteRecoveryFile(doc, "/models/house.iff");
  ASSERT_TRUE(RecoveryFileExists());
  const std::optional<TRecovery> r = ReadRecoveryFile();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->ModelName, "/models/house.iff");
  TMeshDocument back;
  RestoreSnapshot(back, r->Records);
  EXPECT_TRUE(SnapshotMatches(back, TakeSnapshot(doc)));
  EXPECT_EQ(back.Radius, 2.5f);
  EXPECT_EQ(r->Records.SizeLabel, MakeSizeLabel({0, 0, 0}, {1, 1, 2}));
  EXPECT_EQ(r->Records.RadiusLabel, MakeRadiusLabel(2.5f));
  EXPECT_EQ(back.FaceLines.Line(0), "[0 1 2], mat: 70000, d=-0.500");
  RemoveRecoveryFile();
  EXPECT_FALSE(std::filesystem::exists(home.File(kRecoveryFile)));
  RemoveRecoveryFile();  // none: no error
}

TEST(Recovery, NoRecordFileIsTouched) {
  testsupport::TempDir home;
  TMeshDocument doc;
  MakeTriangle(doc);
  WriteRecoveryFile(doc, "");
  for (const char* f : kRecordFileNames) EXPECT_FALSE(std::filesystem::exists(home.File(f))) << f;
}

class RecoveryDamage : public ::testing::Test {
protected:
  Bytes file = TriangleFile();
  void ExpectRefused(const std::string& why) {
    try {
      ParseRecovery(file.data(), file.size());
      ADD_FAILURE() << "accepted: " << why;
    } catch (const ERecovery& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
  void SetU32(size_t at, uint32_t v) { std::memcpy(file.data() + at, &v, 4); }
};

constexpr size_t kCountsAt = 8 + 4 + 9 + 4;

TEST_F(RecoveryDamage, EveryByteCounts) {
  EXPECT_NO_THROW(ParseRecovery(file.data(), file.size()));
  file.pop_back();
  ExpectRefused("ends inside FACE");
  file = TriangleFile();
  file.push_back(0);
  ExpectRefused("1 bytes after the last record");
  file.assign(file.begin(), file.begin() + 5);
  ExpectRefused("ends inside its signature");
}

TEST_F(RecoveryDamage, AnotherSignatureIsRefused) {
  file[7] = 2;
  ExpectRefused("not a recovery file");
}

TEST_F(RecoveryDamage, CountsAreBoundedByTheArrays) {
  SetU32(kCountsAt + 8, uint32_t{MeshCapacity} + 1);
  ExpectRefused("32770 FVRT records (at most 32769)");
  // Exactly the capacity is a count the arrays hold; here the records are then missing.
  SetU32(kCountsAt + 8, uint32_t{MeshCapacity});
  ExpectRefused("ends inside FVRT");
}

TEST_F(RecoveryDamage, NameIsBounded) {
  Bytes named = {'T', 'V', 'R', 'E', 'C', 'O', 'V', 1};
  PutU32(named, kMaxRecoveryName);
  named.insert(named.end(), kMaxRecoveryName, 'a');
  PutF32(named, 1.0f);
  for (int i = 0; i < 4; ++i) PutU32(named, 0);
  EXPECT_EQ(ParseRecovery(named.data(), named.size()).ModelName.size(), kMaxRecoveryName);
  file = named;
  SetU32(8, kMaxRecoveryName + 1);
  ExpectRefused("a model name of 4097 bytes");
}

TEST(Recovery, ALongNameIsCutToTheBound) {
  TMeshDocument doc;
  const Bytes b = RecoveryBytes(doc, std::string(kMaxRecoveryName + 10, 'n'));
  EXPECT_EQ(ParseRecovery(b.data(), b.size()).ModelName.size(), kMaxRecoveryName);
}

}  // namespace
