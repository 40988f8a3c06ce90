// The device's modem lines (CTS, DSR, DCD, RI) at the right end of the status bar's last pane, shown only
// while a port is open. A raised line is drawn lit; on a port without modem lines (a pseudo-terminal, some
// virtual ports) all four are greyed and their tooltip says why. The pane keeps its place and size: its text
// just ends before the lines while they are shown.
#pragma once

#include <QObject>
#include <QString>
#include <array>

#include "serial/modem_control.h"

class QLabel;
class QWidget;

// A filter on the pane: the lines keep to its right end when a pane beside it (a running log's) narrows it.
class CModemLinesView : public QObject {
  public:
    explicit CModemLinesView(QLabel* pane);

    void Show(const CModemControl::Status& status);
    void Hide();
    bool IsShown() const;
    // The names of the lines drawn lit, in order ("CTS DCD"), for tests and screen readers.
    QString LitLines() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PlaceBox();

    QLabel* m_pane;
    QWidget* m_box;
    std::array<QLabel*, 4> m_lines{};
    unsigned m_lit = 0;
};
