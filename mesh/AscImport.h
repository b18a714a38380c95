#pragma once
// "Import ASC": the triangles of a 3D-Studio ASCII scene file replace the mesh document.
//
// Lines recognised (all others are read and ignored): "Vertex list:" (blanks around it
// trimmed) starts a vertex block, whose every line up to "Face list:" is a vertex line
// ("Vertex 0:  X:1.5  Y:-2  Z:0.25": the texts after the first "X", "Y", "Z" and their
// colons); after "Face list:" each line that starts with "F" is a face line
// ("Face 0:  A:0 B:1 C:2 AB:1 BC:1 CA:1": the texts after the first "A", "B", "C", the
// last one ending before the first "A" at or after the "C"), and the one line after every
// examined face-block line (its smoothing line) is skipped. A line that is the last of the
// file is never examined. Corner numbers are used as vertex indices as they stand.
//
// Records: per vertex AddVert and a zero AddVtnm; per face three FVRTs (Vert = Vtnm = the
// corner number, texture coordinates 0) and a face over them with the chosen material.
//
// Unlike a partial import, a file that fails (missing, not a regular file, a field that is
// not a number or beyond the float range, more records than the arrays hold, larger than
// kMaxAscFileSize, no "Vertex list:" line at all) raises its error before the document is
// touched: EInOutError for the file, EConvertError "test.asc, line 12: 'abc' is not a
// valid floating point value" (at most 200 characters of the text quoted), EMeshDocument
// for the capacity, EAscImport for a file without a vertex block.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/MeshDocument.h"

// A file that is not an ASC scene at all.
TESSAVOR_DECLARE_EXCEPTION(EAscImport);

constexpr uint64_t kMaxAscFileSize = 256u << 20;

// The default input: test.asc in the home folder.
std::string DefaultAscPath();

struct TAscMesh {
  std::vector<TPoint3> Verts;
  std::vector<int32_t> Corners;  // three per face
};

// Parses the file text; `name` prefixes error messages. `progress` (may be empty) is
// called once per pass of the reading loop, to keep a window responsive.
TAscMesh ParseAsc(std::string_view text, const std::string& name,
                  const std::function<void()>& progress = {});

// Replaces the document's records (not its material list or radius) with `mesh`.
void ApplyAsc(TMeshDocument& doc, const TAscMesh& mesh, int32_t mat);

// Reads and parses `path` (touches no document, so it may run on any thread).
TAscMesh ReadAsc(const std::string& path, const std::function<void()>& progress = {});
// Reads and parses `path`, then applies it. No Save.
void ImportAsc(TMeshDocument& doc, const std::string& path, int32_t mat,
               const std::function<void()>& progress = {});
