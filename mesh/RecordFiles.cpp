#include "mesh/RecordFiles.h"

#include "util/Paths.h"

namespace {

std::string HomeFolderNoSlash() {
  std::string home = HomeFolder();
  if (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

}  // namespace

void WriteRecordFiles(const std::vector<TFileSetItem>& items) {
  WriteFileSet(HomeFolderNoSlash(), kRecordJournal, items);
}

bool RecoverRecordFiles() { return RecoverFileSet(HomeFolderNoSlash(), kRecordJournal); }
