#pragma once
// Where the program's files live.
//  - Home folder: $TESSAVOR_HOME, else $XDG_DATA_HOME/tessavor, else ~/.local/share/tessavor
//    (on Windows %APPDATA%\Tessavor); created on first use. It holds everything written at fixed
//    names: the record files vert.kvt ... radi.kvt, test.asc, model.ini and the log.
//  - Program folder: the read-only resources (kvt_mesh.txt, pal/, the compiler's include
//    files, libbsp.so, libtvqtimage.so, the demo). One rule for both ways of running:
//    the installed private folder <executable's folder>/../lib/tessavor when it exists
//    (an install, wherever its prefix was moved to), else the executable's own folder
//    (the build folder, where the resources sit beside the programs). Nothing is fixed
//    at build time but that relative step.

#include <string>

// The home folder, with a trailing "/". Created when missing (EInOutError if impossible).
std::string HomeFolder();

// HomeFolder() + name.
std::string HomeFile(const std::string& name);

// The program folder of the running executable, with a trailing "/" (ExeDirectory).
std::string ExeDirectory();

// The program folder for an executable in `exeFolder` (the rule above), with a trailing "/".
std::string ProgramFolderFor(const std::string& exeFolder);

// Maps a path as the program's scripts and settings write it onto this file system:
// "\" becomes "/", and a leading drive "C:\" or "c:\" (either separator) stands for the
// home folder, so "c:\vert.kvt" names the home folder's vert.kvt. On Windows, where drive
// C is real, only a name directly under "C:\" is mapped; a deeper one is returned as given.
std::string MapFixedPath(const std::string& path);

// The library `name` in the program folder, as an absolute path; "" when the program folder
// cannot be found (no /proc): a library is then not loaded at all, never from the current
// folder or the library search path. Every library the program loads takes its path from
// here. `exeLink` names a link to the executable (tests point it elsewhere); nullptr is the
// running program.
std::string ProgramLibraryPath(const std::string& name, const char* exeLink = nullptr);
