// The terminal's options as the areas' menus set them: time stamps and the UTF-8 encoding in the receive
// area (stamps counted by the auto clear as shown), and the line ending of text sends, counted in TX.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/area_menu.h"
#include "app/panel_links.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "app/send_panel.h"
#include "tests/support/gui_support.h"
#include "tests/support/pty_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// The entries of an area's menu by caption, submenus' entries as "title/caption".
struct MenuEntries {
    explicit MenuEntries(QPlainTextEdit* area) : menu(CAreaMenu::Of(area).Build()) {}
    QAction* Find(const QString& path) const {
        const QStringList parts = path.split('/');
        const QMenu* in = menu.get();
        for (qsizetype i = 0; in != nullptr && i < parts.size(); ++i) {
            const QList<QAction*> actions = in->actions();
            const auto it = std::find_if(actions.begin(), actions.end(),
                                         [&](QAction* a) { return a->text() == parts[i]; });
            if (it == actions.end()) {
                return nullptr;
            }
            if (i + 1 == parts.size()) {
                return *it;
            }
            in = (*it)->menu();
        }
        return nullptr;
    }
    std::unique_ptr<QMenu> menu;
};

// A clock that moves only when told: 09:30:00.000 plus its steady time.
struct FakeClock {
    ReceiveTime operator()() const {
        return {*ms, 9 * 3600000 + 30 * 60000 + static_cast<std::int32_t>(*ms)};
    }
    std::shared_ptr<std::int64_t> ms = std::make_shared<std::int64_t>(0);
};

class TerminalOptions : public ::testing::Test {
  protected:
    void SetUp() override {
        dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        dlg.ReceiveMonitor().SetStampClock(clock);
        BoxRecorder::Clear();
    }
    QString Area() const {
        dlg.ReceiveMonitor().ShowPending();
        return area->toPlainText();
    }
    void Feed(std::string_view bytes) { dlg.OnPortRxRun(B(bytes), 1); }
    void Trigger(QPlainTextEdit* edit, const QString& path) {
        MenuEntries entries(edit);
        QAction* action = entries.Find(path);
        ASSERT_NE(action, nullptr) << path.toStdString();
        action->trigger();
    }

    CQuendalDlg dlg;
    QPlainTextEdit* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    QPlainTextEdit* sendArea = dlg.ControlAs<QPlainTextEdit>(IDC_SEND_EDIT);
    FakeClock clock;
};

TEST_F(TerminalOptions, MenusKeepQtsEntriesAndStartWithEveryOptionOff) {
    const MenuEntries receive(area);
    ASSERT_NE(receive.Find("显示时间戳"), nullptr);
    // Qt's own entries for the edit come first.
    const QList<QAction*> actions = receive.menu->actions();
    const auto stamps = actions.indexOf(receive.Find("显示时间戳"));
    for (const char* name : {"edit-copy", "select-all"}) {
        const auto at =
            std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->objectName() == name; });
        ASSERT_NE(at, actions.end()) << name;
        EXPECT_LT(at - actions.begin(), stamps) << name;
    }
    EXPECT_FALSE(receive.Find("显示时间戳")->isChecked());
    ASSERT_NE(receive.Find("接收编码/GBK"), nullptr);
    EXPECT_TRUE(receive.Find("接收编码/GBK")->isChecked());
    EXPECT_FALSE(receive.Find("接收编码/UTF-8")->isChecked());
    const MenuEntries send(sendArea);
    for (const char* caption : {"无", "CR (\\r)", "LF (\\n)", "CR LF (\\r\\n)"}) {
        const QAction* action = send.Find(QString("发送换行符/") + caption);
        ASSERT_NE(action, nullptr) << caption;
        EXPECT_EQ(action->isChecked(), std::string(caption) == "无") << caption;
    }
    EXPECT_FALSE(dlg.ReceiveMonitor().Timestamps());
    EXPECT_EQ(dlg.ReceiveMonitor().GetReceiveEncoding(), ReceiveEncoding::Gbk);
    // A right click on the text and the menu key on the area both open the menu with the entries.
    for (const auto reason : {QContextMenuEvent::Mouse, QContextMenuEvent::Keyboard}) {
        QStringList shown;
        QTimer::singleShot(0, [&shown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                for (const QAction* action : popup->actions()) {
                    shown << action->text();
                }
                popup->close();
            }
        });
        QWidget* target = reason == QContextMenuEvent::Mouse ? area->viewport() : area;
        QContextMenuEvent event(reason, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(target, &event);
        EXPECT_TRUE(shown.contains("显示时间戳")) << shown.join('|').toStdString();
    }
    EXPECT_EQ(dlg.SendPanel().LineEnding(), SendLineEnding::None);
}

TEST_F(TerminalOptions, TimestampsStartEachTextLineAndEachHexRunAfterAGap) {
    Feed("before\r\n");
    Trigger(area, "显示时间戳");
    EXPECT_TRUE(dlg.ReceiveMonitor().Timestamps());
    EXPECT_TRUE(MenuEntries(area).Find("显示时间戳")->isChecked());
    *clock.ms = 1234;
    Feed("OK\r");
    *clock.ms = 1300;
    Feed("\nAT");
    EXPECT_EQ(Area(), "before\n[09:30:01.234] OK\n[09:30:01.300] AT");
    dlg.ControlAs<QCheckBox>(IDC_HEX_DISPLAY)->setChecked(true);
    *clock.ms = 1310;
    Feed("\x01\x02");
    *clock.ms = 1400;
    Feed("\x03");  // 90 ms later: the same run of bytes
    *clock.ms = 1500;
    Feed("\xFF");
    EXPECT_EQ(Area(),
              "before\n[09:30:01.234] OK\n[09:30:01.300] AT\n[09:30:01.310] 01 02 03 \n[09:30:01.500] FF ");
    Trigger(area, "显示时间戳");
    *clock.ms = 5000;
    Feed("\x0A");
    EXPECT_TRUE(Area().endsWith("[09:30:01.500] FF 0A "));
}

TEST_F(TerminalOptions, AutoClearCountsTheStampsAsShown) {
    dlg.ReceiveMonitor().SetTimestamps(true);
    // One unbroken line, stamped at its start, until the auto clear empties the area.
    QString last;
    int fed = 0;
    for (; fed < 50000; ++fed) {
        last = Area();
        Feed("w");
        if (Area().size() < last.size()) {
            break;
        }
    }
    ASSERT_LT(fed, 50000) << "never cleared";
    // The rest of the line goes on under the line's own stamp.
    EXPECT_EQ(Area(), "[09:30:00.000] w");
    // The text as it stood filled 50 lines; one character less did not.
    dlg.ReceiveMonitor().SetTimestamps(false);
    dlg.OnClearReceive();
    area->setPlainText(last);
    EXPECT_GE(area->document()->firstBlock().layout()->lineCount(), 50);
    area->setPlainText(last.chopped(1));
    EXPECT_LT(area->document()->firstBlock().layout()->lineCount(), 50);
}

TEST_F(TerminalOptions, Utf8ReceiveJoinsSplitCharactersAndShowsBadBytesAsReplacements) {
    Trigger(area, "接收编码/UTF-8");
    EXPECT_EQ(dlg.ReceiveMonitor().GetReceiveEncoding(), ReceiveEncoding::Utf8);
    EXPECT_TRUE(MenuEntries(area).Find("接收编码/UTF-8")->isChecked());
    Feed("\xE4\xB8");
    Feed("\xAD\xE6\x96\x87 \xC0\xAF\xED\xA0\x80!\r\n");
    EXPECT_EQ(Area(),
              QString::fromUtf8("中文 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!\n"));
    // A character left open when the encoding changes shows as one replacement; GBK takes over.
    Feed("\xF0\x9F");
    Trigger(area, "接收编码/GBK");
    Feed("\xD6\xD0");
    EXPECT_EQ(Area().mid(Area().indexOf('\n') + 1), QString::fromUtf8("\xEF\xBF\xBD中"));
}

class LineEndings : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ASSERT_TRUE(m_pty.IsValid()) << m_pty.Error();
        ASSERT_FALSE(m_pty.LinkAs(m_dir.Path(), 1).empty()) << m_pty.Error();
        m_dlg = std::make_unique<CQuendalDlg>();
        m_dlg->ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
        m_dlg->ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        ASSERT_TRUE(m_dlg->IsPortOpen());
    }
    // What one send put on the line; read whole before the next send, which purges the queues.
    Bytes Sent(std::size_t expected) {
        Bytes bytes = m_pty.Read(expected, 3s);
        const Bytes more = m_pty.ReadUntilQuiet(100ms, 1s);
        bytes.insert(bytes.end(), more.begin(), more.end());
        return bytes;
    }

    CPortDirFixture m_dir;
    CPtyFixture m_pty;
    std::unique_ptr<CQuendalDlg> m_dlg;
};

TEST_F(LineEndings, TextSendsByHandAndOnTheTimerEndAsChosenAndCountTheEnding) {
    QPlainTextEdit* sendArea = m_dlg->ControlAs<QPlainTextEdit>(IDC_SEND_EDIT);
    sendArea->setPlainText("AT");
    const struct {
        const char* entry;
        SendLineEnding ending;
        std::string bytes;
    } cases[] = {
        {"无", SendLineEnding::None, "AT"},
        {"CR (\\r)", SendLineEnding::Cr, "AT\r"},
        {"LF (\\n)", SendLineEnding::Lf, "AT\n"},
        {"CR LF (\\r\\n)", SendLineEnding::CrLf, "AT\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const MenuEntries menu(sendArea);
        QAction* action = menu.Find(QString("发送换行符/") + c.entry);
        ASSERT_NE(action, nullptr);
        action->trigger();
        EXPECT_EQ(m_dlg->SendPanel().LineEnding(), c.ending);
        for (const bool byTimer : {false, true}) {
            const std::int64_t before = m_dlg->SendPanel().TxCount();
            if (byTimer) {
                m_dlg->OnTimerTick(TIMER_AUTO_SEND);
            } else {
                m_dlg->ControlAs<QPushButton>(IDC_MANUAL_SEND)->click();
            }
            EXPECT_EQ(Sent(c.bytes.size()), B(c.bytes)) << byTimer;
            EXPECT_EQ(m_dlg->SendPanel().TxCount(), before + static_cast<std::int64_t>(c.bytes.size()));
        }
    }
    // Hex sends are the pairs alone, whatever the ending.
    m_dlg->ControlAs<QCheckBox>(IDC_HEX_SEND)->click();
    sendArea->setPlainText("41 54");
    const std::int64_t before = m_dlg->SendPanel().TxCount();
    m_dlg->ControlAs<QPushButton>(IDC_MANUAL_SEND)->click();
    EXPECT_EQ(Sent(2), B("AT"));
    EXPECT_EQ(m_dlg->SendPanel().TxCount(), before + 2);
    EXPECT_EQ(m_dlg->ControlAs<QLabel>(IDC_TX_COUNT)->text(), QString("TX:%1").arg(before + 2));
}

}  // namespace
