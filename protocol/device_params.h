// The device's parameter record: 440 bytes that travel raw in both directions, behind "+CONFIG=" from the
// device and behind "DTU+CONFIG=" to it. The window holds one DeviceParams; the response dispatcher copies
// received bytes into it with FromBytes, the form binding (param_form.h) shows it and rebuilds it, and the
// save command sends Bytes(). Every field is a byte array so the layout is byte-exact on any host; numbers
// are little-endian whatever the host's order, read and written through Get/Set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

// A little-endian number stored as plain bytes, so it has no alignment and no host byte order.
template <typename T>
struct LeNumber {
    std::array<uint8_t, sizeof(T)> bytes{};

    T Get() const {
        std::make_unsigned_t<T> value = 0;
        for (std::size_t i = sizeof(T); i-- > 0;) {
            value = static_cast<std::make_unsigned_t<T>>((value << 8) | bytes[i]);
        }
        return static_cast<T>(value);
    }
    void Set(T value) {
        auto bits = static_cast<std::make_unsigned_t<T>>(value);
        for (auto& b : bytes) {
            b = static_cast<uint8_t>(bits & 0xFFu);
            bits = static_cast<std::make_unsigned_t<T>>(bits >> 8);
        }
    }
    bool operator==(const LeNumber&) const = default;
};
using LeUint16 = LeNumber<uint16_t>;
using LeInt32 = LeNumber<int32_t>;

inline constexpr std::size_t kDeviceParamsSize = 440;
inline constexpr std::size_t kChecksumOffset = 439;

struct DeviceParams {
    LeUint16 firmware_version;
    uint8_t status = 0;
    uint8_t reboot_period = 0;
    LeUint16 heartbeat_period;
    LeUint16 netcheck_period;
    std::array<uint8_t, 16> device_id{};
    std::array<uint8_t, 32> apn{};
    std::array<uint8_t, 40> apn_user{};
    std::array<uint8_t, 40> apn_password{};
    std::array<uint8_t, 16> local_ip{};
    LeInt32 dev_baud;
    uint8_t dev_data_bits = 0;
    uint8_t dev_parity = 0;
    uint8_t dev_stop_bits = 0;
    uint8_t reserved1 = 0;
    LeUint16 pack_max_len;
    LeUint16 pack_max_time;
    std::array<std::array<uint8_t, 40>, 6> remote_addr{};
    std::array<LeUint16, 6> remote_port{};
    std::array<uint8_t, 16> dns{};
    LeUint16 dns_period;
    uint8_t flags = 0;
    uint8_t comm_type = 0;
    std::array<uint8_t, 3> reserved2{};
    uint8_t checksum = 0;

    std::span<const uint8_t, kDeviceParamsSize> Bytes() const {
        return std::span<const uint8_t, kDeviceParamsSize>(reinterpret_cast<const uint8_t*>(this),
                                                           kDeviceParamsSize);
    }
    static DeviceParams FromBytes(std::span<const uint8_t, kDeviceParamsSize> bytes);

    bool operator==(const DeviceParams&) const = default;
};

static_assert(std::is_standard_layout_v<DeviceParams> && std::is_trivially_copyable_v<DeviceParams>);
static_assert(sizeof(DeviceParams) == kDeviceParamsSize);
static_assert(offsetof(DeviceParams, firmware_version) == 0);
static_assert(offsetof(DeviceParams, status) == 2);
static_assert(offsetof(DeviceParams, reboot_period) == 3);
static_assert(offsetof(DeviceParams, heartbeat_period) == 4);
static_assert(offsetof(DeviceParams, netcheck_period) == 6);
static_assert(offsetof(DeviceParams, device_id) == 8);
static_assert(offsetof(DeviceParams, apn) == 24);
static_assert(offsetof(DeviceParams, apn_user) == 56);
static_assert(offsetof(DeviceParams, apn_password) == 96);
static_assert(offsetof(DeviceParams, local_ip) == 136);
static_assert(offsetof(DeviceParams, dev_baud) == 152);
static_assert(offsetof(DeviceParams, dev_data_bits) == 156);
static_assert(offsetof(DeviceParams, dev_parity) == 157);
static_assert(offsetof(DeviceParams, dev_stop_bits) == 158);
static_assert(offsetof(DeviceParams, reserved1) == 159);
static_assert(offsetof(DeviceParams, pack_max_len) == 160);
static_assert(offsetof(DeviceParams, pack_max_time) == 162);
static_assert(offsetof(DeviceParams, remote_addr) == 164 && sizeof(DeviceParams::remote_addr) == 240);
static_assert(offsetof(DeviceParams, remote_port) == 404 && sizeof(DeviceParams::remote_port) == 12);
static_assert(offsetof(DeviceParams, dns) == 416);
static_assert(offsetof(DeviceParams, dns_period) == 432);
static_assert(offsetof(DeviceParams, flags) == 434);
static_assert(offsetof(DeviceParams, comm_type) == 435);
static_assert(offsetof(DeviceParams, reserved2) == 436);
static_assert(offsetof(DeviceParams, checksum) == kChecksumOffset);

// firmware_version: any bit of the mask means an NB-IoT module, none a 4G module.
inline constexpr uint16_t MODULE_TYPE_MASK = 0x0C00;

// status: link n connected is bit n-1.
inline constexpr uint8_t STATUS_LINK1 = 0x01;
inline constexpr uint8_t STATUS_LINK2 = 0x02;
inline constexpr uint8_t STATUS_LINK3 = 0x04;
inline constexpr uint8_t STATUS_LINK4 = 0x08;
inline constexpr uint8_t STATUS_LINK5 = 0x10;
inline constexpr uint8_t STATUS_LINK6 = 0x20;
inline constexpr uint8_t STATUS_ONLINE = 0x40;

// flags: bits 2 and 4-7 mean nothing to the tool and go out as zero.
inline constexpr uint8_t FLAG_NON_TRANSPARENT = 0x01;
inline constexpr uint8_t FLAG_POSITIONING = 0x02;
inline constexpr uint8_t FLAG_TEMP_HUMIDITY = 0x08;

// comm_type: any other value means TCP on a 4G module and CoAP on an NB-IoT module.
inline constexpr uint8_t COMM_TYPE_UDP = 1;

// The sum of length bytes taken as 0-255; the record stores only its low 8 bits.
int ParamChecksum(const uint8_t* data, uint16_t length);

// Low 8 bits of the sum of bytes 0-438: the value that belongs at offset 439.
uint8_t RecordChecksum(const DeviceParams& params);

// Whether the record's stored checksum matches its bytes: one flipped bit on the line shows here.
inline bool RecordIntact(const DeviceParams& params) {
    return params.checksum == RecordChecksum(params);
}

// A text field's bytes up to its first NUL; a field with no NUL is taken whole, never beyond its width.
std::string_view FieldText(std::span<const uint8_t> field);
