// The survey's curve: dBm over time, AT+CSQ's level and, where the module gave one, LTE's RSRP, over the
// grade bands of the series that decides (RSRP when there is any, else CSQ). Painted here rather than
// with Qt Charts, which the static Windows build lacks. The picture is not the only place a value lives:
// the survey's table holds every sample, and the tooltip names the sample under the pointer.
#pragma once

#include <QWidget>
#include <vector>

#include "app/signal_samples.h"

class CSignalPlot : public QWidget {
    Q_OBJECT
  public:
    explicit CSignalPlot(QWidget* parent = nullptr);

    // The survey's samples, held by the caller; call again (or update()) after each change.
    void SetSamples(const std::vector<SignalSample>* samples);
    QSize sizeHint() const override { return {520, 220}; }
    QSize minimumSizeHint() const override { return {240, 140}; }
    // The tooltip text for a point of the widget, empty away from any sample.
    QString ToolTipAt(QPoint point) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QRect PlotArea() const;
    double SpanSeconds() const;
    int XOf(double seconds) const;
    int YOf(double dbm) const;

    const std::vector<SignalSample>* m_samples = nullptr;
};
