#include "app/status_bar.h"

#include <QLabel>
#include <algorithm>

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
    m_lastPaneRight = left;
    show();
}

void CStatusBar::SetPaneText(int pane, const QString& text) {
    Pane(pane)->setText(text);
    // The last pane gives room to the modem lines and a running log's count; the whole text stays at hand.
    Pane(pane)->setToolTip(text);
}

QString CStatusBar::PaneText(int pane) const {
    return Pane(pane)->text();
}

QLabel* CStatusBar::SidePane(const QString& name) const {
    for (QLabel* pane : m_sidePanes) {
        if (pane->objectName() == name) {
            return pane;
        }
    }
    return nullptr;
}

void CStatusBar::SetSidePane(const QString& name, const QString& text) {
    QLabel* pane = SidePane(name);
    if (text.isEmpty()) {
        if (pane) {
            m_sidePanes.erase(std::find(m_sidePanes.begin(), m_sidePanes.end(), pane));
            delete pane;
            PlaceSidePanes();
        }
        return;
    }
    if (!pane) {
        pane = new QLabel(this);
        pane->setObjectName(name);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setTextFormat(Qt::PlainText);
        m_sidePanes.push_back(pane);
        pane->show();
    }
    pane->setText(text);
    // Only ever wider, so a growing count does not make the panes beside it jump.
    const int width = pane->fontMetrics().horizontalAdvance(text) + 12;
    if (width > pane->width() || pane->height() != height()) {
        pane->resize(std::max(width, pane->width()), height());
    }
    PlaceSidePanes();
}

void CStatusBar::PlaceSidePanes() {
    int right = m_lastPaneRight;
    for (QLabel* pane : m_sidePanes) {
        pane->move(right - pane->width(), 0);
        right -= pane->width();
    }
    QLabel* last = m_panes.back();
    last->resize(std::max(0, right - last->x()), last->height());
}
