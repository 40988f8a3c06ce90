// Turns the layout rows of res/ into Qt widgets: one loop, one widget per row, in template order so the
// creation order is the tab order. Also the label that reports double-clicks to the window.
#pragma once

#include <QFont>
#include <QLabel>
#include <QRect>
#include <map>

#include "res/main_layout.h"

QFont DialogFont();
QRect ToPixels(const DialogRect& rect);
QString Utf8(std::string_view text);

// A static text with the notify style: it tells the window about double-clicks.
class CNotifyLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;
  signals:
    void doubleClicked();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Builds every row of MainLayout() as a child of parent, fills the combo boxes' lists (nothing selected),
// and returns the addressable controls by id.
std::map<int, QWidget*> BuildMainControls(QWidget* parent);
