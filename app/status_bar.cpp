#include "app/status_bar.h"

#include <QLabel>

namespace {
constexpr int kStatusBarHeight = 22;
}

CStatusBar::CStatusBar(QWidget* parent, int width, const std::array<int, 3>& rightEdges) : QFrame(parent) {
    setObjectName("StatusBar");
    setAccessibleName("StatusBar");
    setGeometry(0, parent->height() - kStatusBarHeight, width, kStatusBarHeight);
    int left = 0;
    for (std::size_t i = 0; i < m_panes.size(); ++i) {
        const int right = rightEdges[i] < 0 ? width : rightEdges[i];
        auto* pane = new QLabel(this);
        pane->setObjectName(QString("StatusPane%1").arg(i));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setGeometry(left, 0, right - left, kStatusBarHeight);
        pane->setTextFormat(Qt::PlainText);
        m_panes[i] = pane;
        left = right;
    }
    show();
}

void CStatusBar::SetPaneText(int pane, const QString& text) {
    Pane(pane)->setText(text);
}

QString CStatusBar::PaneText(int pane) const {
    return Pane(pane)->text();
}
