// The PNG chart of a results.csv: receive rates on a log scale (cat is orders of magnitude above the window)
// and resident memory per run below, each row's target marked on its bar. Drawn with QPainter into a QImage.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/benches.h"

namespace {

struct ChartRow {
    QString name;
    double mbPerSecond = 0;
    QString ratio;
    double rssMb = 0;
};

constexpr int kWidth = 1000;
constexpr int kLabelWidth = 170;
constexpr int kBarHeight = 26;
constexpr int kGap = 8;

// The receive targets (rate in MB/s, resident memory in MB) of the rows that have one; 0 for none.
double RateTarget(const QString& name) {
    return name == "window-text" || name == "window-gbk" || name == "window-mixed" || name == "window-log"
               ? 10
           : name == "window-hex"     ? 4
           : name == "window-stopped" ? 30
                                      : 0;
}
double RssTarget(const QString& name) {
    return name.startsWith("rss-") ? 80 : 0;
}

bool ReadRows(const QString& path, std::vector<ChartRow>& rows) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    QTextStream in(&file);
    const QStringList header = in.readLine().split(',');
    const auto column = [&](const char* name) { return header.indexOf(name); };
    const int name = column("name");
    const int rate = column("bytes_per_s");
    const int ratio = column("ratio_cat");
    const int rss = column("rss_mb");
    if (name < 0 || rate < 0 || ratio < 0 || rss < 0) {
        return false;
    }
    while (!in.atEnd()) {
        const QStringList cells = in.readLine().split(',');
        if (cells.size() < header.size()) {
            continue;
        }
        rows.push_back({cells[name], cells[rate].toDouble() / 1e6, cells[ratio], cells[rss].toDouble()});
    }
    return true;
}

// One panel of horizontal bars; position maps a value to 0..1 of the bar area.
template <class Value, class Position, class Label>
int DrawPanel(QPainter& painter, int top, const QString& title, const std::vector<ChartRow>& rows,
              Value value, Position position, Label label, double (*target)(const QString&)) {
    const int barLeft = kLabelWidth;
    const int barWidth = kWidth - kLabelWidth - 190;
    painter.setPen(Qt::black);
    painter.setFont(QFont(painter.font().family(), 12, QFont::Bold));
    painter.drawText(20, top + 18, title);
    painter.setFont(QFont(painter.font().family(), 10));
    int y = top + 32;
    for (const ChartRow& row : rows) {
        if (value(row) <= 0) {
            continue;
        }
        const int length =
            std::max(2, static_cast<int>(barWidth * std::clamp(position(value(row)), 0.0, 1.0)));
        painter.setPen(Qt::black);
        painter.drawText(QRect(10, y, kLabelWidth - 20, kBarHeight), Qt::AlignRight | Qt::AlignVCenter,
                         row.name);
        painter.fillRect(barLeft, y + 3, length, kBarHeight - 6,
                         row.name == "cat" ? QColor(150, 150, 150) : QColor(60, 120, 200));
        if (const double goal = target(row.name); goal > 0) {
            const int x = barLeft + static_cast<int>(barWidth * std::clamp(position(goal), 0.0, 1.0));
            painter.save();
            painter.setPen(QPen(QColor(200, 40, 40), 3));
            painter.drawLine(x, y, x, y + kBarHeight);
            painter.restore();
        }
        // The figure is written over the target mark, so that both stay readable.
        painter.drawText(QRect(barLeft + length + 6, y, 300, kBarHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         label(row));
        y += kBarHeight + kGap;
    }
    return y;
}

}  // namespace

int RunChart(int argc, char** argv, const BenchArgs&) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: quendal-bench chart results.csv out.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    std::vector<ChartRow> rows;
    if (!ReadRows(QString::fromLocal8Bit(argv[2]), rows)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    // Rates by whole decades around the targets and every measured rate.
    double top = 100;
    double bottom = 1;
    int rateRows = 0;
    int rssRows = 0;
    for (const ChartRow& row : rows) {
        if (row.mbPerSecond > 0) {
            top = std::max(top, row.mbPerSecond);
            bottom = std::min(bottom, row.mbPerSecond);
            ++rateRows;
        }
        rssRows += row.rssMb > 0 ? 1 : 0;
    }
    const double lowLog = std::max(-4.0, std::floor(std::log10(bottom)));
    const double highLog = std::ceil(std::log10(top));
    const auto ratePosition = [&](double mb) { return (std::log10(mb) - lowLog) / (highLog - lowLog); };
    double rssTop = 80;  // the memory target
    for (const ChartRow& row : rows) {
        rssTop = std::max(rssTop, row.rssMb);
    }

    const int height = 2 * 50 + (rateRows + rssRows) * (kBarHeight + kGap) + 30;
    QImage image(kWidth, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const int rateTop = 10;
    const int rateEnd = DrawPanel(
        painter, rateTop, "Receive rate, MB/s (log scale); ratio to cat; red: the row's target", rows,
        [](const ChartRow& r) { return r.mbPerSecond; }, ratePosition,
        [](const ChartRow& r) {
            return QString("%1 MB/s  x%2")
                .arg(r.mbPerSecond, 0, 'f', r.mbPerSecond < 10 ? 2 : 0)
                .arg(r.ratio);
        },
        RateTarget);
    // Decade ticks across the rate panel.
    const int barWidth = kWidth - kLabelWidth - 190;
    painter.setFont(QFont(painter.font().family(), 8));
    for (double decade = lowLog; decade <= highLog; decade += 1) {
        const int x = kLabelWidth + static_cast<int>(barWidth * (decade - lowLog) / (highLog - lowLog));
        painter.setPen(QColor(210, 210, 210));
        painter.drawLine(x, rateTop + 26, x, rateEnd);
        painter.setPen(Qt::darkGray);
        painter.drawText(QRect(x - 30, rateEnd, 60, 14), Qt::AlignCenter,
                         QString::number(std::pow(10.0, decade), 'g', 6));
    }

    DrawPanel(
        painter, rateEnd + 20, "Resident memory (VmRSS) at the end of the run, MB", rows,
        [](const ChartRow& r) { return r.rssMb; }, [&](double mb) { return mb / rssTop; },
        [](const ChartRow& r) { return QString("%1 MB").arg(r.rssMb, 0, 'f', 1); }, RssTarget);
    painter.end();

    if (!image.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
