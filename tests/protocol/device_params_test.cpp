#include "protocol/device_params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::array<uint8_t, 440>;

Bytes Filled(uint8_t value) {
    Bytes bytes;
    bytes.fill(value);
    return bytes;
}

Bytes RawOf(const DeviceParams& p) {
    Bytes raw{};
    const auto bytes = p.Bytes();
    std::copy(bytes.begin(), bytes.end(), raw.begin());
    return raw;
}

// Offsets below are the device's record layout written out by hand, not taken from the struct.
struct FieldWrite {
    const char* name;
    std::function<void(DeviceParams&)> write;
    std::size_t offset;
    std::vector<uint8_t> expected;
};

class FieldLayout : public testing::TestWithParam<FieldWrite> {};

TEST_P(FieldLayout, WritesOnlyItsOwnBytesLittleEndian) {
    const FieldWrite& field = GetParam();
    DeviceParams p;
    field.write(p);
    Bytes expected{};
    std::copy(field.expected.begin(), field.expected.end(), expected.begin() + field.offset);
    EXPECT_EQ(RawOf(p), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Record, FieldLayout,
    testing::Values(
        FieldWrite{
            "firmware_version", [](DeviceParams& p) { p.firmware_version.Set(0x0C01); }, 0, {0x01, 0x0C}},
        FieldWrite{"status", [](DeviceParams& p) { p.status = 0x7F; }, 2, {0x7F}},
        FieldWrite{"reboot_period", [](DeviceParams& p) { p.reboot_period = 0xC3; }, 3, {0xC3}},
        FieldWrite{
            "heartbeat_period", [](DeviceParams& p) { p.heartbeat_period.Set(0xA1B2); }, 4, {0xB2, 0xA1}},
        FieldWrite{
            "netcheck_period", [](DeviceParams& p) { p.netcheck_period.Set(0x0102); }, 6, {0x02, 0x01}},
        FieldWrite{"device_id",
                   [](DeviceParams& p) { p.device_id.front() = 'a', p.device_id.back() = 'z'; },
                   8,
                   {'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'z'}},
        FieldWrite{"apn", [](DeviceParams& p) { p.apn.front() = 'a'; }, 24, {'a'}},
        FieldWrite{"apn last", [](DeviceParams& p) { p.apn.back() = 'z'; }, 55, {'z'}},
        FieldWrite{"apn_user", [](DeviceParams& p) { p.apn_user.front() = 'u'; }, 56, {'u'}},
        FieldWrite{"apn_user last", [](DeviceParams& p) { p.apn_user.back() = 'z'; }, 95, {'z'}},
        FieldWrite{"apn_password", [](DeviceParams& p) { p.apn_password.front() = 'p'; }, 96, {'p'}},
        FieldWrite{"apn_password last", [](DeviceParams& p) { p.apn_password.back() = 'z'; }, 135, {'z'}},
        FieldWrite{"local_ip", [](DeviceParams& p) { p.local_ip.front() = '1'; }, 136, {'1'}},
        FieldWrite{"local_ip last", [](DeviceParams& p) { p.local_ip.back() = '9'; }, 151, {'9'}},
        FieldWrite{
            "dev_baud", [](DeviceParams& p) { p.dev_baud.Set(0x12345678); }, 152, {0x78, 0x56, 0x34, 0x12}},
        FieldWrite{
            "dev_baud negative", [](DeviceParams& p) { p.dev_baud.Set(-2); }, 152, {0xFE, 0xFF, 0xFF, 0xFF}},
        FieldWrite{"dev_data_bits", [](DeviceParams& p) { p.dev_data_bits = '8'; }, 156, {0x38}},
        FieldWrite{"dev_parity", [](DeviceParams& p) { p.dev_parity = 'E'; }, 157, {0x45}},
        FieldWrite{"dev_stop_bits", [](DeviceParams& p) { p.dev_stop_bits = '1'; }, 158, {0x31}},
        FieldWrite{"pack_max_len", [](DeviceParams& p) { p.pack_max_len.Set(1024); }, 160, {0x00, 0x04}},
        FieldWrite{"pack_max_time", [](DeviceParams& p) { p.pack_max_time.Set(0xBEEF); }, 162, {0xEF, 0xBE}},
        FieldWrite{"remote_addr 1", [](DeviceParams& p) { p.remote_addr[0].front() = 'a'; }, 164, {'a'}},
        FieldWrite{"remote_addr 2", [](DeviceParams& p) { p.remote_addr[1].front() = 'b'; }, 204, {'b'}},
        FieldWrite{"remote_addr 6", [](DeviceParams& p) { p.remote_addr[5].front() = 'f'; }, 364, {'f'}},
        FieldWrite{"remote_addr 6 last", [](DeviceParams& p) { p.remote_addr[5].back() = 'z'; }, 403, {'z'}},
        FieldWrite{"remote_port 1", [](DeviceParams& p) { p.remote_port[0].Set(5683); }, 404, {0x33, 0x16}},
        FieldWrite{"remote_port 2", [](DeviceParams& p) { p.remote_port[1].Set(0x8081); }, 406, {0x81, 0x80}},
        FieldWrite{"remote_port 6", [](DeviceParams& p) { p.remote_port[5].Set(0xFFFE); }, 414, {0xFE, 0xFF}},
        FieldWrite{"dns", [](DeviceParams& p) { p.dns.front() = '8'; }, 416, {'8'}},
        FieldWrite{"dns last", [](DeviceParams& p) { p.dns.back() = '9'; }, 431, {'9'}},
        FieldWrite{"dns_period", [](DeviceParams& p) { p.dns_period.Set(3600); }, 432, {0x10, 0x0E}},
        FieldWrite{"flags", [](DeviceParams& p) { p.flags = 0x0B; }, 434, {0x0B}},
        FieldWrite{"comm_type", [](DeviceParams& p) { p.comm_type = 1; }, 435, {0x01}},
        FieldWrite{"checksum", [](DeviceParams& p) { p.checksum = 0x5A; }, 439, {0x5A}}),
    [](const testing::TestParamInfo<FieldWrite>& row) {
        std::string name = row.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(DeviceParams, DefaultIsAllZero) {
    EXPECT_EQ(RawOf(DeviceParams{}), Bytes{});
}

TEST(DeviceParams, FromBytesReadsEveryNumberLittleEndian) {
    Bytes raw{};
    auto put = [&](std::size_t offset, std::initializer_list<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), raw.begin() + offset);
    };
    put(0, {0x34, 0x12});
    put(2, {0x41});
    put(3, {0xFF});
    put(4, {0xFF, 0xFF});
    put(6, {0x00, 0x80});
    put(152, {0x00, 0x00, 0x00, 0x80});
    put(160, {0x01, 0x00});
    put(162, {0x00, 0x01});
    put(404, {0x33, 0x16});
    put(414, {0x90, 0x1F});
    put(432, {0x10, 0x0E});
    put(434, {0xFF, 0x02});
    put(439, {0xAB});

    const DeviceParams p = DeviceParams::FromBytes(raw);
    EXPECT_EQ(p.firmware_version.Get(), 0x1234);
    EXPECT_EQ(p.status, 0x41);
    EXPECT_EQ(p.reboot_period, 255);
    EXPECT_EQ(p.heartbeat_period.Get(), 65535);
    EXPECT_EQ(p.netcheck_period.Get(), 0x8000);
    EXPECT_EQ(p.dev_baud.Get(), INT32_MIN);
    EXPECT_EQ(p.pack_max_len.Get(), 1);
    EXPECT_EQ(p.pack_max_time.Get(), 256);
    EXPECT_EQ(p.remote_port[0].Get(), 5683);
    EXPECT_EQ(p.remote_port[5].Get(), 8080);
    EXPECT_EQ(p.dns_period.Get(), 3600);
    EXPECT_EQ(p.flags, 0xFF);
    EXPECT_EQ(p.comm_type, 2);
    EXPECT_EQ(p.checksum, 0xAB);
    EXPECT_EQ(RawOf(p), raw);
}

TEST(ParamChecksum, SumsUnsignedBytes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int sum;
    };
    std::vector<uint8_t> wraps(18, 0xFF);  // 18 * 255 + 0x46 = 0x1234
    wraps.push_back(0x46);
    const Case cases[] = {
        {"abc", {0x61, 0x62, 0x63}, 0x126},
        {"empty", {}, 0},
        {"high bytes count as unsigned", {0x80, 0xFF}, 0x17F},
        {"past 16 bits", std::vector<uint8_t>(439, 0xFF), 439 * 255},
        {"0x1234", wraps, 0x1234},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParamChecksum(c.bytes.data(), static_cast<uint16_t>(c.bytes.size())), c.sum) << c.name;
    }
    const uint8_t abc[] = {0x61, 0x62, 0x63};
    EXPECT_EQ(ParamChecksum(abc, 2), 0xC3) << "stops at length";
}

TEST(RecordChecksum, LowByteOfBytes0To438) {
    struct Case {
        const char* name;
        std::function<void(DeviceParams&)> fill;
        uint8_t checksum;
    };
    const Case cases[] = {
        {"all zero", [](DeviceParams&) {}, 0x00},
        {"firmware 0x0C01", [](DeviceParams& p) { p.firmware_version.Set(0x0C01); }, 0x0D},
        {"checksum byte not summed", [](DeviceParams& p) { p.checksum = 0xFF; }, 0x00},
        {"abc in apn", [](DeviceParams& p) { p.apn[0] = 'a', p.apn[1] = 'b', p.apn[2] = 'c'; }, 0x26},
        {"wraps, never saturates",
         [](DeviceParams& p) {
             std::fill(p.remote_addr[0].begin(), p.remote_addr[0].begin() + 18, uint8_t{0xFF});
             p.reserved2[2] = 0x46;  // byte 438, the last one summed
         },
         0x34},
        {"all 0xFF", [](DeviceParams& p) { p = DeviceParams::FromBytes(Filled(0xFF)); }, 0x49},  // 0x1B549
    };
    for (const Case& c : cases) {
        DeviceParams p;
        c.fill(p);
        EXPECT_EQ(RecordChecksum(p), c.checksum) << c.name;
    }
}

TEST(FieldText, EndsAtFirstNulOrFieldEnd) {
    const std::array<uint8_t, 4> full = {'a', 'b', 'c', 'd'};
    const std::array<uint8_t, 4> mid = {'a', 0, 'c', 0};
    const std::array<uint8_t, 4> empty = {0, 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(full), "abcd");
    EXPECT_EQ(FieldText(mid), "a");
    EXPECT_EQ(FieldText(empty), "");
    EXPECT_EQ(FieldText(std::span(full).first(2)), "ab");
}

}  // namespace
