#include "app/diagnosis_dlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/save_text_file.h"
#include "res/texts.h"

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString StatusText(ItemStatus status) {
    switch (status) {
        case ItemStatus::Ok:
            return {};
        case ItemStatus::ModuleError:
            return FromUtf8(kTextDiagModuleError.utf8);
        case ItemStatus::Unreadable:
            return FromUtf8(kTextDiagUnreadable.utf8);
        case ItemStatus::NoAnswer:
            return FromUtf8(kTextDiagNoAnswer.utf8);
        case ItemStatus::NotAsked:
            break;
    }
    return FromUtf8(kTextDiagNotAsked.utf8);
}

// The value cell: the value, or for an item without one what became of its query.
QString ValueText(const DiagnosisItem& item) {
    const QString value = FromUtf8(item.value);
    const QString status = StatusText(item.status);
    if (status.isEmpty()) {
        return value;
    }
    return value.isEmpty() ? status : status + "：" + value;
}

// The run speaks the window's language: a signal's meaning is its grade (优, 良, ...).
QString MeaningText(const DiagnosisItem& item) {
    return FromUtf8(item.meaning);
}

}  // namespace

CDiagnosisDlg::CDiagnosisDlg(QWidget* parent, CModuleAsker& asker, std::string recordApn)
    : QDialog(parent), m_asker(asker), m_recordApn(std::move(recordApn)), m_link(asker) {
    setWindowTitle(FromUtf8(kTextDiagTitle.utf8));
    auto* layout = new QVBoxLayout(this);

    m_verdict = new QLabel(this);
    m_verdict->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_verdict->setAccessibleName(FromUtf8(kTextDiagVerdictName.utf8));
    m_verdict->setWordWrap(true);
    QFont bold = m_verdict->font();
    bold.setBold(true);
    m_verdict->setFont(bold);
    layout->addWidget(m_verdict);

    m_table = new QTableWidget(0, 4, this);
    m_table->setAccessibleName(FromUtf8(kTextDiagTableName.utf8));
    m_table->setHorizontalHeaderLabels({FromUtf8(kTextDiagColItem.utf8), FromUtf8(kTextDiagColValue.utf8),
                                        FromUtf8(kTextDiagColMeaning.utf8), FromUtf8(kTextDiagColRaw.utf8)});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    layout->addWidget(m_table, 1);

    auto* buttons = new QDialogButtonBox(this);
    m_rerun = buttons->addButton(FromUtf8(kTextDiagRerun.utf8), QDialogButtonBox::ActionRole);
    m_copy = buttons->addButton(FromUtf8(kTextDiagCopy.utf8), QDialogButtonBox::ActionRole);
    m_save = buttons->addButton(FromUtf8(kTextDiagSave.utf8), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close)->setText(FromUtf8(kTextDiagClose.utf8));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_rerun, &QPushButton::clicked, this, &CDiagnosisDlg::Start);
    connect(m_copy, &QPushButton::clicked, this, &CDiagnosisDlg::OnCopy);
    connect(m_save, &QPushButton::clicked, this, &CDiagnosisDlg::OnSave);
    layout->addWidget(buttons);
    resize(900, 480);
}

CDiagnosisDlg::~CDiagnosisDlg() {
    StopWorker();
}

void CDiagnosisDlg::StopWorker() {
    m_link.Cancel();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    // No answer may reach the link after this dialog is gone.
    m_asker.Cancel();
}

void CDiagnosisDlg::Start() {
    if (m_worker.joinable()) {
        if (!m_result) {
            return;  // one run at a time
        }
        m_worker.join();
    }
    m_result.reset();
    m_runMs = 0;
    m_runClock.start();
    m_table->setRowCount(0);
    m_verdict->setText(FromUtf8(kTextDiagRunning.utf8));
    m_copy->setEnabled(false);
    m_save->setEnabled(false);
    m_rerun->setEnabled(false);
    m_worker = std::thread([this] {
        Diagnosis diagnosis = RunDiagnosis(m_link, m_recordApn, ModemLanguage::Chinese);
        // Dropped with the dialog if it is gone by then; the destructor joins first, so this is safe.
        QMetaObject::invokeMethod(
            this, [this, diagnosis = std::move(diagnosis)] { ShowDiagnosis(diagnosis); },
            Qt::QueuedConnection);
    });
}

void CDiagnosisDlg::ShowDiagnosis(const Diagnosis& diagnosis) {
    m_result = diagnosis;
    m_table->setRowCount(static_cast<int>(diagnosis.items.size()));
    int row = 0;
    for (const DiagnosisItem& item : diagnosis.items) {
        const QString cells[] = {FromUtf8(item.name), ValueText(item), MeaningText(item), FromUtf8(item.raw)};
        for (int column = 0; column < 4; ++column) {
            auto* cell = new QTableWidgetItem(cells[column]);
            // The whole text, and the command asked, where a narrow column cuts it.
            cell->setToolTip(column == 0 ? FromUtf8(item.command) : cells[column]);
            m_table->setItem(row, column, cell);
        }
        ++row;
    }
    m_table->resizeColumnsToContents();
    // Long meanings would push the raw answers out of sight; the cut text is in each cell's tooltip.
    for (int column : {1, 2}) {
        m_table->setColumnWidth(column, std::min(m_table->columnWidth(column), 260));
    }
    m_verdict->setText(VerdictText());
    m_runMs = m_runClock.elapsed();
    m_copy->setEnabled(true);
    m_save->setEnabled(true);
    m_rerun->setEnabled(true);
}

QString CDiagnosisDlg::VerdictText() const {
    if (!m_result) {
        return {};
    }
    QString text = FromUtf8(kTextDiagVerdictPrefix.utf8) + FromUtf8(VerdictTextZh(m_result->verdict));
    if (!m_result->verdictEvidence.empty()) {
        text += "（" + FromUtf8(m_result->verdictEvidence) + "）";
    }
    return text;
}

QString CDiagnosisDlg::ResultText() const {
    if (!m_result) {
        return {};
    }
    QString text = FromUtf8(kTextDiagTitle.utf8) + "  " + QDateTime::currentDateTime().toString(Qt::ISODate) +
                   "\n" + VerdictText() + "\n\n";
    for (const DiagnosisItem& item : m_result->items) {
        text += FromUtf8(item.name) + " [" + FromUtf8(item.command) + "]\n";
        text += "  " + FromUtf8(kTextDiagColValue.utf8) + "：" + ValueText(item) + "\n";
        if (const QString meaning = MeaningText(item); !meaning.isEmpty()) {
            text += "  " + FromUtf8(kTextDiagColMeaning.utf8) + "：" + meaning + "\n";
        }
        if (!item.raw.empty()) {
            text += "  " + FromUtf8(kTextDiagColRaw.utf8) + "：" + FromUtf8(item.raw) + "\n";
        }
    }
    return text;
}

void CDiagnosisDlg::OnCopy() {
    QApplication::clipboard()->setText(ResultText());
}

void CDiagnosisDlg::OnSave() {
    const QString path = QFileDialog::getSaveFileName(this, FromUtf8(kTextDiagSave.utf8), QString(),
                                                      FromUtf8(kTextDiagFileFilter.utf8));
    if (!path.isEmpty()) {
        SaveTo(path);
    }
}

bool CDiagnosisDlg::SaveTo(const QString& path) {
    const QByteArray bytes = ResultText().toUtf8();
    return SaveTextFile(this, path,
                        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
