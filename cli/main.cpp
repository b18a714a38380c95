// tessavor-cli: the editor's operations without windows, on the record files in the home
// folder.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "mesh/RecordFiles.h"
#include "util/Exception.h"
#include "util/HomeLock.h"
#include "util/Platform.h"
#include "util/StrTools.h"

namespace {

std::map<std::string, TCliCommand>& Table() {
  static std::map<std::string, TCliCommand> table;
  return table;
}

// A usage that does not fit the column goes on a line of its own, with its text below it
// at the column, so that every text starts at the same place (the manual page reads the
// same layout as a tagged paragraph).
std::string HelpEntry(const std::string& usage, const std::string& help) {
  constexpr size_t kColumn = 28;
  const std::string indent(2 + kColumn + 1, ' ');
  if (usage.size() < kColumn)
    return "  " + usage + std::string(kColumn - usage.size() + 1, ' ') + help + "\n";
  return "  " + usage + "\n" + indent + help + "\n";
}

void PrintHelp() {
  std::printf(
      "Usage: tessavor-cli COMMAND [ARGS...]\n"
      "The editor's operations without windows. They work on the record files\n"
      "(vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt, radi.kvt) in the home folder:\n"
#ifdef _WIN32
      "%%TESSAVOR_HOME%%, else %%APPDATA%%\\Tessavor.\n"
#else
      "$TESSAVOR_HOME, else $XDG_DATA_HOME/tessavor, else ~/.local/share/tessavor.\n"
#endif

      "Editing commands end with Save, like the editor's buttons.\n"
      "--version prints the version.\n\n"
      "Commands:\n");
  for (const auto& [name, cmd] : Table())
    std::fputs(HelpEntry(cmd.usage, cmd.help).c_str(), stdout);
  std::printf("\nErrors are printed on standard error; the exit status is then 2.\n");
}

}  // namespace

void RegisterCommand(TCliCommand command) {
  std::string name = command.name;
  Table()[name] = std::move(command);
}

TESSAVOR_DECLARE_EXCEPTION(EUsage);

void UsageError(const std::string& message) { throw EUsage(message); }

int main(int argc, char** argv) {
  const std::vector<std::string> all = platform::StartProgram(argc, argv);
  std::vector<std::string> args(all.begin() + (all.empty() ? 0 : 1), all.end());
  if (args.empty()) {
    PrintHelp();
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp();
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("tessavor-cli %s\n", TESSAVOR_VERSION);
    return 0;
  }
  const auto it = Table().find(args[0]);
  if (it == Table().end()) {
    std::fprintf(stderr, "tessavor-cli: unknown command \"%s\" (see --help)\n",
                 QuoteForMessage(args[0]).c_str());
    return 2;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
    std::printf("Usage: tessavor-cli %s\n%s\n", it->second.usage.c_str(), it->second.help.c_str());
    return 0;
  }
  try {
    if (!it->second.home) return it->second.run(rest);
    const THomeLock homeLock(it->second.readsOnly ? THomeAccess::Read : THomeAccess::Write);
    // A Save or rip killed half way is completed before any command looks at the record
    // files. A failure here is Load's to report, for the commands that load.
    try {
      RecoverRecordFiles();
    } catch (const Exception&) {}
    return it->second.run(rest);
  } catch (const Exception& e) {
    // Names in messages are escaped where they are quoted; this catches any that was not.
    std::fprintf(stderr, "%s\n", PrintableLines(e.what()).c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", PrintableLines(e.what()).c_str());
    return 2;
  }
}
