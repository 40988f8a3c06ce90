#include "app/modem_lines_view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "serial/modem_lines.h"

namespace {

struct LineName {
    unsigned bit;
    const char* name;
};
constexpr LineName kLines[] = {{kLineCts, "CTS"}, {kLineDsr, "DSR"}, {kLineDcd, "DCD"}, {kLineRi, "RI"}};

constexpr int kLineWidth = 28;
constexpr const char* kLitStyle = "QLabel { background: #3c9a3c; color: white; font-weight: bold; }";
constexpr const char* kDarkStyle = "QLabel { color: #606060; }";
constexpr const char* kAbsentStyle = "QLabel { color: #b0b0b0; }";

}  // namespace

CModemLinesView::CModemLinesView(QLabel* pane) : m_pane(pane), m_box(new QWidget(pane)) {
    m_box->setObjectName("ModemLines");
    auto* layout = new QHBoxLayout(m_box);
    layout->setContentsMargins(0, 2, 2, 2);
    layout->setSpacing(1);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        auto* line = new QLabel(QString::fromLatin1(kLines[i].name), m_box);
        line->setAlignment(Qt::AlignCenter);
        line->setFixedWidth(kLineWidth);
        layout->addWidget(line);
        m_lines[i] = line;
    }
    m_box->resize(static_cast<int>(m_lines.size()) * (kLineWidth + 1) + 2, pane->height());
    PlaceBox();
    m_box->hide();
    pane->installEventFilter(this);
}

void CModemLinesView::PlaceBox() {
    m_box->setGeometry(m_pane->width() - m_box->width() - 2, 0, m_box->width(), m_pane->height());
}

bool CModemLinesView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pane && event->type() == QEvent::Resize) {
        PlaceBox();
    }
    return QObject::eventFilter(watched, event);
}

void CModemLinesView::Show(const CModemControl::Status& status) {
    m_lit = status.available ? status.lines : 0;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        QLabel* line = m_lines[i];
        const bool lit = (m_lit & kLines[i].bit) != 0;
        line->setStyleSheet(QString::fromLatin1(!status.available ? kAbsentStyle
                                                : lit             ? kLitStyle
                                                                  : kDarkStyle));
        line->setToolTip(status.available ? QString()
                                          : QString::fromUtf8("此端口没有调制解调器信号线（如虚拟串口）"));
    }
    if (!m_box->isVisible()) {
        // The pane's own text stops short of the lines instead of running under them.
        m_pane->setContentsMargins(0, 0, m_box->width() + 4, 0);
        m_box->show();
    }
}

void CModemLinesView::Hide() {
    m_box->hide();
    m_pane->setContentsMargins(0, 0, 0, 0);
    m_lit = 0;
}

bool CModemLinesView::IsShown() const {
    return !m_box->isHidden();
}

QString CModemLinesView::LitLines() const {
    QStringList names;
    for (const LineName& line : kLines) {
        if (m_lit & line.bit) {
            names << QString::fromLatin1(line.name);
        }
    }
    return names.join(' ');
}
