// The layout rows against the window template as drawn: the numbers, ids, positions and lists that the
// window, the tab order and every handler rely on.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "quendal_version.h"
#include "res/main_layout.h"
#include "res/texts.h"
#include "text/gbk.h"

namespace {

TEST(MainLayout, HasEveryTemplateItemOnceInTabOrder) {
    const auto rows = MainLayout();
    ASSERT_EQ(rows.size(), 114u);
    std::set<int> ids;
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].number, static_cast<int>(i) + 1);
        if (rows[i].id != IDC_STATIC) {
            EXPECT_TRUE(ids.insert(rows[i].id).second) << rows[i].name;
            EXPECT_TRUE(names.insert(rows[i].name).second) << rows[i].name;
            EXPECT_TRUE(rows[i].name.starts_with("IDC_")) << rows[i].number;
        }
    }
    EXPECT_EQ(ids.size(), 74u);
    // The first control that takes the focus.
    EXPECT_EQ(rows[1].id, IDC_PORT_COMBO);
}

TEST(MainLayout, SpotChecksAgainstTheTemplate) {
    struct Expect {
        int id;
        ControlKind kind;
        std::string_view caption;
        DialogRect rect;
        unsigned flags;
    };
    const Expect cases[] = {
        {IDC_TERMINAL_GROUP, ControlKind::GroupBox, "串口调试助手", {368, 7, 223, 365}, kNoFlags},
        {IDC_DEVICE_TYPE, ControlKind::DropDownCombo, "", {163, 19, 48, 39}, kDisabled},
        {IDC_DEVICE_TYPE_LABEL, ControlKind::Label, "设备类型", {125, 22, 43, 9}, kNotify},
        {IDC_AUTO_SEND_PERIOD, ControlKind::Edit, "", {425, 326, 40, 14}, kNoFlags},
        {IDC_REBOOT_PERIOD, ControlKind::NumberEdit, "", {76, 265, 49, 14}, kNoFlags},
        {IDC_TX_COUNT, ControlKind::SunkenText, "TX:", {398, 350, 45, 14}, kNoFlags},
        {IDC_RX_COUNT, ControlKind::SunkenText, "RX:0", {473, 350, 45, 13}, kNoFlags},
        {IDC_PORT_STOPBITS, ControlKind::DropDownList, "", {274, 350, 19, 50}, kNoFlags},
        {IDC_LINK_STATE1, ControlKind::Label, "×", {333, 180, 13, 8}, kNoFlags},
        {IDC_REMOTE_PORT6, ControlKind::NumberEdit, "", {295, 263, 32, 14}, kNoFlags},
        {IDC_SIGNAL, ControlKind::Edit, "", {49, 39, 54, 13}, kDisabled},
        {IDC_DEBUG_TOGGLE, ControlKind::PushButton, "调试>>", {319, 303, 37, 17}, kNoFlags},
    };
    for (const Expect& e : cases) {
        const LayoutItem* row = FindLayoutItem(e.id);
        ASSERT_NE(row, nullptr) << e.id;
        EXPECT_EQ(row->kind, e.kind) << row->name;
        EXPECT_EQ(row->caption, e.caption) << row->name;
        EXPECT_EQ(row->rect.x, e.rect.x) << row->name;
        EXPECT_EQ(row->rect.y, e.rect.y) << row->name;
        EXPECT_EQ(row->rect.width, e.rect.width) << row->name;
        EXPECT_EQ(row->rect.height, e.rect.height) << row->name;
        EXPECT_EQ(row->flags, e.flags) << row->name;
    }
}

TEST(MainLayout, RemoteLinesFollowTheirIdPattern) {
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(FindLayoutItem(RemoteAddrId(n))->kind, ControlKind::Edit);
        EXPECT_EQ(FindLayoutItem(RemotePortId(n))->kind, ControlKind::NumberEdit);
        EXPECT_EQ(FindLayoutItem(LinkStateId(n))->caption, "×");
        // One line every 17 units.
        EXPECT_EQ(FindLayoutItem(RemoteAddrId(n))->rect.y, 178 + 17 * (n - 1));
    }
}

TEST(MainLayout, LeftRegionsStayClearOfTheTerminal) {
    for (const LayoutItem& row : MainLayout()) {
        const bool terminal = row.rect.x >= kTerminalRegion.x;
        const int right = row.rect.x + row.rect.width;
        if (terminal) {
            EXPECT_LE(right, kTerminalRegion.x + kTerminalRegion.width) << row.number;
        } else {
            // The etched line under the form is the widest thing on the left: 357 units.
            EXPECT_LE(right, 357) << row.number;
            // The narrow window (550 px) shows it whole and stops short of the terminal (552 px).
            EXPECT_LE(DialogUnitsToPixels(right), 550) << row.number;
        }
    }
    EXPECT_GT(DialogUnitsToPixels(kTerminalRegion.x), 550);
    EXPECT_LE(DialogUnitsToPixels(kTerminalRegion.x + kTerminalRegion.width), 900);
}

TEST(MainLayout, ItemListsInOrder) {
    auto items = [](int id) {
        for (const ItemList& list : MainItemLists()) {
            if (list.id == id) {
                return std::vector<std::string_view>(list.items.begin(), list.items.end());
            }
        }
        return std::vector<std::string_view>{};
    };
    const auto ports = items(IDC_PORT_COMBO);
    ASSERT_EQ(ports.size(), 30u);
    EXPECT_EQ(ports.front(), "COM1");
    EXPECT_EQ(ports.back(), "COM30");
    using V = std::vector<std::string_view>;
    EXPECT_EQ(items(IDC_PORT_BAUD), (V{"300", "600", "1200", "2400", "4800", "9600", "19200", "38400",
                                       "43000", "56000", "57600", "115200"}));
    EXPECT_EQ(items(IDC_DEV_BAUD), (V{"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
                                      "115200", "230400"}));
    EXPECT_EQ(items(IDC_PORT_PARITY), (V{"NONE", "ODD", "EVEN"}));
    EXPECT_EQ(items(IDC_DEV_PARITY), (V{"NONE", "ODD", "EVEN"}));
    EXPECT_EQ(items(IDC_PORT_DATABITS), (V{"8", "7"}));
    EXPECT_EQ(items(IDC_DEV_DATABITS), (V{"8", "7"}));
    EXPECT_EQ(items(IDC_PORT_STOPBITS), (V{"1", "2"}));
    EXPECT_EQ(items(IDC_DEV_STOPBITS), (V{"0", "1", "2"}));
    EXPECT_EQ(items(IDC_COMM_MODE), (V{"透明", "非透明"}));
    EXPECT_EQ(items(IDC_COMM_TYPE),
              (V{"TCP", "UDP", "TCP Server", "UDP Server", "短信", "Modem", "彩信", "邮件"}));
    EXPECT_EQ(items(IDC_POSITIONING), (V{"关闭", "开启"}));
    EXPECT_EQ(items(IDC_DEVICE_TYPE), (V{"DTU", "温湿度"}));
}

// The version shown is project()'s major.minor, cut here from the whole version the packages carry.
TEST(MainLayout, TitleAndAboutShowTheVersionsMajorMinor) {
    const std::string whole = QUENDAL_VERSION;
    const std::string shown = whole.substr(0, whole.find('.', whole.find('.') + 1));
    ASSERT_NE(shown.find('.'), std::string::npos) << whole;
    EXPECT_EQ(kMainTitle, "Quendal(V" + shown + ")");
    EXPECT_EQ(kAboutText, "Quendal V" + shown);
}

// The generated GBK forms must be the UTF-8 texts converted by the system, byte for byte.
TEST(Texts, GbkFormsMatchTheUtf8Texts) {
    for (const GbkText& text : kAllTexts) {
        const auto converted = Utf8ToGbk(text.utf8);
        ASSERT_TRUE(converted.has_value()) << text.utf8;
        EXPECT_EQ(*converted, text.gbk) << text.utf8;
    }
}

}  // namespace
