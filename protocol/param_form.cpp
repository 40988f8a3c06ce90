#include "protocol/param_form.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include "protocol/number_text.h"
#include "protocol/record_fields.h"
#include "res/control_ids.h"
#include "res/texts.h"

namespace {

// "%c" into a C string: a 0 byte ends the string at once, so it shows as nothing.
std::string CharText(uint8_t c) {
    return c == 0 ? std::string() : std::string(1, static_cast<char>(c));
}

// Reads the form in order; after the first refusal it reads nothing more and yields empty texts, so the
// fields behind the refused control keep the zeros they were given.
class FormReader {
  public:
    FormReader(const IParamForm& form, const CollectRules& rules) : m_form(form), m_rules(rules) {}

    const std::optional<CollectRefusal>& Refusal() const { return m_refusal; }

    std::string Text(int id) {
        if (m_refusal) {
            return {};
        }
        auto text = m_form.GetText(id);
        if (!text) {
            m_refusal = CollectRefusal{id, CollectRefusal::Reason::NotGbk, 0};
            return {};
        }
        return *std::move(text);
    }

    // Text bytes into a NUL-padded field; a text that would leave no NUL is refused.
    void CopyText(int id, std::span<uint8_t> field) {
        if (m_refusal) {
            return;
        }
        const std::size_t maxBytes = field.size() - 1;
        const auto text = m_form.GetText(id);
        if (!text || text->size() > maxBytes) {
            m_refusal = CollectRefusal{
                id, text ? CollectRefusal::Reason::TooLong : CollectRefusal::Reason::NotGbk, maxBytes};
            return;
        }
        std::copy(text->begin(), text->end(), field.begin());
    }

    uint8_t FirstByte(int id) {
        const std::string text = Text(id);
        return text.empty() ? uint8_t{0} : static_cast<uint8_t>(text[0]);
    }
    // Unchecked, out-of-range numbers keep their low bits, as the device's form always stored them.
    uint8_t U8(int id) { return static_cast<uint8_t>(m_rules.checkNumbers ? Number(id) : Atoi32(Text(id))); }
    uint16_t U16(int id) {
        return static_cast<uint16_t>(m_rules.checkNumbers ? Number(id) : Atoi32(Text(id)));
    }
    int32_t Baud(int id) {
        return m_rules.checkNumbers ? static_cast<int32_t>(Number(id)) : Atol32(Text(id));
    }
    // A count the device holds as its digit character.
    uint8_t Digit(int id) {
        if (!m_rules.checkNumbers) {
            return FirstByte(id);
        }
        const int64_t count = Number(id);
        return m_refusal ? uint8_t{0} : static_cast<uint8_t>('0' + count);
    }
    uint8_t Parity(int id) {
        if (!m_rules.checkParity) {
            return FirstByte(id);
        }
        const std::string text = Text(id);
        if (m_refusal) {
            return 0;
        }
        if (const auto byte = ParityByte(text)) {
            return *byte;
        }
        m_refusal = CollectRefusal{id, CollectRefusal::Reason::NotParity, 0};
        return 0;
    }
    bool Is(int id, const GbkText& expected) { return Text(id) == expected.gbk; }

  private:
    // The number in the control, or a refusal naming the field's range; 0 once refused.
    int64_t Number(int id) {
        const ProfileField& field = *FindProfileFieldById(id);
        const int64_t min = field.min;
        const int64_t max = field.max;
        const std::string text = Text(id);
        if (m_refusal) {
            return 0;
        }
        const std::optional<int64_t> value = WholeNumber(text);
        if (!value || *value < min || *value > max) {
            using R = CollectRefusal::Reason;
            m_refusal = CollectRefusal{id, value ? R::OutOfRange : R::NotNumber, 0, min, max};
            return 0;
        }
        return *value;
    }

    const IParamForm& m_form;
    const CollectRules& m_rules;
    std::optional<CollectRefusal> m_refusal;
};

}  // namespace

void ShowDeviceParams(const DeviceParams& params, IParamForm& form) {
    const uint16_t version = params.firmware_version.Get();
    const bool nbIot = (version & MODULE_TYPE_MASK) != 0;

    form.ResetList(IDC_COMM_TYPE);
    form.AddListItem(IDC_COMM_TYPE, nbIot ? kTextCoap.gbk : kTextTcp.gbk);
    form.AddListItem(IDC_COMM_TYPE, kTextUdp.gbk);
    form.SetText(IDC_MODULE_TYPE, nbIot ? kTextNbIotModule.gbk : kText4gModule.gbk);

    char versionText[8];
    std::snprintf(versionText, sizeof versionText, "V%.4x", static_cast<unsigned>(version));
    form.SetText(IDC_FIRMWARE_VERSION, versionText);

    form.SetText(IDC_NET_STATUS, (params.status & STATUS_ONLINE) ? kTextOnline.gbk : kTextOffline.gbk);
    for (int n = 1; n <= 6; ++n) {
        const bool up = (params.status >> (n - 1)) & 1;
        form.SetText(LinkStateId(n), up ? kTextLinkUp.gbk : kTextLinkDown.gbk);
    }
    form.SetText(IDC_LOCAL_IP, FieldText(params.local_ip));
    form.SetText(IDC_APN, FieldText(params.apn));
    form.SetText(IDC_APN_USER, FieldText(params.apn_user));
    form.SetText(IDC_APN_PASSWORD, FieldText(params.apn_password));
    form.SetText(IDC_DEV_BAUD, std::to_string(params.dev_baud.Get()));
    form.SetText(IDC_DEV_DATABITS, CharText(params.dev_data_bits));
    form.SetText(IDC_DEV_PARITY, params.dev_parity == 'O'   ? kTextOdd.gbk
                                 : params.dev_parity == 'E' ? kTextEven.gbk
                                                            : kTextNone.gbk);
    form.SetText(IDC_DEV_STOPBITS, CharText(params.dev_stop_bits));
    form.SetText(IDC_DEVICE_ID, FieldText(params.device_id));
    form.SetText(IDC_REBOOT_PERIOD, std::to_string(params.reboot_period));
    form.SetText(IDC_HEARTBEAT_PERIOD, std::to_string(params.heartbeat_period.Get()));
    form.SetText(IDC_NETCHECK_PERIOD, std::to_string(params.netcheck_period.Get()));
    form.SetText(IDC_COMM_MODE,
                 (params.flags & FLAG_NON_TRANSPARENT) ? kTextNonTransparent.gbk : kTextTransparent.gbk);
    form.SetText(IDC_POSITIONING,
                 (params.flags & FLAG_POSITIONING) ? kTextPositioningOn.gbk : kTextPositioningOff.gbk);

    const bool tempHumidity = (params.flags & FLAG_TEMP_HUMIDITY) != 0;
    ShowDeviceTypeLayout(tempHumidity, form);
    form.SetText(IDC_DEVICE_TYPE, tempHumidity ? kTextTempHumidity.gbk : kTextDtu.gbk);

    form.SetText(IDC_COMM_TYPE, params.comm_type == COMM_TYPE_UDP ? kTextUdp.gbk
                                : nbIot                           ? kTextCoap.gbk
                                                                  : kTextTcp.gbk);
    form.SetText(IDC_PACK_MAX_LEN, std::to_string(params.pack_max_len.Get()));
    form.SetText(IDC_PACK_MAX_TIME, std::to_string(params.pack_max_time.Get()));
    form.SetText(IDC_DNS, FieldText(params.dns));
    form.SetText(IDC_DNS_PERIOD, std::to_string(params.dns_period.Get()));
    for (int n = 1; n <= 6; ++n) {
        form.SetText(RemoteAddrId(n), FieldText(params.remote_addr[static_cast<std::size_t>(n - 1)]));
    }
    for (int n = 1; n <= 6; ++n) {
        form.SetText(RemotePortId(n),
                     std::to_string(params.remote_port[static_cast<std::size_t>(n - 1)].Get()));
    }
}

void ShowDeviceTypeLayout(bool tempHumidity, IParamForm& form) {
    // The temperature/humidity device reuses three fields under other names and has one remote link.
    form.SetText(IDC_DEVICE_ID_LABEL, tempHumidity ? kTextImeiLabel.gbk : kTextDeviceIdLabel.gbk);
    form.SetText(IDC_NETCHECK_LABEL, tempHumidity ? kTextDeviceAddressLabel.gbk : kTextNetcheckLabel.gbk);
    form.SetText(IDC_HEARTBEAT_LABEL, tempHumidity ? kTextReportPeriodLabel.gbk : kTextHeartbeatLabel.gbk);
    for (int n = 2; n <= 6; ++n) {
        form.EnableControl(RemoteAddrId(n), !tempHumidity);
        form.EnableControl(RemotePortId(n), !tempHumidity);
    }
}

std::optional<uint8_t> ParityByte(std::string_view gbk) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    const std::string_view text = TrimmedBlanks(gbk);
    const ProfileField& parity = *FindProfileFieldById(IDC_DEV_PARITY);
    for (std::size_t i = 0; i < parity.choices.size(); ++i) {
        const std::string_view name = parity.choices[i].gbk;
        if (std::ranges::equal(text, name, [&](char x, char y) { return upper(x) == upper(y); })) {
            return parity.choiceBytes[i];
        }
    }
    return std::nullopt;
}

bool IsTempHumidityText(std::string_view gbk) {
    return gbk == kTextTempHumidity.gbk;
}

std::optional<CollectRefusal> CollectDeviceParams(IParamForm& form, DeviceParams& held,
                                                  const CollectRules& rules) {
    // The version is the device's own; everything else the form does not carry goes out as zero.
    const LeUint16 version = held.firmware_version;
    held = DeviceParams{};
    held.firmware_version = version;

    FormReader in(form, rules);
    in.CopyText(IDC_APN, held.apn);
    in.CopyText(IDC_APN_USER, held.apn_user);
    in.CopyText(IDC_APN_PASSWORD, held.apn_password);
    held.dev_baud.Set(in.Baud(IDC_DEV_BAUD));
    held.dev_data_bits = in.Digit(IDC_DEV_DATABITS);
    held.dev_parity = in.Parity(IDC_DEV_PARITY);
    held.dev_stop_bits = in.Digit(IDC_DEV_STOPBITS);
    in.CopyText(IDC_DEVICE_ID, held.device_id);
    held.reboot_period = in.U8(IDC_REBOOT_PERIOD);
    held.heartbeat_period.Set(in.U16(IDC_HEARTBEAT_PERIOD));
    held.netcheck_period.Set(in.U16(IDC_NETCHECK_PERIOD));
    // One read per statement: the controls must be read in the form's order.
    if (in.Is(IDC_COMM_MODE, kTextNonTransparent)) {
        held.flags |= FLAG_NON_TRANSPARENT;
    }
    if (in.Is(IDC_POSITIONING, kTextPositioningOn)) {
        held.flags |= FLAG_POSITIONING;
    }
    if (IsTempHumidityText(in.Text(IDC_DEVICE_TYPE))) {
        held.flags |= FLAG_TEMP_HUMIDITY;
    }
    held.comm_type = in.Is(IDC_COMM_TYPE, kTextUdp) ? COMM_TYPE_UDP : 0;
    held.pack_max_len.Set(in.U16(IDC_PACK_MAX_LEN));
    held.pack_max_time.Set(in.U16(IDC_PACK_MAX_TIME));
    in.CopyText(IDC_DNS, held.dns);
    held.dns_period.Set(in.U16(IDC_DNS_PERIOD));
    for (int n = 1; n <= 6; ++n) {
        in.CopyText(RemoteAddrId(n), held.remote_addr[static_cast<std::size_t>(n - 1)]);
    }
    for (int n = 1; n <= 6; ++n) {
        held.remote_port[static_cast<std::size_t>(n - 1)].Set(in.U16(RemotePortId(n)));
    }
    if (in.Refusal()) {
        return in.Refusal();
    }
    held.checksum = RecordChecksum(held);
    return std::nullopt;
}

void UnlockDeviceTypeOnCtrlDoubleClick(bool ctrlDown, IParamForm& form) {
    if (ctrlDown) {
        form.EnableControl(IDC_DEVICE_TYPE, true);
    }
}
