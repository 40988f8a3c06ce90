#include "app/params_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSaveFile>

#include "app/message_box.h"
#include "app/panel_links.h"
#include "app/status_bar.h"
#include "app/window_timers.h"
#include "protocol/command_exchange.h"
#include "protocol/param_form.h"
#include "protocol/profile.h"

namespace {

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void FocusAndSelect(QWidget* control) {
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->selectAll();
    } else if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit()) {
        combo->lineEdit()->selectAll();
    }
}

}  // namespace

CParamsPanel::CParamsPanel(QWidget* window, const ControlMap& controls, IPortLink& port, ISentCount& sent,
                           IAutoSend& autoSend, CStatusBar& statusBar, CWindowTimers& timers)
    : m_window(window),
      m_controls(controls),
      m_port(port),
      m_sent(sent),
      m_autoSend(autoSend),
      m_statusBar(statusBar),
      m_timers(timers),
      m_form(controls) {}

void CParamsPanel::ShowDeviceParams() {
    ::ShowDeviceParams(m_params, m_form);
}

bool CParamsPanel::CollectDeviceParams() {
    const std::optional<CollectRefusal> refusal = ::CollectDeviceParams(m_form, m_params);
    if (!refusal) {
        return true;
    }
    // Say which field stopped the save rather than silently sending nothing. A field is named as its
    // label beside it reads now, which is the name the layout gave the control and keeps in step.
    QWidget* control = m_controls.at(refusal->controlId);
    const QString label = control->accessibleName();
    const QString text = refusal->reason == CollectRefusal::Reason::TooLong
                             ? QString("%1 过长：最多 %2 字节").arg(label).arg(refusal->maxBytes)
                             : QString("%1 含有无法发送的字符").arg(label);
    AppMessageBox(m_window, text);
    FocusAndSelect(control);
    return false;
}

bool CParamsPanel::ExportProfile(const QString& path) {
    const ProfileExport exported = ProfileFromForm(m_form);
    const std::string json = ProfileToJson(exported.profile);
    // The profile holds the APN password: only its owner may read the file.
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) &&
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
        file.write(json.data(), static_cast<qint64>(json.size())) == static_cast<qint64>(json.size()) &&
        file.commit();
    if (!written) {
        AppMessageBox(m_window, QString("无法写入 %1：%2").arg(path, file.errorString()));
        return false;
    }
    if (!exported.problems.empty()) {
        // Fields a profile cannot hold are left out rather than written changed.
        QString text = "以下字段未导出：";
        for (const ProfileError& problem : exported.problems) {
            text += "\n" + QString::fromStdString(problem.Text());
        }
        AppMessageBox(m_window, text);
    }
    return true;
}

bool CParamsPanel::ImportProfile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        AppMessageBox(m_window, QString("无法读取 %1：%2").arg(path, file.errorString()));
        return false;
    }
    const QByteArray json = file.readAll();
    Profile profile;
    if (const auto error = ParseProfile(
            std::string_view(json.constData(), static_cast<std::size_t>(json.size())), profile)) {
        AppMessageBox(m_window, QString("配置文件有误：%1").arg(QString::fromStdString(error->Text())));
        return false;
    }
    ApplyProfile(profile, m_form);
    return true;
}

void CParamsPanel::OnDeviceTypeLabelDblClk() {
    ::OnDeviceTypeLabelDblClk(QApplication::keyboardModifiers().testFlag(Qt::ControlModifier), m_form);
}

void CParamsPanel::SendCommand(std::span<const std::uint8_t> bytes, const QString& paneText) {
    m_port.WritePort(bytes);
    m_sent.CountSent(static_cast<std::int64_t>(bytes.size()));
    m_statusBar.SetPaneText(2, paneText);
}

void CParamsPanel::OnReadParams() {
    if (RefuseIfPortClosed(m_window, m_port, m_autoSend)) {
        return;
    }
    m_port.WritePort(AsBytes(kCmdReadParams));
    m_sent.CountSent(static_cast<std::int64_t>(kCmdReadParams.size()));
    m_form.SetText(IDC_SIGNAL, "-");
    m_timers.KillTimer(TIMER_SIGNAL_QUERY);
    m_signalQueryHeld = false;
    m_timers.SetTimer(TIMER_SIGNAL_QUERY, kSignalQueryDelayMs);
    m_statusBar.SetPaneText(2, Utf8(kTextReading.utf8));
}

void CParamsPanel::OnSaveParams() {
    if (RefuseIfPortClosed(m_window, m_port, m_autoSend) || !CollectDeviceParams()) {
        return;
    }
    const auto frame = BuildSaveFrame(m_params.Bytes());
    SendCommand(frame, Utf8(kTextSaving.utf8));
}

void CParamsPanel::OnFactoryDefaults() {
    if (!RefuseIfPortClosed(m_window, m_port, m_autoSend)) {
        SendCommand(AsBytes(kCmdFactoryDefaults), Utf8(kTextRestoring.utf8));
    }
}

void CParamsPanel::OnRebootDevice() {
    if (!RefuseIfPortClosed(m_window, m_port, m_autoSend)) {
        SendCommand(AsBytes(kCmdReboot), Utf8(kTextRebooting.utf8));
    }
}

void CParamsPanel::CollectResponseBytes(std::span<const std::uint8_t> bytes) {
    CollectResponseRun(m_frame, bytes, [this] { DispatchResponseFrame(); });
}

void CParamsPanel::OnRxIdle() {
    DispatchResponseFrame();
    m_timers.KillTimer(TIMER_RX_IDLE);
    if (m_signalQueryHeld) {
        // The frame that held the query back is judged: the query goes now, or waits for the port on the
        // timer as before.
        m_signalQueryHeld = false;
        SendSignalQuery();
    }
}

void CParamsPanel::OnSignalQueryDue() {
    if (m_timers.IsTimerRunning(TIMER_RX_IDLE)) {
        // An answer is still arriving; a query now would be answered into the same frame, and a frame
        // holding the record is read only for the record.
        m_timers.KillTimer(TIMER_SIGNAL_QUERY);
        m_signalQueryHeld = true;
    } else {
        SendSignalQuery();
    }
}

void CParamsPanel::SendSignalQuery() {
    if (!m_port.IsPortOpen()) {
        // Waits for the port, trying again every half second.
        if (!m_timers.IsTimerRunning(TIMER_SIGNAL_QUERY)) {
            m_timers.SetTimer(TIMER_SIGNAL_QUERY, kSignalQueryDelayMs);
        }
        return;
    }
    m_port.WritePort(AsBytes(kCmdSignalQuery));
    m_sent.CountSent(static_cast<std::int64_t>(kCmdSignalQuery.size()));
    m_timers.KillTimer(TIMER_SIGNAL_QUERY);
}

void CParamsPanel::DispatchResponseFrame() {
    const DispatchResult result = ::DispatchResponseFrame(m_frame);
    if (result.kind == ResponseKind::Record) {
        m_params = DeviceParams::FromBytes(result.record);
        ShowDeviceParams();
    }
    if (result.signal) {
        m_form.SetText(IDC_SIGNAL, *result.signal);
    }
    if (result.paneText != nullptr) {
        m_statusBar.SetPaneText(2, Utf8(result.paneText->utf8));
    }
}
