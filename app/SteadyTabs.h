#pragma once
// A tab widget whose tabs keep their place while their captions change: a tab may reserve
// the width of the widest caption it will show ("VERT/VTNM: 32768/32768"), so that a
// caption growing or shrinking with the line clicked never moves the tabs after it under
// the mouse.

#include <QTabBar>
#include <QTabWidget>

class TSteadyTabBar : public QTabBar {
public:
  explicit TSteadyTabBar(QWidget* parent = nullptr) : QTabBar(parent) {}
  // Tab `index` is at least as wide as it would be with `widest` as its caption.
  void ReserveCaption(int index, const QString& widest);

protected:
  QSize tabSizeHint(int index) const override;
};

class TSteadyTabs : public QTabWidget {
public:
  explicit TSteadyTabs(QWidget* parent = nullptr);
  void ReserveCaption(int index, const QString& widest) { m_bar->ReserveCaption(index, widest); }

private:
  TSteadyTabBar* m_bar;
};
