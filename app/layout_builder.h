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

// The addressable controls by id; the panels take theirs from it.
using ControlMap = std::map<int, QWidget*>;

// Builds every row of MainLayout() as a child of parent, fills the combo boxes' lists (nothing selected),
// and returns the addressable controls by id.
ControlMap BuildMainControls(QWidget* parent);

template <class T>
T* ControlAs(const ControlMap& controls, int id) {
    const auto it = controls.find(id);
    return it == controls.end() ? nullptr : qobject_cast<T*>(it->second);
}
