// tessavor-cli write-back: the edited mesh back into its original model.

#include <cstdio>

#include "cli/Commands.h"
#include "mesh/Rip.h"
#include "mesh/WriteBack.h"
#include "util/StrTools.h"

namespace {

int WriteBackCmd(const std::vector<std::string>& args) {
  if (args.size() != 2) UsageError("usage: tessavor-cli write-back MODEL OUT");
  const TWriteBackResult r = WriteBack(args[0], args[1]);
  std::printf("wrote %s (%lld bytes)\n", QuotePathForMessage(args[1]).c_str(),
              static_cast<long long>(r.FileBytes));
  for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
    std::printf("%s: %lld -> %lld bytes\n", kRipChunkTable[i].Id,
                static_cast<long long>(r.OldBytes[i]), static_cast<long long>(r.NewBytes[i]));
  }
  return 0;
}

const TCommandRegistrar kWriteBack(
    {"write-back", "write-back MODEL OUT",
     "a copy of MODEL with its mesh chunks replaced by the record files", WriteBackCmd});

}  // namespace
