// iff-tree: the item tree of an IFF file. rip: Rip mesh from a model file into the home
// folder's record files, then Load them and show the counts.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "iff/IffReader.h"
#include "iff/IffTree.h"
#include "mesh/MeshDocument.h"
#include "mesh/Rip.h"
#include "util/StrTools.h"

namespace {

int IffTree(const std::vector<std::string>& args) {
  if (args.size() != 1) UsageError("iff-tree: expected one IFF file name");
  const TIffReader reader(args[0]);
  WriteIffTree(reader,
               [](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), stdout); });
  return 0;
}

int Rip(const std::vector<std::string>& args) {
  if (args.size() != 1) UsageError("rip: expected one model file name");
  const TRipResult r = RipMesh(args[0]);
  std::printf("Ripped %s:", QuotePathForMessage(args[0]).c_str());
  for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
    std::printf("%s %s %lld bytes", i ? "," : "", kRipChunkTable[i].Id,
                static_cast<long long>(r.Bytes[i]));
  }
  std::printf("\n");
  TMeshDocument doc;
  doc.LoadRecordFiles();
  std::printf("VERT %d, VTNM %d, FVRT %d, FACE %d, %s\n", doc.NumVert, doc.NumVtnm, doc.NumFvrt,
              doc.NumFace, doc.RadiusLabel().c_str());
  return 0;
}

const TCommandRegistrar kIffTree({"iff-tree", "iff-tree FILE",
                                  "print the item tree of an IFF file: FORM type or chunk "
                                  "identifier, offset and size, indented by depth",
                                  IffTree, false});
const TCommandRegistrar kRip({"rip", "rip MODEL",
                              "Rip mesh: copy the model's first VERT, VTNM, FVRT, FACE and RADI "
                              "chunks into the record files, then Load them",
                              Rip});

}  // namespace
