// The tree builder on arbitrary record files: decoding, the consistency checks, the
// build and the script. Input layout: three little-endian 16-bit lengths (VERT, VTNM,
// FVRT bytes), then those bytes in that order; everything after them is the FACE file.
// Lengths beyond the input are clipped. Seeds: fuzz/corpus/bsp/ (a cube, two crossing
// quads, a mesh with NaN corners and slivers), written by hand from the record layouts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "plugins/bsp/BspMesh.h"
#include "plugins/bsp/BspScript.h"
#include "plugins/bsp/BspTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  size_t pos = 6;
  std::vector<uint8_t> parts[4];
  for (int i = 0; i < 3; ++i) {
    size_t len = size_t(data[2 * i]) | (size_t(data[2 * i + 1]) << 8);
    if (len > size - pos) len = size - pos;
    parts[i].assign(data + pos, data + pos + len);
    pos += len;
  }
  parts[3].assign(data + pos, data + size);
  try {
    const bsp::TMesh mesh = bsp::DecodeRecords(parts[0], parts[1], parts[2], parts[3]);
    bsp::ValidateMesh(mesh);
    bsp::TBuildOptions options;
    options.Capacity = 4096;  // bounds the work of a mesh made to cut itself to pieces
    const bsp::TTree tree = bsp::BuildTree(mesh, options);
    // No face may be lost or named twice.
    if (tree.FaceIndex.size() != tree.Mesh.Face.size() ||
        tree.Source.size() != tree.Mesh.Face.size() || tree.Mesh.Face.size() < mesh.Face.size()) {
      std::abort();
    }
    std::vector<uint8_t> named(tree.Mesh.Face.size(), 0);
    for (int32_t f : tree.FaceIndex) {
      if (f < 0 || size_t(f) >= named.size() || named[size_t(f)]++) std::abort();
    }
    const std::string script = bsp::ComposeScript(tree, "fuzz.iff");
    if (script.empty()) std::abort();
  } catch (const bsp::EBspError&) {}
  return 0;
}
