#include "app/params_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>

#include "app/export_file.h"
#include "app/message_box.h"
#include "app/panel_links.h"
#include "app/status_bar.h"
#include "app/window_timers.h"
#include "modem/module_queries.h"
#include "modem/signal_quality.h"
#include "protocol/command_exchange.h"
#include "protocol/param_form.h"
#include "protocol/profile.h"
#include "res/texts.h"

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

void CParamsPanel::ShowHeldParams() {
    ::ShowDeviceParams(m_params, m_form);
}

bool CParamsPanel::CollectFormForSave() {
    const std::optional<CollectRefusal> refusal = ::CollectDeviceParams(m_form, m_params, kCheckedCollect);
    if (!refusal) {
        return true;
    }
    // Say which field stopped the save rather than silently sending nothing. A field is named as its
    // label beside it reads now, which is the name the layout gave the control and keeps in step.
    QWidget* control = m_controls.at(refusal->controlId);
    const QString label = control->accessibleName();
    QString text;
    switch (refusal->reason) {
        case CollectRefusal::Reason::TooLong:
            text = Utf8(kTextFieldTooLong.utf8).arg(label).arg(refusal->maxBytes);
            break;
        case CollectRefusal::Reason::NotGbk:
            text = Utf8(kTextFieldNotGbk.utf8).arg(label);
            break;
        case CollectRefusal::Reason::NotNumber:
            text = Utf8(kTextFieldNotNumber.utf8).arg(label).arg(refusal->min).arg(refusal->max);
            break;
        case CollectRefusal::Reason::OutOfRange:
            text = Utf8(kTextFieldOutOfRange.utf8).arg(label).arg(refusal->min).arg(refusal->max);
            break;
        case CollectRefusal::Reason::NotParity:
            text = Utf8(kTextFieldNotParity.utf8).arg(label);
            break;
    }
    AppMessageBox(m_window, text);
    FocusAndSelect(control);
    return false;
}

bool CParamsPanel::ExportProfile(const QString& path) {
    const ProfileExport exported = ProfileFromForm(m_form);
    const std::string json = ProfileToJson(exported.profile);
    // The profile holds the APN password: only its owner may read the file, and a link planted at the
    // name must not carry it into another file.
    const ExportFileResult written = WriteExportFile(std::filesystem::path(path.toStdU16String()), json);
    switch (written.kind) {
        case ExportFileResult::Kind::Written:
            break;
        case ExportFileResult::Kind::IsLink:
            AppMessageBox(m_window, Utf8(kTextExportIsLink.utf8).arg(path));
            return false;
        case ExportFileResult::Kind::NotRegular:
            AppMessageBox(m_window, Utf8(kTextExportNotRegular.utf8).arg(path));
            return false;
        case ExportFileResult::Kind::Failed:
            AppMessageBox(m_window,
                          Utf8(kTextCannotWrite.utf8).arg(path, QString::fromStdString(written.detail)));
            return false;
    }
    if (!exported.problems.empty()) {
        // Fields a profile cannot hold are left out rather than written changed.
        QString text = Utf8(kTextFieldsNotExported.utf8);
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
        AppMessageBox(m_window, Utf8(kTextCannotRead.utf8).arg(path, file.errorString()));
        return false;
    }
    const QByteArray json = file.readAll();
    Profile profile;
    if (const auto error = ParseProfile(
            std::string_view(json.constData(), static_cast<std::size_t>(json.size())), profile)) {
        AppMessageBox(m_window, Utf8(kTextProfileInvalid.utf8).arg(QString::fromStdString(error->Text())));
        return false;
    }
    // The device type changes only by the unlock gesture: a locked combo keeps its type.
    const std::string shownType = m_form.GetText(IDC_DEVICE_TYPE).value_or(std::string());
    ApplyProfile(profile, m_form);
    const std::string askedType = m_form.GetText(IDC_DEVICE_TYPE).value_or(std::string());
    const bool keptType = !m_controls.at(IDC_DEVICE_TYPE)->isEnabled() &&
                          IsTempHumidityText(askedType) != IsTempHumidityText(shownType);
    if (keptType) {
        m_form.SetText(IDC_DEVICE_TYPE, shownType);
    }
    OnDeviceTypeChange();
    m_formHasSource = true;
    if (keptType) {
        AppMessageBox(m_window,
                      Utf8(kTextDeviceTypeKept.utf8)
                          .arg(FromGbk(IsTempHumidityText(shownType) ? kTextTempHumidity.gbk : kTextDtu.gbk),
                               FromGbk(askedType)),
                      BoxIcon::Information);
    }
    return true;
}

void CParamsPanel::OnDeviceTypeChange() {
    ::ShowDeviceTypeLayout(IsTempHumidityText(m_form.GetText(IDC_DEVICE_TYPE).value_or(std::string())),
                           m_form);
}

void CParamsPanel::OnDeviceTypeLabelDblClk() {
    ::UnlockDeviceTypeOnCtrlDoubleClick(QApplication::keyboardModifiers().testFlag(Qt::ControlModifier),
                                        m_form);
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
    if (RefuseIfPortClosed(m_window, m_port, m_autoSend)) {
        return;
    }
    if (!m_formHasSource) {
        // A form never filled from the device or a profile would send zeros for the device's own serial
        // settings, which can cut it off for good.
        AppMessageBox(m_window, Utf8(kTextNothingToSave.utf8));
        return;
    }
    if (!CollectFormForSave()) {
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

void CParamsPanel::TakeReceivedBytes(std::span<const std::uint8_t> bytes) {
    CollectResponseRun(m_frame, bytes, [this] { JudgeResponseFrame(); });
}

void CParamsPanel::OnRxIdle() {
    JudgeResponseFrame();
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
    // A module dialog's queries are under way (it observes the frames): their answers and this one would
    // share frames, so this one waits for them as it waits for the port, trying again every half second.
    if (!m_port.IsPortOpen() || m_frameObserver) {
        if (!m_timers.IsTimerRunning(TIMER_SIGNAL_QUERY)) {
            m_timers.SetTimer(TIMER_SIGNAL_QUERY, kSignalQueryDelayMs);
        }
        return;
    }
    m_port.WritePort(AsBytes(kCmdSignalQuery));
    m_sent.CountSent(static_cast<std::int64_t>(kCmdSignalQuery.size()));
    m_timers.KillTimer(TIMER_SIGNAL_QUERY);
}

void CParamsPanel::JudgeResponseFrame() {
    const std::string frameText(reinterpret_cast<const char*>(m_frame.bytes.data()), m_frame.count);
    const DispatchResult result = ::DispatchResponseFrame(m_frame);
    bool damaged = false;
    if (result.kind == ResponseKind::Record) {
        m_params = DeviceParams::FromBytes(result.record);
        ShowHeldParams();
        // Shown all the same, but a damaged record is no base for a save.
        damaged = !RecordIntact(m_params);
        m_formHasSource = !damaged;
    }
    if (result.signal) {
        m_form.SetText(IDC_SIGNAL, *result.signal);
        ShowSignalLevel(frameText);
    }
    if (result.paneText != nullptr) {
        m_statusBar.SetPaneText(2, Utf8(result.paneText->utf8));
    }
    if (m_frameObserver) {
        m_frameObserver(frameText);
    }
    if (damaged) {
        // After this handler: a modal box here would take received bytes in the middle of a frame's
        // collection.
        QMetaObject::invokeMethod(
            m_window, [window = m_window] { AppMessageBox(window, Utf8(kTextRecordDamaged.utf8)); },
            Qt::QueuedConnection);
    }
}

void CParamsPanel::ShowSignalLevel(std::string_view frameText) {
    // The field keeps the device's text; dBm and grade go beside it, where a reader finds them.
    const QueryAnswer<Csq> csq = ParseCsq(frameText);
    QString text = Utf8(kTextSignalTip.utf8) + "：";
    if (csq.Ok()) {
        const std::string level = LevelText(CsqLevel(csq.value.rssi), ModemLanguage::Chinese);
        text += QString("CSQ %1，%2，%3")
                    .arg(csq.value.rssi)
                    .arg(QString::fromStdString(level), Utf8(GradeNameZh(CsqGrade(csq.value.rssi))));
    } else {
        text += "-";
    }
    QWidget* field = m_controls.at(IDC_SIGNAL);
    field->setToolTip(text);
    field->setStatusTip(text);
    field->setAccessibleDescription(text);
}
