#pragma once
// A QAbstractListModel over one of the document's list line stores (TListLines), and the
// glue that keeps a QListView's current line and selection equal to the store's.
//
// The store is the truth: its change notifications become the model's begin/end calls (a
// Load is one reset, so 32,769 lines cost one notification, never one widget per line),
// and its current line and selection are mirrored into the view's selection model. User
// clicks go the other way. A guard flag stops the two directions from feeding each other.

#include <QAbstractListModel>
#include <QListView>

#include "util/Signal.h"

class TListLines;

class TLineListModel final : public QAbstractListModel {
  Q_OBJECT
public:
  TLineListModel(TListLines& lines, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

private:
  TListLines& m_lines;
  TConnection m_aboutToChange;
  TConnection m_changed;
};

// A list box: the QListView, its model, and the mirroring of current line and selection.
// With multiSelect (CornerList) the view allows several selected lines and the current line
// is the focused one.
//
// lineClicked(row) is the list's click: it comes when the user makes a line current, by
// mouse or by keyboard (arrows, Page keys, Home, End), and when the user clicks the line
// that is current already; once per user action. A current line set by the program (the
// store's SetCurrent) is no click.
class TListBox final : public QListView {
  Q_OBJECT
public:
  TListBox(TListLines& lines, bool multiSelect, const QString& name, QWidget* parent = nullptr);
  TListLines& Lines() { return m_lines; }
  // Clicks a line as the user would (selection, current line), then emits clicked().
  void ClickLine(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

signals:
  void lineClicked(int row);

protected:
  void mousePressEvent(QMouseEvent* event) override;

private:
  void SyncFromStore();
  void SyncToStore();

  TListLines& m_lines;
  TLineListModel* m_model;
  TConnection m_storeChanged;
  bool m_multi;
  bool m_syncing = false;
  int m_clickedRow = -1;  // the row this mouse press already reported as a click
};
