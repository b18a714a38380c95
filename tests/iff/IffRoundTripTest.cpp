// Reader and writer agree: whatever tree the writer makes reads back as the same tree with
// the same bytes, for random trees of FORMs and chunks with odd and even sizes.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "iff/IffReader.h"
#include "iff/IffWriter.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

struct TNode {
  bool isForm = false;
  TIffId id;
  std::vector<uint8_t> data;
  std::vector<TNode> children;
};

TIffId RandomId(std::mt19937& rng) {
  // Any bytes except a zero first byte (end of items) and, for chunks, not "FORM".
  TIffId id;
  for (auto& b : id.Bytes) b = static_cast<uint8_t>(rng());
  if (id.Bytes[0] == 0) id.Bytes[0] = 'Q';
  if (id == TIffId("FORM")) id.Bytes[3] = 'X';
  return id;
}

TNode RandomForm(std::mt19937& rng, int depth) {
  TNode form{true, RandomId(rng), {}, {}};
  const int n = static_cast<int>(rng() % 5);
  for (int i = 0; i < n; ++i) {
    if (depth < 4 && rng() % 3 == 0) {
      form.children.push_back(RandomForm(rng, depth + 1));
    } else {
      TNode chunk{false, RandomId(rng), {}, {}};
      chunk.data.resize(rng() % 40);
      for (auto& b : chunk.data) b = static_cast<uint8_t>(rng());
      form.children.push_back(chunk);
    }
  }
  return form;
}

void WriteNode(TIffWriter& w, const TNode& n) {
  if (n.isForm) {
    w.OpenForm(n.id);
    for (const auto& c : n.children) WriteNode(w, c);
    w.CloseForm();
  } else {
    w.OpenChunk(n.id);
    w.Write(n.data.data(), static_cast<int32_t>(n.data.size()));
    w.CloseChunk();
  }
}

// The tree lists hold every item in file order, FORMs and chunks apart.
void CompareTree(const TForm& form, const TNode& n) {
  EXPECT_EQ(form.Name, n.id);
  size_t fi = 0, ci = 0;
  for (const auto& c : n.children) {
    if (c.isForm) {
      ASSERT_LT(fi, form.Forms.size());
      EXPECT_EQ(form.Forms[fi]->Parent, &form);
      CompareTree(*form.Forms[fi++], c);
    } else {
      ASSERT_LT(ci, form.Chunks.size());
      const TChunk& chunk = *form.Chunks[ci++];
      EXPECT_EQ(chunk.Name, c.id);
      EXPECT_EQ(chunk.Size, static_cast<int32_t>((c.data.size() + 1) & ~size_t{1}));
    }
  }
  EXPECT_EQ(fi, form.Forms.size());
  EXPECT_EQ(ci, form.Chunks.size());
}

// Whether `c` is the first child of `n` of its kind with its name: the one that
// OpenForm/OpenChunk find (names may repeat in a random tree).
bool FirstOfItsName(const TNode& n, const TNode& c) {
  for (const auto& d : n.children) {
    if (d.isForm == c.isForm && d.id == c.id) return &d == &c;
  }
  return false;
}

// Walks by name through the reader's operations and reads every reachable chunk's data.
void ReadBack(TIffReader& r, const TNode& n) {
  for (const auto& c : n.children) {
    if (c.isForm || !FirstOfItsName(n, c)) continue;
    r.OpenChunk(c.id);
    std::vector<uint8_t> back(c.data.size());
    EXPECT_EQ(r.Read(back.data(), static_cast<int32_t>(back.size())),
              static_cast<int32_t>(back.size()));
    EXPECT_EQ(back, c.data);
    r.CloseChunk();
  }
  for (const auto& c : n.children) {
    if (!c.isForm || !FirstOfItsName(n, c)) continue;
    r.OpenForm(c.id);
    ReadBack(r, c);
    r.CloseForm();
  }
}

}  // namespace

class IffRoundTrip : public ::testing::TestWithParam<unsigned> {};

INSTANTIATE_TEST_SUITE_P(Seeds, IffRoundTrip, ::testing::Range(1u, 41u));

TEST_P(IffRoundTrip, WrittenTreeReadsBackTheSame) {
  std::mt19937 rng(GetParam());
  const TNode root = RandomForm(rng, 0);
  TempDir dir;
  const std::string path = dir.File("rt.iff");
  {
    TIffWriter w(path, static_cast<uint8_t>(GetParam() % 2));
    WriteNode(w, root);
    w.Destroy();
  }
  TIffReader r(path);
  CompareTree(r.Root(), root);
  ReadBack(r, root);
  // The root FORM's size field describes the whole file.
  EXPECT_EQ(int64_t{r.Root().Size} + 8, static_cast<int64_t>(testsupport::ReadBytes(path).size()));
}

TEST(IffDeepNesting, LongChainOfFormsParsesAndIsDestroyedWithoutRecursion) {
  // 200,000 nested FORMs: 2.4 MB. Destroying such a tree recursively would need far more
  // stack than a test thread has under AddressSanitizer.
  constexpr int kDepth = 200000;
  TempDir dir;
  const std::string path = dir.File("deep.iff");
  {
    TIffWriter w(path, 0);
    for (int i = 0; i < kDepth; ++i) w.OpenForm("DEEP");
    for (int i = 0; i < kDepth; ++i) w.CloseForm();
    w.Destroy();
  }
  auto r = std::make_unique<TIffReader>(path);
  const TForm* f = &r->Root();
  int depth = 1;
  while (!f->Forms.empty()) {
    f = f->Forms[0].get();
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(f->Size, 4);
  r.reset();
}
