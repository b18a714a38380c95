#pragma once
// The window tests' helpers: a TDialogs that answers from scripted queues and records every
// message, and a fixture with a fresh home folder (record files written by the test) and a
// main window created on it.

#include <QApplication>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>

#include "app/MainWindow.h"
#include "support/TestSupport.h"
#include "viewers/Dialogs.h"

class TTestDialogs final : public TDialogs {
public:
  QStringList Messages;
  QStringList Errors;
  QStringList Questions;
  QStringList Prompts;
  std::deque<bool> YesNo;                        // empty: Yes
  std::deque<std::optional<QString>> Inputs;     // empty: cancelled
  std::deque<std::optional<QString>> FileNames;  // empty: cancelled
  QStringList SaveQuestions;
  std::deque<TSaveChoice> SaveChoices;  // empty: Discard

  void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
  void ShowError(QWidget*, const QString& text) override { Errors << text; }
  bool AskYesNo(QWidget*, const QString& text) override {
    Questions << text;
    if (YesNo.empty()) return true;
    const bool b = YesNo.front();
    YesNo.pop_front();
    return b;
  }
  TSaveChoice AskSaveChanges(QWidget*, const QString& text) override {
    SaveQuestions << text;
    if (SaveChoices.empty()) return TSaveChoice::Discard;
    const TSaveChoice c = SaveChoices.front();
    SaveChoices.pop_front();
    return c;
  }
  int InputDelayMs = 0;  // how long the user takes to answer an input box
  std::optional<QString> InputBox(QWidget*, const QString& caption, const QString& prompt,
                                  const QString& def) override {
    Prompts << caption + "|" + prompt + "|" + def;
    if (InputDelayMs > 0) QThread::msleep(static_cast<unsigned long>(InputDelayMs));
    return Pop(Inputs);
  }
  std::optional<QString> OpenFileName(QWidget*, const QString&, const QString&) override {
    return Pop(FileNames);
  }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const QString&) override {
    return Pop(FileNames);
  }
  // The "Files of type" each save dialog answers with (empty: the dialog cannot tell).
  std::deque<QString> FileTypes;
  std::optional<QString> SaveFileNameOfType(QWidget*, const QString&, const QString& filter,
                                            QString& type) override {
    type.clear();
    if (!FileTypes.empty()) {
      type = FileTypes.front();
      FileTypes.pop_front();
      if (!filter.split(QStringLiteral(";;")).contains(type)) type = QStringLiteral("not offered");
    }
    return Pop(FileNames);
  }
  QString OpenStart;  // where the last open dialog that names a start began
  std::optional<QString> OpenFileNameAt(QWidget*, const QString&, const QString&,
                                        const QString& start) override {
    OpenStart = start;
    return Pop(FileNames);
  }

private:
  static std::optional<QString> Pop(std::deque<std::optional<QString>>& q) {
    if (q.empty()) return std::nullopt;
    auto v = q.front();
    q.pop_front();
    return v;
  }
};

// Record files in the home folder, written byte by byte as the game's chunk payloads.
struct TSampleMesh {
  std::vector<std::array<float, 3>> Verts;
  std::vector<std::array<float, 3>> Normals;
  struct Fvrt {
    int32_t Vert, Vtnm;
    float Tx, Ty;
  };
  std::vector<Fvrt> Fvrts;
  struct Face {
    int32_t Vtnm;
    float D;
    int32_t Mat, First, Count;
  };
  std::vector<Face> Faces;
  float Radius = 2.5f;

  void Write(const testsupport::TempDir& home) const {
    using namespace testsupport;
    Bytes v, n, fv, fa, r;
    for (auto& p : Verts)
      for (float c : p) PutF32(v, c);
    for (auto& p : Normals)
      for (float c : p) PutF32(n, c);
    for (auto& f : Fvrts) {
      PutU32(fv, static_cast<uint32_t>(f.Vert));
      PutU32(fv, static_cast<uint32_t>(f.Vtnm));
      PutF32(fv, f.Tx);
      PutF32(fv, f.Ty);
    }
    for (auto& f : Faces) {
      PutU32(fa, static_cast<uint32_t>(f.Vtnm));
      PutF32(fa, f.D);
      PutU32(fa, static_cast<uint32_t>(f.Mat));
      PutU32(fa, static_cast<uint32_t>(f.First));
      PutU32(fa, static_cast<uint32_t>(f.Count));
      PutU32(fa, 0);
      PutU32(fa, 0x7F0096FF);
    }
    PutF32(r, Radius);
    WriteBytes(home.File("vert.kvt"), v);
    WriteBytes(home.File("vtnm.kvt"), n);
    WriteBytes(home.File("fvrt.kvt"), fv);
    WriteBytes(home.File("face.kvt"), fa);
    WriteBytes(home.File("radi.kvt"), r);
  }

  // A square of four vertices split into two triangles, a fifth vertex on its own; six
  // corners; materials 70000 and 70001; one normal fewer than vertices.
  static TSampleMesh Square() {
    TSampleMesh m;
    m.Verts = {{-10, -10, 0}, {10, -10, 0}, {10, 10, 0}, {-10, 10, 0}, {0, 0, 15}};
    m.Normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    m.Fvrts = {{0, 0, 0, 0}, {1, 1, 1, 0}, {2, 2, 1, 1},
               {0, 0, 0, 0}, {2, 2, 1, 1}, {3, 3, 0.0625f, 0.5f}};
    m.Faces = {{0, -4.2f, 70000, 0, 3}, {1, 0, 70001, 3, 3}};
    return m;
  }
};

class WindowTest : public ::testing::Test {
protected:
  void TearDown() override { form.reset(); }
  QString Ini() const { return QString::fromStdString(home.File("model.ini")); }
  // Creates and shows the main window (the start-up runs on the first show).
  TMainWindow& Open() {
    form = std::make_unique<TMainWindow>(Ini(), &dialogs);
    form->show();
    QApplication::processEvents();
    return *form;
  }
  TMainWindow& OpenLoaded(const TSampleMesh& mesh = TSampleMesh::Square()) {
    mesh.Write(home);
    Open();
    form->Load();
    return *form;
  }

  testsupport::TempDir home;
  TTestDialogs dialogs;
  std::unique_ptr<TMainWindow> form;
};
