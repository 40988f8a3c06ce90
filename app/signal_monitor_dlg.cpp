#include "app/signal_monitor_dlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include "app/save_text_file.h"
#include "app/signal_plot.h"
#include "app/signal_sample_model.h"
#include "modem/module_queries.h"
#include "res/texts.h"

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString StatsLine(std::string_view name, const SeriesStats& stats, std::string_view unit) {
    if (stats.count == 0) {
        return FromUtf8(name) + "  -";
    }
    return QString("%1  %2 %3 / %4 / %5 %6  (%7)")
        .arg(FromUtf8(name), FromUtf8(kTextSurveyMinMeanMax.utf8))
        .arg(stats.min, 0, 'f', 1)
        .arg(stats.mean, 0, 'f', 1)
        .arg(stats.max, 0, 'f', 1)
        .arg(FromUtf8(unit))
        .arg(stats.count);
}

}  // namespace

CSignalMonitorDlg::CSignalMonitorDlg(QWidget* parent, CModuleAsker& asker) : QDialog(parent), m_asker(asker) {
    setWindowTitle(FromUtf8(kTextSurveyTitle.utf8));
    auto* layout = new QVBoxLayout(this);

    auto* controls = new QHBoxLayout;
    auto* intervalLabel = new QLabel(FromUtf8(kTextSurveyInterval.utf8), this);
    m_interval = new QSpinBox(this);
    m_interval->setRange(1, 3600);
    m_interval->setValue(kDefaultIntervalSeconds);
    m_interval->setSuffix(FromUtf8(kTextSurveySeconds.utf8));
    m_interval->setAccessibleName(FromUtf8(kTextSurveyInterval.utf8));
    intervalLabel->setBuddy(m_interval);
    m_startStop = new QPushButton(FromUtf8(kTextSurveyStop.utf8), this);
    auto* clear = new QPushButton(FromUtf8(kTextSurveyClear.utf8), this);
    controls->addWidget(intervalLabel);
    controls->addWidget(m_interval);
    controls->addWidget(m_startStop);
    controls->addWidget(clear);
    controls->addStretch(1);
    layout->addLayout(controls);

    m_plot = new CSignalPlot(this);
    m_plot->SetSamples(&m_samples);
    layout->addWidget(m_plot, 3);

    m_stats = new QLabel(this);
    m_stats->setAccessibleName(FromUtf8(kTextSurveyStatsName.utf8));
    m_stats->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_stats);

    m_model = new CSignalSampleModel(m_samples, this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setAccessibleName(FromUtf8(kTextSurveyTableName.utf8));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(m_table, 2);

    auto* buttons = new QDialogButtonBox(this);
    m_save = buttons->addButton(FromUtf8(kTextSurveySave.utf8), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close)->setText(FromUtf8(kTextDiagClose.utf8));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &CSignalMonitorDlg::OnSave);
    connect(clear, &QPushButton::clicked, this, &CSignalMonitorDlg::OnClear);
    connect(m_startStop, &QPushButton::clicked, this, [this] { Surveying() ? StopSurvey() : StartSurvey(); });
    connect(&m_poll, &QTimer::timeout, this, &CSignalMonitorDlg::PollNow);
    connect(m_interval, &QSpinBox::valueChanged, this, [this](int seconds) {
        if (Surveying()) {
            m_poll.start(seconds * 1000);
        }
    });
    m_clock.start();
    ShowStats();
    resize(640, 560);
}

CSignalMonitorDlg::~CSignalMonitorDlg() {
    m_poll.stop();
    // The asker outlives this dialog; an answer still due must not call back into it.
    m_asker.Cancel();
}

void CSignalMonitorDlg::StartSurvey() {
    m_poll.start(m_interval->value() * 1000);
    m_startStop->setText(FromUtf8(kTextSurveyStop.utf8));
    PollNow();
}

void CSignalMonitorDlg::StopSurvey() {
    m_poll.stop();
    m_startStop->setText(FromUtf8(kTextSurveyStart.utf8));
}

void CSignalMonitorDlg::PollNow() {
    if (m_polling) {
        return;  // a slow module: the next tick asks again
    }
    m_polling = true;
    m_asker.Ask(kQueryCsq, [this](std::optional<std::string> answer) { OnCsqAnswer(std::move(answer)); });
}

void CSignalMonitorDlg::OnCsqAnswer(std::optional<std::string> csq) {
    if (!m_askCesq) {
        AddSample(csq, std::nullopt);
        return;
    }
    m_asker.Ask(kQueryCesq, [this, csq = std::move(csq)](std::optional<std::string> cesq) {
        // A module that does not know AT+CESQ says so once; later polls leave it out.
        if (cesq && ParseCesq(*cesq).status == AnswerStatus::ModuleError) {
            m_askCesq = false;
        }
        AddSample(csq, cesq);
    });
}

void CSignalMonitorDlg::AddSample(const std::optional<std::string>& csq,
                                  const std::optional<std::string>& cesq) {
    m_polling = false;
    const qint64 now = m_elapsedMs ? m_elapsedMs() : m_clock.elapsed();
    if (m_samples.empty()) {
        m_firstMs = now;
    }
    const double seconds = static_cast<double>(now - m_firstMs) / 1000.0;
    m_model->BeginAppend();
    m_samples.push_back(SampleFromAnswers(seconds, m_opened.addMSecs(now), csq, cesq));
    m_model->EndAppend();
    m_table->scrollToBottom();
    ShowStats();
    m_plot->update();
}

QString CSignalMonitorDlg::StatsText() const {
    QString text = StatsLine("CSQ", CsqStats(m_samples), "dBm");
    if (const SeriesStats rsrp = RsrpStats(m_samples); rsrp.count > 0) {
        text += "\n" + StatsLine("RSRP", rsrp, "dBm");
    }
    return text;
}

void CSignalMonitorDlg::ShowStats() {
    m_stats->setText(StatsText());
    m_plot->setAccessibleDescription(StatsText());
    m_save->setEnabled(!m_samples.empty());
}

void CSignalMonitorDlg::OnClear() {
    m_model->BeginClear();
    m_samples.clear();
    m_model->EndClear();
    ShowStats();
    m_plot->update();
}

void CSignalMonitorDlg::OnSave() {
    const QString path = QFileDialog::getSaveFileName(this, FromUtf8(kTextSurveySave.utf8), QString(),
                                                      FromUtf8(kTextSurveyFileFilter.utf8));
    if (!path.isEmpty()) {
        SaveTo(path);
    }
}

bool CSignalMonitorDlg::SaveTo(const QString& path) {
    return SaveTextFile(this, path, SamplesCsv(m_samples));
}
