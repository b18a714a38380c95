// The compiler's buffered output: whatever mix of appends, seeks back and patches, the
// file must hold the bytes that direct writes at each position would have left, with far
// fewer system calls; an unfinished output never replaces the previous file.

#include "iffc/OutputWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "support/TestSupport.h"
#include "util/Exception.h"

using testsupport::Bytes;

namespace {

class OutputWriterTest : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  TOutputWriter writer;
  Bytes model;  // what unbuffered writes would have produced
  int64_t pos = 0;

  void Write(const Bytes& data) {
    writer.Write(data.data(), data.size());
    if (model.size() < pos + data.size()) model.resize(static_cast<size_t>(pos) + data.size());
    std::copy(data.begin(), data.end(), model.begin() + pos);
    pos += static_cast<int64_t>(data.size());
  }
  void Seek(int64_t p) {
    writer.Seek(p);
    pos = p;
  }
};

TEST_F(OutputWriterTest, RandomAppendsAndPatchesMatchDirectWrites) {
  std::mt19937 rng(77);
  for (int round = 0; round < 20; ++round) {
    const std::string path = dir.File("r" + std::to_string(round) + ".bin");
    writer.Open(path);
    model.clear();
    pos = 0;
    for (int op = 0; op < 400; ++op) {
      const auto kind = static_cast<unsigned>(rng() % 10);
      if (kind < 6 || model.empty()) {
        Seek(static_cast<int64_t>(model.size()));
        // Mostly small pieces, now and then one larger than the window.
        const size_t len = rng() % 50 == 0 ? 300000 + rng() % 1000 : rng() % 40;
        Bytes b(len);
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        Write(b);
      } else {
        // A header patch somewhere behind, sometimes running past the old end.
        const int64_t at = static_cast<int64_t>(rng() % model.size());
        Seek(at);
        Bytes b(1 + rng() % 12);
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        Write(b);
      }
      ASSERT_EQ(writer.Position(), pos);
      ASSERT_EQ(writer.Size(), static_cast<int64_t>(model.size()));
    }
    writer.Close();
    ASSERT_EQ(testsupport::ReadBytes(path), model) << "round " << round;
  }
}

TEST_F(OutputWriterTest, SmallWritesAndNearbyPatchesCostFewSystemCalls) {
  writer.Open(dir.File("few.bin"));
  for (int i = 0; i < 100000; ++i) {
    writer.WriteU32LE(static_cast<uint32_t>(i));
    if (i % 100 == 99) {
      const int64_t end = writer.Position();
      writer.Seek(end - 400);
      writer.WriteU32LE(0xAABBCCDD);
      writer.Seek(end);
    }
  }
  writer.Close();
  EXPECT_LT(writer.WriteCalls(), 100u);  // 400,000 bytes in windows of 256 KiB
  const Bytes out = testsupport::ReadBytes(dir.File("few.bin"));
  ASSERT_EQ(out.size(), 400000u);
  EXPECT_EQ(out[0], 0xDD);  // patched: the first word of each hundred
  EXPECT_EQ(out[4], 1);
}

TEST_F(OutputWriterTest, CopyFromAppendsAWholeFileInPlace) {
  Bytes input(1000003);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 13);
  testsupport::WriteBytes(dir.File("in.bin"), input);
  writer.Open(dir.File("out.bin"));
  writer.WriteU32LE(0);
  const int fd = ::open(dir.File("in.bin").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(writer.CopyFrom(fd, "in.bin"), static_cast<int64_t>(input.size()));
  ::close(fd);
  writer.WriteU32LE(0x01020304);
  writer.Seek(0);
  writer.WriteU32LE(7);
  writer.Close();
  Bytes expected = {7, 0, 0, 0};
  expected.insert(expected.end(), input.begin(), input.end());
  expected.insert(expected.end(), {4, 3, 2, 1});
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out.bin")), expected);
}

TEST_F(OutputWriterTest, UnclosedOutputLeavesThePreviousFile) {
  testsupport::WriteBytes(dir.File("keep.bin"), Bytes{9, 9});
  {
    TOutputWriter w;
    w.Open(dir.File("keep.bin"));
    w.WriteU32LE(1);
  }
  EXPECT_EQ(testsupport::ReadBytes(dir.File("keep.bin")), (Bytes{9, 9}));
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(OutputWriterTest, WritingWhileClosedOrIntoAMissingFolderFails) {
  EXPECT_THROW(writer.WriteU32LE(1), EInOutError);
  EXPECT_THROW(writer.Open(dir.File("no/such/folder.bin")), EInOutError);
  EXPECT_THROW(writer.Open(dir.Path().string()), EInOutError);
  EXPECT_THROW(writer.Open(dir.Path().string() + "/"), EInOutError);
  EXPECT_FALSE(writer.IsOpen());
}

// The compiler's output goes through the one safe writer: "IFF /dev/null" in a script
// must not turn the device into a regular file, and a private output stays private.
TEST_F(OutputWriterTest, ADeviceOrFifoIsRefusedAndAReplacedFileKeepsItsMode) {
  EXPECT_THROW(writer.Open("/dev/null"), EInOutError);
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(writer.Open(fifo), EInOutError);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  testsupport::WriteBytes(dir.File("out.iff"), Bytes{1});
  ::chmod(dir.File("out.iff").c_str(), 0600);
  writer.Open(dir.File("out.iff"));
  writer.WriteU32LE(7);
  writer.Close();
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out.iff")), (Bytes{7, 0, 0, 0}));
  EXPECT_EQ(std::filesystem::status(dir.File("out.iff")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
