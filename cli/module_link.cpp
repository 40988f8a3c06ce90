#include "cli/module_link.h"

#include <cstdint>
#include <span>
#include <utility>

#include "modem/module_answer.h"
#include "modem/module_queries.h"

namespace {

// The longest answers (AT+CGDCONT? with a few contexts, AT+COPS? with a long name) and some room.
constexpr std::size_t kModuleAnswerBytes = 400;

}  // namespace

CSessionModuleLink::CSessionModuleLink(CDeviceSession& session, std::function<bool()> stopping)
    : m_session(session), m_stopping(std::move(stopping)) {}

std::optional<std::string> CSessionModuleLink::Ask(std::string_view atCommand) {
    if (m_lost || (m_stopping && m_stopping())) {
        return std::nullopt;
    }
    const std::string frame = ModuleCommandFrame(atCommand);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    const ExchangeOutcome out = m_session.Exchange(bytes, kModuleAnswerBytes, AnswerKind::Module);
    if (out.status == ExchangeOutcome::Status::PortLost) {
        m_lost = true;
        return std::nullopt;
    }
    if (out.status != ExchangeOutcome::Status::Answered) {
        return std::nullopt;
    }
    return out.answer.moduleText;
}

ModuleIdentity AskModuleIdentity(IModuleLink& link) {
    ModuleIdentity identity;
    if (const auto raw = link.Ask(kQueryImei); !raw) {
        return identity;
    } else if (const auto imei = ParseImei(*raw); imei.Ok()) {
        identity.imei = imei.value.digits;
    }
    for (const std::string_view command : {kQueryIccid, kQueryIccidAlt, kQueryIccidSim}) {
        const auto raw = link.Ask(command);
        if (!raw) {
            return identity;
        }
        const auto iccid = command == kQueryIccidSim ? ParseIccidFromSim(*raw) : ParseIccid(*raw, command);
        if (iccid.Ok()) {
            identity.iccid = iccid.value;
            break;
        }
    }
    if (const auto raw = link.Ask(kQueryImsi); !raw) {
        return identity;
    } else if (const auto imsi = ParseImsi(*raw); imsi.Ok()) {
        identity.imsi = imsi.value;
    }
    if (const auto raw = link.Ask(kQueryFirmware)) {
        if (const auto firmware = ParseIdentityText(*raw, kQueryFirmware); firmware.Ok()) {
            identity.firmware = firmware.value;
        }
    }
    return identity;
}
