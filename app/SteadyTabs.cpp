#include "app/SteadyTabs.h"

#include <QFontMetrics>
#include <algorithm>

namespace {

// The reserve lives in the tab's data, so it moves with the tab.
QSize Reserved(const QTabBar& bar, int index, QSize hint) {
  const QString widest = bar.tabData(index).toString();
  if (widest.isEmpty()) return hint;
  // Measured as the tab bar measures a caption, so that the width does not depend on
  // the caption shown by a rounding.
  const QFontMetrics metrics = bar.fontMetrics();
  const int extra = metrics.size(Qt::TextShowMnemonic, widest).width() -
                    metrics.size(Qt::TextShowMnemonic, bar.tabText(index)).width();
  if (extra > 0) hint.setWidth(hint.width() + extra);
  return hint;
}

}  // namespace

void TSteadyTabBar::ReserveCaption(int index, const QString& widest) {
  setTabData(index, widest);
  updateGeometry();
}

QSize TSteadyTabBar::tabSizeHint(int index) const {
  return Reserved(*this, index, QTabBar::tabSizeHint(index));
}

TSteadyTabs::TSteadyTabs(QWidget* parent) : QTabWidget(parent), m_bar(new TSteadyTabBar(this)) {
  setTabBar(m_bar);
}
