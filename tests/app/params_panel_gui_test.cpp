// The parameter form: a record that arrives on the receive path fills every control, a collection turns the
// form back into the record, and the refusals point the user at the field. The form's behaviour is tested
// on the params panel alone; the routing of a double-click and the signal query's timing in the window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout_builder.h"
#include "app/panel_links.h"
#include "app/params_panel.h"
#include "app/quendal_dlg.h"
#include "app/status_bar.h"
#include "app/window_timers.h"
#include "protocol/profile.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

using Record = std::array<std::uint8_t, 440>;

// Records are built by hand at the device's offsets, not through DeviceParams.
struct RecordBuilder {
    Record bytes{};

    RecordBuilder& U8(std::size_t offset, std::uint8_t value) {
        bytes[offset] = value;
        return *this;
    }
    RecordBuilder& U16(std::size_t offset, std::uint16_t value) {
        bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
        return *this;
    }
    RecordBuilder& I32(std::size_t offset, std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
        return *this;
    }
    // gbk must be shorter than the field's width.
    RecordBuilder& Text(std::size_t offset, std::size_t width, std::string_view gbk) {
        EXPECT_LT(gbk.size(), width);
        for (std::size_t i = 0; i < width; ++i) {
            bytes[offset + i] = i < gbk.size() ? static_cast<std::uint8_t>(gbk[i]) : 0;
        }
        return *this;
    }
    RecordBuilder& Checksum() {
        unsigned sum = 0;
        for (std::size_t i = 0; i < 439; ++i) {
            sum += bytes[i];
        }
        bytes[439] = static_cast<std::uint8_t>(sum & 0xFF);
        return *this;
    }
};

// An NB-IoT temperature/humidity device with every kind of field filled.
Record NbIotSensorRecord() {
    RecordBuilder r;
    r.U16(0, 0x0C01)
        .U8(2, 0x55)  // online, links 1, 3 and 5 up
        .U8(3, 200)
        .U16(4, 65535)
        .U16(6, 300)
        .Text(8, 16, "DEV-0042")
        .Text(24, 32, "cmnet\xD2\xC6\xB6\xAF")  // cmnet移动
        .Text(56, 40, "user")
        .Text(96, 40, "p@ss")
        .Text(136, 16, "10.1.2.3")
        .I32(152, 14400)  // no list item has it
        .U8(156, '7')
        .U8(157, 'E')
        .U8(158, '2')
        .U16(160, 1024)
        .U16(162, 50);
    for (std::size_t n = 1; n <= 6; ++n) {
        r.Text(164 + 40 * (n - 1), 40, "srv" + std::to_string(n) + ".example.com");
        r.U16(404 + 2 * (n - 1), static_cast<std::uint16_t>(5000 + n));
    }
    r.Text(416, 16, "8.8.8.8").U16(432, 3600).U8(434, 0x0B).U8(435, 0).Checksum();
    return r.bytes;
}

// A 4G DTU: nothing online, UDP, odd bytes in the character fields.
Record FourGDtuRecord() {
    RecordBuilder r;
    r.U16(0, 0x0100)
        .U8(2, 0x80)
        .U8(3, 0)
        .U16(4, 60)
        .U16(6, 1)
        .Text(8, 16, "\xD6\xD0\xCE\xC4\xC9\xE8\xB1\xB8\xBA\xC5")  // 中文设备号
        .Text(24, 32, "internet")
        .I32(152, -1)
        .U8(156, 0)
        .U8(157, 'X')
        .U8(158, '1')
        .Text(164, 40, "1.2.3.4")
        .U16(404, 80)
        .U8(434, 0x00)
        .U8(435, 1)
        .Checksum();
    return r.bytes;
}

// The sensor's record as a 4G-form DTU: every field one the window sends back as it is.
Record SavableDtuRecord() {
    RecordBuilder r;
    r.bytes = NbIotSensorRecord();
    r.U8(434, 0x03).Checksum();
    return r.bytes;
}

// The record as the device sends it, then the pause that ends the frame.
void FeedRecord(CQuendalDlg& dlg, const Record& record) {
    std::vector<std::uint8_t> frame = {'+', 'C', 'O', 'N', 'F', 'I', 'G', '='};
    frame.insert(frame.end(), record.begin(), record.end());
    dlg.OnPortRxRun(frame, 1);
    dlg.OnTimerTick(TIMER_RX_IDLE);
}

void FeedRecord(CParamsPanel& panel, const Record& record) {
    std::vector<std::uint8_t> frame = {'+', 'C', 'O', 'N', 'F', 'I', 'G', '='};
    frame.insert(frame.end(), record.begin(), record.end());
    panel.TakeReceivedBytes(frame);
    panel.OnRxIdle();
}

QString TextOf(const ControlMap& controls, int id) {
    QWidget* control = ControlAs<QWidget>(controls, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text();
    }
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        return combo->currentText();
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    ADD_FAILURE() << "no text control " << id;
    return {};
}

QStringList ListOf(const ControlMap& controls, int id) {
    auto* combo = ControlAs<QComboBox>(controls, id);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

void ExpectTexts(const ControlMap& controls, const std::map<int, QString>& expected) {
    for (const auto& [id, text] : expected) {
        EXPECT_EQ(TextOf(controls, id), text) << "control " << id;
    }
}

// The params panel alone: the window's controls and a status bar in a plain widget, the window's timers,
// and stand-ins for the port, the TX count and auto send. What the form shows and collects needs nothing
// else.
struct CParamsOnHost {
    struct Port : IPortLink {
        bool IsPortOpen() const override { return open; }
        void WritePort(std::span<const std::uint8_t> bytes) override {
            if (!open) {
                ADD_FAILURE() << "written to a closed port";
            }
            written.emplace_back(bytes.begin(), bytes.end());
        }
        bool open = false;
        std::vector<std::vector<std::uint8_t>> written;
    };
    struct Sent : ISentCount {
        explicit Sent(const Port& of) : port(of) {}
        void CountSent(std::int64_t) override {
            if (!port.open) {
                ADD_FAILURE() << "counted as sent";
            }
        }
        void ResetSentCount() override {}
        const Port& port;
    };
    struct AutoSend : IAutoSend {
        bool IsAutoSendOn() const override { return false; }
        void StopAutoSend() override {}
    };
    CParamsOnHost() {
        host.setFont(DialogFont());
        host.resize(550, 586);
        host.show();
    }
    QWidget* Control(int id) const { return ControlAs<QWidget>(controls, id); }

    QWidget host;
    ControlMap controls = BuildMainControls(&host);
    CStatusBar* statusBar = new CStatusBar(&host, 550, {60, 200, -1});
    CWindowTimers timers{&host, [](int) {}};
    Port port;
    Sent sent{port};
    AutoSend autoSend;
    CParamsPanel panel{&host, controls, port, sent, autoSend, *statusBar, timers};
};

constexpr int kLinkEditsTwoToSix[] = {IDC_REMOTE_ADDR2, IDC_REMOTE_PORT2, IDC_REMOTE_ADDR3, IDC_REMOTE_PORT3,
                                      IDC_REMOTE_ADDR4, IDC_REMOTE_PORT4, IDC_REMOTE_ADDR5, IDC_REMOTE_PORT5,
                                      IDC_REMOTE_ADDR6, IDC_REMOTE_PORT6};

class ParamsWindow : public ::testing::Test {
  protected:
    void SetUp() override { BoxRecorder::Clear(); }
    CQuendalDlg dlg;
};

class ParamsPanelAlone : public ::testing::Test {
  protected:
    void SetUp() override { BoxRecorder::Clear(); }
    CParamsOnHost m;
    CParamsPanel& panel = m.panel;
    const ControlMap& controls = m.controls;
};

TEST_F(ParamsPanelAlone, ReceivedRecordFillsEveryControlAndTheNextOneRestoresTheDtuForm) {
    FeedRecord(panel, NbIotSensorRecord());
    EXPECT_EQ(m.statusBar->PaneText(2), "参数读取完毕！");
    ExpectTexts(controls, {
                              {IDC_MODULE_TYPE, "NB-IoT模组"},
                              {IDC_FIRMWARE_VERSION, "V0c01"},
                              {IDC_NET_STATUS, "在线"},
                              {IDC_LINK_STATE1, "√"},
                              {IDC_LINK_STATE2, "×"},
                              {IDC_LINK_STATE3, "√"},
                              {IDC_LINK_STATE4, "×"},
                              {IDC_LINK_STATE5, "√"},
                              {IDC_LINK_STATE6, "×"},
                              {IDC_LOCAL_IP, "10.1.2.3"},
                              {IDC_APN, "cmnet移动"},
                              {IDC_APN_USER, "user"},
                              {IDC_APN_PASSWORD, "p@ss"},
                              {IDC_DEV_BAUD, "14400"},
                              {IDC_DEV_DATABITS, "7"},
                              {IDC_DEV_PARITY, "EVEN"},
                              {IDC_DEV_STOPBITS, "2"},
                              {IDC_DEVICE_ID, "DEV-0042"},
                              {IDC_REBOOT_PERIOD, "200"},
                              {IDC_HEARTBEAT_PERIOD, "65535"},
                              {IDC_NETCHECK_PERIOD, "300"},
                              {IDC_COMM_MODE, "非透明"},
                              {IDC_POSITIONING, "开启"},
                              {IDC_DEVICE_TYPE, "温湿度"},
                              {IDC_COMM_TYPE, "CoAP"},
                              {IDC_PACK_MAX_LEN, "1024"},
                              {IDC_PACK_MAX_TIME, "50"},
                              {IDC_DNS, "8.8.8.8"},
                              {IDC_DNS_PERIOD, "3600"},
                              {IDC_DEVICE_ID_LABEL, "IMEI号"},
                              {IDC_HEARTBEAT_LABEL, "温湿度上报周期"},
                              {IDC_NETCHECK_LABEL, "设备地址"},
                          });
    for (int n = 1; n <= 6; ++n) {
        // Greyed on the sensor, but still showing what the device holds.
        EXPECT_EQ(TextOf(controls, RemoteAddrId(n)), QString("srv%1.example.com").arg(n));
        EXPECT_EQ(TextOf(controls, RemotePortId(n)), QString::number(5000 + n));
    }
    EXPECT_EQ(ListOf(controls, IDC_COMM_TYPE), QStringList({"CoAP", "UDP"}));
    EXPECT_TRUE(m.Control(IDC_REMOTE_ADDR1)->isEnabled());
    EXPECT_TRUE(m.Control(IDC_REMOTE_PORT1)->isEnabled());
    for (int id : kLinkEditsTwoToSix) {
        EXPECT_FALSE(m.Control(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(m.Control(IDC_DEVICE_TYPE)->isEnabled());

    FeedRecord(panel, FourGDtuRecord());
    ExpectTexts(controls, {
                              {IDC_MODULE_TYPE, "4G模组"},
                              {IDC_FIRMWARE_VERSION, "V0100"},
                              {IDC_NET_STATUS, "不在线"},
                              {IDC_LINK_STATE1, "×"},
                              {IDC_LINK_STATE6, "×"},
                              {IDC_LOCAL_IP, ""},
                              {IDC_APN, "internet"},
                              {IDC_APN_USER, ""},
                              {IDC_DEV_BAUD, "-1"},
                              {IDC_DEV_DATABITS, ""},
                              {IDC_DEV_PARITY, "NONE"},
                              {IDC_DEV_STOPBITS, "1"},
                              {IDC_DEVICE_ID, "中文设备号"},
                              {IDC_REBOOT_PERIOD, "0"},
                              {IDC_COMM_MODE, "透明"},
                              {IDC_POSITIONING, "关闭"},
                              {IDC_DEVICE_TYPE, "DTU"},
                              {IDC_COMM_TYPE, "UDP"},
                              {IDC_REMOTE_ADDR1, "1.2.3.4"},
                              {IDC_REMOTE_ADDR2, ""},
                              {IDC_REMOTE_PORT1, "80"},
                              {IDC_REMOTE_PORT2, "0"},
                              {IDC_DNS, ""},
                              {IDC_DEVICE_ID_LABEL, "设备ID号"},
                              {IDC_HEARTBEAT_LABEL, "心跳包周期"},
                              {IDC_NETCHECK_LABEL, "网络检测周期"},
                          });
    EXPECT_EQ(ListOf(controls, IDC_COMM_TYPE), QStringList({"TCP", "UDP"}));
    for (int id : kLinkEditsTwoToSix) {
        EXPECT_TRUE(m.Control(id)->isEnabled()) << id;
    }
}

TEST_F(ParamsPanelAlone, CommTypeOtherThanUdpNamesTheModulesOwnProtocol) {
    struct Case {
        std::uint16_t version;
        std::uint8_t commType;
        const char* shown;
    };
    for (const Case& c : {Case{0x0C01, 0, "CoAP"}, Case{0x0400, 2, "CoAP"}, Case{0x0800, 1, "UDP"},
                          Case{0x0100, 0, "TCP"}, Case{0x0100, 2, "TCP"}, Case{0xF3FF, 1, "UDP"}}) {
        RecordBuilder r;
        r.U16(0, c.version).U8(435, c.commType).Checksum();
        FeedRecord(panel, r.bytes);
        EXPECT_EQ(TextOf(controls, IDC_COMM_TYPE), c.shown)
            << std::hex << c.version << " " << int(c.commType);
    }
}

TEST_F(ParamsPanelAlone, CollectAfterAShownRecordGivesItBackWithOnlyTheToolsBytes) {
    for (const Record& received : {NbIotSensorRecord(), SavableDtuRecord()}) {
        FeedRecord(panel, received);
        ASSERT_TRUE(panel.CollectFormForSave());
        // Written out by hand: what the device gets back is what it sent, minus the bytes the tool does
        // not own (status, local IP, reserved bytes, flag bits it does not interpret).
        RecordBuilder expected;
        expected.bytes = received;
        expected.U8(2, 0).Text(136, 16, "").U8(159, 0).U8(436, 0).U8(437, 0).U8(438, 0);
        expected.U8(434, static_cast<std::uint8_t>(received[434] & 0x0B));
        expected.Checksum();
        const auto held = panel.HeldParams().Bytes();
        EXPECT_TRUE(std::equal(held.begin(), held.end(), expected.bytes.begin()));
        EXPECT_TRUE(BoxRecorder::Boxes().empty());
    }
    // A baud rate of -1 is shown as the device holds it, but the window does not send it back.
    FeedRecord(panel, FourGDtuRecord());
    EXPECT_FALSE(panel.CollectFormForSave());
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_TRUE(BoxRecorder::Boxes()[0].text.contains("波特率"))
        << BoxRecorder::Boxes()[0].text.toStdString();
}

TEST_F(ParamsPanelAlone, RefusedTextOrNumberIsNamedWithItsTextSelected) {
    struct Case {
        int id;
        QString text;
        bool accepted;
        QStringList boxNames;      // every one must appear in the box text
        bool sensorShown = false;  // a sensor's record first: the labels follow the device type
    };
    const QString emoji = QString::fromUtf8("ID\xF0\x9F\x98\x80");
    const Case cases[] = {
        {IDC_APN, QString(31, 'a'), true, {}},
        {IDC_APN, QString(32, 'a'), false, {"APN", "31"}},
        {IDC_APN, QString("移动") + QString(27, 'a'), true, {}},  // 4 + 27 = 31 bytes
        {IDC_APN, QString("移动") + QString(28, 'a'), false, {"APN", "31"}},
        {IDC_DEVICE_ID, QString("中文中文中文中"), true, {}},  // 14 bytes
        {IDC_DEVICE_ID, QString("中文中文中文中文"), false, {"设备ID号", "15"}},
        {IDC_DEVICE_ID, emoji, false, {"设备ID号"}},
        {IDC_APN_USER, QString(40, 'u'), false, {"用户名", "39"}},
        {IDC_DNS, QString(16, '8'), false, {"DNS", "15"}},
        {IDC_REMOTE_ADDR6, QString(40, 'r'), false, {"远程地址和端口6", "39"}},
        {IDC_DEVICE_ID, QString(16, 'i'), false, {"IMEI号", "15"}, true},
        {IDC_REMOTE_PORT1, "70000", false, {"远程地址和端口1", "超出范围", "65535"}},
        {IDC_DEV_BAUD, "abc", false, {"波特率", "不是整数"}},
        {IDC_DEV_DATABITS, "300", false, {"数据位", "5", "8"}},
        {IDC_DEV_PARITY, "mark", false, {"校验位", "NONE"}},
        {IDC_DEV_PARITY, "odd", true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        CParamsOnHost alone;
        FeedRecord(alone.panel, c.sensorShown ? NbIotSensorRecord() : SavableDtuRecord());
        BoxRecorder::Clear();
        QWidget* control = alone.Control(c.id);
        auto* combo = qobject_cast<QComboBox*>(control);
        QLineEdit* edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(control);
        if (combo) {
            combo->setEditText(c.text);
        } else {
            edit->setText(c.text);
        }
        ControlAs<QLineEdit>(alone.controls, IDC_DNS_PERIOD)->setFocus();
        EXPECT_EQ(alone.panel.CollectFormForSave(), c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(BoxRecorder::Boxes().empty());
            continue;
        }
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
        for (const QString& name : c.boxNames) {
            EXPECT_TRUE(BoxRecorder::Boxes()[0].text.contains(name))
                << BoxRecorder::Boxes()[0].text.toStdString();
        }
        EXPECT_TRUE(alone.host.focusWidget() == control || alone.host.focusWidget() == edit);
        EXPECT_EQ(edit->selectedText(), c.text);
    }
}

TEST_F(ParamsPanelAlone, RefusedApnLeavesTheLaterFieldsOfTheHeldRecordZero) {
    FeedRecord(panel, NbIotSensorRecord());
    ControlAs<QLineEdit>(controls, IDC_APN)->setText(QString(32, 'a'));
    ASSERT_FALSE(panel.CollectFormForSave());
    RecordBuilder expected;
    expected.U16(0, 0x0C01);
    const auto held = panel.HeldParams().Bytes();
    EXPECT_TRUE(std::equal(held.begin(), held.end(), expected.bytes.begin()));
}

TEST_F(ParamsWindow, CtrlDoubleClickOnTheDeviceTypeLabelUnlocksTheCombo) {
    QWidget* label = dlg.Control(IDC_DEVICE_TYPE_LABEL);
    QWidget* combo = dlg.Control(IDC_DEVICE_TYPE);
    QTest::mouseDClick(label, Qt::LeftButton);
    EXPECT_FALSE(combo->isEnabled());
    QTest::mouseDClick(label, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FALSE(combo->isEnabled());
    QTest::mouseDClick(label, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_TRUE(combo->isEnabled());
    // The labels go with the type chosen, as a save would write it.
    qobject_cast<QComboBox*>(combo)->setEditText("温湿度");
    EXPECT_EQ(dlg.ControlAs<QLabel>(IDC_DEVICE_ID_LABEL)->text(), "IMEI号");
    EXPECT_FALSE(dlg.Control(IDC_REMOTE_ADDR2)->isEnabled());
    qobject_cast<QComboBox*>(combo)->setEditText("DTU");
    EXPECT_EQ(dlg.ControlAs<QLabel>(IDC_DEVICE_ID_LABEL)->text(), "设备ID号");
    // Nothing locks it again: neither a plain double-click nor a record.
    QTest::mouseDClick(label, Qt::LeftButton);
    FeedRecord(dlg, FourGDtuRecord());
    FeedRecord(dlg, NbIotSensorRecord());
    EXPECT_TRUE(combo->isEnabled());
}

// Half a character at the end of a received text field shows as U+FFFD, and a save refuses it by name
// rather than sending the field changed.
TEST_F(ParamsPanelAlone, FieldEndingInHalfACharacterShowsItAndASaveNamesTheField) {
    const QString bad(QChar::ReplacementCharacter);
    struct Case {
        std::function<void(RecordBuilder&)> fill;
        int id;
        QString shown;
        QString name;
    };
    const Case cases[] = {
        {[](RecordBuilder& r) { r.Text(24, 32, "abc\x81"); }, IDC_APN, "abc" + bad, "APN"},
        {[](RecordBuilder& r) { r.Text(24, 32, "\xD2\xC6\xB6"); }, IDC_APN, "移" + bad, "APN"},
        {[](RecordBuilder& r) { r.U8(156, 0xB0); }, IDC_DEV_DATABITS, bad, "数据位"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        CParamsOnHost alone;
        BoxRecorder::Clear();
        RecordBuilder r;
        r.bytes = SavableDtuRecord();
        c.fill(r);
        r.Checksum();
        FeedRecord(alone.panel, r.bytes);
        EXPECT_EQ(TextOf(alone.controls, c.id), c.shown);
        EXPECT_FALSE(alone.panel.CollectFormForSave());
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
        EXPECT_TRUE(BoxRecorder::Boxes()[0].text.contains(c.name))
            << BoxRecorder::Boxes()[0].text.toStdString();
    }
}

// Typing into a form list saves what was typed: no completion from the list's items.
TEST_F(ParamsWindow, TypedComboTextIsNotCompleted) {
    struct Case {
        int id;
        const char* typed;
    };
    for (const Case& c : {Case{IDC_DEV_BAUD, "96"}, Case{IDC_DEV_BAUD, "1"}, Case{IDC_DEV_PARITY, "o"}}) {
        SCOPED_TRACE(c.typed);
        CQuendalDlg window;
        auto* combo = window.ControlAs<QComboBox>(c.id);
        combo->setFocus();
        QTest::keyClicks(combo, c.typed);
        EXPECT_EQ(combo->currentText(), QString(c.typed));
    }
}

// The signal query goes 500 ms after a read, but never into an answer still arriving: it waits for that
// frame to be judged and goes at once after it.
class SignalQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.IsValid()) << m_pty.Error();
        ASSERT_FALSE(m_pty.LinkAs(m_dir.Path(), 1).empty()) << m_pty.Error();
        m_dlg = std::make_unique<CQuendalDlg>();
        m_dlg->ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        ASSERT_TRUE(m_dlg->IsPortOpen());
        Click(IDC_READ_PARAMS);
        ASSERT_EQ(Sent(), "DTU+CONFIG\r");
    }
    void Click(int id) { m_dlg->ControlAs<QPushButton>(id)->click(); }
    // What the device side reads until the line has been quiet a while.
    std::string Sent() {
        const auto bytes =
            m_pty.ReadUntilQuiet(std::chrono::milliseconds(50), std::chrono::milliseconds(2000));
        return {bytes.begin(), bytes.end()};
    }
    void Arrive(std::string_view bytes) {
        m_dlg->OnPortRxRun({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 1);
    }

    CPortDirFixture m_dir;
    CPtyFixture m_pty;
    std::unique_ptr<CQuendalDlg> m_dlg;
};

TEST_F(SignalQuery, WaitsForTheFrameStillArrivingThenGoesAtOnce) {
    const std::string kQuery = "DTU+CONFIG=CMD:AT+CSQ\r";
    Arrive("+CONFIG=");
    m_dlg->OnTimerTick(TIMER_SIGNAL_QUERY);
    EXPECT_EQ(Sent(), "");
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_SIGNAL_QUERY));
    Arrive(std::string(440, '\0'));
    m_dlg->OnTimerTick(TIMER_RX_IDLE);
    EXPECT_EQ(m_dlg->StatusBar()->PaneText(2), "参数读取完毕！");
    EXPECT_EQ(Sent(), kQuery);
    // Its answer is a frame of its own and shows.
    Arrive("+CONFIG CMD:+CSQ: 23,99\r\n");
    m_dlg->OnTimerTick(TIMER_RX_IDLE);
    EXPECT_EQ(m_dlg->ControlAs<QLineEdit>(IDC_SIGNAL)->text(), " 23");
    // Once only.
    m_dlg->OnTimerTick(TIMER_RX_IDLE);
    EXPECT_EQ(Sent(), "");

    // Nothing arriving: the query goes on its tick. A later click while one waits starts over, and the
    // frame judged meanwhile sends nothing.
    Click(IDC_READ_PARAMS);
    EXPECT_EQ(Sent(), "DTU+CONFIG\r");
    Arrive("x");
    m_dlg->OnTimerTick(TIMER_SIGNAL_QUERY);
    Click(IDC_READ_PARAMS);
    EXPECT_EQ(Sent(), "DTU+CONFIG\r");
    m_dlg->OnTimerTick(TIMER_RX_IDLE);
    EXPECT_EQ(Sent(), "");
    EXPECT_TRUE(m_dlg->IsTimerRunning(TIMER_SIGNAL_QUERY));
    m_dlg->OnTimerTick(TIMER_SIGNAL_QUERY);
    EXPECT_EQ(Sent(), kQuery);
    EXPECT_FALSE(m_dlg->IsTimerRunning(TIMER_SIGNAL_QUERY));
}

TEST_F(SignalQuery, HeldQueryWaitsForThePortWhenItClosedMeanwhile) {
    Arrive("+CONFIG=");
    m_dlg->OnTimerTick(TIMER_SIGNAL_QUERY);
    Click(IDC_OPEN_PORT);
    ASSERT_TRUE(WaitUntil([&] { return !m_dlg->IsPortOpen(); }));
    m_dlg->OnTimerTick(TIMER_RX_IDLE);
    EXPECT_TRUE(m_dlg->IsTimerRunning(TIMER_SIGNAL_QUERY));
    EXPECT_EQ(m_dlg->TimerInterval(TIMER_SIGNAL_QUERY), 500);
    Click(IDC_OPEN_PORT);
    ASSERT_TRUE(m_dlg->IsPortOpen());
    m_dlg->OnTimerTick(TIMER_SIGNAL_QUERY);
    EXPECT_EQ(Sent(), "DTU+CONFIG=CMD:AT+CSQ\r");
}

// A form exported as a profile and applied the way the command line applies it gives the very record the
// window saves; a bad profile names its field and leaves the form alone.
TEST_F(ParamsPanelAlone, ExportedProfileGivesTheWindowsRecordAndABadOneChangesNothing) {
    const QString dir =
        QDir::tempPath() + "/quendal-profile-" + QString::number(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir().mkpath(dir));
    const Record device = NbIotSensorRecord();
    FeedRecord(panel, device);
    qobject_cast<QLineEdit*>(controls.at(IDC_APN))->setText("专网apn");
    qobject_cast<QLineEdit*>(controls.at(IDC_REMOTE_PORT3))->setText("7001");

    const QString path = dir + "/site.json";
    ASSERT_TRUE(panel.ExportProfile(path));
    EXPECT_EQ(QFile(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray json = file.readAll();
    Profile profile;
    ASSERT_FALSE(
        ParseProfile(std::string_view(json.constData(), static_cast<std::size_t>(json.size())), profile));
    DeviceParams fromProfile;
    ASSERT_FALSE(BuildRecord(DeviceParams::FromBytes(device), profile, fromProfile));
    ASSERT_TRUE(panel.CollectFormForSave());
    EXPECT_TRUE(fromProfile == panel.HeldParams());

    struct Case {
        const char* json;
        const char* named;
    };
    for (const Case& c : {Case{R"({"apn": "x", "colour": 1})", "colour"},
                          Case{R"({"remote2_port": 70000})", "remote2_port"}, Case{R"({"apn": 5})", "apn"}}) {
        SCOPED_TRACE(c.json);
        BoxRecorder::Clear();
        QFile bad(dir + "/bad.json");
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
        bad.write(c.json);
        bad.close();
        EXPECT_FALSE(panel.ImportProfile(bad.fileName()));
        ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
        EXPECT_TRUE(BoxRecorder::Boxes()[0].text.contains(c.named))
            << BoxRecorder::Boxes()[0].text.toStdString();
        EXPECT_EQ(qobject_cast<QLineEdit*>(controls.at(IDC_APN))->text(), "专网apn");
    }

    BoxRecorder::Clear();
    FeedRecord(panel, FourGDtuRecord());
    ASSERT_TRUE(panel.ImportProfile(path));
    // The sensor's profile cannot turn the locked DTU into a sensor.
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_EQ(TextOf(controls, IDC_DEVICE_TYPE), "DTU");
    EXPECT_EQ(qobject_cast<QLineEdit*>(controls.at(IDC_APN))->text(), "专网apn");
    EXPECT_EQ(qobject_cast<QLineEdit*>(controls.at(IDC_REMOTE_PORT3))->text(), "7001");
    QDir(dir).removeRecursively();
}

// A save that sent whatever the form holds would, before any read, send a record of zeros (baud 0,
// data bits 0), which can cut a device off. A save waits for a record read whole or an imported profile;
// typing alone, or a record whose checksum is wrong (shown all the same, with a box), is not enough.
TEST_F(ParamsPanelAlone, SaveWaitsForARecordReadWholeOrAnImportedProfile) {
    m.port.open = true;
    const auto saveSends = [&] {
        BoxRecorder::Clear();
        m.port.written.clear();
        panel.OnSaveParams();
        return !m.port.written.empty();
    };
    const auto savedRefusedWithBox = [&] {
        const bool sent = saveSends();
        return !sent && BoxRecorder::Boxes().size() == 1 &&
               BoxRecorder::Boxes()[0].text.contains("请先读取参数或导入配置");
    };
    EXPECT_TRUE(savedRefusedWithBox()) << "fresh form";

    // Typed in full: still no device's record behind it.
    FeedRecord(panel, SavableDtuRecord());
    Record damaged = SavableDtuRecord();
    damaged[24] ^= 0x01;  // one flipped bit in the APN
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString profilePath = dir.filePath("site.json");
    ASSERT_TRUE(panel.ExportProfile(profilePath));
    CParamsOnHost typed;
    typed.port.open = true;
    for (const auto& [id, control] : controls) {
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            ControlAs<QLineEdit>(typed.controls, id)->setText(edit->text());
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            ControlAs<QComboBox>(typed.controls, id)->setEditText(combo->currentText());
        }
    }
    BoxRecorder::Clear();
    typed.panel.OnSaveParams();
    EXPECT_TRUE(typed.port.written.empty());
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u) << "typed form";

    struct Step {
        const char* what;
        std::function<void()> run;
        bool saves;
    };
    const Step steps[] = {
        {"intact read", [&] { FeedRecord(panel, SavableDtuRecord()); }, true},
        {"damaged read", [&] { FeedRecord(panel, damaged); }, false},
        {"read again", [&] { FeedRecord(panel, SavableDtuRecord()); }, true},
        {"damaged again", [&] { FeedRecord(panel, damaged); }, false},
        {"import", [&] { ASSERT_TRUE(panel.ImportProfile(profilePath)); }, true},
        {"factory defaults", [&] { panel.OnFactoryDefaults(); }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        BoxRecorder::Clear();
        step.run();
        QCoreApplication::processEvents();  // the damaged record's box comes after its frame
        const bool damagedBox =
            !BoxRecorder::Boxes().empty() && BoxRecorder::Boxes()[0].text.contains("损坏");
        EXPECT_EQ(damagedBox, std::string_view(step.what).starts_with("damaged"));
        EXPECT_EQ(panel.FormHasSource(), step.saves);
        if (step.saves) {
            EXPECT_TRUE(saveSends());
            EXPECT_TRUE(BoxRecorder::Boxes().empty());
            ASSERT_EQ(m.port.written.size(), 1u);
            EXPECT_EQ(m.port.written[0].size(), 451u);
        } else {
            EXPECT_TRUE(savedRefusedWithBox());
        }
    }
    // The damaged record is shown as it came.
    FeedRecord(panel, damaged);
    EXPECT_EQ(TextOf(controls, IDC_APN), "bmnet移动");
}

// The device type changes only by the unlock gesture: an import leaves a locked combo alone and says so;
// the labels and links 2-6 always go with what the combo shows.
TEST_F(ParamsPanelAlone, ImportKeepsALockedDeviceTypeAndTheLabelsFollowTheCombo) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto import = [&](const char* json) {
        QFile file(dir.filePath("p.json"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
        file.close();
        BoxRecorder::Clear();
        EXPECT_TRUE(panel.ImportProfile(file.fileName()));
    };
    const auto expectType = [&](const QString& type, bool sensor) {
        EXPECT_EQ(TextOf(controls, IDC_DEVICE_TYPE), type);
        EXPECT_EQ(TextOf(controls, IDC_DEVICE_ID_LABEL), sensor ? "IMEI号" : "设备ID号");
        EXPECT_EQ(TextOf(controls, IDC_HEARTBEAT_LABEL), sensor ? "温湿度上报周期" : "心跳包周期");
        EXPECT_EQ(TextOf(controls, IDC_NETCHECK_LABEL), sensor ? "设备地址" : "网络检测周期");
        for (int id : kLinkEditsTwoToSix) {
            EXPECT_EQ(m.Control(id)->isEnabled(), !sensor) << id;
        }
    };
    FeedRecord(panel, SavableDtuRecord());
    import(R"({"device_type":"温湿度","comm_type":"CoAP"})");
    expectType("DTU", false);
    EXPECT_EQ(TextOf(controls, IDC_COMM_TYPE), "CoAP");
    ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
    EXPECT_TRUE(BoxRecorder::Boxes()[0].text.contains("锁定") &&
                BoxRecorder::Boxes()[0].text.contains("温湿度"))
        << BoxRecorder::Boxes()[0].text.toStdString();
    ASSERT_TRUE(panel.CollectFormForSave());
    EXPECT_EQ(panel.HeldParams().flags & FLAG_TEMP_HUMIDITY, 0);

    import(R"({"device_type":"DTU"})");
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
    expectType("DTU", false);

    m.Control(IDC_DEVICE_TYPE)->setEnabled(true);  // the unlock gesture's effect
    import(R"({"device_type":"温湿度"})");
    EXPECT_TRUE(BoxRecorder::Boxes().empty());
    expectType("温湿度", true);
    import(R"({"device_type":"DTU"})");
    expectType("DTU", false);
}

// A profile holds the APN password: an export never writes through a link planted at its name (the
// linked file stays as it was), never replaces what is not a regular file, and makes its file 0600.
TEST_F(ParamsPanelAlone, ExportNeverWritesThroughALinkNorOverANonRegularFile) {
    FeedRecord(panel, SavableDtuRecord());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString victim = dir.filePath("victim");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
    }
    ASSERT_TRUE(QFile::link(victim, dir.filePath("link.json")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("fifo.json")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.json"));
    {
        QFile file(dir.filePath("old.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    }
    struct Case {
        const char* name;
        bool written;
        const char* boxSays;
    };
    for (const Case& c : {Case{"link.json", false, "链接"}, Case{"fifo.json", false, "不是普通文件"},
                          Case{"folder.json", false, "不是普通文件"}, Case{"new.json", true, nullptr},
                          Case{"old.json", true, nullptr}}) {
        SCOPED_TRACE(c.name);
        BoxRecorder::Clear();
        const QString path = dir.filePath(c.name);
        EXPECT_EQ(panel.ExportProfile(path), c.written);
        if (!c.written) {
            ASSERT_EQ(BoxRecorder::Boxes().size(), 1u);
            EXPECT_TRUE(BoxRecorder::Boxes()[0].text.contains(c.boxSays))
                << BoxRecorder::Boxes()[0].text.toStdString();
            continue;
        }
        EXPECT_TRUE(BoxRecorder::Boxes().empty());
        const QFileInfo info(path);
        EXPECT_TRUE(info.isFile() && !info.isSymLink());
        EXPECT_EQ(
            info.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ReadGroup |
                                  QFileDevice::WriteGroup | QFileDevice::ExeOwner),
            QFileDevice::Permissions());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().startsWith("{"));
    }
    QFile kept(victim);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep me\n");
    EXPECT_TRUE(QFileInfo(dir.filePath("link.json")).isSymLink());
    // Nothing left behind beside them.
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                  .size(),
              6);
}

}  // namespace
