#include "protocol/param_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "protocol/memory_form.h"
#include "res/control_ids.h"
#include "res/texts.h"

namespace {

using Kind = CMemoryForm::Call::Kind;
using Bytes = std::array<uint8_t, 440>;

const std::string kZhong2 = "\xD6\xD0";  // 中, two bytes in GBK

Bytes RawOf(const DeviceParams& p) {
    Bytes raw{};
    std::copy(p.Bytes().begin(), p.Bytes().end(), raw.begin());
    return raw;
}

void Put(std::span<uint8_t> field, std::string_view text) {
    std::copy(text.begin(), text.end(), field.begin());
}

std::string Repeat(std::string_view unit, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i) {
        s += unit;
    }
    return s;
}

// Every control the collection reads, filled with values whose bytes are written out in KnownRecord.
CMemoryForm KnownForm() {
    CMemoryForm form;
    const std::pair<int, std::string_view> texts[] = {
        {IDC_APN, "cmnet"},
        {IDC_APN_USER, "user"},
        {IDC_APN_PASSWORD, "pw"},
        {IDC_DEV_BAUD, "115200"},
        {IDC_DEV_DATABITS, "8"},
        {IDC_DEV_PARITY, kTextEven.gbk},
        {IDC_DEV_STOPBITS, "1"},
        {IDC_DEVICE_ID, "DTU0001"},
        {IDC_REBOOT_PERIOD, "24"},
        {IDC_HEARTBEAT_PERIOD, "60"},
        {IDC_NETCHECK_PERIOD, "300"},
        {IDC_COMM_MODE, kTextNonTransparent.gbk},
        {IDC_POSITIONING, kTextPositioningOn.gbk},
        {IDC_DEVICE_TYPE, kTextDtu.gbk},
        {IDC_COMM_TYPE, kTextUdp.gbk},
        {IDC_PACK_MAX_LEN, "1024"},
        {IDC_PACK_MAX_TIME, "50"},
        {IDC_DNS, "8.8.8.8"},
        {IDC_DNS_PERIOD, "3600"},
        {IDC_REMOTE_ADDR1, "iot.example.com"},
        {IDC_REMOTE_ADDR2, "10.0.0.2"},
        {IDC_REMOTE_PORT1, "5683"},
        {IDC_REMOTE_PORT2, "8080"},
        {IDC_REMOTE_PORT3, "0"},
        // Display-only controls: never read back.
        {IDC_LOCAL_IP, "10.1.2.3"},
        {IDC_NET_STATUS, kTextOnline.gbk},
        {IDC_FIRMWARE_VERSION, "V9999"},
    };
    for (const auto& [id, text] : texts) {
        form.SetText(id, text);
    }
    form.ClearCalls();
    return form;
}

// The record KnownForm must give with firmware 0x0C01 held, byte by byte from the device's layout.
Bytes KnownRecord() {
    Bytes b{};
    auto put = [&](std::size_t offset, std::initializer_list<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), b.begin() + offset);
    };
    auto text = [&](std::size_t offset, std::string_view s) {
        std::copy(s.begin(), s.end(), b.begin() + offset);
    };
    put(0, {0x01, 0x0C, 0x00, 0x18, 0x3C, 0x00, 0x2C, 0x01});
    text(8, "DTU0001");
    text(24, "cmnet");
    text(56, "user");
    text(96, "pw");
    put(152, {0x00, 0xC2, 0x01, 0x00, '8', 'E', '1', 0x00, 0x00, 0x04, 0x32, 0x00});
    text(164, "iot.example.com");
    text(204, "10.0.0.2");
    put(404, {0x33, 0x16, 0x90, 0x1F});
    text(416, "8.8.8.8");
    put(432, {0x10, 0x0E, 0x03, 0x01});
    put(439, {0x74});
    return b;
}

DeviceParams HeldWithJunk(uint16_t version) {
    Bytes junk;
    junk.fill(0xA5);
    DeviceParams held = DeviceParams::FromBytes(junk);
    held.firmware_version.Set(version);
    return held;
}

// ---- Show ----

TEST(ShowDeviceParams, ModuleTypeVersionAndCommType) {
    struct Case {
        uint16_t version;
        bool nbIot;
        const char* versionText;
    };
    const Case cases[] = {
        {0x0C01, true, "V0c01"},  {0x0400, true, "V0400"},  {0x0800, true, "V0800"},
        {0xFFFF, true, "Vffff"},  {0x0100, false, "V0100"}, {0x03FF, false, "V03ff"},
        {0xF3FF, false, "Vf3ff"}, {0x0000, false, "V0000"},
    };
    for (const Case& c : cases) {
        for (const uint8_t commType : {0, 1, 2, 255}) {
            SCOPED_TRACE(testing::Message() << std::hex << c.version << " comm_type " << int{commType});
            DeviceParams p;
            p.firmware_version.Set(c.version);
            p.comm_type = commType;
            CMemoryForm form;
            form.AddListItem(IDC_COMM_TYPE, "UDP Server");  // the layout's list, replaced
            ShowDeviceParams(p, form);

            const std::string first(c.nbIot ? kTextCoap.gbk : kTextTcp.gbk);
            EXPECT_EQ(form.ListItems(IDC_COMM_TYPE), (std::vector<std::string>{first, "UDP"}));
            EXPECT_EQ(form.Text(IDC_MODULE_TYPE), c.nbIot ? kTextNbIotModule.gbk : kText4gModule.gbk);
            EXPECT_EQ(form.Text(IDC_FIRMWARE_VERSION), c.versionText);
            EXPECT_EQ(form.Text(IDC_COMM_TYPE), commType == 1 ? "UDP" : first);
        }
    }
}

TEST(ShowDeviceParams, NetworkAndLinkState) {
    struct Case {
        uint8_t status;
        bool online;
        const char* links;  // '1' for link n up
    };
    const Case cases[] = {
        {0x7F, true, "111111"},  {0x80, false, "000000"}, {0x40, true, "000000"}, {0x3F, false, "111111"},
        {0x15, false, "101010"}, {0x20, false, "000001"}, {0xC1, true, "100000"},
    };
    for (const Case& c : cases) {
        DeviceParams p;
        p.status = c.status;
        CMemoryForm form;
        ShowDeviceParams(p, form);
        EXPECT_EQ(form.Text(IDC_NET_STATUS), c.online ? kTextOnline.gbk : kTextOffline.gbk) << int{c.status};
        for (int n = 1; n <= 6; ++n) {
            const bool up = c.links[n - 1] == '1';
            EXPECT_EQ(form.Text(LinkStateId(n)), up ? kTextLinkUp.gbk : kTextLinkDown.gbk)
                << "status " << int{c.status} << " link " << n;
        }
    }
}

TEST(ShowDeviceParams, FlagsShowAndComeBackWithoutUninterpretedBits) {
    struct Case {
        uint8_t flags;
        GbkText mode, positioning, type;
        uint8_t collected;
    };
    const Case cases[] = {
        {0x0B, kTextNonTransparent, kTextPositioningOn, kTextTempHumidity, 0x0B},
        {0xFF, kTextNonTransparent, kTextPositioningOn, kTextTempHumidity, 0x0B},
        {0x00, kTextTransparent, kTextPositioningOff, kTextDtu, 0x00},
        {0xF4, kTextTransparent, kTextPositioningOff, kTextDtu, 0x00},
        {0x01, kTextNonTransparent, kTextPositioningOff, kTextDtu, 0x01},
        {0x02, kTextTransparent, kTextPositioningOn, kTextDtu, 0x02},
        {0x08, kTextTransparent, kTextPositioningOff, kTextTempHumidity, 0x08},
    };
    for (const Case& c : cases) {
        DeviceParams p;
        p.flags = c.flags;
        CMemoryForm form;
        ShowDeviceParams(p, form);
        EXPECT_EQ(form.Text(IDC_COMM_MODE), c.mode.gbk) << int{c.flags};
        EXPECT_EQ(form.Text(IDC_POSITIONING), c.positioning.gbk) << int{c.flags};
        EXPECT_EQ(form.Text(IDC_DEVICE_TYPE), c.type.gbk) << int{c.flags};
        ASSERT_EQ(CollectDeviceParams(form, p), std::nullopt);
        EXPECT_EQ(p.flags, c.collected) << int{c.flags};
    }
}

TEST(ShowDeviceParams, CommTypeTwoIsShownByModuleAndSentAsZero) {
    for (const auto& [version, text] :
         {std::pair{uint16_t{0x0100}, kTextTcp}, std::pair{uint16_t{0x0C01}, kTextCoap}}) {
        DeviceParams p;
        p.firmware_version.Set(version);
        p.comm_type = 2;
        CMemoryForm form;
        ShowDeviceParams(p, form);
        EXPECT_EQ(form.Text(IDC_COMM_TYPE), text.gbk);
        ASSERT_EQ(CollectDeviceParams(form, p), std::nullopt);
        EXPECT_EQ(p.comm_type, 0);
    }
}

TEST(ShowDeviceParams, TempHumidityRelabelsAndGreysLinks2To6ThenDtuRestores) {
    DeviceParams p;
    p.flags = FLAG_TEMP_HUMIDITY;
    for (std::size_t i = 0; i < 6; ++i) {
        Put(p.remote_addr[i], "host" + std::to_string(i + 1));
        p.remote_port[i].Set(static_cast<uint16_t>(1000 + i + 1));
    }
    CMemoryForm form;
    form.EnableControl(IDC_DEVICE_TYPE, false);
    ShowDeviceParams(p, form);

    EXPECT_EQ(form.Text(IDC_DEVICE_ID_LABEL), kTextImeiLabel.gbk);
    EXPECT_EQ(form.Text(IDC_HEARTBEAT_LABEL), kTextReportPeriodLabel.gbk);
    EXPECT_EQ(form.Text(IDC_NETCHECK_LABEL), kTextDeviceAddressLabel.gbk);
    EXPECT_EQ(form.Text(IDC_DEVICE_TYPE), kTextTempHumidity.gbk);
    EXPECT_TRUE(form.IsEnabled(IDC_REMOTE_ADDR1));
    EXPECT_TRUE(form.IsEnabled(IDC_REMOTE_PORT1));
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(form.IsEnabled(RemoteAddrId(n)), n == 1) << n;
        EXPECT_EQ(form.IsEnabled(RemotePortId(n)), n == 1) << n;
        EXPECT_EQ(form.Text(RemoteAddrId(n)), "host" + std::to_string(n));
        EXPECT_EQ(form.Text(RemotePortId(n)), std::to_string(1000 + n));
    }
    EXPECT_FALSE(form.IsEnabled(IDC_DEVICE_TYPE));

    // Greyed links go back to the device with the values shown.
    DeviceParams collected = p;
    ASSERT_EQ(CollectDeviceParams(form, collected), std::nullopt);
    EXPECT_EQ(collected.remote_addr, p.remote_addr);
    EXPECT_EQ(collected.remote_port, p.remote_port);

    p.flags = 0;
    ShowDeviceParams(p, form);
    EXPECT_EQ(form.Text(IDC_DEVICE_ID_LABEL), kTextDeviceIdLabel.gbk);
    EXPECT_EQ(form.Text(IDC_HEARTBEAT_LABEL), kTextHeartbeatLabel.gbk);
    EXPECT_EQ(form.Text(IDC_NETCHECK_LABEL), kTextNetcheckLabel.gbk);
    EXPECT_EQ(form.Text(IDC_DEVICE_TYPE), kTextDtu.gbk);
    for (int n = 1; n <= 6; ++n) {
        EXPECT_TRUE(form.IsEnabled(RemoteAddrId(n))) << n;
        EXPECT_TRUE(form.IsEnabled(RemotePortId(n))) << n;
    }
    EXPECT_FALSE(form.IsEnabled(IDC_DEVICE_TYPE));
}

// The whole sequence of form writes, in the device form's order, with the ids written out by hand.
TEST(ShowDeviceParams, WritesControlsInOrder) {
    for (const bool tempHumidity : {false, true}) {
        DeviceParams p;
        p.flags = tempHumidity ? FLAG_TEMP_HUMIDITY : 0;
        CMemoryForm form;
        ShowDeviceParams(p, form);

        std::vector<std::pair<Kind, int>> expected = {
            {Kind::ResetList, 1056}, {Kind::AddListItem, 1056}, {Kind::AddListItem, 1056},
            {Kind::SetText, 1072},   {Kind::SetText, 1025},     {Kind::SetText, 1026},
        };
        for (const int id : {1061, 1062, 1063, 1064, 1065, 1066, 1034, 1031, 1032, 1033, 1035, 1036,
                             1038, 1037, 1030, 1027, 1028, 1029, 1055, 1069, 1075, 1077, 1076}) {
            expected.emplace_back(Kind::SetText, id);
        }
        for (const int id : {1042, 1048, 1043, 1049, 1044, 1050, 1045, 1051, 1046, 1052}) {
            expected.emplace_back(Kind::Enable, id);
        }
        for (const int id : {1078, 1056, 1039, 1040, 1053, 1054, 1041, 1042, 1043, 1044, 1045, 1046, 1047,
                             1048, 1049, 1050, 1051, 1052}) {
            expected.emplace_back(Kind::SetText, id);
        }
        std::vector<std::pair<Kind, int>> actual;
        for (const auto& call : form.Calls()) {
            actual.emplace_back(call.kind, call.id);
            if (call.kind == Kind::Enable) {
                EXPECT_EQ(call.enable, !tempHumidity) << call.id;
            }
        }
        EXPECT_EQ(actual, expected) << "temp/humidity " << tempHumidity;
    }
}

TEST(ShowDeviceParams, TextFieldsEndAtNulOrTheirWidth) {
    DeviceParams p;
    // Each full field is followed by bytes that must not leak into its text.
    std::fill(p.device_id.begin(), p.device_id.end(), uint8_t{'D'});
    std::fill(p.apn.begin(), p.apn.end(), uint8_t{'A'});
    Put(p.apn_user, "user");
    std::fill(p.apn_password.begin(), p.apn_password.end(), uint8_t{'P'});
    std::fill(p.local_ip.begin(), p.local_ip.end(), uint8_t{'L'});
    p.dev_baud.Set(0x41414141);
    std::fill(p.dns.begin(), p.dns.end(), uint8_t{'N'});
    p.dns_period.Set(0x4141);
    std::fill(p.remote_addr[5].begin(), p.remote_addr[5].end(), uint8_t{'R'});
    p.remote_port[0].Set(0x5252);
    Put(p.remote_addr[0], std::string_view("ab\0cd", 5));
    Put(p.remote_addr[1], kZhong2 + "x");

    CMemoryForm form;
    ShowDeviceParams(p, form);
    EXPECT_EQ(form.Text(IDC_DEVICE_ID), std::string(16, 'D'));
    EXPECT_EQ(form.Text(IDC_APN), std::string(32, 'A'));
    EXPECT_EQ(form.Text(IDC_APN_USER), "user");
    EXPECT_EQ(form.Text(IDC_APN_PASSWORD), std::string(40, 'P'));
    EXPECT_EQ(form.Text(IDC_LOCAL_IP), std::string(16, 'L'));
    EXPECT_EQ(form.Text(IDC_DNS), std::string(16, 'N'));
    EXPECT_EQ(form.Text(IDC_REMOTE_ADDR6), std::string(40, 'R'));
    EXPECT_EQ(form.Text(IDC_REMOTE_ADDR1), "ab");
    EXPECT_EQ(form.Text(IDC_REMOTE_ADDR2), kZhong2 + "x");
    EXPECT_EQ(form.Text(IDC_REMOTE_ADDR3), "");
}

TEST(ShowDeviceParams, CharacterFields) {
    struct Case {
        uint8_t value;
        std::string asChar;
        std::string_view parity;
    };
    const Case cases[] = {
        {'8', "8", kTextNone.gbk}, {0, "", kTextNone.gbk},        {'O', "O", kTextOdd.gbk},
        {'E', "E", kTextEven.gbk}, {'N', "N", kTextNone.gbk},     {'o', "o", kTextNone.gbk},
        {'e', "e", kTextNone.gbk}, {0xB0, "\xB0", kTextNone.gbk},
    };
    for (const Case& c : cases) {
        DeviceParams p;
        p.dev_data_bits = c.value;
        p.dev_stop_bits = c.value;
        p.dev_parity = c.value;
        CMemoryForm form;
        ShowDeviceParams(p, form);
        EXPECT_EQ(form.Text(IDC_DEV_DATABITS), c.asChar) << int{c.value};
        EXPECT_EQ(form.Text(IDC_DEV_STOPBITS), c.asChar) << int{c.value};
        EXPECT_EQ(form.Text(IDC_DEV_PARITY), c.parity) << int{c.value};
    }
}

TEST(ShowDeviceParams, NumbersInDecimal) {
    DeviceParams p;
    p.reboot_period = 255;
    p.heartbeat_period.Set(65535);
    p.netcheck_period.Set(0x8000);
    p.dev_baud.Set(-9600);
    p.pack_max_len.Set(1024);
    p.pack_max_time.Set(0);
    p.dns_period.Set(3600);
    p.remote_port[0].Set(5683);
    p.remote_port[5].Set(65535);
    CMemoryForm form;
    ShowDeviceParams(p, form);
    const std::pair<int, const char*> expected[] = {
        {IDC_REBOOT_PERIOD, "255"},  {IDC_HEARTBEAT_PERIOD, "65535"}, {IDC_NETCHECK_PERIOD, "32768"},
        {IDC_DEV_BAUD, "-9600"},     {IDC_PACK_MAX_LEN, "1024"},      {IDC_PACK_MAX_TIME, "0"},
        {IDC_DNS_PERIOD, "3600"},    {IDC_REMOTE_PORT1, "5683"},      {IDC_REMOTE_PORT2, "0"},
        {IDC_REMOTE_PORT6, "65535"},
    };
    for (const auto& [id, text] : expected) {
        EXPECT_EQ(form.Text(id), text) << id;
    }

    p.dev_baud.Set(INT32_MIN);
    ShowDeviceParams(p, form);
    EXPECT_EQ(form.Text(IDC_DEV_BAUD), "-2147483648");
    p.dev_baud.Set(14400);  // no list item matches; shown all the same
    ShowDeviceParams(p, form);
    EXPECT_EQ(form.Text(IDC_DEV_BAUD), "14400");
}

// ---- Collect ----

TEST(CollectDeviceParams, KnownFormGivesHandWrittenRecord) {
    CMemoryForm form = KnownForm();
    DeviceParams held = HeldWithJunk(0x0C01);
    ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt);
    EXPECT_EQ(RawOf(held), KnownRecord());

    // Read in the device form's order, display-only controls never.
    const std::vector<int> order = {1031, 1032, 1033, 1035, 1036, 1038, 1037, 1030, 1027, 1028, 1029,
                                    1055, 1069, 1078, 1056, 1039, 1040, 1053, 1054, 1041, 1042, 1043,
                                    1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052};
    EXPECT_EQ(form.ReadIds(), order);
}

TEST(CollectDeviceParams, ShownOnlyFieldsAndReservedBytesGoOutZero) {
    DeviceParams received = DeviceParams::FromBytes(KnownRecord());
    received.status = 0x7F;
    Put(received.local_ip, "10.1.2.3");
    received.reserved1 = 0x11;
    received.reserved2 = {0x22, 0x33, 0x44};
    received.checksum = 0x99;
    CMemoryForm form;
    ShowDeviceParams(received, form);
    ASSERT_EQ(CollectDeviceParams(form, received), std::nullopt);
    EXPECT_EQ(RawOf(received), KnownRecord());
}

TEST(CollectDeviceParams, TextLimitsCountGbkBytes) {
    struct Case {
        int id;
        std::size_t offset, width;
    };
    const Case cases[] = {
        {IDC_APN, 24, 32},           {IDC_APN_USER, 56, 40},      {IDC_APN_PASSWORD, 96, 40},
        {IDC_DEVICE_ID, 8, 16},      {IDC_DNS, 416, 16},          {IDC_REMOTE_ADDR1, 164, 40},
        {IDC_REMOTE_ADDR2, 204, 40}, {IDC_REMOTE_ADDR3, 244, 40}, {IDC_REMOTE_ADDR4, 284, 40},
        {IDC_REMOTE_ADDR5, 324, 40}, {IDC_REMOTE_ADDR6, 364, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        CMemoryForm form = KnownForm();
        DeviceParams held;
        const std::string longest(c.width - 1, 'x');
        form.SetText(c.id, longest);
        ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt);
        const Bytes raw = RawOf(held);
        EXPECT_EQ(std::string(raw.begin() + static_cast<std::ptrdiff_t>(c.offset),
                              raw.begin() + static_cast<std::ptrdiff_t>(c.offset + c.width - 1)),
                  longest);
        EXPECT_EQ(raw[c.offset + c.width - 1], 0);

        form.SetText(c.id, longest + "x");
        EXPECT_EQ(CollectDeviceParams(form, held),
                  (CollectRefusal{c.id, CollectRefusal::Reason::TooLong, c.width - 1}));
        // Two-byte characters: one more than fits in width - 1 bytes is refused.
        form.SetText(c.id, Repeat(kZhong2, c.width / 2));
        EXPECT_EQ(CollectDeviceParams(form, held),
                  (CollectRefusal{c.id, CollectRefusal::Reason::TooLong, c.width - 1}));
    }
}

TEST(CollectDeviceParams, SevenChineseCharactersFitTheDeviceIdEightDoNot) {
    CMemoryForm form = KnownForm();
    DeviceParams held;
    form.SetText(IDC_DEVICE_ID, Repeat(kZhong2, 7));
    ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt);
    EXPECT_EQ(FieldText(held.device_id), Repeat(kZhong2, 7));
    form.SetText(IDC_DEVICE_ID, Repeat(kZhong2, 8));
    EXPECT_EQ(CollectDeviceParams(form, held),
              (CollectRefusal{IDC_DEVICE_ID, CollectRefusal::Reason::TooLong, 15}));
}

// A refusal leaves the version, the fields read before the refused control, and zeros from there on.
TEST(CollectDeviceParams, RefusalKeepsEarlierFieldsAndZerosTheRest) {
    struct Case {
        int id;
        std::string text;
        std::vector<std::pair<std::size_t, std::size_t>> keptRanges;  // [from, to) of KnownRecord
    };
    const Case cases[] = {
        {IDC_APN, std::string(32, 'a'), {{0, 2}}},
        {IDC_APN_PASSWORD, std::string(40, 'p'), {{0, 2}, {24, 96}}},
        {IDC_DEVICE_ID, std::string(16, 'd'), {{0, 2}, {24, 136}, {152, 159}}},
        {IDC_DNS, std::string(16, 'n'), {{0, 136}, {152, 164}, {434, 436}}},
        {IDC_REMOTE_ADDR6, std::string(40, 'r'), {{0, 136}, {152, 364}, {416, 436}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        CMemoryForm form = KnownForm();
        form.SetText(c.id, c.text);
        form.ClearCalls();
        DeviceParams held = HeldWithJunk(0x0C01);
        EXPECT_EQ(CollectDeviceParams(form, held),
                  (CollectRefusal{c.id, CollectRefusal::Reason::TooLong, c.text.size() - 1}));

        const Bytes known = KnownRecord();
        Bytes expected{};
        for (const auto& [from, to] : c.keptRanges) {
            std::copy(known.begin() + static_cast<std::ptrdiff_t>(from),
                      known.begin() + static_cast<std::ptrdiff_t>(to),
                      expected.begin() + static_cast<std::ptrdiff_t>(from));
        }
        EXPECT_EQ(RawOf(held), expected);
        EXPECT_EQ(held.checksum, 0);
        ASSERT_FALSE(form.ReadIds().empty());
        EXPECT_EQ(form.ReadIds().back(), c.id) << "nothing read after the refused control";
    }
}

TEST(CollectDeviceParams, NotGbkTextRefusesAtThatControl) {
    struct Case {
        int id;
        std::size_t maxBytes;
    };
    const Case cases[] = {
        {IDC_APN, 31},          {IDC_DEV_BAUD, 0},      {IDC_DEV_PARITY, 0},   {IDC_DEVICE_ID, 15},
        {IDC_REBOOT_PERIOD, 0}, {IDC_COMM_MODE, 0},     {IDC_DEVICE_TYPE, 0},  {IDC_COMM_TYPE, 0},
        {IDC_DNS, 15},          {IDC_REMOTE_ADDR3, 39}, {IDC_REMOTE_PORT6, 0},
    };
    for (const Case& c : cases) {
        CMemoryForm form = KnownForm();
        form.MarkNotGbk(c.id);
        DeviceParams held;
        EXPECT_EQ(CollectDeviceParams(form, held),
                  (CollectRefusal{c.id, CollectRefusal::Reason::NotGbk, c.maxBytes}));
        EXPECT_EQ(held.checksum, 0) << c.id;
        EXPECT_EQ(form.ReadIds().back(), c.id);
    }
}

TEST(CollectDeviceParams, CharacterFieldsTakeTheFirstByte) {
    struct Case {
        int id;
        std::string_view text;
        uint8_t DeviceParams::*field;
        uint8_t expected;
    };
    const Case cases[] = {
        {IDC_DEV_PARITY, kTextNone.gbk, &DeviceParams::dev_parity, 'N'},
        {IDC_DEV_PARITY, kTextOdd.gbk, &DeviceParams::dev_parity, 'O'},
        {IDC_DEV_PARITY, kTextEven.gbk, &DeviceParams::dev_parity, 'E'},
        {IDC_DEV_PARITY, "odd", &DeviceParams::dev_parity, 'o'},
        {IDC_DEV_PARITY, "", &DeviceParams::dev_parity, 0},
        {IDC_DEV_STOPBITS, "0", &DeviceParams::dev_stop_bits, '0'},
        {IDC_DEV_STOPBITS, "1.5", &DeviceParams::dev_stop_bits, '1'},
        {IDC_DEV_STOPBITS, "2", &DeviceParams::dev_stop_bits, '2'},
        {IDC_DEV_DATABITS, "", &DeviceParams::dev_data_bits, 0},
        {IDC_DEV_DATABITS, "7", &DeviceParams::dev_data_bits, '7'},
        {IDC_DEV_DATABITS, kZhong2, &DeviceParams::dev_data_bits, 0xD6},
    };
    for (const Case& c : cases) {
        CMemoryForm form = KnownForm();
        form.SetText(c.id, c.text);
        DeviceParams held;
        ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt);
        EXPECT_EQ(held.*c.field, c.expected) << c.id << " \"" << c.text << '"';
    }
}

TEST(CollectDeviceParams, NumbersKeepTheirLowBits) {
    struct Case {
        int id;
        std::string_view text;
        std::size_t offset;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {IDC_HEARTBEAT_PERIOD, "70000", 4, {0x70, 0x11}},
        {IDC_HEARTBEAT_PERIOD, "-1", 4, {0xFF, 0xFF}},
        {IDC_NETCHECK_PERIOD, "99999999999", 6, {0xFF, 0xFF}},
        {IDC_NETCHECK_PERIOD, "-99999999999", 6, {0x00, 0x00}},
        {IDC_REBOOT_PERIOD, "300", 3, {0x2C}},
        {IDC_REBOOT_PERIOD, "-1", 3, {0xFF}},
        {IDC_REBOOT_PERIOD, " \t42abc", 3, {0x2A}},
        {IDC_REBOOT_PERIOD, "abc", 3, {0x00}},
        {IDC_REBOOT_PERIOD, "", 3, {0x00}},
        {IDC_DEV_BAUD, "-1", 152, {0xFF, 0xFF, 0xFF, 0xFF}},
        {IDC_DEV_BAUD, "3000000000", 152, {0xFF, 0xFF, 0xFF, 0x7F}},
        {IDC_DEV_BAUD, "14400", 152, {0x40, 0x38, 0x00, 0x00}},
        {IDC_PACK_MAX_LEN, "65535", 160, {0xFF, 0xFF}},
        {IDC_PACK_MAX_TIME, "+258", 162, {0x02, 0x01}},
        {IDC_DNS_PERIOD, "65536", 432, {0x00, 0x00}},
        {IDC_REMOTE_PORT6, "65537", 414, {0x01, 0x00}},
    };
    for (const Case& c : cases) {
        CMemoryForm form = KnownForm();
        form.SetText(c.id, c.text);
        DeviceParams held;
        ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt);
        const Bytes raw = RawOf(held);
        EXPECT_EQ(std::vector<uint8_t>(raw.begin() + static_cast<std::ptrdiff_t>(c.offset),
                                       raw.begin() + static_cast<std::ptrdiff_t>(c.offset + c.bytes.size())),
                  c.bytes)
            << c.id << " \"" << c.text << '"';
    }
}

// The window's checks: a number is stored as typed or refused by name with its range, never cut or read
// as 0; parity in any case goes out as the list's letter, and a text that is no parity is refused. The
// refused control is the last one read, and the record then carries no checksum.
TEST(CollectDeviceParams, CheckedNumbersAndParityAreStoredAsTypedOrRefused) {
    using R = CollectRefusal::Reason;
    struct Case {
        int id;
        std::string_view text;
        std::size_t offset;
        std::vector<uint8_t> bytes;  // what is stored when accepted
        std::optional<R> refused;
        int64_t min = 0;
        int64_t max = 0;
    };
    const Case cases[] = {
        {RemotePortId(1), "70000", 404, {}, R::OutOfRange, 0, 65535},
        {RemotePortId(1), "65535", 404, {0xFF, 0xFF}, {}},
        {IDC_HEARTBEAT_PERIOD, "-1", 4, {}, R::OutOfRange, 0, 65535},
        {IDC_NETCHECK_PERIOD, "99999999999999999999999", 6, {}, R::OutOfRange, 0, 65535},
        {IDC_REBOOT_PERIOD, "300", 3, {}, R::OutOfRange, 0, 255},
        {IDC_REBOOT_PERIOD, " 255 ", 3, {0xFF}, {}},
        {IDC_REBOOT_PERIOD, "42abc", 3, {}, R::NotNumber, 0, 255},
        {IDC_REBOOT_PERIOD, "", 3, {}, R::NotNumber, 0, 255},
        {IDC_PACK_MAX_TIME, "+258", 162, {0x02, 0x01}, {}},
        {IDC_DEV_BAUD, "abc", 152, {}, R::NotNumber, 1, 2147483647},
        {IDC_DEV_BAUD, "0", 152, {}, R::OutOfRange, 1, 2147483647},
        {IDC_DEV_BAUD, "3000000000", 152, {}, R::OutOfRange, 1, 2147483647},
        {IDC_DEV_BAUD, "14400", 152, {0x40, 0x38, 0x00, 0x00}, {}},
        {IDC_DEV_DATABITS, "300", 156, {}, R::OutOfRange, 5, 8},
        {IDC_DEV_DATABITS, "", 156, {}, R::NotNumber, 5, 8},
        {IDC_DEV_DATABITS, "4", 156, {}, R::OutOfRange, 5, 8},
        {IDC_DEV_DATABITS, "5", 156, {'5'}, {}},
        {IDC_DEV_STOPBITS, "1.5", 158, {}, R::NotNumber, 0, 2},
        {IDC_DEV_STOPBITS, "0", 158, {'0'}, {}},
        {IDC_DEV_PARITY, "odd", 157, {'O'}, {}},
        {IDC_DEV_PARITY, "Even", 157, {'E'}, {}},
        {IDC_DEV_PARITY, "none", 157, {'N'}, {}},
        {IDC_DEV_PARITY, kTextOdd.gbk, 157, {'O'}, {}},
        {IDC_DEV_PARITY, "o", 157, {}, R::NotParity},
        {IDC_DEV_PARITY, "MARK", 157, {}, R::NotParity},
        {IDC_DEV_PARITY, "", 157, {}, R::NotParity},
    };
    // Every number filled: a checked collection refuses an empty one.
    const auto checkedForm = [] {
        CMemoryForm form = KnownForm();
        for (int n = 4; n <= 6; ++n) {
            form.SetText(RemotePortId(n), "0");
        }
        return form;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + " \"" + std::string(c.text) + '"');
        CMemoryForm form = checkedForm();
        form.SetText(c.id, c.text);
        form.ClearCalls();
        DeviceParams held;
        const auto refusal = CollectDeviceParams(form, held, kCheckedCollect);
        if (c.refused) {
            EXPECT_EQ(refusal, (CollectRefusal{c.id, *c.refused, 0, c.min, c.max}));
            EXPECT_EQ(form.ReadIds().back(), c.id);
            EXPECT_EQ(held.checksum, 0);
            continue;
        }
        ASSERT_EQ(refusal, std::nullopt);
        const Bytes raw = RawOf(held);
        EXPECT_EQ(std::vector<uint8_t>(raw.begin() + static_cast<std::ptrdiff_t>(c.offset),
                                       raw.begin() + static_cast<std::ptrdiff_t>(c.offset + c.bytes.size())),
                  c.bytes);
    }
    // Each check alone: the other field keeps the device form's reading.
    CMemoryForm form = checkedForm();
    form.SetText(IDC_DEV_PARITY, "odd");
    form.SetText(IDC_REBOOT_PERIOD, "300");
    DeviceParams held;
    ASSERT_EQ(CollectDeviceParams(form, held, CollectRules{false, true}), std::nullopt);
    EXPECT_EQ(held.dev_parity, 'O');
    EXPECT_EQ(held.reboot_period, 0x2C);
    EXPECT_EQ(CollectDeviceParams(form, held, CollectRules{true, false}),
              (CollectRefusal{IDC_REBOOT_PERIOD, R::OutOfRange, 0, 0, 255}));
    EXPECT_EQ(held.dev_parity, 'o');
}

TEST(CollectDeviceParams, ChoicesCompareExactly) {
    struct Case {
        int id;
        std::string text;
        uint8_t flags, commType;
    };
    // KnownForm has flags 0x03 and UDP; each case changes one control.
    const Case cases[] = {
        {IDC_COMM_TYPE, "UDP", 0x03, 1},
        {IDC_COMM_TYPE, "udp", 0x03, 0},
        {IDC_COMM_TYPE, "UDP Server", 0x03, 0},
        {IDC_COMM_TYPE, " UDP", 0x03, 0},
        {IDC_COMM_TYPE, "TCP", 0x03, 0},
        {IDC_COMM_TYPE, "CoAP", 0x03, 0},
        {IDC_COMM_MODE, std::string(kTextTransparent.gbk), 0x02, 1},
        {IDC_COMM_MODE, std::string(kTextNonTransparent.gbk) + " ", 0x02, 1},
        {IDC_POSITIONING, std::string(kTextPositioningOff.gbk), 0x01, 1},
        {IDC_POSITIONING, "", 0x01, 1},
        {IDC_DEVICE_TYPE, std::string(kTextTempHumidity.gbk), 0x0B, 1},
        {IDC_DEVICE_TYPE, "dtu", 0x03, 1},
    };
    for (const Case& c : cases) {
        CMemoryForm form = KnownForm();
        form.SetText(c.id, c.text);
        DeviceParams held;
        ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt);
        EXPECT_EQ(held.flags, c.flags) << c.id << " \"" << c.text << '"';
        EXPECT_EQ(held.comm_type, c.commType) << c.id << " \"" << c.text << '"';
    }
}

// Any record the device may send, shown and collected again, comes back as the tool would send it.
TEST(CollectDeviceParams, ShowThenCollectGivesBackTheRecord) {
    std::mt19937 rng(20240611);
    auto byte = [&] { return static_cast<uint8_t>(rng() & 0xFF); };
    auto text = [&](std::span<uint8_t> field) {
        const std::size_t length = rng() % field.size();  // at most width - 1
        for (std::size_t i = 0; i < length; ++i) {
            field[i] = static_cast<uint8_t>(0x20 + rng() % 95);
        }
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes raw;
        std::generate(raw.begin(), raw.end(), byte);
        DeviceParams r = DeviceParams::FromBytes(raw);
        for (auto* field : {&r.device_id, &r.local_ip, &r.dns}) {
            field->fill(0), text(*field);
        }
        r.apn.fill(0), text(r.apn);
        for (auto* field : {&r.apn_user, &r.apn_password}) {
            field->fill(0), text(*field);
        }
        for (auto& field : r.remote_addr) {
            field.fill(0), text(field);
        }
        r.dev_data_bits = static_cast<uint8_t>('0' + rng() % 10);
        r.dev_stop_bits = static_cast<uint8_t>('0' + rng() % 10);
        r.dev_parity = "NOE"[rng() % 3];

        DeviceParams expected = r;
        expected.status = 0;
        expected.local_ip.fill(0);
        expected.reserved1 = 0;
        expected.reserved2.fill(0);
        expected.flags &= 0x0B;
        expected.comm_type = r.comm_type == 1 ? 1 : 0;
        const auto bytes = expected.Bytes();
        expected.checksum =
            static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.begin() + 439, 0u) & 0xFF);

        CMemoryForm form;
        DeviceParams held = r;
        ShowDeviceParams(held, form);
        ASSERT_EQ(CollectDeviceParams(form, held), std::nullopt) << "round " << round;
        ASSERT_EQ(RawOf(held), RawOf(expected)) << "round " << round;
    }
}

// ---- Device-type unlock ----

TEST(UnlockDeviceTypeOnCtrlDoubleClick, OnlyWithCtrlAndItStaysEnabled) {
    CMemoryForm form;
    form.EnableControl(IDC_DEVICE_TYPE, false);
    form.ClearCalls();
    UnlockDeviceTypeOnCtrlDoubleClick(false, form);
    EXPECT_TRUE(form.Calls().empty());
    EXPECT_FALSE(form.IsEnabled(IDC_DEVICE_TYPE));

    UnlockDeviceTypeOnCtrlDoubleClick(true, form);
    EXPECT_TRUE(form.IsEnabled(IDC_DEVICE_TYPE));

    DeviceParams p;
    for (const uint8_t flags : {FLAG_TEMP_HUMIDITY, uint8_t{0}}) {
        p.flags = flags;
        ShowDeviceParams(p, form);
        EXPECT_TRUE(form.IsEnabled(IDC_DEVICE_TYPE));
    }
    UnlockDeviceTypeOnCtrlDoubleClick(false, form);
    EXPECT_TRUE(form.IsEnabled(IDC_DEVICE_TYPE));
}

}  // namespace
