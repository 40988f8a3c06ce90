#include "app/signal_plot.h"

#include "res/texts.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kTopDbm = -40;
constexpr double kBottomDbm = -140;
constexpr double kMinSpanSeconds = 60;

struct Band {
    double top;  // dBm, upper edge
    double bottom;
    SignalGrade grade;
    QColor colour;
};

// CSQ 20-31 is -73 dBm and up, 15-19 from -83, 10-14 from -93, 2-9 from -109, 0-1 below.
constexpr std::array<double, 5> kCsqEdges = {kTopDbm, -74, -84, -94, -110};
// RSRP -80 and up excellent, -90 good, -100 fair, below poor.
constexpr std::array<double, 5> kRsrpEdges = {kTopDbm, -80, -90, -100, kBottomDbm};

std::vector<Band> Bands(bool rsrp) {
    const auto& edges = rsrp ? kRsrpEdges : kCsqEdges;
    const std::array<QColor, 5> colours = {QColor(200, 238, 200), QColor(222, 244, 200),
                                           QColor(252, 242, 196), QColor(252, 222, 200),
                                           QColor(232, 232, 232)};
    const std::array<SignalGrade, 5> grades = {SignalGrade::Excellent, SignalGrade::Good, SignalGrade::Fair,
                                               SignalGrade::Poor, SignalGrade::None};
    std::vector<Band> bands;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const double bottom = i + 1 < edges.size() ? edges[i + 1] : kBottomDbm;
        if (bottom < edges[i]) {
            bands.push_back({edges[i], bottom, grades[i], colours[i]});
        }
    }
    return bands;
}

QString Zh(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

double NiceStep(double span) {
    for (double step : {5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0}) {
        if (span / step <= 8) {
            return step;
        }
    }
    return std::ceil(span / 8 / 3600) * 3600;
}

QString TimeLabel(double seconds) {
    const int s = static_cast<int>(std::lround(seconds));
    return s >= 60 ? QString("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0')) : QString("%1s").arg(s);
}

const QColor kCsqColour(30, 90, 200);
const QColor kRsrpColour(160, 40, 140);

}  // namespace

CSignalPlot::CSignalPlot(QWidget* parent) : QWidget(parent) {
    setAccessibleName(Zh(kTextSignalPlotName.utf8));
    setMouseTracking(true);
}

void CSignalPlot::SetSamples(const std::vector<SignalSample>* samples) {
    m_samples = samples;
    update();
}

QRect CSignalPlot::PlotArea() const {
    return rect().adjusted(44, 22, -30, -22);
}

double CSignalPlot::SpanSeconds() const {
    const double last = m_samples && !m_samples->empty() ? m_samples->back().seconds : 0;
    return std::max(kMinSpanSeconds, last);
}

int CSignalPlot::XOf(double seconds) const {
    const QRect area = PlotArea();
    return area.left() + static_cast<int>(std::lround(seconds / SpanSeconds() * area.width()));
}

int CSignalPlot::YOf(double dbm) const {
    const QRect area = PlotArea();
    const double clamped = std::clamp(dbm, kBottomDbm, kTopDbm);
    return area.top() +
           static_cast<int>(std::lround((kTopDbm - clamped) / (kTopDbm - kBottomDbm) * area.height()));
}

void CSignalPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QRect area = PlotArea();
    if (area.width() < 10 || area.height() < 10) {
        return;
    }
    const std::vector<SignalSample> none;
    const std::vector<SignalSample>& samples = m_samples ? *m_samples : none;
    const bool rsrp =
        std::any_of(samples.begin(), samples.end(), [](const SignalSample& s) { return s.rsrp.known; });

    // Grade bands, each named at the right edge.
    for (const Band& band : Bands(rsrp)) {
        const QRect r(QPoint(area.left(), YOf(band.top)), QPoint(area.right(), YOf(band.bottom)));
        p.fillRect(r, band.colour);
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRect(area.right() + 4, r.top(), 26, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   Zh(GradeNameZh(band.grade)));
    }
    // dBm axis.
    p.setPen(QColor(150, 150, 150));
    p.drawRect(area);
    for (double dbm = kTopDbm; dbm >= kBottomDbm; dbm -= 20) {
        const int y = YOf(dbm);
        p.drawLine(area.left() - 3, y, area.left(), y);
        p.drawText(QRect(0, y - 8, area.left() - 5, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(dbm));
    }
    p.drawText(QRect(0, 2, area.left() + 40, 16), Qt::AlignLeft | Qt::AlignVCenter, "dBm");
    // Time axis.
    const double span = SpanSeconds();
    const double step = NiceStep(span);
    for (double t = 0; t <= span + 1e-9; t += step) {
        const int x = XOf(t);
        p.drawLine(x, area.bottom(), x, area.bottom() + 3);
        p.drawText(QRect(x - 30, area.bottom() + 4, 60, 16), Qt::AlignHCenter | Qt::AlignTop, TimeLabel(t));
    }
    // Legend.
    int legendX = area.left() + 40;
    for (const auto& [name, colour, shown] : {std::tuple{QString("CSQ (dBm)"), kCsqColour, true},
                                              std::tuple{QString("RSRP (dBm)"), kRsrpColour, rsrp}}) {
        if (!shown) {
            continue;
        }
        p.fillRect(QRect(legendX, 7, 14, 4), colour);
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRect(legendX + 18, 1, 90, 16), Qt::AlignLeft | Qt::AlignVCenter, name);
        legendX += 110;
    }
    // The series: a gap where a sample has no value. A dot marks each sample while they stand apart; in a
    // long survey they would merge into the line, and drawing thousands a poll makes each poll slower.
    const bool dots = static_cast<double>(samples.size()) * 6 < area.width();
    p.setRenderHint(QPainter::Antialiasing);
    for (const auto& [member, colour] :
         {std::pair{&SignalSample::csqLevel, kCsqColour}, std::pair{&SignalSample::rsrp, kRsrpColour}}) {
        p.setPen(QPen(colour, 2));
        p.setBrush(colour);
        // Within one pixel column only a point that widens the column's span is drawn, and the column's
        // last sample: the same line, with at most a few points a column however long the survey.
        QPainterPath path;
        bool open = false;
        QPointF last;   // the last sample's point
        QPointF added;  // the last point put in the path
        double low = 0;
        double high = 0;
        const auto finishColumn = [&] {
            if (open && last != added) {
                path.lineTo(last);
                added = last;
            }
        };
        for (const SignalSample& s : samples) {
            const SignalLevel& level = s.*member;
            if (!level.known) {
                finishColumn();
                open = false;
                continue;
            }
            const QPointF point(XOf(s.seconds), YOf(LevelValue(level)));
            if (!open || point.x() != last.x()) {
                finishColumn();
                open ? path.lineTo(point) : path.moveTo(point);
                open = true;
                added = point;
                low = high = point.y();
            } else if (point.y() < low || point.y() > high) {
                path.lineTo(point);
                added = point;
                low = std::min(low, point.y());
                high = std::max(high, point.y());
            }
            last = point;
            if (dots) {
                p.drawEllipse(point, 2.5, 2.5);
            }
        }
        finishColumn();
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
}

QString CSignalPlot::ToolTipAt(QPoint point) const {
    if (!m_samples || m_samples->empty()) {
        return {};
    }
    const SignalSample* nearest = nullptr;
    int best = 8;
    for (const SignalSample& s : *m_samples) {
        const int distance = std::abs(XOf(s.seconds) - point.x());
        if (distance <= best) {
            best = distance;
            nearest = &s;
        }
    }
    if (!nearest) {
        return {};
    }
    QString text = nearest->time.toString("HH:mm:ss") + "  CSQ " +
                   (nearest->csq ? QString::number(*nearest->csq) : QString("-")) + "  " +
                   Zh(LevelText(nearest->csqLevel, ModemLanguage::Chinese)) + "  " +
                   Zh(GradeNameZh(nearest->csqGrade));
    if (nearest->rsrp.known) {
        text += "\nRSRP " + Zh(LevelText(nearest->rsrp, ModemLanguage::Chinese)) + "  RSRQ " +
                Zh(LevelText(nearest->rsrq, ModemLanguage::Chinese)) + "  " +
                Zh(GradeNameZh(nearest->rsrpGrade));
    }
    return text;
}

bool CSignalPlot::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}
