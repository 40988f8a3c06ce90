// The window's three-pane status bar: port name, open or closed, result of the last action. Each pane is
// a real label so screen readers can read it; pane edges are fixed at creation and never follow the window.
#pragma once

#include <QFrame>
#include <QString>
#include <array>
#include <vector>

class QLabel;

class CStatusBar : public QFrame {
    Q_OBJECT
  public:
    // rightEdges: right edge of each pane in pixels, -1 for "to the right end of width".
    CStatusBar(QWidget* parent, int width, const std::array<int, 3>& rightEdges);

    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;
    QLabel* Pane(int pane) const { return m_panes.at(static_cast<std::size_t>(pane)); }

    // A pane of an option that is on (a capture to a file), at the right end, the last pane giving it
    // room; an empty text takes it away and the last pane has its width again. Named, so several can
    // be shown; the first shown is rightmost.
    void SetSidePane(const QString& name, const QString& text);
    QLabel* SidePane(const QString& name) const;

  private:
    void PlaceSidePanes();

    std::array<QLabel*, 3> m_panes{};
    int m_lastPaneRight = 0;
    std::vector<QLabel*> m_sidePanes;
};
