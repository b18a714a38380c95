// Replays every file of the folders given on the command line through a fuzz target, so
// the ordinary (and sanitizer) builds run the seeds and every input that ever crashed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_directory(argv[i], ec)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
      if (!entry.is_regular_file()) continue;
      std::ifstream f(entry.path(), std::ios::binary);
      std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
      // A pointer that is never null, like libFuzzer's, even for an empty input.
      static const uint8_t empty = 0;
      LLVMFuzzerTestOneInput(data.empty() ? &empty : data.data(), data.size());
      ++count;
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
