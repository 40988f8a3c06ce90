#include "app/capture_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/message_box.h"

namespace {

const char* const kTitle = "记录到文件";
const char* const kBrowse = "浏览...";
const char* const kRaw = "原始字节（收到的数据原样写入）";
const char* const kText = "文本，每行开头带时间戳（毫秒）";
const char* const kSent = "包含发送的数据（行首标 TX，收到的标 RX）";
const char* const kNew = "新建（清空已有内容）";
const char* const kAppend = "追加到文件末尾";
const char* const kStart = "开始记录";
const char* const kCancel = "取消";
const char* const kFilter = "日志文件 (*.log *.txt);;所有文件 (*)";
const char* const kNoPath = "请先选择要记录到的文件";

}  // namespace

CCaptureDlg::CCaptureDlg(QWidget* parent, const CaptureRequest& start) : QDialog(parent) {
    setWindowTitle(kTitle);
    setObjectName("CaptureDlg");
    m_path = new QLineEdit(start.path, this);
    m_path->setMinimumWidth(300);
    auto* browse = new QPushButton(kBrowse, this);
    auto* file = new QHBoxLayout;
    file->addWidget(m_path, 1);
    file->addWidget(browse);

    m_raw = new QRadioButton(kRaw, this);
    m_text = new QRadioButton(kText, this);
    auto* formats = new QButtonGroup(this);
    formats->addButton(m_raw);
    formats->addButton(m_text);
    (start.options.format == CaptureOptions::Format::Raw ? m_raw : m_text)->setChecked(true);
    m_sent = new QCheckBox(kSent, this);
    m_sent->setChecked(start.options.includeSent);

    m_new = new QRadioButton(kNew, this);
    m_append = new QRadioButton(kAppend, this);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_new);
    modes->addButton(m_append);
    (start.options.append ? m_append : m_new)->setChecked(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(kStart, QDialogButtonBox::AcceptRole);
    buttons->addButton(kCancel, QDialogButtonBox::RejectRole);

    auto* form = new QFormLayout;
    form->addRow("文件：", file);
    auto* format = new QVBoxLayout;
    format->addWidget(m_raw);
    format->addWidget(m_text);
    format->addWidget(m_sent);
    form->addRow("格式：", format);
    auto* mode = new QHBoxLayout;
    mode->addWidget(m_new);
    mode->addWidget(m_append);
    mode->addStretch();
    form->addRow("已有文件：", mode);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &CCaptureDlg::OnBrowse);
    connect(m_text, &QRadioButton::toggled, this, &CCaptureDlg::OnFormatChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCaptureDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCaptureDlg::reject);
    OnFormatChanged();
}

void CCaptureDlg::OnFormatChanged() {
    // A raw capture is the device's bytes alone: a mark for sent bytes would be a byte it never sent.
    m_sent->setEnabled(m_text->isChecked());
}

void CCaptureDlg::OnBrowse() {
    // Whether an existing file is emptied or added to is this dialog's choice, not the file dialog's.
    const QString path = QFileDialog::getSaveFileName(this, kTitle, m_path->text(), kFilter, nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        m_path->setText(path);
    }
}

CaptureRequest CCaptureDlg::Request() const {
    CaptureRequest request;
    request.path = m_path->text().trimmed();
    request.options.format = m_text->isChecked() ? CaptureOptions::Format::Text : CaptureOptions::Format::Raw;
    request.options.timestamps = true;
    request.options.includeSent = m_text->isChecked() && m_sent->isChecked();
    request.options.append = m_append->isChecked();
    return request;
}

void CCaptureDlg::accept() {
    if (m_path->text().trimmed().isEmpty()) {
        AppMessageBox(this, kNoPath);
        return;
    }
    QDialog::accept();
}
