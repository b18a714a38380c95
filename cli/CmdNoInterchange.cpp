// import, export and formats in a build without Assimp (Windows): each says where the
// other tools' formats are handled instead, and fails; so do the add-on's exchange
// commands, which need the interchange library.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

constexpr char kWhy[] =
    "this build reads and writes only the game's own files: import and export of other "
    "tools' formats (glTF, OBJ, FBX, ...) are not part of it; Blender reads and writes "
    "those formats.";

int Unsupported(const std::vector<std::string>&) {
  std::fprintf(stderr, "tessavor-cli: %s\n", kWhy);
  return 2;
}

int NoExchange(const std::vector<std::string>&) {
  std::fprintf(stderr,
               "tessavor-cli: the exchange with the Blender add-on is not in this build yet "
               "(it needs the game-ready import, built only where its libraries are)\n");
  return 2;
}

int FormatsCmd(const std::vector<std::string>&) {
  std::printf("Import: none in this build\nExport: none in this build\n%s\n", kWhy);
  return 0;
}

const TCommandRegistrar kCommands[] = {
    TCommandRegistrar(
        {"import", "import FILE", "not in this build (see formats)", Unsupported, false}),
    TCommandRegistrar(
        {"export", "export OUT", "not in this build (see formats)", Unsupported, false}),
    TCommandRegistrar({"formats", "formats", "list the formats import reads and export writes",
                       FormatsCmd, false}),
    TCommandRegistrar(
        {"mesh-to-json", "mesh-to-json MODEL OUT", "not in this build yet", NoExchange, false}),
    TCommandRegistrar(
        {"mesh-from-json", "mesh-from-json ...", "not in this build yet", NoExchange, false}),
};

}  // namespace
