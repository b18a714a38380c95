#include "mesh/AscImport.h"

#include <gtest/gtest.h>

#include "mesh/MeshTestSupport.h"

using namespace meshtest;

namespace {

// A scene as a 3D-Studio ASCII export writes it: a header, the object's name and totals,
// then the vertex and face blocks; every face line is followed by its smoothing line.
const char* const kHeader =
    "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\r\n"
    "\r\n"
    "Named object: \"Box01\"\r\n"
    "Tri-mesh, Vertices: 4     Faces: 2\r\n";

const char* const kQuad =
    "Vertex list:\r\n"
    "Vertex 0:  X:1.5     Y:-2     Z:0.25\r\n"
    "Vertex 1:  X: 2      Y: 0     Z: 0\r\n"
    "Vertex 2:  X:0       Y:1      Z:-1e1\r\n"
    "Vertex 3:  X:3       Y:3      Z:3\r\n"
    "Face list:\r\n"
    "Face 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\r\n"
    "Smoothing:  1\r\n"
    "Face 1:    A:2 B:3 C:0 AB:1 BC:1 CA:1\r\n"
    "Smoothing:  1\r\n";

class AscImport : public ::testing::Test {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
  void Import(const std::string& text, int32_t mat = 70000) {
    testsupport::WriteText(DefaultAscPath(), text);
    ImportAsc(doc, DefaultAscPath(), mat);
  }
};

TEST_F(AscImport, OneObjectOfFourVerticesAndTwoFaces) {
  Import(std::string(kHeader) + kQuad + "\r\n", 512);
  ASSERT_EQ(doc.NumVert, 4);
  EXPECT_EQ(doc.NumVtnm, 4);
  EXPECT_EQ(doc.NumFvrt, 6);
  ASSERT_EQ(doc.NumFace, 2);
  EXPECT_EQ(doc.VERT[0].x, 1.5f);
  EXPECT_EQ(doc.VERT[0].y, -2.0f);
  EXPECT_EQ(doc.VERT[0].z, 0.25f);
  EXPECT_EQ(doc.VERT[2].z, -10.0f);
  EXPECT_EQ(doc.VTNM[3].x, 0.0f);
  EXPECT_EQ(doc.FACE[0].FirstFvrt, 0);
  EXPECT_EQ(doc.FACE[1].FirstFvrt, 3);
  EXPECT_EQ(doc.FACE[1].FvrtCount, 3);
  EXPECT_EQ(doc.FACE[1].Mat, 512);
  EXPECT_EQ(doc.FACE[1].Reserved2, kEditorReserved2);
  EXPECT_EQ(doc.FVRT[3].Vert, 2);
  EXPECT_EQ(doc.FVRT[3].Vtnm, 2);
  EXPECT_EQ(doc.FVRT[5].Vert, 0);
  EXPECT_FALSE(doc.Loading());
  EXPECT_EQ(doc.CornerLines.Count(), 6);
  EXPECT_EQ(doc.FaceLines.Line(1), "[3 4 5], mat: 512, d=0.000");
}

TEST_F(AscImport, TwoLinesAfterAFaceLoseTheNextFace) {
  const std::string text = std::string("Vertex list:\n") +
                           "Vertex 0: X:0 Y:0 Z:0\nVertex 1: X:1 Y:0 Z:0\nVertex 2: X:0 Y:1 Z:0\n"
                           "Face list:\n"
                           "Face 0: A:0 B:1 C:2 AB:1 BC:1 CA:1\nSmoothing: 1\n"
                           "Material:\"r\"\n"                      // examined: not a face
                           "Face 1: A:2 B:1 C:0 AB:1 BC:1 CA:1\n"  // skipped
                           "Smoothing: 1\n"                        // examined
                           "Material:\"r\"\n"                      // skipped
                           "end\n";
  Import(text);
  EXPECT_EQ(doc.NumFace, 1);
}

TEST_F(AscImport, SecondObjectAddressesVerticesFromZero) {
  const std::string obj2 =
      "Named object: \"Two\"\r\n"
      "Vertex list:\r\n"
      "Vertex 0:  X:9 Y:9 Z:9\r\n"
      "Face list:\r\n"
      "Face 0:    A:0 B:0 C:0 AB:1 BC:1 CA:1\r\n"
      "Smoothing:  1\r\n";
  // The first object's face block ends at the "Vertex list:" that follows a smoothing
  // line; it starts the second object's block without another read.
  Import(std::string(kQuad) + "Vertex list:\r\n" + obj2.substr(obj2.find("Vertex 0")) + "end\r\n");
  EXPECT_EQ(doc.NumVert, 5);
  EXPECT_EQ(doc.NumFace, 3);
  EXPECT_EQ(doc.FVRT[6].Vert, 0) << "corner numbers are used as they stand";
}

TEST_F(AscImport, FaceOnTheLastLineIsNotImported) {
  const std::string text = std::string(kQuad) + "Face 2:    A:1 B:2 C:3 AB:1 BC:1 CA:1";
  Import(text);
  EXPECT_EQ(doc.NumFace, 2);
}

TEST_F(AscImport, BadNumberLeavesTheDocumentUntouched) {
  doc.AddVert({7, 7, 7});
  const std::string text = "Vertex list:\nVertex 0: X:1 Y:zz Z:0\nFace list:\nend\n";
  try {
    Import(text);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "test.asc, line 2: 'zz' is not a valid floating point value");
  }
  EXPECT_EQ(doc.NumVert, 1);
  EXPECT_EQ(doc.VERT[0].x, 7.0f);
  EXPECT_FALSE(doc.Loading());
}

TEST_F(AscImport, VertexBlockWithoutFaceListFailsInsteadOfHanging) {
  EXPECT_THROW(Import("Vertex list:\nVertex 0: X:1 Y:2 Z:3\n"), EConvertError);
}

TEST_F(AscImport, MissingFileNamesIt) {
  try {
    ImportAsc(doc, DefaultAscPath(), 1);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("test.asc"), std::string::npos);
  }
}

TEST_F(AscImport, MaterialListIsKeptAndExtended) {
  doc.AddFace(Face(0, 0, 5));
  Import(kQuad, 70000);
  EXPECT_EQ(doc.MaterialLines.Lines(), (std::vector<std::string>{"5", "70000"}));
}

TEST(AscParse, TooManyVerticesIsAnError) {
  std::string text = "Vertex list:\n";
  for (int i = 0; i <= MeshCapacity; ++i) text += "Vertex: X:1 Y:2 Z:3\n";
  text += "Face list:\n";
  EXPECT_THROW(ParseAsc(text, "big.asc"), EMeshDocument);
}

}  // namespace
