// The handle table and the item scanner: file-order walk, finding items, handle allocation
// and ownership of streams, and hostile size fields.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "iff/IffReader.h"
#include "iff/IffTestFiles.h"

using namespace ifftest;
using testsupport::TempDir;

namespace {

class IffScannerTest : public ::testing::Test {
protected:
  void TearDown() override {
    for (int h : m_open) IffCloseHandle(h);
  }
  int Open(const Bytes& data, const std::string& name = "s.iff") {
    const std::string path = m_dir.File(name);
    testsupport::WriteBytes(path, data);
    const int h = IffOpenFile(path);
    m_open.push_back(h);
    return h;
  }
  void Close(int h) {
    IffCloseHandle(h);
    std::erase(m_open, h);
  }
  std::vector<TIffItemHeader> All(int h) {
    std::vector<TIffItemHeader> items;
    TIffItemHeader item;
    while (IffReadItemHeader(h, item)) items.push_back(item);
    return items;
  }
  TempDir m_dir;
  std::vector<int> m_open;
};

// FORM MODL { FORM LOD0 { VERT(12) FACE(5) } VERT(4) RADI(4) }
Bytes Model() {
  return Form("MODL",
              Cat({Form("LOD0", Cat({Chunk("VERT", Bytes(12, 1)), Chunk("FACE", Bytes(5, 2))})),
                   Chunk("VERT", Bytes(4, 3)), Chunk("RADI", Bytes(4, 4))}));
}

}  // namespace

TEST_F(IffScannerTest, VisitsEveryItemInFileOrderDepthFirst) {
  const int h = Open(Model());
  const auto items = All(h);
  ASSERT_EQ(items.size(), 6u);
  const char* names[] = {"MODL", "LOD0", "VERT", "FACE", "VERT", "RADI"};
  const int32_t offsets[] = {0, 12, 24, 44, 58, 70};
  const int32_t sizes[] = {74, 38, 12, 6, 4, 4};  // 74 = 4 + (12 + 20 + 14) + 12 + 12
  const int32_t headers[] = {12, 12, 8, 8, 8, 8};
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].Name, TIffId(names[i])) << i;
    EXPECT_EQ(items[i].Offset, offsets[i]) << i;
    EXPECT_EQ(items[i].Size, sizes[i]) << i;
    EXPECT_EQ(items[i].HeaderLen, headers[i]) << i;
  }
}

TEST_F(IffScannerTest, OddChunkIsSteppedOverWithItsPadByte) {
  // A 5-byte chunk reports Size 6, and the next item starts 14 bytes after it.
  const int h = Open(Cat({Chunk("ODD ", Bytes(5, 9)), Chunk("NEXT", {})}));
  TIffItemHeader a, b;
  ASSERT_TRUE(IffReadItemHeader(h, a));
  ASSERT_TRUE(IffReadItemHeader(h, b));
  EXPECT_EQ(a.Size, 6);
  EXPECT_EQ(b.Offset, 14);
  EXPECT_FALSE(IffReadItemHeader(h, b));
}

TEST_F(IffScannerTest, FindItemContinuesAndRewindRestarts) {
  const int h = Open(Model());
  TIffItemHeader item;
  ASSERT_TRUE(IffFindItem(h, item, "VERT"));
  EXPECT_EQ(item.Offset, 24);
  ASSERT_TRUE(IffFindItem(h, item, "VERT"));
  EXPECT_EQ(item.Offset, 58);
  EXPECT_FALSE(IffFindItem(h, item, "VERT"));
  EXPECT_EQ(item.Offset, -1);
  EXPECT_EQ(item.Size, -1);
  EXPECT_TRUE(IffRewind(h));
  ASSERT_TRUE(IffFindItem(h, item, "VERT"));
  EXPECT_EQ(item.Offset, 24);
}

TEST_F(IffScannerTest, FindItemMatchesAFormByItsType) {
  const int h = Open(Model());
  TIffItemHeader item;
  ASSERT_TRUE(IffFindItem(h, item, "LOD0"));
  EXPECT_EQ(item.HeaderLen, 12);
  EXPECT_EQ(item.Offset, 12);
  // The position is inside the FORM now: its first chunk comes next.
  ASSERT_TRUE(IffReadItemHeader(h, item));
  EXPECT_EQ(item.Offset, 24);
}

TEST_F(IffScannerTest, MissingItemStaysMissing) {
  const int h = Open(Model());
  TIffItemHeader item;
  EXPECT_FALSE(IffFindItem(h, item, "NONE"));
  EXPECT_FALSE(IffFindItem(h, item, "NONE"));
  EXPECT_EQ(item.Offset, -1);
  EXPECT_EQ(item.Size, -1);
}

TEST_F(IffScannerTest, ZeroIdentifierEndsTheItems) {
  Bytes data = Chunk("AAAA", Bytes(2, 1));
  data.resize(data.size() + 10, 0);
  const int h = Open(data);
  EXPECT_EQ(All(h).size(), 1u);
}

TEST_F(IffScannerTest, TruncatedChunkHeaderRaises) {
  const int h = Open(Bytes{'A', 'B', 'C', 'D', 0, 0});
  TIffItemHeader item;
  try {
    IffReadItemHeader(h, item);
    FAIL();
  } catch (const EIffReader_ErrorInChunk& e) {
    EXPECT_EQ(e.Message(), "EIffReader_ErrorInChunk: Error in Chunk \"ABCD\" at offset 0");
  }
}

TEST_F(IffScannerTest, HugeSizesNeverMoveTheScanBackwards) {
  // Size fields with the top bit set, and the largest possible one: each scan step moves
  // forward and the walk ends instead of looping or wrapping back into the file.
  for (uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    Bytes data;
    testsupport::PutText(data, "HUGE");
    testsupport::PutU32BE(data, size);
    testsupport::PutText(data, "NEXTxxxxxxxx");
    const int h = Open(data, "huge" + std::to_string(size));
    const auto items = All(h);
    ASSERT_EQ(items.size(), 1u) << size;
    EXPECT_EQ(items[0].Size, std::numeric_limits<int32_t>::max()) << size;
    Close(h);
  }
}

TEST_F(IffScannerTest, FormWithHugeSizeIsStillEntered) {
  Bytes data;
  testsupport::PutText(data, "FORM");
  testsupport::PutU32BE(data, 0xFFFFFFF0u);
  testsupport::PutText(data, "BIG ");
  const Bytes inner = Chunk("DATA", Bytes(4, 7));
  data.insert(data.end(), inner.begin(), inner.end());
  const int h = Open(data);
  const auto items = All(h);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].Size, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(items[1].Offset, 12);
}

// ---- Handle allocation ------------------------------------------------------------------

TEST_F(IffScannerTest, ThirtyTwoHandlesThenRefusalThenReuse) {
  const std::string path = m_dir.File("h.iff");
  testsupport::WriteBytes(path, Model());
  std::vector<int> handles;
  for (int i = 0; i < kIffMaxHandles; ++i) {
    handles.push_back(IffOpenFile(path));
    m_open.push_back(handles.back());
    EXPECT_EQ(handles.back(), i + 1);
  }
  try {
    m_open.push_back(IffOpenFile(path));
    FAIL() << "33rd handle was given";
  } catch (const EIffReader_NoFreeFileHandles& e) {
    EXPECT_EQ(e.Message(),
              "EIffReader_NoFreeFileHandles: No free file handles! Cannot open stream");
  }
  Close(handles[6]);
  const int again = IffOpenFile(path);
  m_open.push_back(again);
  EXPECT_EQ(again, 7);
  // A reader needs a handle to parse: with the table full it cannot be created.
  EXPECT_THROW(TIffReader r(path), EIffReader_NoFreeFileHandles);
}

TEST_F(IffScannerTest, RegisteredStreamIsNotFreedWhenAReusedHandleIsReleased) {
  // The entry first owns a file stream; after release it is reused for a caller's stream,
  // which must survive the second release (ASan reports a double free otherwise).
  const int h = Open(Model());
  Close(h);
  const Bytes data = Model();
  TMemoryStream stream(data.data(), data.size());
  const int h2 = IffRegisterStream(&stream);
  EXPECT_EQ(h2, h);
  TIffItemHeader item;
  EXPECT_TRUE(IffReadItemHeader(h2, item));
  IffCloseHandle(h2);
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(stream.Read(&item, 0), 0);
}

TEST_F(IffScannerTest, InvalidHandlesAreRefused) {
  TIffItemHeader item;
  EXPECT_THROW(IffRewind(0), EIffReader);
  EXPECT_THROW(IffReadItemHeader(33, item), EIffReader);
  EXPECT_THROW(IffCloseHandle(5), EIffReader);  // not in use
}

TEST_F(IffScannerTest, OpenOfMissingFileTakesNoHandle) {
  EXPECT_THROW(IffOpenFile(m_dir.File("missing.iff")), EInOutError);
  const int h = Open(Model());
  EXPECT_EQ(h, 1);
}

// A handle held by an object is the table's handle while the object lives, scans as the
// numbered procedures do, and is free again once the object goes, also when a scan threw.
TEST_F(IffScannerTest, AHandleHeldByAnObjectIsReleasedWithIt) {
  const std::string path = m_dir.File("o.iff");
  testsupport::WriteBytes(path, Model());
  int number = 0;
  {
    const TIffHandle held(path);
    number = held.Number();
    EXPECT_EQ(number, 1);
    EXPECT_TRUE(held.Scan().OwnsStream());
    TIffItemHeader byObject, byNumber;
    ASSERT_TRUE(held.Scan().FindItem(byObject, "VERT"));
    EXPECT_TRUE(IffRewind(number));
    ASSERT_TRUE(IffFindItem(number, byNumber, "VERT"));
    EXPECT_EQ(byObject.Offset, byNumber.Offset);
    EXPECT_EQ(Open(Model()), 2);  // its number stays taken
  }
  EXPECT_THROW(IffRewind(number), EIffReader);
  // A scan that fails inside a scope leaves no handle behind.
  const Bytes cut = {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A'};
  TMemoryStream stream(cut.data(), cut.size());
  try {
    const TIffHandle held(stream);
    EXPECT_FALSE(held.Scan().OwnsStream());
    TIffItemHeader item;
    held.Scan().ReadItemHeader(item);
    FAIL() << "a FORM without its type was read";
  } catch (const EIffReader_ErrorInForm&) {}
  EXPECT_EQ(IffRegisterStream(&stream), 1);
  IffCloseHandle(1);
}
