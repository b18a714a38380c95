#include "mesh/MeshDocument.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "mesh/NumberText.h"
#include "mesh/RecordFiles.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

// ---------------------------------------------------------------------------------------
// TListLines

namespace {

const std::string kEmptyLine;

}  // namespace

const std::string& TListLines::Line(int i) const {
  return i >= 0 && i < Count() ? m_lines[static_cast<size_t>(i)] : kEmptyLine;
}

void TListLines::AboutToChange(TListChange kind, int first, int last) {
  if (m_updateDepth == 0) OnAboutToChange.Emit(kind, first, last);
}

void TListLines::Changed(TListChange kind, int first, int last) {
  if (m_updateDepth == 0) OnChanged.Emit(kind, first, last);
}

void TListLines::SetCurrent(int i) {
  if (i < 0 || i >= Count()) i = -1;
  m_current = i;
  Changed(TListChange::Current, i, i);
}

void TListLines::Append(std::string line) {
  const int n = Count();
  AboutToChange(TListChange::Insert, n, n);
  m_lines.push_back(std::move(line));
  Changed(TListChange::Insert, n, n);
}

void TListLines::AppendText(std::string_view text) {
  const int n = Count();
  AboutToChange(TListChange::Insert, n, n);
  if (m_spare.empty()) {
    m_lines.emplace_back(text);
  } else {
    m_lines.push_back(std::move(m_spare.back()));
    m_spare.pop_back();
    m_lines.back().assign(text);
  }
  Changed(TListChange::Insert, n, n);
}

void TListLines::ReplaceLine(int i, std::string line) {
  if (i < 0 || i >= Count()) return;
  m_lines[static_cast<size_t>(i)] = std::move(line);
  Changed(TListChange::Replace, i, i);
}

void TListLines::Clear() {
  AboutToChange(TListChange::Reset, -1, -1);
  // Inside an update the lines are kept for AppendText to refill instead of being freed
  // one by one now and allocated one by one again. AppendText takes them from the back,
  // hence the reversal: a reload of the same lists gives each line the string that held
  // it before, already long enough.
  if (m_updateDepth > 0 && m_spare.empty()) {
    m_spare.swap(m_lines);
    std::reverse(m_spare.begin(), m_spare.end());
  }
  m_lines.clear();
  m_current = -1;
  m_selected.clear();
  Changed(TListChange::Reset, -1, -1);
}

void TListLines::SetSelected(int i, bool selected) {
  if (i < 0 || i >= Count()) return;
  if (selected)
    m_selected.insert(i);
  else
    m_selected.erase(i);
  Changed(TListChange::Current, m_current, m_current);
}

void TListLines::ClearSelection() {
  m_selected.clear();
  Changed(TListChange::Current, m_current, m_current);
}

void TListLines::BeginUpdate() {
  if (m_updateDepth == 0) OnAboutToChange.Emit(TListChange::Reset, -1, -1);
  ++m_updateDepth;
}

void TListLines::EndUpdate() {
  if (m_updateDepth == 0) return;
  if (--m_updateDepth != 0) return;
  m_spare = {};
  OnChanged.Emit(TListChange::Reset, -1, -1);
}

// ---------------------------------------------------------------------------------------
// Line texts and labels

namespace {

// A list line composed in a buffer on the stack and copied once into its list (no string
// per number or piece). Room for the longest: a face line of kMaxFaceLineCorners corners
// with numbers at their longest.
class TLine {
public:
  void Add(std::string_view text) {
    std::memcpy(m_end, text.data(), text.size());
    m_end += text.size();
  }
  void Add(char c) { *m_end++ = c; }
  void Fixed(double value, int decimals) { m_end = PutFixed(m_end, value, decimals); }
  void Rounded(double value, int decimals) { m_end = PutRounded(m_end, value, decimals); }
  void Int(int64_t value) { m_end = PutInt(m_end, value); }
  std::string_view Text() const { return {m_text, static_cast<size_t>(m_end - m_text)}; }

private:
  char m_text[kMaxFaceLineCorners * 22 + 3 * kMaxNumberChars + 64];
  char* m_end = m_text;
};

void AppendVertLine(TLine& s, const TPoint3& p) {
  s.Fixed(p.x, 3);
  s.Add(", ");
  s.Fixed(p.y, 3);
  s.Add(", ");
  s.Fixed(p.z, 3);
}

void AppendFvrtLine(TLine& s, const TFvrtRecord& r, bool showData) {
  if (showData) {
    s.Int(r.Vert);
    s.Add(", tx:");
    s.Rounded(r.Tx, 3);
  }
  s.Add(", ty:");
  s.Rounded(r.Ty, 3);
}

void AppendFaceLine(TLine& s, const TFaceRecord& f, bool withD) {
  s.Add('[');
  const int64_t count = f.FvrtCount;
  const int64_t shown = count < kMaxFaceLineCorners ? count : kMaxFaceLineCorners;
  for (int64_t k = 0; k < shown; ++k) {
    if (k > 0) s.Add(' ');
    s.Int(int64_t{f.FirstFvrt} + k);
  }
  if (count > shown) s.Add(" ...");
  s.Add("], mat: ");
  s.Int(f.Mat);
  if (withD) {
    s.Add(", d=");
    s.Fixed(f.D, 3);
  }
}

}  // namespace

std::string TMeshDocument::VertLineText(const TPoint3& p) {
  TLine s;
  AppendVertLine(s, p);
  return std::string(s.Text());
}

std::string TMeshDocument::FvrtLineText(const TFvrtRecord& r, bool showData) {
  TLine s;
  AppendFvrtLine(s, r, showData);
  return std::string(s.Text());
}

std::string TMeshDocument::FaceLineText(const TFaceRecord& f, bool withD) {
  TLine s;
  AppendFaceLine(s, f, withD);
  return std::string(s.Text());
}

namespace {

// Fixed point with one decimal at a precision of 7 significant digits: the value is first
// rounded to 7 significant digits; one that then needs more than 7 digits in front of the
// point is written with an exponent instead ("1.234568E+07").
std::string FormatSizeComponent(double v) {
  if (!std::isfinite(v)) return FormatFixed(v, 1);
  char sci[64];
  std::snprintf(sci, sizeof sci, "%.6e", v);
  const double seven = std::strtod(sci, nullptr);
  if (std::fabs(seven) >= 1e7) {
    std::snprintf(sci, sizeof sci, "%.6E", v);
    return sci;
  }
  return FormatFixed(seven, 1);
}

}  // namespace

std::string MakeSizeLabel(const TPoint3& boxMin, const TPoint3& boxMax) {
  // The differences of two floats, taken in double so that they are exact.
  return "x:" + FormatSizeComponent(double{boxMax.x} - double{boxMin.x}) +
         ", y:" + FormatSizeComponent(double{boxMax.y} - double{boxMin.y}) +
         ", z:" + FormatSizeComponent(double{boxMax.z} - double{boxMin.z}) + ";";
}

std::string MakeRadiusLabel(float radius) { return "RADI=" + FormatRounded(radius, 1); }

// ---------------------------------------------------------------------------------------
// Document

TMeshDocument::TMeshDocument()
    : VERT(new TPoint3[MeshCapacity]()),
      VTNM(new TPoint3[MeshCapacity]()),
      FVRT(new TFvrtRecord[MeshCapacity]()),
      FACE(new TFaceRecord[MeshCapacity]()) {}

void TMeshDocument::Full(const char* array) {
  throw EMeshDocument(std::string(array) + " is full: it holds at most " +
                      std::to_string(MeshCapacity) + " records");
}

void TMeshDocument::AddVert(const TPoint3& p) {
  if (NumVert >= MeshCapacity) Full("VERT");
  VERT[NumVert] = p;
  if (ShowData) {
    TLine line;
    AppendVertLine(line, p);
    VertexLines.AppendText(line.Text());
  }
  const int32_t index = NumVert++;
  if (!m_loading) OnVertAdded.Emit(index);
}

void TMeshDocument::AddVtnm(const TPoint3& n) {
  if (NumVtnm >= MeshCapacity) Full("VTNM");
  VTNM[NumVtnm] = n;
  if (ShowData) {
    TLine line;
    AppendVertLine(line, n);
    NormalLines.AppendText(line.Text());
  }
  ++NumVtnm;
}

void TMeshDocument::AddFvrt(const TFvrtRecord& r) {
  if (NumFvrt >= MeshCapacity) Full("FVRT");
  FVRT[NumFvrt] = r;
  // Always a line, so that the FVRT list keeps one line per record.
  TLine line;
  AppendFvrtLine(line, r, ShowData);
  CornerLines.AppendText(line.Text());
  ++NumFvrt;
}

void TMeshDocument::AddFace(const TFaceRecord& f) {
  if (NumFace >= MeshCapacity) Full("FACE");
  FACE[NumFace] = f;
  if (ShowData) {
    TLine line;
    AppendFaceLine(line, f, true);
    FaceLines.AppendText(line.Text());
    AddMaterialLine(f.Mat);
  }
  const int32_t index = NumFace++;
  if (!m_loading) OnFaceAdded.Emit(index);
}

int32_t TMeshDocument::StoreVtnm(const TPoint3& n) {
  if (NumVtnm >= MeshCapacity) Full("VTNM");
  VTNM[NumVtnm] = n;
  return NumVtnm++;
}

void TMeshDocument::AddMaterialLine(int32_t mat) {
  if (m_materialsListed.insert(mat).second) {
    std::string s;
    AppendInt(s, mat);
    MaterialLines.Append(std::move(s));
  }
}

void TMeshDocument::ResetMaterialIndex() { m_materialsListed.clear(); }

void TMeshDocument::ClearRecordLists() {
  VertexLines.Clear();
  NormalLines.Clear();
  CornerLines.Clear();
  FaceLines.Clear();
}

void TMeshDocument::Clear() {
  NumVert = NumVtnm = NumFvrt = NumFace = 0;
  ClearRecordLists();
  MaterialLines.Clear();
  ResetMaterialIndex();
  OnListsChanged.Emit();
}

void TMeshDocument::RestoreLoadResults(const TPoint3& boxMin, const TPoint3& boxMax,
                                       std::string sizeLabel, std::string radiusLabel) {
  m_boxMin = boxMin;
  m_boxMax = boxMax;
  m_sizeLabel = std::move(sizeLabel);
  m_radiusLabel = std::move(radiusLabel);
}

TCornerRange TMeshDocument::FaceCorners(const TFaceRecord& f) const {
  int64_t first = f.FirstFvrt;
  int64_t end = first + int64_t{f.FvrtCount};
  if (first < 0) first = 0;
  if (end > NumFvrt) end = NumFvrt;
  if (end <= first) return {};
  return {static_cast<int32_t>(first), static_cast<int32_t>(end - first)};
}

// ---------------------------------------------------------------------------------------
// Record files

namespace {

[[noreturn]] void PartialRecord(const char* name, const std::string& text) {
  throw EInOutError("Cannot load \"" + QuotePathForMessage(HomeFile(name)) + "\": " + text +
                    "; the Load stops here, nothing is made up for the missing bytes");
}

// Reads the record file `name` and hands every record to `add`. A file that ends inside a
// record is refused before any of its records is handed on.
template <class TRecord, class TAdd>
void ReadRecords(const char* name, TListLines& lines, TAdd add) {
  // A file with more records than an array holds fails at the first record past the
  // capacity anyway, so nothing beyond it is read.
  const size_t limit = (static_cast<size_t>(MeshCapacity) + 1) * sizeof(TRecord);
  const std::vector<uint8_t> data = TInputFile(HomeFile(name)).ReadUpTo(limit);
  if (const std::string partial = PartialRecordText(name, data.size(), sizeof(TRecord));
      !partial.empty()) {
    PartialRecord(name, partial);
  }
  lines.Reserve(data.size() / sizeof(TRecord));
  TRecord rec{};
  for (size_t off = 0; off < data.size(); off += sizeof(TRecord)) {
    std::memcpy(&rec, data.data() + off, sizeof(TRecord));
    add(rec);
  }
}

// Ends the list updates of a Load even when it stops on an error, so that list views see
// the partly filled lists.
class TListUpdateScope {
public:
  explicit TListUpdateScope(std::initializer_list<TListLines*> lists) : m_lists(lists) {
    for (TListLines* l : m_lists) l->BeginUpdate();
  }
  ~TListUpdateScope() {
    for (TListLines* l : m_lists) l->EndUpdate();
  }

private:
  std::vector<TListLines*> m_lists;
};

}  // namespace

void TMeshDocument::LoadRecordFiles() {
  RecoverRecordFiles();
  {
    TListUpdateScope updating{&VertexLines, &NormalLines, &CornerLines, &FaceLines, &MaterialLines};
    m_loading = true;
    NumVert = NumVtnm = NumFvrt = NumFace = 0;
    ClearRecordLists();
    MaterialLines.Clear();
    ResetMaterialIndex();

    // The maximum starts at zero: a model wholly on the negative side of an axis gets 0.
    m_boxMax = {0.0f, 0.0f, 0.0f};
    m_boxMin = {10000.0f, 10000.0f, 10000.0f};

    ReadRecords<TPoint3>(kVertFile, VertexLines, [this](const TPoint3& p) {
      if (p.x > m_boxMax.x) m_boxMax.x = p.x;
      if (p.y > m_boxMax.y) m_boxMax.y = p.y;
      if (p.z > m_boxMax.z) m_boxMax.z = p.z;
      if (p.x < m_boxMin.x) m_boxMin.x = p.x;
      if (p.y < m_boxMin.y) m_boxMin.y = p.y;
      if (p.z < m_boxMin.z) m_boxMin.z = p.z;
      AddVert(p);
    });
    ReadRecords<TPoint3>(kVtnmFile, NormalLines, [this](const TPoint3& n) { AddVtnm(n); });
    ReadRecords<TFvrtRecord>(kFvrtFile, CornerLines, [this](const TFvrtRecord& r) { AddFvrt(r); });
    ReadRecords<TFaceRecord>(kFaceFile, FaceLines, [this](const TFaceRecord& f) { AddFace(f); });

    std::string partialRadius;
    try {
      TInputFile file(HomeFile(kRadiFile));
      const std::vector<uint8_t> bytes = file.ReadUpTo(sizeof Radius);
      // The radius is one record: bytes after it (a ripped RADI chunk may carry more) are
      // kept as they are, only a file too short for it is a partial record.
      if (file.Size() < sizeof Radius)
        partialRadius = PartialRecordText(kRadiFile, file.Size(), sizeof Radius);
      // An empty file keeps the old radius.
      if (partialRadius.empty() && bytes.size() == sizeof Radius)
        std::memcpy(&Radius, bytes.data(), sizeof Radius);
    } catch (const EInOutError&) {
      Radius = 1.0f;  // missing, unreadable, or not a regular file
    }
    if (!partialRadius.empty()) PartialRecord(kRadiFile, partialRadius);
    m_loading = false;
  }
  m_sizeLabel = MakeSizeLabel(m_boxMin, m_boxMax);
  m_radiusLabel = MakeRadiusLabel(Radius);
  OnListsChanged.Emit();
  OnLoaded.Emit();
}

void TMeshDocument::SaveRecordFiles() const { WriteRecordFiles(RecordFileItems()); }

void TMeshDocument::SaveRecordFilesAndRadius() const {
  // The radius is the file's first 4 bytes (what Load reads); bytes after them, which a rip
  // of a model with a longer RADI chunk leaves, are kept.
  const std::string path = HomeFile(kRadiFile);
  std::vector<uint8_t> radi(sizeof Radius);
  std::memcpy(radi.data(), &Radius, sizeof Radius);
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    const std::vector<uint8_t> old = ReadWholeFile(path, kMaxRadiFileBytes);
    if (old.size() > radi.size()) radi.insert(radi.end(), old.begin() + 4, old.end());
  }
  std::vector<TFileSetItem> items = RecordFileItems();
  items.push_back({path, radi.data(), radi.size()});
  WriteRecordFiles(items);
}

std::vector<TFileSetItem> TMeshDocument::RecordFileItems() const {
  return {
      {HomeFile(kVertFile), VERT.get(), static_cast<size_t>(NumVert) * sizeof(TPoint3)},
      {HomeFile(kVtnmFile), VTNM.get(), static_cast<size_t>(NumVtnm) * sizeof(TPoint3)},
      {HomeFile(kFvrtFile), FVRT.get(), static_cast<size_t>(NumFvrt) * sizeof(TFvrtRecord)},
      {HomeFile(kFaceFile), FACE.get(), static_cast<size_t>(NumFace) * sizeof(TFaceRecord)},
  };
}
