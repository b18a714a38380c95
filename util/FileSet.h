#pragma once
// Files that change together or not at all: the record files of a mesh, whose faces name
// corners and vertices of the other files.
//
// WriteFileSet writes every file of the set to its temporary file and flushes it, keeps a
// hard link to each previous file, writes a small journal that names them all, renames the
// set into place, and removes the journal and the links. A run killed before the journal
// exists changes nothing (its temporary files are strays); a run killed after it is
// completed by the next WriteFileSet or RecoverFileSet, which every reader of the set calls
// first. So a reader always finds the whole old set or the whole new one.
//
// Journal: "<journal name>" in the set's folder, one line per file, three tab-separated
// paths: the file, its temporary file, its previous-file link ("-" when there was none).
// It is itself written crash-safely. A journal whose lines do not name a file and a
// temporary file of it in the same folder ("<name>.tmp-XXXXXXXXXX") is not followed; it is
// removed.
//
// A rename that fails (not a kill) puts the files renamed so far back from their links and
// raises EInOutError naming the file and the reason; the set is then the old one.
// Stray temporary files and links of the set's names left by a killed run are removed by
// the next WriteFileSet.

#include <cstddef>
#include <string>
#include <vector>

struct TFileSetItem {
  std::string Path;  // in `folder`
  const void* Data = nullptr;
  size_t Size = 0;
};

void WriteFileSet(const std::string& folder, const std::string& journalName,
                  const std::vector<TFileSetItem>& items);

// Completes the set a killed WriteFileSet left behind; true when there was a journal.
bool RecoverFileSet(const std::string& folder, const std::string& journalName);

// Puts files that belong together in place at once, without a journal: finishes each
// writer (its temporary file complete, so that a full disk fails here, before anything
// changed), keeps a hard link to each previous file, then renames them in the writers'
// order. A rename that fails puts the files renamed before it back and raises EInOutError
// naming the file. For outputs one command makes again (an export's model and pictures, a
// texture's two files): a kill between the renames may leave some new beside some old.
class TAtomicFileWriter;
void CommitTogether(const std::vector<TAtomicFileWriter*>& writers);

// Test hook: replaces rename(2) for the renames of a set and of CommitTogether (nullptr:
// the real one).
using TRenameFunction = int (*)(const char* from, const char* to);
void SetFileSetRenameForTests(TRenameFunction rename);
