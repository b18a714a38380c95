// A tree builder that writes a small compiler script at the given path and succeeds. The
// script's output "tree.iff" is resolved against the script's folder.
#include <cstdint>
#include <cstdio>

extern "C" int32_t generate_bsp_tree(const char* scriptPath) {
  std::FILE* f = std::fopen(scriptPath, "wb");
  if (!f) return 5;
  std::fputs(
      "IFF \"tree.iff\"\r\n{\r\nFORM \"TREE\"\r\n{\r\nCHUNK \"DATA\"\r\n{\r\nLONG "
      "1\r\n}\r\n}\r\n}\r\n",
      f);
  std::fclose(f);
  return 0;
}
