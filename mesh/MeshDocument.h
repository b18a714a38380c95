#pragma once
// The mesh document: the one mesh the editor works on, its five record files and the five
// list line stores the main window shows.
//
// Layout. Four fixed-capacity record arrays named after the game's mesh chunks (VERT
// vertices, VTNM normals, FVRT face corners, FACE faces), each allocated once at
// MeshCapacity records when the document is made and never grown; the counts say how many
// records belong to the model. The records and the file names are in mesh/Records.h.
//
// Record files. vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt and radi.kvt in the home folder
// (util/Paths.h), raw records with no header; the number of records is the file length
// divided by the record size. They are exactly the payloads of a model file's chunks.
//  - LoadRecordFiles() replaces the document from them. A file whose length is not a whole
//    number of records (radi.kvt: one 4-byte record) is damaged: the Load raises
//    EInOutError with the file's name and both counts (PartialRecordText) and makes up no
//    record from the missing bytes. A missing radi.kvt sets Radius to 1.0; an empty one
//    leaves Radius as it was. Any failure raises EInOutError naming the file and stops the
//    Load where it is (the document is then partly filled and Loading stays set). A Load
//    first completes a Save that was killed half way (mesh/RecordFiles.h).
//  - SaveRecordFiles() writes the four arrays as one set (mesh/RecordFiles.h): a failed
//    or killed Save leaves the whole old set or the whole new one, never a torn file nor a
//    mix of old and new files. radi.kvt is written only by SaveRecordFilesAndRadius().
//
// Capacity. Appending to an array that already holds MeshCapacity records raises
// EMeshDocument ("VERT is full: it holds at most 32769 records"); nothing grows.
//
// Reaching records by index. Indices stored in records (a corner's Vert/Vtnm, a face's
// Vtnm/FirstFvrt/FvrtCount) come from files and from the user and are never trusted:
//  - VertAt/VtnmAt/FvrtAt/FaceAt return nullptr for an index outside 0..count-1, so a
//    corner that points at -1 or past the model has no vertex or normal.
//  - FaceCorners gives the part of a face's corner range FirstFvrt..FirstFvrt+FvrtCount-1
//    that lies inside 0..NumFvrt-1 (empty for FvrtCount <= 0); corners outside it are
//    left out by every tool and viewer.
//
// Lists. VertexLines..MaterialLines hold the main window's list lines (vertex, normal, FVRT, face,
// material). The append operations add the lines, so a line number is the index of the
// record it shows. With ShowData off the vertex, normal, face and material lists get no
// lines and an FVRT line is only its ", ty:" tail. Number formats: vertex and normal
// components and a face's D with three decimals ("1.500", "-0.250"; a value that rounds to
// zero shows as "0.000", never "-0.000"); Tx/Ty rounded to thousandths, ties to even, in
// shortest form ("0.5", "0.062", "0"). A face line lists its corner indices; a face with
// more than kMaxFaceLineCorners corners lists the first kMaxFaceLineCorners and then
// " ...", so that a hostile FvrtCount cannot make a gigantic line.
//
// Notifications. The windows connect to the signals (util/Signal.h) and stay connected
// while they hold the connection; any number may listen. Every notification is emitted on
// the thread of the operation that causes it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "mesh/Records.h"
#include "util/Exception.h"
#include "util/FileSet.h"
#include "util/Signal.h"

// A full record array, a bad record index handed to an operation.
TESSAVOR_DECLARE_EXCEPTION(EMeshDocument);

constexpr int kMaxFaceLineCorners = 64;

// What changed in a list, for a list model in the window layer.
enum class TListChange {
  Reset,    // the whole list changed (cleared, or rebuilt by a Load); first = last = -1
  Insert,   // lines first..last were appended
  Replace,  // line first (= last) got a new text
  Current,  // the current line (or, in CornerLines, the selection) changed; first = new current
};

// The lines of one list plus its current line. CornerLines also keeps a multiple selection:
// its current line is the focused one, and making a line current does not change which
// lines are selected.
class TListLines {
public:
  const std::vector<std::string>& Lines() const { return m_lines; }
  int Count() const { return static_cast<int>(m_lines.size()); }
  // The text of line i, or "" outside 0..Count()-1.
  const std::string& Line(int i) const;

  // -1 when no line is current.
  int Current() const { return m_current; }
  // An index outside 0..Count()-1 makes no line current.
  void SetCurrent(int i);

  void Append(std::string line);
  // Appends a copy of `text`; inside an update it reuses the buffer of a line the update
  // cleared away, so that refilling a list (Load) costs no allocation per line.
  void AppendText(std::string_view text);
  // Replaces line i; an index outside 0..Count()-1 is ignored.
  void ReplaceLine(int i, std::string line);
  // Empties the list, its current line and its selection.
  void Clear();
  void Reserve(size_t n) { m_lines.reserve(n); }

  // Multiple selection (used by CornerLines). Indices outside the list are ignored.
  void SetSelected(int i, bool selected);
  void ClearSelection();
  int SelectedCount() const { return static_cast<int>(m_selected.size()); }
  const std::set<int>& Selected() const { return m_selected; }

  // While an update runs (BeginUpdate .. EndUpdate, nestable) no per-line notification is
  // sent: OnAboutToChange(Reset) goes out at the outermost BeginUpdate and OnChanged(Reset)
  // at the outermost EndUpdate. Load and ASC import fill the lists this way.
  void BeginUpdate();
  void EndUpdate();

  // Emitted before lines are inserted or the list is reset (a list model's begin... call)
  // and after every change, with (kind, first, last).
  TSignal<TListChange, int, int> OnAboutToChange;
  TSignal<TListChange, int, int> OnChanged;

private:
  void AboutToChange(TListChange kind, int first, int last);
  void Changed(TListChange kind, int first, int last);

  std::vector<std::string> m_lines;
  std::vector<std::string> m_spare;  // lines cleared during an update, for AppendText
  int m_current = -1;
  std::set<int> m_selected;
  int m_updateDepth = 0;
};

// The part of a face's corner range that exists: FVRT indices First .. First + Count - 1.
struct TCornerRange {
  int32_t First = 0;
  int32_t Count = 0;
};

class TMeshDocument {
public:
  TMeshDocument();
  TMeshDocument(const TMeshDocument&) = delete;
  TMeshDocument& operator=(const TMeshDocument&) = delete;

  // Record arrays, MeshCapacity records each, allocated once: the records are the
  // document's to change, the arrays themselves are never replaced.
  const std::unique_ptr<TPoint3[]> VERT;
  const std::unique_ptr<TPoint3[]> VTNM;
  const std::unique_ptr<TFvrtRecord[]> FVRT;
  const std::unique_ptr<TFaceRecord[]> FACE;

  int32_t NumVert = 0;
  int32_t NumVtnm = 0;
  int32_t NumFvrt = 0;
  int32_t NumFace = 0;
  float Radius = 1.0f;

  // True while Load, ASC import or an undo step fill the arrays: no live drawing, no face
  // refresh. Those outside the document set it with a TLoadingScope.
  bool Loading() const { return m_loading; }
  class TLoadingScope {
  public:
    explicit TLoadingScope(TMeshDocument& doc) : m_doc(doc) { m_doc.m_loading = true; }
    ~TLoadingScope() { m_doc.m_loading = false; }
    TLoadingScope(const TLoadingScope&) = delete;
    TLoadingScope& operator=(const TLoadingScope&) = delete;

  private:
    TMeshDocument& m_doc;
  };

  // The box of the vertices as Load computed it, and the labels Load set:
  // "x:12.5, y:4.0, z:30.2;" and "RADI=11.3".
  const TPoint3& BoxMin() const { return m_boxMin; }
  const TPoint3& BoxMax() const { return m_boxMax; }
  const std::string& SizeLabel() const { return m_sizeLabel; }
  const std::string& RadiusLabel() const { return m_radiusLabel; }
  // Puts back what an earlier Load found (undo restores a model with its labels).
  void RestoreLoadResults(const TPoint3& boxMin, const TPoint3& boxMax, std::string sizeLabel,
                          std::string radiusLabel);

  // "Show Data": when false, appends add no vertex, normal, face or material lines and
  // FVRT lines are only their ", ty:" tail.
  bool ShowData = true;

  TListLines VertexLines;    // vertices
  TListLines NormalLines;    // normals
  TListLines CornerLines;    // FVRT records (multiple selection)
  TListLines FaceLines;      // faces
  TListLines MaterialLines;  // distinct material ids, in order of first appearance

  // Held by a thread that rewrites VERT in place (the tool window's rotation) and by
  // readers on other threads that need a consistent VERT. The core itself never locks it.
  mutable std::mutex VertLock;

  // What the windows listen to (see the top of this file).
  TSignal<int32_t> OnVertAdded;  // a vertex was appended, not Loading: its index
  TSignal<int32_t> OnFaceAdded;  // a face was appended, not Loading: its index
  TSignal<> OnListsChanged;      // lists were emptied or rebuilt
  TSignal<> OnLoaded;            // Load completed: fit view to the box, repaint, textures
  TSignal<> OnRepaint;           // geometry changed in memory: repaint the views

  // Append operations: the only ways records enter the document. Each stores the record at
  // the index given by its count, appends its list line, increments the count. Raise
  // EMeshDocument when the array is full.
  void AddVert(const TPoint3& p);
  void AddVtnm(const TPoint3& n);
  void AddFvrt(const TFvrtRecord& r);
  void AddFace(const TFaceRecord& f);

  // Stores a normal at index NumVtnm without a list line (the normal lookup of Calc VTNM);
  // returns its index. Raises EMeshDocument when VTNM is full.
  int32_t StoreVtnm(const TPoint3& n);

  // Empties the document: counts to 0 and all five lists emptied. Radius is kept.
  void Clear();
  // Empties the vertex, normal, FVRT and face lists (not the material list).
  void ClearRecordLists();

  void LoadRecordFiles();
  void SaveRecordFiles() const;
  // Save, with radi.kvt in the same set: for the tools that change the model's size. Radius
  // replaces the file's first 4 bytes; the bytes after them stay. A radi.kvt of more than
  // kMaxRadiFileBytes raises EInOutError and nothing is written.
  void SaveRecordFilesAndRadius() const;
  static constexpr uint64_t kMaxRadiFileBytes = 4096;

  // Safe access by index: nullptr outside 0..count-1.
  const TPoint3* VertAt(int32_t i) const { return i >= 0 && i < NumVert ? &VERT[i] : nullptr; }
  const TPoint3* VtnmAt(int32_t i) const { return i >= 0 && i < NumVtnm ? &VTNM[i] : nullptr; }
  const TFvrtRecord* FvrtAt(int32_t i) const { return i >= 0 && i < NumFvrt ? &FVRT[i] : nullptr; }
  const TFaceRecord* FaceAt(int32_t i) const { return i >= 0 && i < NumFace ? &FACE[i] : nullptr; }
  TPoint3* VertAt(int32_t i) { return i >= 0 && i < NumVert ? &VERT[i] : nullptr; }
  TFvrtRecord* FvrtAt(int32_t i) { return i >= 0 && i < NumFvrt ? &FVRT[i] : nullptr; }
  TFaceRecord* FaceAt(int32_t i) { return i >= 0 && i < NumFace ? &FACE[i] : nullptr; }
  // The existing corners of a face (see the top of this file).
  TCornerRange FaceCorners(const TFaceRecord& f) const;

  // Line texts, as the lists show them.
  static std::string VertLineText(const TPoint3& p);                     // "1.500, -0.250, 0.000"
  static std::string FvrtLineText(const TFvrtRecord& r, bool showData);  // "3, tx:0.5, ty:1"
  // "[12 13 14], mat: 70000, d=-4.200"; without D: "[12 13 14], mat: 70000".
  static std::string FaceLineText(const TFaceRecord& f, bool withD = true);

  // Adds the material id's line to MaterialLines unless the id is already there.
  void AddMaterialLine(int32_t mat);

private:
  std::vector<TFileSetItem> RecordFileItems() const;
  void ResetMaterialIndex();
  [[noreturn]] static void Full(const char* array);

  bool m_loading = false;
  TPoint3 m_boxMin{10000.0f, 10000.0f, 10000.0f};
  TPoint3 m_boxMax{0.0f, 0.0f, 0.0f};
  std::string m_sizeLabel;
  std::string m_radiusLabel;
  std::unordered_set<int32_t> m_materialsListed;
};

// Label texts as Load sets them.
std::string MakeSizeLabel(const TPoint3& boxMin,
                          const TPoint3& boxMax);  // "x:12.5, y:4.0, z:30.2;"
std::string MakeRadiusLabel(float radius);         // "RADI=11.3"
