#include "protocol/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/memory_form.h"
#include "res/control_ids.h"
#include "res/texts.h"

namespace {

struct Patch {
    std::size_t offset;
    std::vector<uint8_t> bytes;
};

std::array<uint8_t, 440> RecordOf(std::initializer_list<Patch> patches) {
    std::array<uint8_t, 440> raw{};
    for (const Patch& patch : patches) {
        std::copy(patch.bytes.begin(), patch.bytes.end(),
                  raw.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    }
    return raw;
}

std::array<uint8_t, 440> RawOf(const DeviceParams& p) {
    std::array<uint8_t, 440> raw{};
    std::copy(p.Bytes().begin(), p.Bytes().end(), raw.begin());
    return raw;
}

DeviceParams ParamsOf(const std::array<uint8_t, 440>& raw) {
    return DeviceParams::FromBytes(raw);
}

Profile Parsed(std::string_view json) {
    Profile profile;
    const auto error = ParseProfile(json, profile);
    EXPECT_FALSE(error) << error->Text();
    return profile;
}

constexpr std::string_view kGoldenProfile = R"({
    "apn": "cmiot", "apn_user": "u", "apn_password": "p1",
    "device_baud": 115200, "device_data_bits": 8, "device_parity": "EVEN", "device_stop_bits": 1,
    "device_id": "设备7", "reboot_period": 200, "heartbeat_period": 300, "netcheck_period": 70,
    "comm_mode": "非透明", "positioning": "开启", "device_type": "DTU", "comm_type": "UDP",
    "pack_max_len": 1024, "pack_max_time": 50, "dns": "8.8.8.8", "dns_period": 600,
    "remote1_address": "a.example", "remote1_port": 5000, "remote6_address": "f", "remote6_port": 65535
})";

// What the device held before: its status, address and unknown flag bits must not go back to it, the
// remote address the profile leaves out must.
DeviceParams GoldenDevice() {
    return ParamsOf(RecordOf({{0, {0x01, 0x01}},
                              {2, {0x41}},
                              {136, {'1', '0', '.', '0', '.', '0', '.', '1'}},
                              {204, {'k', 'e', 'e', 'p'}},
                              {434, {0xF4}}}));
}

TEST(Profile, GoldenProfileGivesTheseRecordBytes) {
    const auto expected = RecordOf({
        {0, {0x01, 0x01}},
        {3, {0xC8}},
        {4, {0x2C, 0x01}},
        {6, {0x46, 0x00}},
        {8, {0xC9, 0xE8, 0xB1, 0xB8, 0x37}},  // 设备7 in GBK
        {24, {'c', 'm', 'i', 'o', 't'}},
        {56, {'u'}},
        {96, {'p', '1'}},
        {152, {0x00, 0xC2, 0x01, 0x00}},
        {156, {'8', 'E', '1'}},
        {160, {0x00, 0x04, 0x32, 0x00}},
        {164, {'a', '.', 'e', 'x', 'a', 'm', 'p', 'l', 'e'}},
        {204, {'k', 'e', 'e', 'p'}},
        {364, {'f'}},
        {404, {0x88, 0x13}},
        {414, {0xFF, 0xFF}},
        {416, {'8', '.', '8', '.', '8', '.', '8'}},
        {432, {0x58, 0x02}},
        {434, {0x03, 0x01}},
        {439, {0x4E}},
    });
    DeviceParams built;
    const auto error = BuildRecord(GoldenDevice(), Parsed(kGoldenProfile), built);
    ASSERT_FALSE(error) << error->Text();
    EXPECT_EQ(RawOf(built), expected);
}

TEST(Profile, BadProfilesAreRefusedWithTheFieldAndTheReason) {
    const struct {
        std::string json;
        std::string field;
        std::string reason;
    } cases[] = {
        {R"({"apn": "x", "colour": "red"})", "colour", "not a profile field"},
        {R"({"heartbeat_period": "60"})", "heartbeat_period", "must be a whole number"},
        {R"({"heartbeat_period": 60.5})", "heartbeat_period", "must be a whole number"},
        {R"({"apn": 5})", "apn", "must be a text"},
        {R"({"apn": null})", "apn", "must be a text"},
        {R"({"positioning": true})", "positioning", "must be one of \"关闭\" or \"开启\""},
        {R"({"device_parity": "odd"})", "device_parity",
         "\"odd\" is not one of \"NONE\", \"ODD\" or \"EVEN\""},
        {R"({"remote2_port": 70000})", "remote2_port", "70000 is outside 0 to 65535"},
        {R"({"remote2_port": -1})", "remote2_port", "-1 is outside 0 to 65535"},
        {R"({"reboot_period": 256})", "reboot_period", "256 is outside 0 to 255"},
        {R"({"device_baud": 0})", "device_baud", "0 is outside 1 to 2147483647"},
        {R"({"device_baud": 18446744073709551615})", "device_baud",
         "9223372036854775807 is outside 1 to 2147483647"},
        {R"({"device_data_bits": 9})", "device_data_bits", "9 is outside 5 to 8"},
        {R"({"apn": "0123456789012345678901234567890x"})", "apn",
         "32 bytes in GBK; the field takes at most 31"},
        {R"({"apn": "中中中中中中中中中中中中中中中中"})", "apn",
         "32 bytes in GBK; the field takes at most 31"},
        {R"({"device_id": "设备设备设备设备"})", "device_id", "16 bytes in GBK; the field takes at most 15"},
        {R"({"apn_user": "🙂"})", "apn_user", "holds a character GBK has no code for"},
        {R"({"dns": "a\u0000b"})", "dns", "holds a NUL character, which would end the text early"},
        {R"({"apn": "a", "apn": "b"})", "apn", "given twice"},
        {R"(["apn"])", "", "a profile is a JSON object of fields"},
        {R"({"apn": "x", "remote1_port": 1e400})", "remote1_port", "a number too large to read"},
        {R"({"remote1_port": -1e400})", "remote1_port", "a number too large to read"},
        {R"({"apn": 1e400})", "apn", "a number too large to read"},
        {"{\"heartbeat_period\": " + std::string(401, '9') + "}", "heartbeat_period",
         "a number too large to read"},
    };
    for (const auto& c : cases) {
        Profile profile;
        const auto error = ParseProfile(c.json, profile);
        ASSERT_TRUE(error) << c.json;
        EXPECT_EQ(error->field, c.field) << c.json;
        EXPECT_EQ(error->reason, c.reason) << c.json;
        EXPECT_EQ(profile.Count(), 0u) << c.json;
    }
    Profile profile;
    const auto error = ParseProfile(R"({"apn": )", profile);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->field, "");
    EXPECT_TRUE(error->reason.starts_with("not valid JSON")) << error->reason;
}

TEST(Profile, LimitsAcceptTheLongestValue) {
    const std::string_view accepted[] = {
        R"({"apn": "0123456789012345678901234567890"})",  // 31 bytes
        R"({"device_id": "设备设备设备设1"})",            // 15 bytes
        R"({"remote1_port": 65535, "reboot_period": 255, "device_baud": 2147483647})",
        R"({"device_stop_bits": 0, "device_data_bits": 5, "comm_type": "CoAP"})",
    };
    for (const auto json : accepted) {
        Profile profile;
        const auto error = ParseProfile(json, profile);
        EXPECT_FALSE(error) << json << ": " << error->Text();
    }
}

TEST(Profile, TextValuesFollowTheFieldKind) {
    const struct {
        std::string_view field;
        std::string_view text;
        std::optional<std::string> reason;
    } cases[] = {
        {"remote1_port", "6001", std::nullopt},
        {"remote1_port", "+6001", std::nullopt},
        {"remote1_port", "70000", "70000 is outside 0 to 65535"},
        {"remote1_port", "99999999999999999999", "9223372036854775807 is outside 0 to 65535"},
        {"remote1_port", "60 01", "must be a whole number, not \"60 01\""},
        {"remote1_port", "", "must be a whole number, not \"\""},
        {"device_id", "1234", std::nullopt},
        {"device_id", "0123456789abcdef", "16 bytes in GBK; the field takes at most 15"},
        {"comm_type", "udp", "\"udp\" is not one of \"TCP\", \"UDP\" or \"CoAP\""},
        {"serial", "1", "not a profile field"},
    };
    for (const auto& c : cases) {
        Profile profile;
        const auto error = profile.SetFromText(c.field, c.text);
        EXPECT_EQ(error.has_value(), c.reason.has_value()) << c.field << "=" << c.text;
        if (error && c.reason) {
            EXPECT_EQ(error->Text(), std::string(c.field) + ": " + *c.reason);
        }
        EXPECT_EQ(profile.Count(), error ? 0u : 1u);
    }
}

TEST(Profile, ProfileToRecordToProfileGivesItBack) {
    const Profile profile = Parsed(kGoldenProfile);
    DeviceParams built;
    ASSERT_FALSE(BuildRecord(GoldenDevice(), profile, built));
    const ProfileExport back = ProfileFromRecord(built);
    EXPECT_TRUE(back.problems.empty());
    // The record holds every field; those the profile gave come back as they were.
    EXPECT_EQ(back.profile.Count(), ProfileFields().size());
    Profile expected = back.profile;
    expected.Merge(profile);
    EXPECT_EQ(back.profile, expected);

    // And through the file: JSON out and in again is the same profile.
    Profile reread;
    ASSERT_FALSE(ParseProfile(ProfileToJson(back.profile), reread));
    EXPECT_EQ(reread, back.profile);
    EXPECT_NE(ProfileToJson(back.profile).find("\"comm_mode\": \"非透明\""), std::string::npos);
}

TEST(Profile, FieldsLeftOutKeepTheDevicesValues) {
    DeviceParams device = GoldenDevice();
    device.heartbeat_period.Set(77);
    device.dev_parity = 'O';
    device.checksum = RecordChecksum(device);
    DeviceParams built;
    ASSERT_FALSE(BuildRecord(device, Parsed(R"({"apn": "other"})"), built));
    EXPECT_EQ(FieldText(built.apn), "other");
    EXPECT_EQ(built.heartbeat_period.Get(), 77);
    EXPECT_EQ(built.dev_parity, 'O');
    EXPECT_EQ(std::string(FieldText(built.remote_addr[1])), "keep");
    EXPECT_EQ(built.status, 0);
    EXPECT_EQ(built.checksum, RecordChecksum(built));
}

// The window exports its form and a line applies the profile: the same bytes must go out as the window's
// save sends, whatever the user typed into the form, or the field is named as one a profile cannot hold.
TEST(Profile, AFormExportedAndAppliedCollectsToTheSameBytes) {
    const std::pair<int, std::string> texts[] = {
        {IDC_APN, "cmnet"},
        {IDC_DEV_BAUD, " 9600 "},
        {IDC_DEV_DATABITS, "7"},
        {IDC_DEV_PARITY, "even"},
        {IDC_DEV_STOPBITS, "2"},
        {IDC_HEARTBEAT_PERIOD, "65535"},
        {IDC_REBOOT_PERIOD, "+0"},
        {IDC_COMM_MODE, "whatever"},
        {IDC_POSITIONING, std::string(kTextPositioningOn.gbk)},
        {IDC_DEVICE_TYPE, std::string(kTextTempHumidity.gbk)},
        {IDC_COMM_TYPE, "TCP Server"},
        {IDC_REMOTE_ADDR3, "\xD6\xD0.example"},
        {IDC_REMOTE_PORT6, "  42"},
    };
    DeviceParams complete;
    ASSERT_FALSE(BuildRecord(GoldenDevice(), Parsed(kGoldenProfile), complete));
    CMemoryForm window;
    ShowDeviceParams(complete, window);
    for (const auto& [id, text] : texts) {
        window.SetText(id, text);
    }
    DeviceParams sentByWindow;
    ASSERT_FALSE(CollectDeviceParams(window, sentByWindow, kCheckedCollect));

    const ProfileExport exported = ProfileFromForm(window);
    ASSERT_TRUE(exported.problems.empty()) << exported.problems[0].Text();
    Profile reread;
    ASSERT_FALSE(ParseProfile(ProfileToJson(exported.profile), reread));
    DeviceParams sentByLine;
    ASSERT_FALSE(BuildRecord(GoldenDevice(), reread, sentByLine));
    sentByLine.firmware_version = sentByWindow.firmware_version;
    sentByLine.checksum = RecordChecksum(sentByLine);
    EXPECT_EQ(RawOf(sentByLine), RawOf(sentByWindow));
}

TEST(Profile, FormValuesAProfileCannotHoldAreNamed) {
    const struct {
        int id;
        std::string text;
        std::string problem;
    } cases[] = {
        {IDC_DEV_PARITY, "o", "device_parity: \"o\" is not one of \"NONE\", \"ODD\" or \"EVEN\""},
        {IDC_DEV_BAUD, "", "device_baud: \"\" is not a number from 1 to 2147483647"},
        {IDC_DEV_BAUD, "9600abc", "device_baud: \"9600abc\" is not a number from 1 to 2147483647"},
        {IDC_HEARTBEAT_PERIOD, "70000", "heartbeat_period: 70000 is outside 0 to 65535"},
        {IDC_REBOOT_PERIOD, "-1", "reboot_period: -1 is outside 0 to 255"},
        {IDC_DEV_DATABITS, "x", "device_data_bits: \"x\" is not a number from 5 to 8"},
        {IDC_APN, std::string(32, 'a'), "apn: 32 bytes in GBK; the field takes at most 31"},
        {IDC_DNS, "\xFF\xFF", "dns: holds bytes that are not GBK text: \"\\xff\\xff\""},
    };
    DeviceParams complete;
    ASSERT_FALSE(BuildRecord(GoldenDevice(), Parsed(kGoldenProfile), complete));
    for (const auto& c : cases) {
        CMemoryForm form;
        ShowDeviceParams(complete, form);
        form.SetText(c.id, c.text);
        const ProfileExport exported = ProfileFromForm(form);
        ASSERT_EQ(exported.problems.size(), 1u) << c.problem;
        EXPECT_EQ(exported.problems[0].Text(), c.problem);
        EXPECT_EQ(exported.profile.Count(), ProfileFields().size() - 1);
    }
    CMemoryForm form;
    ShowDeviceParams(complete, form);
    form.MarkNotGbk(IDC_APN_USER);
    EXPECT_EQ(ProfileFromForm(form).problems.at(0).Text(), "apn_user: holds a character GBK has no code for");
}

TEST(Profile, ComparisonNamesTheFieldsThatDiffer) {
    DeviceParams expected;
    ASSERT_FALSE(BuildRecord(GoldenDevice(), Parsed(kGoldenProfile), expected));
    DeviceParams actual = expected;
    EXPECT_TRUE(CompareRecords(expected, actual).empty());

    // Bytes behind a text's NUL, the device's own status and a new checksum are no difference.
    actual.apn[10] = 'z';
    actual.status = 0x7F;
    actual.checksum ^= 0xFF;
    EXPECT_TRUE(CompareRecords(expected, actual).empty());

    actual.remote_port[0].Set(5001);
    actual.flags &= static_cast<uint8_t>(~FLAG_POSITIONING);
    actual.device_id[0] = 'X';
    actual.device_id[1] = 0;
    const std::vector<FieldDifference> want = {
        {"device_id", "设备7", "X"},
        {"positioning", "开启", "关闭"},
        {"remote1_port", "5000", "5001"},
    };
    EXPECT_EQ(CompareRecords(expected, actual), want);
}

TEST(Profile, ApplyingWritesOnlyTheFieldsItHolds) {
    CMemoryForm form;
    ApplyProfile(Parsed(R"({"comm_mode": "非透明", "remote4_port": 80, "device_stop_bits": 2})"), form);
    std::vector<std::pair<int, std::string>> written;
    for (const auto& call : form.Calls()) {
        written.emplace_back(call.id, call.text);
    }
    const std::vector<std::pair<int, std::string>> want = {
        {IDC_DEV_STOPBITS, "2"},
        {IDC_COMM_MODE, std::string(kTextNonTransparent.gbk)},
        {IDC_REMOTE_PORT4, "80"},
    };
    EXPECT_EQ(written, want);
}

}  // namespace
