// tre-list and tre-extract: look into the TRE archives the compiler writes.
//
// A directory entry that points outside the file (or whose name cannot be used as a file
// name below the target folder) is reported on standard error and skipped; the other
// entries are still listed or extracted, and the exit status is then 2.

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "iffc/TreArchive.h"
#include "util/FileIo.h"
#include "util/StrTools.h"

namespace {

namespace fs = std::filesystem;

int TreList(const std::vector<std::string>& args) {
  if (args.size() != 1) UsageError("tre-list: expected one archive file name");
  const TTreArchive archive(args[0]);
  const TTreDirectory& dir = archive.Directory();
  std::printf("%s: %" PRIu32 " entries, %" PRIu64 " bytes\n", QuotePathForMessage(args[0]).c_str(),
              dir.Count, dir.FileSize);
  std::printf("%5s  %-8s  %10s  %10s  %10s  %s\n", "index", "checksum", "size", "offset", "stored",
              "name");
  int bad = 0;
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    const TTreDirEntry& e = dir.Entries[i];
    std::printf("%5zu  %08" PRIX32 "  %10" PRIu32 "  %10" PRIu32 "  %10" PRIu32 "  %s\n", i, e.Crc,
                e.Size, e.Offset, e.StoredSize, QuoteForMessage(e.Name, kTreNameSize).c_str());
    if (!e.Problem.empty()) {
      std::fprintf(stderr, "%s: %s\n", QuotePathForMessage(args[0]).c_str(), e.Problem.c_str());
      ++bad;
    }
  }
  return bad ? 2 : 0;
}

// Refuses to write through a symbolic link below the target folder, so that a link planted
// there cannot redirect a block outside it.
void CheckNoLinks(const fs::path& root, const std::string& rel) {
  fs::path at = root;
  for (const auto& part : fs::path(rel).parent_path()) {
    at /= part;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(at, ec))) {
      throw ETreArchive("TRE entry name \"" + QuoteForMessage(rel) + "\" refused: " + at.string() +
                        " is a symbolic link");
    }
  }
}

int TreExtract(const std::vector<std::string>& args) {
  bool raw = false;
  bool overwrite = false;
  std::vector<std::string> names;
  for (const auto& a : args) {
    if (a == "--raw")
      raw = true;
    else if (a == "--overwrite")
      overwrite = true;
    else
      names.push_back(a);
  }
  if (names.size() != 2) UsageError("tre-extract: expected an archive file name and a folder");
  const TTreArchive archive(names[0]);
  const fs::path root(names[1]);
  std::error_code ec;
  fs::create_directories(root, ec);
  if (!fs::is_directory(root)) {
    throw EInOutError("Cannot create folder \"" + QuotePathForMessage(root.string()) + "\"" +
                      (ec ? ": " + ec.message() : std::string()));
  }
  const TTreDirectory& dir = archive.Directory();
  int bad = 0;
  // Each file written so far, by the entry that wrote it: a second entry of the same name
  // would silently replace the first one's block.
  std::map<std::string, size_t> writtenBy;
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    const TTreDirEntry& e = dir.Entries[i];
    try {
      if (!e.Problem.empty()) throw ETreArchive(e.Problem);
      if (e.NeverWritten()) {
        std::printf("skipped %s: its block was never written\n", QuoteForMessage(e.Name).c_str());
        continue;
      }
      const std::string rel = SafeTreRelativePath(e.Name);
      CheckNoLinks(root, rel);
      const auto [first, isNew] = writtenBy.try_emplace(rel, i);
      if (!isNew && !overwrite) {
        throw ETreArchive("entry " + std::to_string(i) + " \"" + QuoteForMessage(e.Name) +
                          "\" has the same name as entry " + std::to_string(first->second) +
                          "; not written (--overwrite writes the later one over it)");
      }
      const fs::path target = root / rel;
      fs::create_directories(target.parent_path());
      // A packed block is unpacked straight into its file, stopping when it grows past
      // its entry's size: memory follows the data, not the directory's claim. A link at
      // the entry's own name is refused like one in a folder above it.
      TAtomicFileWriter out(target.string(), TFileSync::Replace, TLinkRule::Refuse);
      const std::vector<uint8_t> stored = archive.ReadStored(i);
      uint64_t written = 0;
      if (raw || !e.IsPacked()) {
        out.Write(stored.data(), stored.size());
        written = stored.size();
      } else {
        UnpackTreBlockTo(e, stored, [&](const uint8_t* data, size_t size) {
          out.Write(data, size);
          written += size;
        });
      }
      out.Commit();
      std::printf("%s (%llu bytes)\n", QuotePathForMessage(target.string()).c_str(),
                  static_cast<unsigned long long>(written));
    } catch (const std::exception& ex) {
      // Exception and the file system's own errors (a name that collides with a folder).
      std::fprintf(stderr, "%s: %s\n", QuotePathForMessage(names[0]).c_str(),
                   PrintableLines(ex.what()).c_str());
      ++bad;
    }
  }
  return bad ? 2 : 0;
}

const TCommandRegistrar kTreList({"tre-list", "tre-list FILE",
                                  "list a TRE archive's directory (index, checksum, size, "
                                  "offset, stored size, name)",
                                  TreList, false});
const TCommandRegistrar kTreExtract({"tre-extract", "tre-extract FILE DIR [--raw] [--overwrite]",
                                     "write each block of a TRE archive to DIR under its name "
                                     "(packed blocks unpacked unless --raw); a name that occurs "
                                     "twice is refused unless --overwrite",
                                     TreExtract, false});

}  // namespace
