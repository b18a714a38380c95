#include "app/LineListModel.h"

#include <QItemSelectionModel>
#include <QMouseEvent>

#include "mesh/MeshDocument.h"

TLineListModel::TLineListModel(TListLines& lines, QObject* parent)
    : QAbstractListModel(parent), m_lines(lines) {
  m_aboutToChange = m_lines.OnAboutToChange.Connect([this](TListChange kind, int first, int last) {
    if (kind == TListChange::Reset)
      beginResetModel();
    else if (kind == TListChange::Insert)
      beginInsertRows(QModelIndex(), first, last);
  });
  m_changed = m_lines.OnChanged.Connect([this](TListChange kind, int first, int last) {
    if (kind == TListChange::Reset)
      endResetModel();
    else if (kind == TListChange::Insert)
      endInsertRows();
    else if (kind == TListChange::Replace)
      emit dataChanged(index(first), index(last));
  });
}

int TLineListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_lines.Count();
}

QVariant TLineListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  return QString::fromStdString(m_lines.Line(index.row()));
}

TListBox::TListBox(TListLines& lines, bool multiSelect, const QString& name, QWidget* parent)
    : QListView(parent), m_lines(lines), m_multi(multiSelect) {
  setObjectName(name);
  // Uniform rows let the view skip measuring 32,769 lines.
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                               : QAbstractItemView::SingleSelection);
  m_model = new TLineListModel(lines, this);
  setModel(m_model);
  // Connected after the model, so that the model's own bookkeeping runs first.
  m_storeChanged = m_lines.OnChanged.Connect([this](TListChange kind, int, int) {
    if (kind == TListChange::Current || kind == TListChange::Reset) SyncFromStore();
  });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { SyncToStore(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (m_syncing) return;  // the program moved it
            SyncToStore();
            if (!current.isValid()) return;
            m_clickedRow = current.row();
            emit lineClicked(current.row());
          });
  // A click on the line that is current already changes nothing above, yet is a click.
  connect(this, &QListView::clicked, this, [this](const QModelIndex& i) {
    if (i.row() != m_clickedRow) emit lineClicked(i.row());
    m_clickedRow = -1;
  });
}

void TListBox::mousePressEvent(QMouseEvent* event) {
  m_clickedRow = -1;
  QListView::mousePressEvent(event);
}

void TListBox::ClickLine(int row, Qt::KeyboardModifiers modifiers) {
  if (row < 0 || row >= m_model->rowCount()) return;
  const QModelIndex idx = m_model->index(row);
  scrollTo(idx);
  const QRect r = visualRect(idx);
  QMouseEvent press(QEvent::MouseButtonPress, r.center(), viewport()->mapToGlobal(r.center()),
                    Qt::LeftButton, Qt::LeftButton, modifiers);
  QMouseEvent release(QEvent::MouseButtonRelease, r.center(), viewport()->mapToGlobal(r.center()),
                      Qt::LeftButton, Qt::NoButton, modifiers);
  mousePressEvent(&press);
  mouseReleaseEvent(&release);
}

void TListBox::SyncFromStore() {
  if (m_syncing) return;
  m_syncing = true;
  QItemSelectionModel* sel = selectionModel();
  const int current = m_lines.Current();
  const QModelIndex idx = current >= 0 ? m_model->index(current) : QModelIndex();
  if (m_multi) {
    QItemSelection selection;
    for (int row : m_lines.Selected()) selection.select(m_model->index(row), m_model->index(row));
    sel->select(selection, QItemSelectionModel::ClearAndSelect);
    sel->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
  } else {
    sel->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
  }
  if (idx.isValid()) scrollTo(idx);
  m_syncing = false;
}

void TListBox::SyncToStore() {
  if (m_syncing) return;
  m_syncing = true;
  const QModelIndex cur = selectionModel()->currentIndex();
  if (m_multi) {
    m_lines.ClearSelection();
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
      m_lines.SetSelected(i.row(), true);
  }
  m_lines.SetCurrent(cur.isValid() ? cur.row() : -1);
  m_syncing = false;
}
