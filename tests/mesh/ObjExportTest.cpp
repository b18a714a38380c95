#include "mesh/ObjExport.h"

#include <gtest/gtest.h>

#include "mesh/MeshTestSupport.h"

using namespace meshtest;

namespace {

TEST(ObjExport, EmptyDocumentIsHeadersAndBlankLines) {
  TMeshDocument doc;
  EXPECT_EQ(ObjText(doc),
            "# Output by TWaveFrontObject\r\n"
            "# starting with vertex list...\r\n"
            "# 0 verts:\r\n"
            "\r\n"
            "# ... 0 normals ...\r\n"
            "\r\n"
            "# ... 0 texture vertices ...\r\n"
            "\r\n"
            "# ... and finally 0 faces:\r\n");
}

TEST(ObjExport, NumbersHaveSevenDecimals) {
  TMeshDocument doc;
  doc.AddVert({1.0f, -2.5f, 0.0f});
  doc.AddVtnm({0.0f, -0.25f, 1.0f});
  doc.AddFvrt({0, 0, 0.5f, 1.0f});
  const std::string text = ObjText(doc);
  EXPECT_NE(text.find("\r\nv 1.0000000 -2.5000000 0.0000000\r\n\r\n# ... 1 normals ...\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nvn 0.0000000 -0.2500000 1.0000000\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nvt 0.5000000 1.0000000\r\n"), std::string::npos);
}

TEST(ObjExport, TriangleGroupsAreOneBased) {
  TMeshDocument doc;
  doc.AddFvrt({5, 2, 0, 0});
  doc.AddFvrt({6, 3, 0, 0});
  doc.AddFvrt({7, 4, 0, 0});
  doc.AddFace(Face(0, 3));
  const std::string text = ObjText(doc);
  const std::string tail = "# ... and finally 1 faces:\r\nf 6/1/3 7/2/4 8/3/5 \r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(ObjExport, QuadHasFourGroupsAndMinusOneIsZero) {
  TMeshDocument doc;
  for (int i = 0; i < 4; ++i) doc.AddFvrt({i == 2 ? -1 : i, i == 3 ? -1 : 0, 0, 0});
  doc.AddFace(Face(0, 4));
  doc.AddFace(Face(3, 5));  // runs past the corners: only corner 3 exists
  const std::string text = ObjText(doc);
  EXPECT_NE(text.find("f 1/1/1 2/2/1 0/3/1 4/4/0 \r\nf 4/4/0 \r\n"), std::string::npos) << text;
}

TEST(ObjExport, FileIsWrittenAndErrorsNameIt) {
  testsupport::TempDir dir;
  TMeshDocument doc;
  doc.AddVert({1, 2, 3});
  ExportObj(doc, dir.File("out.obj"));
  EXPECT_EQ(testsupport::ReadText(dir.File("out.obj")), ObjText(doc));
  try {
    ExportObj(doc, dir.File("no/such/folder/out.obj"));
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("out.obj"), std::string::npos);
  }
}

}  // namespace
