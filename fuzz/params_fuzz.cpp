// Showing an arbitrary 440-byte record through a fake form and collecting it back. The collection follows
// the form's reading order, restated here as a table with what each control gives back: it succeeds
// unless a text field was shown full width (no NUL in it) or a control held text GBK cannot encode, and
// then it refuses at the first such control, reads nothing after it and leaves zeros behind it. A record
// collected whole has its checksum, and status, local_ip and the reserved bytes go out as zero. An input
// byte past the record picks the control, if any, whose text is made unencodable.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/device_params.h"
#include "protocol/memory_form.h"
#include "protocol/param_form.h"
#include "res/control_ids.h"

namespace {

// The field's text as the form shows it: its bytes up to the first NUL, the whole field when it has none.
std::string_view ShownText(std::span<const uint8_t> field) {
    std::size_t length = 0;
    while (length < field.size() && field[length] != 0) {
        ++length;
    }
    return {reinterpret_cast<const char*>(field.data()), length};
}

template <std::size_t N>
void CopyShownText(const std::array<uint8_t, N>& from, std::array<uint8_t, N>& to) {
    const std::string_view text = ShownText(from);
    std::copy(text.begin(), text.end(), to.begin());
}

// What collecting one control puts into the record, given the record that was shown.
using Collected = void (*)(const DeviceParams& shown, DeviceParams& out);

struct FormControl {
    int id;
    std::size_t textWidth;  // width of the text field it fills, 0 for other controls
    Collected collect;
};

template <std::size_t N>
void RemoteAddr(const DeviceParams& s, DeviceParams& o) {
    CopyShownText(s.remote_addr[N], o.remote_addr[N]);
}

template <std::size_t N>
void RemotePort(const DeviceParams& s, DeviceParams& o) {
    o.remote_port[N] = s.remote_port[N];
}

// In the order the form is read. Numbers shown in decimal come back whole; a data-bits or stop-bits byte
// shown as one character comes back as itself; parity comes back as the first letter of its text.
const std::vector<FormControl>& ReadingOrder() {
    static const std::vector<FormControl> order = {
        {IDC_APN, 32, [](const DeviceParams& s, DeviceParams& o) { CopyShownText(s.apn, o.apn); }},
        {IDC_APN_USER, 40,
         [](const DeviceParams& s, DeviceParams& o) { CopyShownText(s.apn_user, o.apn_user); }},
        {IDC_APN_PASSWORD, 40,
         [](const DeviceParams& s, DeviceParams& o) { CopyShownText(s.apn_password, o.apn_password); }},
        {IDC_DEV_BAUD, 0, [](const DeviceParams& s, DeviceParams& o) { o.dev_baud = s.dev_baud; }},
        {IDC_DEV_DATABITS, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.dev_data_bits = s.dev_data_bits; }},
        {IDC_DEV_PARITY, 0,
         [](const DeviceParams& s, DeviceParams& o) {
             o.dev_parity = (s.dev_parity == 'O' || s.dev_parity == 'E') ? s.dev_parity : uint8_t{'N'};
         }},
        {IDC_DEV_STOPBITS, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.dev_stop_bits = s.dev_stop_bits; }},
        {IDC_DEVICE_ID, 16,
         [](const DeviceParams& s, DeviceParams& o) { CopyShownText(s.device_id, o.device_id); }},
        {IDC_REBOOT_PERIOD, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.reboot_period = s.reboot_period; }},
        {IDC_HEARTBEAT_PERIOD, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.heartbeat_period = s.heartbeat_period; }},
        {IDC_NETCHECK_PERIOD, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.netcheck_period = s.netcheck_period; }},
        {IDC_COMM_MODE, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.flags |= s.flags & FLAG_NON_TRANSPARENT; }},
        {IDC_POSITIONING, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.flags |= s.flags & FLAG_POSITIONING; }},
        {IDC_DEVICE_TYPE, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.flags |= s.flags & FLAG_TEMP_HUMIDITY; }},
        {IDC_COMM_TYPE, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.comm_type = s.comm_type == COMM_TYPE_UDP ? 1 : 0; }},
        {IDC_PACK_MAX_LEN, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.pack_max_len = s.pack_max_len; }},
        {IDC_PACK_MAX_TIME, 0,
         [](const DeviceParams& s, DeviceParams& o) { o.pack_max_time = s.pack_max_time; }},
        {IDC_DNS, 16, [](const DeviceParams& s, DeviceParams& o) { CopyShownText(s.dns, o.dns); }},
        {IDC_DNS_PERIOD, 0, [](const DeviceParams& s, DeviceParams& o) { o.dns_period = s.dns_period; }},
        {RemoteAddrId(1), 40, RemoteAddr<0>},
        {RemoteAddrId(2), 40, RemoteAddr<1>},
        {RemoteAddrId(3), 40, RemoteAddr<2>},
        {RemoteAddrId(4), 40, RemoteAddr<3>},
        {RemoteAddrId(5), 40, RemoteAddr<4>},
        {RemoteAddrId(6), 40, RemoteAddr<5>},
        {RemotePortId(1), 0, RemotePort<0>},
        {RemotePortId(2), 0, RemotePort<1>},
        {RemotePortId(3), 0, RemotePort<2>},
        {RemotePortId(4), 0, RemotePort<3>},
        {RemotePortId(5), 0, RemotePort<4>},
        {RemotePortId(6), 0, RemotePort<5>},
    };
    return order;
}

struct ShownField {
    int id;
    std::span<const uint8_t> field;
};

uint8_t ChecksumByRules(std::span<const uint8_t, kDeviceParamsSize> bytes) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < kChecksumOffset; ++i) {
        sum += bytes[i];
    }
    return static_cast<uint8_t>(sum & 0xFFu);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::array<uint8_t, kDeviceParamsSize> bytes{};
    std::copy_n(data, std::min(size, bytes.size()), bytes.begin());
    const DeviceParams shown = DeviceParams::FromBytes(bytes);
    FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), shown.Bytes().begin()));

    CMemoryForm form;
    ShowDeviceParams(shown, form);

    // A text field's edit shows its bytes up to the NUL and never a byte of the next field.
    const ShownField textFields[] = {
        {IDC_LOCAL_IP, shown.local_ip},          {IDC_APN, shown.apn},
        {IDC_APN_USER, shown.apn_user},          {IDC_APN_PASSWORD, shown.apn_password},
        {IDC_DEVICE_ID, shown.device_id},        {IDC_DNS, shown.dns},
        {RemoteAddrId(1), shown.remote_addr[0]}, {RemoteAddrId(2), shown.remote_addr[1]},
        {RemoteAddrId(3), shown.remote_addr[2]}, {RemoteAddrId(4), shown.remote_addr[3]},
        {RemoteAddrId(5), shown.remote_addr[4]}, {RemoteAddrId(6), shown.remote_addr[5]},
    };
    for (const ShownField& f : textFields) {
        FUZZ_CHECK(form.Text(f.id) == ShownText(f.field));
    }

    const std::vector<FormControl>& order = ReadingOrder();
    std::optional<int> notGbkId;
    if (size > kDeviceParamsSize && data[kDeviceParamsSize] < order.size()) {
        notGbkId = order[data[kDeviceParamsSize]].id;
        form.MarkNotGbk(*notGbkId);
    }

    // The record the collection must give, and where it must stop.
    DeviceParams expected{};
    expected.firmware_version = shown.firmware_version;
    std::optional<CollectRefusal> expectedRefusal;
    std::vector<int> expectedReads;
    for (const FormControl& control : order) {
        expectedReads.push_back(control.id);
        const std::size_t maxBytes = control.textWidth == 0 ? 0 : control.textWidth - 1;
        if (control.id == notGbkId) {
            expectedRefusal = CollectRefusal{control.id, CollectRefusal::Reason::NotGbk, maxBytes};
            break;
        }
        if (control.textWidth != 0 && form.Text(control.id).size() > maxBytes) {
            expectedRefusal = CollectRefusal{control.id, CollectRefusal::Reason::TooLong, maxBytes};
            break;
        }
        control.collect(shown, expected);
    }
    if (!expectedRefusal) {
        expected.checksum = ChecksumByRules(expected.Bytes());
    }

    // The held record is the one shown, as after a read; collecting replaces all of it.
    DeviceParams held = shown;
    form.ClearCalls();
    const std::optional<CollectRefusal> refusal = CollectDeviceParams(form, held);
    FUZZ_CHECK(refusal == expectedRefusal);
    FUZZ_CHECK(form.ReadIds() == expectedReads);
    FUZZ_CHECK(held == expected);
    if (!refusal) {
        FUZZ_CHECK(held.checksum == ChecksumByRules(held.Bytes()));
        FUZZ_CHECK(held.status == 0);
        FUZZ_CHECK(std::all_of(held.local_ip.begin(), held.local_ip.end(), [](uint8_t b) { return b == 0; }));
        FUZZ_CHECK(held.reserved1 == 0);
        FUZZ_CHECK(
            std::all_of(held.reserved2.begin(), held.reserved2.end(), [](uint8_t b) { return b == 0; }));
    } else {
        FUZZ_CHECK(held.checksum == 0);
    }
    return 0;
}
