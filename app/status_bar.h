// The window's three-pane status bar: port name, open or closed, result of the last action. Each pane is
// a real label so screen readers can read it; pane edges are fixed at creation and never follow the window.
#pragma once

#include <QFrame>
#include <array>

class QLabel;

class CStatusBar : public QFrame {
    Q_OBJECT
  public:
    // rightEdges: right edge of each pane in pixels, -1 for "to the right end of width".
    CStatusBar(QWidget* parent, int width, const std::array<int, 3>& rightEdges);

    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;
    QLabel* Pane(int pane) const { return m_panes.at(static_cast<std::size_t>(pane)); }

  private:
    std::array<QLabel*, 3> m_panes{};
};
