#include "app/capture_control.h"

#include <QLocale>
#include <QMenu>

#include "app/message_box.h"
#include "app/status_bar.h"

namespace {

const char* const kStartEntry = "记录到文件...";
const char* const kStopEntry = "停止记录到文件";
const char* const kRefused = "无法记录到文件：\n%1";
const char* const kFailed = "记录到文件已停止：写入失败。\n%1\n\n此前的数据都已写入文件；程序照常运行。";
const char* const kStatus = "记录中：%1 字节";
constexpr int kStatusBeatMs = 500;

}  // namespace

const char* const CCaptureControl::kStatusPane = "CapturePane";

CCaptureControl::CCaptureControl(QWidget* window, CStatusBar& statusBar)
    : m_window(window), m_statusBar(statusBar) {
    m_last.options.format = CaptureOptions::Format::Text;
    m_statusBeat.setInterval(kStatusBeatMs);
    connect(&m_statusBeat, &QTimer::timeout, this, &CCaptureControl::ShowStatus);
}

CCaptureControl::~CCaptureControl() {
    // The writer's thread may still post a failure: it is joined before this object goes.
    m_writer.reset();
}

void CCaptureControl::AddMenuEntry(QMenu& menu) {
    if (IsOn()) {
        menu.addAction(kStopEntry, this, &CCaptureControl::Stop);
    } else {
        menu.addAction(kStartEntry, this, &CCaptureControl::OnChoose);
    }
}

void CCaptureControl::OnChoose() {
    CCaptureDlg dialog(m_window, m_last);
    if (dialog.exec() == QDialog::Accepted) {
        Start(dialog.Request());
    }
}

bool CCaptureControl::Start(const CaptureRequest& request) {
    Stop();
    m_last = request;
    std::string error;
    // The failure comes on the writer's thread; the box and the stop belong to the window's.
    const int run = ++m_run;
    auto onFailure = [this, run](const std::string&) {
        QMetaObject::invokeMethod(
            this, [this, run] { OnFailed(run); }, Qt::QueuedConnection);
    };
    const std::filesystem::path path(request.path.toStdU16String());
    m_writer = CCaptureWriter::Start(path, request.options, onFailure, error);
    if (!m_writer) {
        AppMessageBox(m_window, QString(kRefused).arg(QString::fromStdString(error)), BoxIcon::Error);
        return false;
    }
    ShowStatus();
    m_statusBeat.start();
    return true;
}

void CCaptureControl::Stop() {
    if (!m_writer) {
        return;
    }
    const std::string error = m_writer->Stop();
    m_writer.reset();
    m_statusBeat.stop();
    m_statusBar.SetSidePane(kStatusPane, QString());
    if (!error.empty()) {
        AppMessageBox(m_window, QString(kFailed).arg(QString::fromStdString(error)), BoxIcon::Error);
    }
}

void CCaptureControl::OnFailed(int run) {
    // A capture stopped or replaced since has told its failure already.
    if (run == m_run) {
        Stop();
    }
}

void CCaptureControl::OnReceived(std::span<const std::uint8_t> bytes) {
    if (m_writer) {
        m_writer->Received(bytes);
    }
}

void CCaptureControl::OnSent(std::span<const std::uint8_t> bytes) {
    if (m_writer) {
        m_writer->Sent(bytes);
    }
}

void CCaptureControl::ShowStatus() {
    if (m_writer) {
        m_statusBar.SetSidePane(
            kStatusPane,
            QString(kStatus).arg(QLocale::c().toString(static_cast<qulonglong>(BytesWritten()))));
    }
}
