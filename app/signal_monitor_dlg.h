// "信号监测": a survey an installer watches while moving the antenna. Every N seconds it asks AT+CSQ, and
// AT+CESQ too until the module says it does not know it, step by step on the window's thread through
// CModuleAsker; each poll becomes one sample, drawn on the curve, listed in the table (every value the
// curve shows is there, drawn from the samples themselves), summed up as min / mean / max, and saved as CSV
// on request.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/module_link.h"
#include "app/signal_samples.h"

class CSignalPlot;
class CSignalSampleModel;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

class CSignalMonitorDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDefaultIntervalSeconds = 2;

    CSignalMonitorDlg(QWidget* parent, CModuleAsker& asker);
    ~CSignalMonitorDlg() override;

    void StartSurvey();
    void StopSurvey();
    bool Surveying() const { return m_poll.isActive(); }
    // One poll now, unless one is still waiting for its answers; the timer calls it too.
    void PollNow();
    bool Polling() const { return m_polling; }

    const std::vector<SignalSample>& Samples() const { return m_samples; }
    QString StatsText() const;
    QTableView* Table() const { return m_table; }
    CSignalPlot* Plot() const { return m_plot; }
    QSpinBox* IntervalBox() const { return m_interval; }
    bool AsksCesq() const { return m_askCesq; }
    // The survey's clock, milliseconds since the dialog opened; a benchmark runs an hour on one of its own.
    void SetClock(std::function<qint64()> elapsedMs) { m_elapsedMs = std::move(elapsedMs); }

    void OnClear();
    void OnSave();
    bool SaveTo(const QString& path);

  private:
    void OnCsqAnswer(std::optional<std::string> answer);
    void AddSample(const std::optional<std::string>& csq, const std::optional<std::string>& cesq);
    void ShowStats();

    CModuleAsker& m_asker;
    QTimer m_poll;
    QElapsedTimer m_clock;
    QDateTime m_opened = QDateTime::currentDateTime();
    std::function<qint64()> m_elapsedMs;
    qint64 m_firstMs = 0;  // of the survey's first sample
    bool m_polling = false;
    bool m_askCesq = true;  // until the module answers AT+CESQ with an error
    std::vector<SignalSample> m_samples;
    CSignalPlot* m_plot = nullptr;
    CSignalSampleModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_stats = nullptr;
    QSpinBox* m_interval = nullptr;
    QPushButton* m_startStop = nullptr;
    QPushButton* m_save = nullptr;
};
