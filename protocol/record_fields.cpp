#include "protocol/record_fields.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <limits>

#include "protocol/device_params.h"
#include "res/control_ids.h"

namespace {

using K = ProfileFieldKind;

constexpr GbkText kParityChoices[] = {kTextNone, kTextOdd, kTextEven};
constexpr GbkText kCommModeChoices[] = {kTextTransparent, kTextNonTransparent};
constexpr GbkText kPositioningChoices[] = {kTextPositioningOff, kTextPositioningOn};
constexpr GbkText kDeviceTypeChoices[] = {kTextDtu, kTextTempHumidity};
// TCP and CoAP both go out as 0: the device reads 0 as TCP on a 4G module and as CoAP on an NB-IoT one.
constexpr GbkText kCommTypeChoices[] = {kTextTcp, kTextUdp, kTextCoap};
constexpr uint8_t kParityBytes[] = {'N', 'O', 'E'};
constexpr uint8_t kCommModeBytes[] = {0, FLAG_NON_TRANSPARENT};
constexpr uint8_t kPositioningBytes[] = {0, FLAG_POSITIONING};
constexpr uint8_t kDeviceTypeBytes[] = {0, FLAG_TEMP_HUMIDITY};
constexpr uint8_t kCommTypeBytes[] = {0, COMM_TYPE_UDP, 0};

constexpr int64_t kU8 = 255;
constexpr int64_t kU16 = 65535;
constexpr int64_t kI32 = std::numeric_limits<int32_t>::max();

constexpr ProfileField Text(std::string_view name, int id, std::size_t offset, std::size_t width) {
    return {name, id, K::Text, width - 1, 0, 0, {}, {}, offset, width, 0xFF};
}
constexpr ProfileField Number(std::string_view name, int id, int64_t min, int64_t max, std::size_t offset,
                              std::size_t width) {
    return {name, id, K::Number, 0, min, max, {}, {}, offset, width, 0xFF};
}
constexpr ProfileField Digit(std::string_view name, int id, int64_t min, int64_t max, std::size_t offset) {
    return {name, id, K::Digit, 0, min, max, {}, {}, offset, 1, 0xFF};
}
constexpr ProfileField Choice(std::string_view name, int id, std::span<const GbkText> choices,
                              std::span<const uint8_t> bytes, std::size_t offset, uint8_t mask) {
    return {name, id, K::Choice, 0, 0, 0, choices, bytes, offset, 1, mask};
}

#define AT(member) offsetof(DeviceParams, member)
#define WIDTH(member) sizeof(DeviceParams::member)

// Remote link n's address and port sit side by side here, as on one line of the form.
constexpr ProfileField kFields[] = {
    Text("apn", IDC_APN, AT(apn), WIDTH(apn)),
    Text("apn_user", IDC_APN_USER, AT(apn_user), WIDTH(apn_user)),
    Text("apn_password", IDC_APN_PASSWORD, AT(apn_password), WIDTH(apn_password)),
    // A rate must be positive; the record's field is signed 32-bit.
    Number("device_baud", IDC_DEV_BAUD, 1, kI32, AT(dev_baud), WIDTH(dev_baud)),
    Digit("device_data_bits", IDC_DEV_DATABITS, 5, 8, AT(dev_data_bits)),
    Choice("device_parity", IDC_DEV_PARITY, kParityChoices, kParityBytes, AT(dev_parity), 0xFF),
    // The form's list offers 0, 1 and 2; what 0 means is the device's business.
    Digit("device_stop_bits", IDC_DEV_STOPBITS, 0, 2, AT(dev_stop_bits)),
    Text("device_id", IDC_DEVICE_ID, AT(device_id), WIDTH(device_id)),
    Number("reboot_period", IDC_REBOOT_PERIOD, 0, kU8, AT(reboot_period), WIDTH(reboot_period)),
    Number("heartbeat_period", IDC_HEARTBEAT_PERIOD, 0, kU16, AT(heartbeat_period), WIDTH(heartbeat_period)),
    Number("netcheck_period", IDC_NETCHECK_PERIOD, 0, kU16, AT(netcheck_period), WIDTH(netcheck_period)),
    Choice("comm_mode", IDC_COMM_MODE, kCommModeChoices, kCommModeBytes, AT(flags), FLAG_NON_TRANSPARENT),
    Choice("positioning", IDC_POSITIONING, kPositioningChoices, kPositioningBytes, AT(flags),
           FLAG_POSITIONING),
    Choice("device_type", IDC_DEVICE_TYPE, kDeviceTypeChoices, kDeviceTypeBytes, AT(flags),
           FLAG_TEMP_HUMIDITY),
    Choice("comm_type", IDC_COMM_TYPE, kCommTypeChoices, kCommTypeBytes, AT(comm_type), 0xFF),
    Number("pack_max_len", IDC_PACK_MAX_LEN, 0, kU16, AT(pack_max_len), WIDTH(pack_max_len)),
    Number("pack_max_time", IDC_PACK_MAX_TIME, 0, kU16, AT(pack_max_time), WIDTH(pack_max_time)),
    Text("dns", IDC_DNS, AT(dns), WIDTH(dns)),
    Number("dns_period", IDC_DNS_PERIOD, 0, kU16, AT(dns_period), WIDTH(dns_period)),
    Text("remote1_address", RemoteAddrId(1), AT(remote_addr) + 0 * WIDTH(remote_addr[0]),
         WIDTH(remote_addr[0])),
    Number("remote1_port", RemotePortId(1), 0, kU16, AT(remote_port) + 0 * WIDTH(remote_port[0]),
           WIDTH(remote_port[0])),
    Text("remote2_address", RemoteAddrId(2), AT(remote_addr) + 1 * WIDTH(remote_addr[0]),
         WIDTH(remote_addr[0])),
    Number("remote2_port", RemotePortId(2), 0, kU16, AT(remote_port) + 1 * WIDTH(remote_port[0]),
           WIDTH(remote_port[0])),
    Text("remote3_address", RemoteAddrId(3), AT(remote_addr) + 2 * WIDTH(remote_addr[0]),
         WIDTH(remote_addr[0])),
    Number("remote3_port", RemotePortId(3), 0, kU16, AT(remote_port) + 2 * WIDTH(remote_port[0]),
           WIDTH(remote_port[0])),
    Text("remote4_address", RemoteAddrId(4), AT(remote_addr) + 3 * WIDTH(remote_addr[0]),
         WIDTH(remote_addr[0])),
    Number("remote4_port", RemotePortId(4), 0, kU16, AT(remote_port) + 3 * WIDTH(remote_port[0]),
           WIDTH(remote_port[0])),
    Text("remote5_address", RemoteAddrId(5), AT(remote_addr) + 4 * WIDTH(remote_addr[0]),
         WIDTH(remote_addr[0])),
    Number("remote5_port", RemotePortId(5), 0, kU16, AT(remote_port) + 4 * WIDTH(remote_port[0]),
           WIDTH(remote_port[0])),
    Text("remote6_address", RemoteAddrId(6), AT(remote_addr) + 5 * WIDTH(remote_addr[0]),
         WIDTH(remote_addr[0])),
    Number("remote6_port", RemotePortId(6), 0, kU16, AT(remote_port) + 5 * WIDTH(remote_port[0]),
           WIDTH(remote_port[0])),
};

#undef AT
#undef WIDTH

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
