// The profile's fields: each one's name, the control it fills, its rules and where it lies in the record.
#include <algorithm>
#include <iterator>
#include <limits>

#include "protocol/profile.h"
#include "res/control_ids.h"

namespace {

using K = ProfileFieldKind;

constexpr GbkText kParityChoices[] = {kTextNone, kTextOdd, kTextEven};
constexpr GbkText kCommModeChoices[] = {kTextTransparent, kTextNonTransparent};
constexpr GbkText kPositioningChoices[] = {kTextPositioningOff, kTextPositioningOn};
constexpr GbkText kDeviceTypeChoices[] = {kTextDtu, kTextTempHumidity};
// TCP and CoAP both go out as 0: the device reads 0 as TCP on a 4G module and as CoAP on an NB-IoT one.
constexpr GbkText kCommTypeChoices[] = {kTextTcp, kTextUdp, kTextCoap};

constexpr int64_t kU8 = 255;
constexpr int64_t kU16 = 65535;
constexpr int64_t kI32 = std::numeric_limits<int32_t>::max();

constexpr ProfileField Text(std::string_view name, int id, std::size_t offset, std::size_t width) {
    return {name, id, K::Text, width - 1, 0, 0, {}, offset, width, 0xFF};
}
constexpr ProfileField Number(std::string_view name, int id, int64_t min, int64_t max, std::size_t offset,
                              std::size_t width) {
    return {name, id, K::Number, 0, min, max, {}, offset, width, 0xFF};
}
constexpr ProfileField Digit(std::string_view name, int id, int64_t min, int64_t max, std::size_t offset) {
    return {name, id, K::Digit, 0, min, max, {}, offset, 1, 0xFF};
}
constexpr ProfileField Choice(std::string_view name, int id, std::span<const GbkText> choices,
                              std::size_t offset, uint8_t mask) {
    return {name, id, K::Choice, 0, 0, 0, choices, offset, 1, mask};
}

// Remote link n's address and port sit side by side here, as on one line of the form.
constexpr ProfileField kFields[] = {
    Text("apn", IDC_APN, 24, 32),
    Text("apn_user", IDC_APN_USER, 56, 40),
    Text("apn_password", IDC_APN_PASSWORD, 96, 40),
    // A rate must be positive; the record's field is signed 32-bit.
    Number("device_baud", IDC_DEV_BAUD, 1, kI32, 152, 4),
    Digit("device_data_bits", IDC_DEV_DATABITS, 5, 8, 156),
    Choice("device_parity", IDC_DEV_PARITY, kParityChoices, 157, 0xFF),
    // The form's list offers 0, 1 and 2; what 0 means is the device's business.
    Digit("device_stop_bits", IDC_DEV_STOPBITS, 0, 2, 158),
    Text("device_id", IDC_DEVICE_ID, 8, 16),
    Number("reboot_period", IDC_REBOOT_PERIOD, 0, kU8, 3, 1),
    Number("heartbeat_period", IDC_HEARTBEAT_PERIOD, 0, kU16, 4, 2),
    Number("netcheck_period", IDC_NETCHECK_PERIOD, 0, kU16, 6, 2),
    Choice("comm_mode", IDC_COMM_MODE, kCommModeChoices, 434, FLAG_NON_TRANSPARENT),
    Choice("positioning", IDC_POSITIONING, kPositioningChoices, 434, FLAG_POSITIONING),
    Choice("device_type", IDC_DEVICE_TYPE, kDeviceTypeChoices, 434, FLAG_TEMP_HUMIDITY),
    Choice("comm_type", IDC_COMM_TYPE, kCommTypeChoices, 435, 0xFF),
    Number("pack_max_len", IDC_PACK_MAX_LEN, 0, kU16, 160, 2),
    Number("pack_max_time", IDC_PACK_MAX_TIME, 0, kU16, 162, 2),
    Text("dns", IDC_DNS, 416, 16),
    Number("dns_period", IDC_DNS_PERIOD, 0, kU16, 432, 2),
    Text("remote1_address", RemoteAddrId(1), 164, 40),
    Number("remote1_port", RemotePortId(1), 0, kU16, 404, 2),
    Text("remote2_address", RemoteAddrId(2), 204, 40),
    Number("remote2_port", RemotePortId(2), 0, kU16, 406, 2),
    Text("remote3_address", RemoteAddrId(3), 244, 40),
    Number("remote3_port", RemotePortId(3), 0, kU16, 408, 2),
    Text("remote4_address", RemoteAddrId(4), 284, 40),
    Number("remote4_port", RemotePortId(4), 0, kU16, 410, 2),
    Text("remote5_address", RemoteAddrId(5), 324, 40),
    Number("remote5_port", RemotePortId(5), 0, kU16, 412, 2),
    Text("remote6_address", RemoteAddrId(6), 364, 40),
    Number("remote6_port", RemotePortId(6), 0, kU16, 414, 2),
};

}  // namespace

std::span<const ProfileField> ProfileFields() {
    return kFields;
}

const ProfileField* FindProfileField(std::string_view name) {
    const auto it = std::find_if(std::begin(kFields), std::end(kFields),
                                 [&](const ProfileField& f) { return f.name == name; });
    return it == std::end(kFields) ? nullptr : &*it;
}

const ProfileField* FindProfileFieldById(int controlId) {
    const auto it = std::find_if(std::begin(kFields), std::end(kFields),
                                 [&](const ProfileField& f) { return f.controlId == controlId; });
    return it == std::end(kFields) ? nullptr : &*it;
}
