// Window side of the device protocol: the form binding's refusal box and the five device commands.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "app/layout_builder.h"
#include "app/message_box.h"
#include "app/qt_param_form.h"
#include "app/quendal_dlg.h"
#include "protocol/command_exchange.h"
#include "protocol/param_form.h"

namespace {

const char* const kPortClosedText = "串口没有打开，请打开串口";

// The caption that names a form field in a refusal; some labels follow the device type, so those are
// read from their label control at the time of the refusal.
QString FieldLabel(const CQuendalDlg& dlg, int id) {
    struct Entry {
        int id;
        int labelId;
        const char* caption;
    };
    static const Entry kLabels[] = {
        {IDC_APN, IDC_STATIC, "APN"},
        {IDC_APN_USER, IDC_STATIC, "用户名"},
        {IDC_APN_PASSWORD, IDC_STATIC, "密码"},
        {IDC_DEV_BAUD, IDC_STATIC, "波特率"},
        {IDC_DEV_DATABITS, IDC_STATIC, "数据位"},
        {IDC_DEV_PARITY, IDC_STATIC, "校验位"},
        {IDC_DEV_STOPBITS, IDC_STATIC, "停止位"},
        {IDC_DEVICE_ID, IDC_DEVICE_ID_LABEL, nullptr},
        {IDC_REBOOT_PERIOD, IDC_STATIC, "自动重启周期"},
        {IDC_HEARTBEAT_PERIOD, IDC_HEARTBEAT_LABEL, nullptr},
        {IDC_NETCHECK_PERIOD, IDC_NETCHECK_LABEL, nullptr},
        {IDC_COMM_MODE, IDC_STATIC, "通讯模式"},
        {IDC_POSITIONING, IDC_STATIC, "定位功能"},
        {IDC_DEVICE_TYPE, IDC_DEVICE_TYPE_LABEL, nullptr},
        {IDC_COMM_TYPE, IDC_STATIC, "通讯类型"},
        {IDC_PACK_MAX_LEN, IDC_STATIC, "打包最大长度"},
        {IDC_PACK_MAX_TIME, IDC_STATIC, "打包最长时间"},
        {IDC_DNS, IDC_STATIC, "DNS"},
        {IDC_DNS_PERIOD, IDC_STATIC, "DNS更新周期"},
    };
    for (const Entry& entry : kLabels) {
        if (entry.id == id) {
            if (entry.caption != nullptr) {
                return QString::fromUtf8(entry.caption);
            }
            return dlg.ControlAs<QLabel>(entry.labelId)->text();
        }
    }
    for (int n = 1; n <= 6; ++n) {
        if (id == RemoteAddrId(n) || id == RemotePortId(n)) {
            return QString("远程地址和端口%1").arg(n);
        }
    }
    return QString();
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

void CQuendalDlg::ShowDeviceParams() {
    ::ShowDeviceParams(m_params, *m_form);
}

bool CQuendalDlg::CollectDeviceParams() {
    const std::optional<CollectRefusal> refusal = ::CollectDeviceParams(*m_form, m_params);
    if (!refusal) {
        return true;
    }
    // Say which field stopped the save rather than silently sending nothing.
    const QString label = FieldLabel(*this, refusal->controlId);
    const QString text = refusal->reason == CollectRefusal::Reason::TooLong
                             ? QString("%1 过长：最多 %2 字节").arg(label).arg(refusal->maxBytes)
                             : QString("%1 含有无法发送的字符").arg(label);
    AppMessageBox(this, text);
    FocusAndSelect(Control(refusal->controlId));
    return false;
}

void CQuendalDlg::OnDeviceTypeLabelDblClk() {
    ::OnDeviceTypeLabelDblClk(QApplication::keyboardModifiers().testFlag(Qt::ControlModifier), *m_form);
}

bool CQuendalDlg::RefuseIfPortClosed() {
    if (m_port.IsOpen()) {
        return false;
    }
    m_autoSend->setChecked(false);
    AppMessageBox(this, kPortClosedText);
    return true;
}

void CQuendalDlg::SendCommand(std::span<const std::uint8_t> bytes, const QString& paneText) {
    m_port.WriteBytes(bytes.data(), bytes.size());
    AddTx(static_cast<std::int64_t>(bytes.size()));
    ShowTxCount();
    SetPaneText(2, paneText);
}

namespace {
std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
}  // namespace

void CQuendalDlg::OnReadParams() {
    if (RefuseIfPortClosed()) {
        return;
    }
    m_port.WriteText(kCmdReadParams.data());
    AddTx(static_cast<std::int64_t>(kCmdReadParams.size()));
    m_form->SetText(IDC_SIGNAL, "-");
    KillTimer(TIMER_SIGNAL_QUERY);
    m_signalQueryHeld = false;
    SetTimer(TIMER_SIGNAL_QUERY, kSignalQueryDelayMs);
    ShowTxCount();
    SetPaneText(2, Utf8(kTextReading.utf8));
}

void CQuendalDlg::OnSaveParams() {
    if (RefuseIfPortClosed() || !CollectDeviceParams()) {
        return;
    }
    const auto frame = BuildSaveFrame(m_params.Bytes());
    SendCommand(frame, Utf8(kTextSaving.utf8));
}

void CQuendalDlg::OnFactoryDefaults() {
    if (!RefuseIfPortClosed()) {
        SendCommand(AsBytes(kCmdFactoryDefaults), Utf8(kTextRestoring.utf8));
    }
}

void CQuendalDlg::OnRebootDevice() {
    if (!RefuseIfPortClosed()) {
        SendCommand(AsBytes(kCmdReboot), Utf8(kTextRebooting.utf8));
    }
}

void CQuendalDlg::DispatchResponseFrame() {
    const DispatchResult result = ::DispatchResponseFrame(m_frame);
    if (result.kind == ResponseKind::Record) {
        m_params = DeviceParams::FromBytes(result.record);
        ShowDeviceParams();
    }
    if (result.signal) {
        m_form->SetText(IDC_SIGNAL, *result.signal);
    }
    if (result.paneText != nullptr) {
        SetPaneText(2, Utf8(result.paneText->utf8));
    }
}
